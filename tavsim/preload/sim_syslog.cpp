// System-log capture: while TAV_ROOT is set, openlog/syslog/vsyslog/closelog
// (and the fortified variants) append one line per message to
// $TAV_ROOT/var/log/syslog instead of reaching the machine's log:
//   <facility>.<level> <identity>[<pid>]: <message>
// With TAVSIM_SYSLOG_FORWARD=1 each message also goes on to the machine's log
// (a simulated adapter under a real syslog or journal).
#undef _FORTIFY_SOURCE
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

namespace {

using OpenLogFn = void (*)(const char*, int, int);
using VSyslogFn = void (*)(int, const char*, va_list);
using CloseLogFn = void (*)();

char g_ident[128];
int g_facility = LOG_USER;

const char* captureRoot() {
    const char* root = getenv("TAV_ROOT");
    return root != nullptr && root[0] != '\0' ? root : nullptr;
}

bool forwarding() {
    const char* forward = getenv("TAVSIM_SYSLOG_FORWARD");
    return forward != nullptr && std::strcmp(forward, "1") == 0;
}

const char* facilityName(int facility) {
    static const char* const kNames[] = {"kern",   "user",     "mail",    "daemon", "auth",     "syslog",
                                         "lpr",    "news",     "uucp",    "cron",   "authpriv", "ftp",
                                         "ntp",    "security", "console", "mark",   "local0",   "local1",
                                         "local2", "local3",   "local4",  "local5", "local6",   "local7"};
    int index = facility >> 3;
    return index >= 0 && index < static_cast<int>(sizeof kNames / sizeof kNames[0]) ? kNames[index] : "unknown";
}

const char* levelName(int level) {
    static const char* const kNames[] = {"emerg", "alert", "crit", "err", "warning", "notice", "info", "debug"};
    return kNames[level & LOG_PRIMASK];
}

const char* identity() {
    if (g_ident[0] != '\0') return g_ident;
    return program_invocation_short_name;
}

void capture(const char* root, int priority, const char* format, va_list ap) {
    int saved = errno;
    char message[4096];
    vsnprintf(message, sizeof message, format, ap);
    size_t n = std::strlen(message);
    while (n > 0 && message[n - 1] == '\n') message[--n] = '\0';
    for (size_t i = 0; i < n; ++i)
        if (message[i] == '\n') message[i] = ' ';
    int facility = (priority & LOG_FACMASK) != 0 ? (priority & LOG_FACMASK) : g_facility;
    char line[4608];
    int len = std::snprintf(line, sizeof line, "%s.%s %s[%d]: %s\n", facilityName(facility), levelName(priority),
                            identity(), static_cast<int>(getpid()), message);
    if (len > static_cast<int>(sizeof line) - 1) len = static_cast<int>(sizeof line) - 1;
    char path[4096];
    if (std::snprintf(path, sizeof path, "%s/var/log/syslog", root) < static_cast<int>(sizeof path)) {
        int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ssize_t written = write(fd, line, static_cast<size_t>(len));
            (void)written;
            close(fd);
        }
    }
    errno = saved;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void openlog(const char* ident, int option, int facility) {
    if (captureRoot() == nullptr) {
        reinterpret_cast<OpenLogFn>(dlsym(RTLD_NEXT, "openlog"))(ident, option, facility);
        return;
    }
    std::snprintf(g_ident, sizeof g_ident, "%s", ident != nullptr ? ident : "");
    if (facility != 0 && (facility & ~LOG_FACMASK) == 0) g_facility = facility;
    if (forwarding()) reinterpret_cast<OpenLogFn>(dlsym(RTLD_NEXT, "openlog"))(ident, option, facility);
}

__attribute__((visibility("default"))) void vsyslog(int priority, const char* format, va_list ap) {
    const char* root = captureRoot();
    if (root == nullptr) {
        reinterpret_cast<VSyslogFn>(dlsym(RTLD_NEXT, "vsyslog"))(priority, format, ap);
        return;
    }
    if (forwarding()) {
        va_list copy;
        va_copy(copy, ap);
        capture(root, priority, format, copy);
        va_end(copy);
        reinterpret_cast<VSyslogFn>(dlsym(RTLD_NEXT, "vsyslog"))(priority, format, ap);
        return;
    }
    capture(root, priority, format, ap);
}

__attribute__((visibility("default"))) void syslog(int priority, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    vsyslog(priority, format, ap);
    va_end(ap);
}

__attribute__((visibility("default"))) void __vsyslog_chk(int priority, int, const char* format, va_list ap) {
    vsyslog(priority, format, ap);
}

__attribute__((visibility("default"))) void __syslog_chk(int priority, int, const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    vsyslog(priority, format, ap);
    va_end(ap);
}

__attribute__((visibility("default"))) void closelog() {
    if (captureRoot() == nullptr) {
        reinterpret_cast<CloseLogFn>(dlsym(RTLD_NEXT, "closelog"))();
        return;
    }
    g_ident[0] = '\0';
    if (forwarding()) reinterpret_cast<CloseLogFn>(dlsym(RTLD_NEXT, "closelog"))();
}

}  // extern "C"
