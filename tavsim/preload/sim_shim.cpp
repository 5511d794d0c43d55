// The driver shim: stands where the tavdrv driver would. Opens of
// $TAV_ROOT/dev/tavdrv are remembered; ioctls on those descriptors run the
// adapter model in this process; everything else goes to the C library.
#undef _FORTIFY_SOURCE
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "sim_model.h"
#include "sim_store.h"

namespace {

using OpenAtFn = int (*)(int, const char*, int, ...);
using IoctlFn = int (*)(int, unsigned long, ...);
using CloseFn = int (*)(int);

template <typename Fn>
Fn nextSymbol(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

OpenAtFn realOpenAt() {
    static OpenAtFn fn = nextSymbol<OpenAtFn>("openat");
    return fn;
}
IoctlFn realIoctl() {
    static IoctlFn fn = nextSymbol<IoctlFn>("ioctl");
    return fn;
}
CloseFn realClose() {
    static CloseFn fn = nextSymbol<CloseFn>("close");
    return fn;
}

// A device descriptor's session. An ioctl running on it counts in `users`,
// so a close from another thread meanwhile (which the real driver allows)
// leaves the mapping to the last of them instead of unmapping it under them.
struct Session {
    int fd = -1;
    int users = 0;
    char root[tavsim::kPathMax];
    tavsim::StateMapping mapping;
};

constexpr int kMaxSessions = 16;
Session g_sessions[kMaxSessions];
// Read without the mutex on every ioctl and close of the process, so atomic.
std::atomic<int> g_sessionCount{0};
pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;

Session* findSession(int fd) {
    for (Session& s : g_sessions)
        if (s.fd == fd && (fd != -1 || s.users == 0)) return &s;
    return nullptr;
}

// Called with the mutex held: the mapping of a closed session nobody uses
// any more, taken out of it for the caller to unmap outside the mutex.
bool takeUnusedMapping(Session* s, tavsim::StateMapping* out) {
    if (s->fd != -1 || s->users != 0 || s->mapping.state == nullptr) return false;
    *out = s->mapping;
    s->mapping = tavsim::StateMapping{};
    return true;
}

bool endsWithDeviceName(const char* path) {
    static const char kName[] = "tavdrv";
    size_t n = std::strlen(path), m = sizeof kName - 1;
    return n >= m && std::strcmp(path + n - m, kName) == 0;
}

// The absolute form of `path` as opened relative to `dirfd`.
bool absolutePath(int dirfd, const char* path, char* out, size_t size) {
    char joined[tavsim::kPathMax];
    const char* p = path;
    if (path[0] != '/' && dirfd != AT_FDCWD) {
        char link[64], dir[tavsim::kPathMax];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
        ssize_t n = readlink(link, dir, sizeof dir - 1);
        if (n < 0) return false;
        dir[n] = '\0';
        if (std::snprintf(joined, sizeof joined, "%s/%s", dir, path) >= static_cast<int>(sizeof joined)) return false;
        p = joined;
    }
    if (realpath(p, out) != nullptr) return true;
    return std::snprintf(out, size, "%s", p) < static_cast<int>(size);
}

// The device node of the server named by TAV_ROOT now, or false.
bool isDeviceNode(int dirfd, const char* path, char* root, size_t rootSize) {
    const char* env = getenv("TAV_ROOT");
    if (path == nullptr || env == nullptr || env[0] == '\0' || !endsWithDeviceName(path)) return false;
    char device[tavsim::kPathMax], wanted[tavsim::kPathMax], resolved[tavsim::kPathMax];
    if (std::snprintf(device, sizeof device, "%s/dev/tavdrv", env) >= static_cast<int>(sizeof device)) return false;
    if (!absolutePath(AT_FDCWD, device, wanted, sizeof wanted)) return false;
    if (!absolutePath(dirfd, path, resolved, sizeof resolved) || std::strcmp(wanted, resolved) != 0) return false;
    return absolutePath(AT_FDCWD, env, root, rootSize);
}

// Registers a freshly opened device descriptor; closes it when the server's
// state cannot be mapped or no place is free.
int registerDevice(int fd, const char* root) {
    if (fd < 0) return fd;
    tavsim::StateMapping mapping;
    if (!tavsim::mapState(root, &mapping)) {
        realClose()(fd);
        errno = ENODEV;
        return -1;
    }
    pthread_mutex_lock(&g_mutex);
    Session* s = findSession(-1);
    if (s != nullptr) {
        s->fd = fd;
        std::snprintf(s->root, sizeof s->root, "%s", root);
        s->mapping = mapping;
        ++g_sessionCount;
    }
    pthread_mutex_unlock(&g_mutex);
    if (s != nullptr) return fd;
    tavsim::unmapState(&mapping);
    realClose()(fd);
    errno = EMFILE;
    return -1;
}

int openAt(int dirfd, const char* path, int flags, mode_t mode) {
    char root[tavsim::kPathMax];
    if (!isDeviceNode(dirfd, path, root, sizeof root)) return realOpenAt()(dirfd, path, flags, mode);
    int fd = realOpenAt()(dirfd, path, flags & ~(O_CREAT | O_TRUNC | O_EXCL), mode);
    return registerDevice(fd, root);
}

mode_t modeArgument(int flags, va_list ap) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0 ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArgument(flags, ap);
    va_end(ap);
    return openAt(AT_FDCWD, path, flags, mode);
}

__attribute__((visibility("default"))) int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArgument(flags, ap);
    va_end(ap);
    return openAt(AT_FDCWD, path, flags | O_LARGEFILE, mode);
}

__attribute__((visibility("default"))) int openat(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArgument(flags, ap);
    va_end(ap);
    return openAt(dirfd, path, flags, mode);
}

__attribute__((visibility("default"))) int openat64(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArgument(flags, ap);
    va_end(ap);
    return openAt(dirfd, path, flags | O_LARGEFILE, mode);
}

__attribute__((visibility("default"))) int __open_2(const char* path, int flags) {
    return openAt(AT_FDCWD, path, flags, 0);
}

__attribute__((visibility("default"))) int __open64_2(const char* path, int flags) {
    return openAt(AT_FDCWD, path, flags | O_LARGEFILE, 0);
}

__attribute__((visibility("default"))) int __openat_2(int dirfd, const char* path, int flags) {
    return openAt(dirfd, path, flags, 0);
}

__attribute__((visibility("default"))) int __openat64_2(int dirfd, const char* path, int flags) {
    return openAt(dirfd, path, flags | O_LARGEFILE, 0);
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    Session* s = nullptr;
    if (g_sessionCount.load() > 0) {
        pthread_mutex_lock(&g_mutex);
        s = findSession(fd);
        if (s != nullptr) ++s->users;
        pthread_mutex_unlock(&g_mutex);
    }
    if (s == nullptr) return realIoctl()(fd, request, arg);
    int errorNumber = EINVAL;
    int result = -1;
    if (request >= tavsim::kFirstRequest && request <= tavsim::kLastRequest && arg != nullptr) {
        errorNumber = 0;
        tavsim::StateLock lock(s->mapping);
        tavsim::ModelContext ctx{s->root, s->mapping.state};
        result = tavsim::executeRequest(ctx, static_cast<unsigned>(request - tavsim::kFirstRequest),
                                        static_cast<uint8_t*>(arg), &errorNumber);
    }
    tavsim::StateMapping closed;
    pthread_mutex_lock(&g_mutex);
    --s->users;
    bool unmap = takeUnusedMapping(s, &closed);
    pthread_mutex_unlock(&g_mutex);
    if (unmap) tavsim::unmapState(&closed);
    if (result == -1) errno = errorNumber;
    return result;
}

__attribute__((visibility("default"))) int close(int fd) {
    tavsim::StateMapping mapping;
    bool device = false;
    if (g_sessionCount.load() > 0) {
        pthread_mutex_lock(&g_mutex);
        Session* s = findSession(fd);
        if (s != nullptr) {
            s->fd = -1;
            --g_sessionCount;
            device = takeUnusedMapping(s, &mapping);
        }
        pthread_mutex_unlock(&g_mutex);
    }
    if (device) tavsim::unmapState(&mapping);
    return realClose()(fd);
}

}  // extern "C"
