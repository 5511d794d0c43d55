// The pid file that keeps a second instance from starting.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include "tavservice.h"

int read_pid(const char *pidFile)
{
    FILE *file = fopen(pidFile, "r");
    if (file == nullptr) {
        return 0;
    }
    int pid = 0;
    if (fscanf(file, "%d", &pid) != 1) {
        pid = 0;
    }
    fclose(file);
    return pid;
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

int write_pid(const char *pidFile)
{
    int fd = open(pidFile, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
        return 0;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
        close(fd);
        return 0;
    }
    char text[32];
    int length = snprintf(text, sizeof text, "%d\n", static_cast<int>(getpid()));
    int ok = ftruncate(fd, 0) == 0 && pwrite(fd, text, static_cast<size_t>(length), 0) == length;
    if (!ok) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
    }
    fsync(fd);
    flock(fd, LOCK_UN);
    close(fd);
    return ok ? getpid() : 0;
}

int remove_pid(const char *pidFile)
{
    return unlink(pidFile);
}
