// The pid file that keeps a second instance from starting. The running
// instance holds it locked from before it reads it until it ends, so a second
// start finds it held even before the first has written its number.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <signal.h>
#include <unistd.h>

#include "tavservice.h"

int lock_pid(const char *pidFile)
{
    const char *call = "open";
    if (tavbase::LockTake(&PidLock, pidFile, 0644, tavbase::kLockExclusive, &call)) {
        return 1;
    }
    if (errno == EWOULDBLOCK) {
        return 0;
    }
    int error = errno;
    Trace_Logging(__FILE__, __LINE__, strerror(error), error);
    return -1;
}

// The number in the held pid file; 0 when none can be read.
int read_pid(const char *)
{
    if (!tavbase::LockHeld(&PidLock)) {
        return 0;
    }
    char text[32] = "";
    ssize_t length = pread(PidLock.fd, text, sizeof text - 1, 0);
    if (length <= 0) {
        return 0;
    }
    text[length] = '\0';
    int pid = 0;
    return sscanf(text, "%d", &pid) == 1 ? pid : 0;
}

// Running when the file names a process other than this one that still
// exists. A pid whose process is gone (ESRCH) is left over from a crash or a
// kill and does not block the start; the file is then written anew.
int check_pid(const char *pidFile)
{
    int pid = read_pid(pidFile);
    if (pid <= 0 || pid == getpid()) {
        return 0;
    }
    if (kill(pid, 0) != 0 && errno == ESRCH) {
        Trace_Text(__FILE__, __LINE__, "stale pid file: process %d does not exist", pid);
        return 0;
    }
    return pid;
}

// Writes the own number into the held pid file, which stays locked.
int write_pid(const char *)
{
    if (!tavbase::LockHeld(&PidLock)) {
        return 0;
    }
    char text[32];
    int length = snprintf(text, sizeof text, "%d\n", static_cast<int>(getpid()));
    int ok = ftruncate(PidLock.fd, 0) == 0 && pwrite(PidLock.fd, text, static_cast<size_t>(length), 0) == length;
    if (!ok) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
    }
    fsync(PidLock.fd);
    return ok ? getpid() : 0;
}

int remove_pid(const char *)
{
    return tavbase::LockRelease(&PidLock, 1, nullptr) ? 0 : -1;
}
