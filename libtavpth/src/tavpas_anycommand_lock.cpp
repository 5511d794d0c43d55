// The exclusion lock: one pass-through command at a time on the machine.
//
// Each holder removes the lock file when it is done, so a process may open the
// file just before it is removed and then lock an inode that no longer guards
// anything while a third process creates and locks a new file. A taken lock
// therefore counts only while the path still names the locked file, and a
// holder removes the file before it unlocks it: whoever locks the old inode
// afterwards finds the path gone or replaced and tries again.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavpas_internal.h"

#define LOCK_FILE_MODE 0700
#define LOCK_ATTEMPTS 8

namespace {

bool lockPath(char *path, size_t size)
{
    if (Tool_ResolvePath(TAVPAS_LOCK_PATH, path, size)) {
        return true;
    }
    errno = ENAMETOOLONG;
    return false;
}

// The descriptor's file is still the one the path names.
bool stillNamed(int fd, const char *path)
{
    struct stat held;
    struct stat named;
    if (fstat(fd, &held) != 0 || stat(path, &named) != 0) {
        return false;
    }
    return held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

uint32_t refuseLock(uint8_t *result, uint32_t *resultLength, int sysErrno, const char *call, unsigned line)
{
    TavPasPutSystemText(result, resultLength, sysErrno, call);
    TavPasTraceSystem(SRC_ANYCOMMAND, line, call, sysErrno);
    return sysErrno == EWOULDBLOCK ? TAVPAS_LOCKED : TAVPAS_SYSTEM_ERROR;
}

// One attempt: 1 locked, 0 the locked file was no longer the path's, -1 refused.
int tryLock(const char *path, int *fd, uint8_t *result, uint32_t *resultLength, uint32_t *code)
{
    *fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, LOCK_FILE_MODE);
    if (*fd < 0) {
        *code = refuseLock(result, resultLength, errno, "open", __LINE__);
        return -1;
    }
    if (flock(*fd, LOCK_EX | LOCK_NB) != 0) {
        int sysErrno = errno;
        close(*fd);
        *code = refuseLock(result, resultLength, sysErrno, "flock", __LINE__);
        if (sysErrno != EWOULDBLOCK && remove(path) != 0) {
            TavPasTraceSystem(SRC_ANYCOMMAND, __LINE__, "remove", errno);
        }
        return -1;
    }
    if (stillNamed(*fd, path)) {
        return 1;
    }
    flock(*fd, LOCK_UN | LOCK_NB);
    close(*fd);
    return 0;
}

}  // namespace

int TavPasLockTake(uint8_t *result, uint32_t *resultLength, uint32_t *code)
{
    char path[4096];
    if (!lockPath(path, sizeof path)) {
        *code = refuseLock(result, resultLength, errno, "open", __LINE__);
        return -1;
    }
    for (int attempt = 0; attempt < LOCK_ATTEMPTS; ++attempt) {
        int fd = -1;
        int taken = tryLock(path, &fd, result, resultLength, code);
        if (taken != 0) {
            return taken > 0 ? fd : -1;
        }
    }
    // Other callers kept replacing the file: one of them holds the lock.
    *code = refuseLock(result, resultLength, EWOULDBLOCK, "flock", __LINE__);
    return -1;
}

TAVPTH_API int TavLockRelease(int fd)
{
    char path[4096];
    if (!lockPath(path, sizeof path) || remove(path) != 0) {
        TavPasTraceSystem(SRC_ANYCOMMAND, __LINE__, "remove", errno);
    }
    int ok = 1;
    if (flock(fd, LOCK_UN | LOCK_NB) != 0) {
        TavPasTraceCall(SRC_ANYCOMMAND, __LINE__, "TavLockRelease");
        TavPasTraceSystem(SRC_ANYCOMMAND, __LINE__, "flock", errno);
        ok = 0;
    }
    if (close(fd) != 0) {
        TavPasTraceCall(SRC_ANYCOMMAND, __LINE__, "TavLockRelease");
        TavPasTraceSystem(SRC_ANYCOMMAND, __LINE__, "close", errno);
        ok = 0;
    }
    return ok;
}
