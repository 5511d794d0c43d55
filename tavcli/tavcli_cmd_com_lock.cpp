/* Named lock files: one process at a time changes the consistency-check
 * schedule or the statistics parameter file. */
#include <limits.h>

#include "tavbase/lock.h"
#include "tavcli.h"

#define LOCK_ATTEMPTS 5

/* The held lock file, if any; whether this process created it is kept in
 * it (only the creator removes the file). */
static tavbase::LockFile g_lock = {-1, 0, 0, 0, ""};

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

int get_mutex(int kind)
{
    CLI_TRACE_ENTRY(MOD_MAIN);
    char path[tavbase::kLockPathSize];
    if (g_lock.fd >= 0 || !LockFilePath(kind, path, sizeof path)) {
        return 1;
    }
    for (int attempt = 0; attempt < LOCK_ATTEMPTS; ++attempt) {
        if (tavbase::LockTake(&g_lock, path, 0600, tavbase::kLockExclusive, NULL)) {
            return 0;
        }
    }
    return 1;
}

int del_mutex(int kind)
{
    CLI_TRACE_ENTRY(MOD_MAIN);
    (void)kind; /* the held lock knows its own file */
    tavbase::LockRelease(&g_lock, g_lock.created, NULL);
    return 0;
}
