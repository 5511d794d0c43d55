// Event notification: runs the administrator's program for event messages,
// one run at a time, bounded in time, with a bounded queue (see
// tavservice_notify.h).
#include "tavservice_notify.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tavctl_internal.h"
#include "tavservice.h"

namespace {

const char kNotifyConf[] = "/opt/morvane/tavutility/conf/notify.conf";
constexpr int kDefaultLevel = LOG_WARNING;
constexpr long kTendNanoseconds = 50 * 1000 * 1000;  // how often a running program is looked at
constexpr unsigned kStopGraceSeconds = 5;            // at exit, how long a running program may go on

struct LevelName {
    const char *name;
    int level;
};
// The first name of each level is the one a program is given.
const LevelName kLevels[] = {
    {"emerg", LOG_EMERG},     {"alert", LOG_ALERT},  {"crit", LOG_CRIT},     {"err", LOG_ERR},   {"error", LOG_ERR},
    {"warning", LOG_WARNING}, {"warn", LOG_WARNING}, {"notice", LOG_NOTICE}, {"info", LOG_INFO}, {"debug", LOG_DEBUG}};

struct QueuedEvent {
    int level;
    char id[8];
    char message[NOTIFY_MESSAGE_SIZE];
};

NotifySettings g_settings;
int g_enabled;
pid_t g_servicePid;
int g_inside;  // guards against a report of this file coming back as an event

pid_t g_child;  // the running program, 0 when none
char g_childId[8];
struct timespec g_childStart;

QueuedEvent g_queue[NOTIFY_MAX_QUEUE];
unsigned g_head, g_count;
unsigned g_droppedBurst, g_droppedTotal;

int g_missingReported, g_failureReported;

const char *NameOfLevel(int level)
{
    for (const LevelName &l : kLevels)
        if (l.level == level)
            return l.name;
    return "unknown";
}

void TrimEnd(char *text)
{
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t'))
        text[--n] = '\0';
}

bool IsComment(const char *line)
{
    while (*line == ' ' || *line == '\t')
        ++line;
    return *line == '#';
}

// A number from 1 to `max` into `count`; otherwise `count` keeps its default.
void ReadCount(const char *key, const char *value, unsigned max, unsigned *count)
{
    uint32_t number = 0;
    if (ParseConfigNumber(value, &number) && number >= 1 && number <= max)
        *count = number;
    else
        Trace_Text(__FILE__, __LINE__, "notify: invalid %s \"%s\", %u used", key, value, *count);
}

double SecondsSince(const struct timespec &start)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) + static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
}

void Nap(long nanoseconds)
{
    struct timespec pause {
        0, nanoseconds
    };
    nanosleep(&pause, nullptr);  // a signal ends it early; the caller looks at the stop request
}

// A regular file this process may execute; otherwise reported once until it is one again.
bool ProgramRunnable(void)
{
    struct stat st;
    int err = 0;
    if (stat(g_settings.program, &st) != 0)
        err = errno;
    else if (!S_ISREG(st.st_mode))
        err = EISDIR;
    else if (access(g_settings.program, X_OK) != 0)
        err = errno;
    if (err == 0) {
        if (g_missingReported)
            Trace_Text(__FILE__, __LINE__, "notify: program %s can be run again", g_settings.program);
        g_missingReported = 0;
        return true;
    }
    if (!g_missingReported) {
        g_missingReported = 1;
        Trace_Text(__FILE__, __LINE__, "notify: program %s cannot be run: %s", g_settings.program, strerror(err));
        ServiceLog(PRI_WARNING, "tavservice: notification program %s cannot be run (%s): events are not notified",
                   g_settings.program, strerror(err));
    }
    return false;
}

[[noreturn]] void RunProgram(const QueuedEvent &event)
{
    setpgid(0, 0);  // its own group, so that a time-out also ends what it started
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    closefrom(3);  // the driver, lock and log descriptors stay with the service
    const char *level = NameOfLevel(event.level);
    setenv("TAV_EVENT_ID", event.id, 1);
    setenv("TAV_EVENT_PRIORITY", level, 1);
    setenv("TAV_EVENT_MESSAGE", event.message, 1);
    char *const argv[] = {g_settings.program, const_cast<char *>(event.id), const_cast<char *>(level),
                          const_cast<char *>(event.message), nullptr};
    execv(g_settings.program, argv);
    _exit(127);
}

void Launch(const QueuedEvent &event)
{
    if (!ProgramRunnable()) {
        Trace_Text(__FILE__, __LINE__, "notify: event %s not notified", event.id);
        return;
    }
    pid_t pid = fork();
    if (pid < 0) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
        return;
    }
    if (pid == 0)
        RunProgram(event);
    setpgid(pid, pid);
    g_child = pid;
    snprintf(g_childId, sizeof g_childId, "%s", event.id);
    clock_gettime(CLOCK_MONOTONIC, &g_childStart);
    Trace_Text(__FILE__, __LINE__, "notify: event %s: %s started (pid %d)", event.id, g_settings.program,
               static_cast<int>(pid));
}

// The program ended: its status is traced, the first failure of a series is reported.
void Finished(int status, bool timedOut)
{
    char how[64];
    if (timedOut)
        snprintf(how, sizeof how, "killed after the time limit of %u s", g_settings.timeoutSeconds);
    else if (WIFEXITED(status))
        snprintf(how, sizeof how, "exit status %d", WEXITSTATUS(status));
    else if (WIFSIGNALED(status))
        snprintf(how, sizeof how, "ended by signal %d", WTERMSIG(status));
    else
        snprintf(how, sizeof how, "status 0x%x", static_cast<unsigned>(status));
    Trace_Text(__FILE__, __LINE__, "notify: event %s: %s %s", g_childId, g_settings.program, how);
    bool failed = timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    if (failed && !g_failureReported) {
        g_failureReported = 1;
        ServiceLog(PRI_WARNING,
                   "tavservice: notification program %s failed for event %s (%s); later failures are traced only",
                   g_settings.program, g_childId, how);
    } else if (!failed) {
        g_failureReported = 0;
    }
    g_child = 0;
}

void KillChild(void)
{
    kill(-g_child, SIGKILL);
    kill(g_child, SIGKILL);
    int status = 0;
    while (waitpid(g_child, &status, 0) < 0 && errno == EINTR) {
    }
    Finished(status, true);
}

void ReportDrops(void)
{
    if (g_droppedBurst == 0)
        return;
    Trace_Text(__FILE__, __LINE__, "notify: %u event(s) dropped while the queue was full (%u in all)", g_droppedBurst,
               g_droppedTotal);
    g_droppedBurst = 0;
}

// Reaps or times out the running program, then starts the next queued event.
void Tend(void)
{
    if (g_child > 0) {
        int status = 0;
        pid_t ended = waitpid(g_child, &status, WNOHANG);
        if (ended == g_child)
            Finished(status, false);
        else if (ended < 0 && errno == ECHILD)
            g_child = 0;
        else if (SecondsSince(g_childStart) >= g_settings.timeoutSeconds)
            KillChild();
    }
    while (g_child == 0 && g_count > 0) {
        QueuedEvent &next = g_queue[g_head];
        g_head = (g_head + 1) % NOTIFY_MAX_QUEUE;
        --g_count;
        ReportDrops();
        Launch(next);
    }
}

void Shutdown(void)
{
    if (getpid() != g_servicePid)
        return;
    // A running program (a mail being sent, the stop event's own) gets a
    // few seconds to end before it is killed.
    unsigned grace = g_settings.timeoutSeconds < kStopGraceSeconds ? g_settings.timeoutSeconds : kStopGraceSeconds;
    for (unsigned i = 0; g_child > 0 && i < grace * 10; ++i) {
        Tend();
        if (g_child > 0)
            Nap(100 * 1000 * 1000);
    }
    if (g_child > 0)
        KillChild();
    ReportDrops();
    if (g_count > 0)
        Trace_Text(__FILE__, __LINE__, "notify: service stopping, %u queued event(s) not notified", g_count);
    g_count = 0;
}

}  // namespace

int NotifyLevelOfName(const char *name)
{
    for (const LevelName &l : kLevels)
        if (strcmp(name, l.name) == 0)
            return l.level;
    return -1;
}

int NotifyEventId(const char *message, char *id, size_t size)
{
    const char *at = strstr(message, "EventID: ");
    if (at == nullptr || size < 6)
        return 0;
    at += strlen("EventID: ");
    for (int i = 0; i < 5; ++i)
        if (at[i] < '0' || at[i] > '9')
            return 0;
    memcpy(id, at, 5);
    id[5] = '\0';
    return 1;
}

void NotifyParseSettings(FILE *file, NotifySettings *settings)
{
    settings->program[0] = '\0';
    settings->minLevel = kDefaultLevel;
    settings->timeoutSeconds = NOTIFY_DEFAULT_TIMEOUT;
    settings->queueSize = NOTIFY_DEFAULT_QUEUE;
    bool seenProgram = false, seenLevel = false, seenTimeout = false, seenQueue = false;
    char line[CONFIG_LINE_SIZE], value[CONFIG_LINE_SIZE];
    while (fgetline(line, sizeof line, file) > 0) {
        if (IsComment(line))
            continue;
        GetParameter(line, value, sizeof value);
        TrimEnd(value);
        if (!seenProgram && ptnmatch(line, "Program")) {
            seenProgram = true;
            // A path that does not fit is refused whole: a cut one could name another program.
            if (strlen(value) < sizeof settings->program)
                memcpy(settings->program, value, strlen(value) + 1);
            else
                Trace_Text(__FILE__, __LINE__, "notify: Program path too long, no program run");
        } else if (!seenLevel && ptnmatch(line, "MinPriority")) {
            seenLevel = true;
            int level = NotifyLevelOfName(value);
            if (level >= 0)
                settings->minLevel = level;
            else
                Trace_Text(__FILE__, __LINE__, "notify: invalid MinPriority \"%s\", warning used", value);
        } else if (!seenTimeout && ptnmatch(line, "Timeout")) {
            seenTimeout = true;
            ReadCount("Timeout", value, NOTIFY_MAX_TIMEOUT, &settings->timeoutSeconds);
        } else if (!seenQueue && ptnmatch(line, "QueueSize")) {
            seenQueue = true;
            ReadCount("QueueSize", value, NOTIFY_MAX_QUEUE, &settings->queueSize);
        }
    }
}

void NotifyInit(void)
{
    g_servicePid = getpid();
    g_enabled = 0;
    char path[4096];
    if (!Tool_ResolvePath(kNotifyConf, path, sizeof path))
        return;
    FILE *file = fopen(path, "re");
    if (file == nullptr) {
        Trace_Text(__FILE__, __LINE__, "notify: %s not read (%s): no event notification", path, strerror(errno));
        return;
    }
    NotifyParseSettings(file, &g_settings);
    fclose(file);
    if (g_settings.program[0] == '\0') {
        Trace_Text(__FILE__, __LINE__, "notify: no Program: no event notification");
        return;
    }
    if (g_settings.program[0] != '/') {
        Trace_Text(__FILE__, __LINE__, "notify: Program %s is not an absolute path", g_settings.program);
        ServiceLog(PRI_WARNING, "tavservice: notification program %s is not an absolute path: events are not notified",
                   g_settings.program);
        return;
    }
    static bool registered = false;
    if (!registered && atexit(Shutdown) == 0)
        registered = true;
    g_enabled = 1;
    Trace_Text(__FILE__, __LINE__, "notify: Program=%s MinPriority=%s Timeout=%u QueueSize=%u", g_settings.program,
               NameOfLevel(g_settings.minLevel), g_settings.timeoutSeconds, g_settings.queueSize);
}

void NotifyEvent(int priority, const char *message)
{
    if (!g_enabled || g_inside || getpid() != g_servicePid)
        return;
    int level = priority & LOG_PRIMASK;
    char id[8];
    if (level > g_settings.minLevel || !NotifyEventId(message, id, sizeof id))
        return;
    g_inside = 1;
    Tend();
    if (g_count >= g_settings.queueSize) {
        ++g_droppedTotal;
        if (g_droppedBurst++ == 0)
            Trace_Text(__FILE__, __LINE__, "notify: queue full (%u events): event %s dropped", g_count, id);
    } else {
        QueuedEvent &slot = g_queue[(g_head + g_count) % NOTIFY_MAX_QUEUE];
        slot.level = level;
        snprintf(slot.id, sizeof slot.id, "%s", id);
        snprintf(slot.message, sizeof slot.message, "%s", message);
        ++g_count;
    }
    Tend();
    g_inside = 0;
}

void NotifySleep(unsigned seconds)
{
    if (!g_enabled || (g_child == 0 && g_count == 0)) {
        ServiceSleep(seconds);
        return;
    }
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    g_inside = 1;
    while (!StopRequested()) {
        Tend();
        double left = static_cast<double>(seconds) - SecondsSince(start);
        if (left <= 0)
            break;
        if (g_child == 0 && g_count == 0) {
            // Nothing left to tend: the rest of the interval as the service sleeps.
            unsigned whole = static_cast<unsigned>(left);
            if (whole > 0)
                ServiceSleep(whole);
            left = static_cast<double>(seconds) - SecondsSince(start);
            if (left > 0 && !StopRequested())
                Nap(static_cast<long>(left * 1e9));
            break;
        }
        Nap(left * 1e9 < kTendNanoseconds ? static_cast<long>(left * 1e9) : kTendNanoseconds);
    }
    g_inside = 0;
}

int NotifyChildEnded(pid_t pid, int status)
{
    if (pid <= 0 || pid != g_child)
        return 0;
    Finished(status, false);
    return 1;
}
