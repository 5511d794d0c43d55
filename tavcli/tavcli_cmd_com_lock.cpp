/* Named lock files: one process at a time changes the consistency-check
 * schedule or the statistics parameter file. */
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavcli.h"

#define LOCK_ATTEMPTS 5

/* Descriptor of the held lock file (-1: none) and whether this process
 * created that file. */
static int fdlck = -1;
static int fdlck_flg = 0;

static int LockFilePath(int kind, char *path, size_t size)
{
    const char *fixed = NULL;
    if (kind == CLI_LOCK_CCSCHEDULE) {
        fixed = "/var/run/libtavccsch.pid";
    } else if (kind == CLI_LOCK_PARAMETER) {
        fixed = "/var/run/libtavprm.pid";
    }
    return fixed != NULL && Tool_ResolvePath(fixed, path, size);
}

/* Opens an existing lock file, or creates it; sets fdlck_flg accordingly. */
static int OpenLockFile(const char *path)
{
    int probe = open(path, O_RDONLY | O_CLOEXEC);
    if (probe >= 0) {
        close(probe);
        fdlck_flg = 0;
        return open(path, O_WRONLY | O_CLOEXEC);
    }
    fdlck_flg = 1;
    return open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

/* The lock counts only while the path still names the locked file: a holder
 * may have removed it between our open and our flock. */
static int IsSameFile(int fd, const char *path)
{
    struct stat opened;
    struct stat named;
    return fstat(fd, &opened) == 0 && stat(path, &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

int get_mutex(int kind)
{
    CLI_TRACE_ENTRY(MOD_MAIN);
    char path[PATH_MAX];
    if (fdlck >= 0 || !LockFilePath(kind, path, sizeof path)) {
        return 1;
    }
    for (int attempt = 0; attempt < LOCK_ATTEMPTS; ++attempt) {
        int fd = OpenLockFile(path);
        if (fd < 0) {
            continue;
        }
        if (fchmod(fd, 0600) == 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 && IsSameFile(fd, path)) {
            fdlck = fd;
            return 0;
        }
        close(fd);
    }
    fdlck_flg = 0;
    return 1;
}

int del_mutex(int kind)
{
    CLI_TRACE_ENTRY(MOD_MAIN);
    if (fdlck < 0) {
        return 0;
    }
    /* Removed while still locked, so that no other process can lock the
     * file that is about to lose its name. */
    char path[PATH_MAX];
    if (fdlck_flg == 1 && LockFilePath(kind, path, sizeof path)) {
        remove(path);
    }
    fdlck_flg = 0;
    flock(fdlck, LOCK_UN);
    close(fdlck);
    fdlck = -1;
    return 0;
}
