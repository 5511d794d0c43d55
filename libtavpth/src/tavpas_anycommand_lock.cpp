// The exclusion lock: one pass-through command at a time on the machine.
//
// Each holder removes the lock file when it is done, so a process may open the
// file just before it is removed and then lock an inode that no longer guards
// anything while a third process creates and locks a new file. A taken lock
// therefore counts only while the path still names the locked file, and a
// holder removes the file before it unlocks it: whoever locks the old inode
// afterwards finds the path gone or replaced and tries again.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "tavbase/lock.h"
#include "tavpas_internal.h"

#define LOCK_FILE_MODE 0700

namespace {

// The lock of the command in progress.
tavbase::LockFile g_lock = {-1, 0, 0, 0, ""};

bool lockPath(char *path, size_t size)
{
    if (Tool_ResolvePath(TAVPAS_LOCK_PATH, path, size)) {
        return true;
    }
    errno = ENAMETOOLONG;
    return false;
}

uint32_t refuseLock(uint8_t *result, uint32_t *resultLength, int sysErrno, const char *call, unsigned line)
{
    TavPasPutSystemText(result, resultLength, sysErrno, call);
    TavPasTraceSystem(SRC_ANYCOMMAND, line, call, sysErrno);
    return sysErrno == EWOULDBLOCK ? TAVPAS_LOCKED : TAVPAS_SYSTEM_ERROR;
}

}  // namespace

int TavPasLockTake(uint8_t *result, uint32_t *resultLength, uint32_t *code)
{
    char path[tavbase::kLockPathSize];
    if (!lockPath(path, sizeof path)) {
        *code = refuseLock(result, resultLength, errno, "open", __LINE__);
        return -1;
    }
    const char *call = "open";
    if (tavbase::LockTake(&g_lock, path, LOCK_FILE_MODE, tavbase::kLockExclusive, &call)) {
        return g_lock.fd;
    }
    int sysErrno = errno;
    *code = refuseLock(result, resultLength, sysErrno, call, __LINE__);
    if (sysErrno != EWOULDBLOCK && strcmp(call, "flock") == 0 && remove(path) != 0) {
        TavPasTraceSystem(SRC_ANYCOMMAND, __LINE__, "remove", errno);
    }
    return -1;
}

TAVPTH_API int TavLockRelease(int fd)
{
    tavbase::LockFile lock = g_lock;
    if (fd != g_lock.fd) {
        // A descriptor of another taking: released the same way; its file
        // is removed only while the path still names it.
        tavbase::LockInit(&lock);
        lock.fd = fd;
        lock.owner = getpid();
        if (!lockPath(lock.path, sizeof lock.path)) {
            lock.path[0] = '\0';
            TavPasTraceSystem(SRC_ANYCOMMAND, __LINE__, "remove", errno);
        }
    } else {
        tavbase::LockInit(&g_lock);
    }
    const char *call = "close";
    if (tavbase::LockRelease(&lock, 1, &call)) {
        return 1;
    }
    int sysErrno = errno;
    if (strcmp(call, "remove") == 0) {
        TavPasTraceSystem(SRC_ANYCOMMAND, __LINE__, "remove", sysErrno);
        return 1;
    }
    TavPasTraceCall(SRC_ANYCOMMAND, __LINE__, "TavLockRelease");
    TavPasTraceSystem(SRC_ANYCOMMAND, __LINE__, call, sysErrno);
    return 0;
}
