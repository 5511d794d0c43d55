#include "tavbase/lock.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavbase {

namespace {

// Times a lock is taken again after its file lost its name under it.
constexpr int kNameAttempts = 16;

void setCall(const char **failedCall, const char *call)
{
    if (failedCall != nullptr) {
        *failedCall = call;
    }
}

int lockRetrying(int fd, int operation)
{
    int result;
    while ((result = flock(fd, operation)) != 0 && errno == EINTR) {
    }
    return result;
}

// Whether PATH itself (not a link there) names the file open on FD.
bool pathNames(int fd, const char *path)
{
    struct stat opened, named;
    return fstat(fd, &opened) == 0 && lstat(path, &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

// Whether PATH names an existing file other than the one open on FD: the
// lock file of another process, never to be removed. A missing path is not
// another's file (its removal then fails and is reported).
bool namesAnother(int fd, const char *path)
{
    struct stat opened, named;
    if (lstat(path, &named) != 0) {
        return false;
    }
    return fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino;
}

// Opens the path without following a link or blocking on a FIFO, creating
// it exclusively so that *created tells who made it. -1 with errno; *vanished
// when an existing file was removed before it could be opened.
int openPath(const char *path, mode_t mode, int *created, bool *vanished)
{
    const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = open(path, flags | O_CREAT | O_EXCL, mode);
    *created = fd >= 0;
    *vanished = false;
    if (fd < 0 && errno == EEXIST) {
        fd = open(path, flags);
        *vanished = fd < 0 && errno == ENOENT;
    }
    return fd;
}

// A regular file with one name, made blocking again: 1. 0 with errno
// otherwise; -1 when the file lost its name since it was opened.
int checkOpened(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return 0;
    }
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return 0;
    }
    if (st.st_nlink == 0) {
        return -1;
    }
    if (st.st_nlink != 1) {
        errno = EMLINK;  // a hard link to some other file: its mode must not change
        return 0;
    }
    int status = fcntl(fd, F_GETFL);
    return status >= 0 && fcntl(fd, F_SETFL, status & ~O_NONBLOCK) == 0;
}

// Closes a descriptor that was not taken, removing the file this process
// created when nobody else has locked it meanwhile. errno is kept.
void dropUntaken(int fd, const char *path, int created)
{
    int savedErrno = errno;
    if (created && flock(fd, LOCK_EX | LOCK_NB) == 0 && pathNames(fd, path)) {
        unlink(path);
    }
    close(fd);
    errno = savedErrno;
}

}  // namespace

void LockInit(LockFile *lock)
{
    lock->fd = -1;
    lock->created = 0;
    lock->shared = 0;
    lock->owner = 0;
    lock->path[0] = '\0';
}

int LockTake(LockFile *lock, const char *path, mode_t mode, int flags, const char **failedCall)
{
    LockInit(lock);
    if (snprintf(lock->path, sizeof lock->path, "%s", path) >= static_cast<int>(sizeof lock->path)) {
        lock->path[0] = '\0';
        setCall(failedCall, "open");
        errno = ENAMETOOLONG;
        return 0;
    }
    int operation = (flags & kLockShared) ? LOCK_SH : LOCK_EX;
    if (!(flags & kLockWait)) {
        operation |= LOCK_NB;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        int created = 0;
        bool vanished = false;
        int fd = openPath(lock->path, mode, &created, &vanished);
        if (vanished) {
            continue;  // its holder removed it in between
        }
        if (fd < 0) {
            setCall(failedCall, "open");
            return 0;
        }
        int usable = checkOpened(fd);
        if (usable < 0) {
            close(fd);
            continue;
        }
        if (usable == 0) {
            setCall(failedCall, "open");
            dropUntaken(fd, lock->path, created);
            return 0;
        }
        if (fchmod(fd, mode) != 0) {
            setCall(failedCall, "fchmod");
            dropUntaken(fd, lock->path, created);
            return 0;
        }
        if (lockRetrying(fd, operation) != 0) {
            int lockErrno = errno;
            close(fd);  // held by another: the file is the holder's now
            errno = lockErrno;
            setCall(failedCall, "flock");
            return 0;
        }
        if (pathNames(fd, lock->path)) {
            lock->fd = fd;
            lock->created = created;
            lock->shared = (flags & kLockShared) != 0;
            lock->owner = getpid();
            return 1;
        }
        flock(fd, LOCK_UN);
        close(fd);
    }
    setCall(failedCall, "flock");
    errno = EWOULDBLOCK;  // the file keeps changing hands: others take and release it
    return 0;
}

int LockHeld(const LockFile *lock)
{
    return lock->fd >= 0 && lock->owner == getpid();
}

int LockRelease(LockFile *lock, int remove, const char **failedCall)
{
    if (lock->fd < 0) {
        return 1;
    }
    int fd = lock->fd;
    bool ownLock = LockHeld(lock);
    int ok = 1;
    int firstErrno = 0;
    if (ownLock && remove) {
        // A shared holder removes the file only when it is the last one.
        bool alone = !lock->shared || flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (alone && !namesAnother(fd, lock->path) && unlink(lock->path) != 0) {
            ok = 0;
            firstErrno = errno;
            setCall(failedCall, "remove");
        }
    }
    if (ownLock && flock(fd, LOCK_UN) != 0 && ok) {
        ok = 0;
        firstErrno = errno;
        setCall(failedCall, "flock");
    }
    if (close(fd) != 0 && ok) {
        ok = 0;
        firstErrno = errno;
        setCall(failedCall, "close");
    }
    LockInit(lock);
    if (!ok) {
        errno = firstErrno;
    }
    return ok;
}

}  // namespace tavbase
