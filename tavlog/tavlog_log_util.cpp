/* The utility's own trace files, and the size limit of the automatic
 * firmware-trace directory. */
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavlog.h"

#define SRC_FILE "tavlog_log"
#define UTL_MAX_FILES 20
#define UTL_MAX_SIZE 2048000
#define DIR_BASE_SIZE 4096u
#define STAMP_LENGTH 14
#define TRACE_MARK "_FWTrcLog"
#define TRACE_MARK_POS 20
#define ERROR_NO_TRACE 39

namespace {

bool isUtilityTrace(const char *name)
{
    size_t length = strlen(name);
    return strncmp(name, "tav", 3) == 0 && length >= 7 && strcmp(name + length - 4, ".log") == 0;
}

bool isRegular(int dirFd, const char *name, struct stat *st)
{
    return fstatat(dirFd, name, st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st->st_mode);
}

/* A time-stamped trace file of this tool's own naming. */
bool isStampedTrace(const char *name)
{
    if (strlen(name) < TRACE_MARK_POS + strlen(TRACE_MARK)) {
        return false;
    }
    for (int i = 0; i < STAMP_LENGTH; ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return false;
        }
    }
    return strncmp(name + STAMP_LENGTH, "_TAV_", 5) == 0 && strcmp(name + TRACE_MARK_POS, TRACE_MARK) == 0;
}

/* Copies one trace file of at most UTL_MAX_SIZE bytes; others are skipped. */
void copyUtilityTrace(int srcDir, const char *name)
{
    static char data[UTL_MAX_SIZE + 1];
    int in = openat(srcDir, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) {
        SystemError(SRC_FILE, __LINE__, "open", errno);
        return;
    }
    ssize_t n = read(in, data, sizeof data);
    int error = errno;
    close(in);
    if (n < 0 || n > UTL_MAX_SIZE) {
        SystemError(SRC_FILE, __LINE__, "read", n < 0 ? error : EFBIG);
        return;
    }
    if (n == 0) {
        return;
    }
    int out = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (out < 0) {
        SystemError(SRC_FILE, __LINE__, "open", errno);
        return;
    }
    int written = WriteAll(out, data, (size_t)n, "CopyUtlTrace", __LINE__);
    if (!CloseOutput(out, "CopyUtlTrace", __LINE__) || !written) {
        unlink(name);
    }
}

/* Counts the utility's trace files in `dir`, and copies them when `copy`. */
int walkUtilityTraces(const char *dir, bool copy, int *count)
{
    DIR *d = opendir(dir);
    if (d == nullptr) {
        return SystemError(SRC_FILE, __LINE__, "opendir", errno);
    }
    struct dirent *entry;
    struct stat st;
    *count = 0;
    while ((entry = readdir(d)) != nullptr) {
        if (!isUtilityTrace(entry->d_name) || !isRegular(dirfd(d), entry->d_name, &st)) {
            continue;
        }
        ++*count;
        if (copy) {
            copyUtilityTrace(dirfd(d), entry->d_name);
        }
    }
    closedir(d);
    return 1;
}

bool sameDirectory(const char *a, const char *b)
{
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

/* The oldest time-stamped trace other than this run's, and the bytes all
 * of them hold; 0 when there is none, -1 after a reported error. */
int findOldestTrace(const char *keep, char *oldest, size_t size, uint64_t *removable)
{
    *removable = 0;
    DIR *d = opendir(".");
    if (d == nullptr) {
        SystemError(SRC_FILE, __LINE__, "opendir", errno);
        return -1;
    }
    char best[STAMP_LENGTH + 1] = "99991231235959";
    int found = 0;
    struct dirent *entry;
    struct stat st;
    while ((entry = readdir(d)) != nullptr) {
        const char *name = entry->d_name;
        if (!isStampedTrace(name) || strcmp(name, keep) == 0 || !isRegular(dirfd(d), name, &st)) {
            continue;
        }
        *removable += (uint64_t)st.st_size;
        if (strncmp(name, best, STAMP_LENGTH) < 0 || !found) {
            memcpy(best, name, STAMP_LENGTH);
            snprintf(oldest, size, "%s", name);
            found = 1;
        }
    }
    closedir(d);
    return found;
}

}  // namespace

/* 4096 plus the sizes of the regular files below `dir`; symbolic links are
 * not followed. */
uint64_t GetDirSize(const char *dir)
{
    DIR *d = opendir(dir);
    if (d == nullptr) {
        TraceSystemError(SRC_FILE, __LINE__, "opendir", errno);
        return DIR_BASE_SIZE;
    }
    uint64_t total = DIR_BASE_SIZE;
    struct dirent *entry;
    while ((entry = readdir(d)) != nullptr) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        struct stat st;
        if (fstatat(dirfd(d), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISREG(st.st_mode)) {
            total += (uint64_t)st.st_size;
        } else if (S_ISDIR(st.st_mode)) {
            char sub[TAVLOG_PATH_SIZE];
            if (snprintf(sub, sizeof sub, "%s/%s", dir, entry->d_name) < (int)sizeof sub) {
                total += GetDirSize(sub);
            }
        }
    }
    closedir(d);
    return total;
}

/* While the directory exceeds MaxAreaSizeForClog, removes the oldest
 * time-stamped trace file; `keep`, this run's file, always stays. When even
 * removing every such trace could not bring the directory under the limit
 * (other files fill it), none is removed and the run fails with error 39. */
int RotateFwTrace(const char *keep)
{
    TraceCall(SRC_FILE, __LINE__, 5, "RotateFwTrace");
    uint64_t limit = (uint64_t)ConfigParmGet() << 20;
    if (limit == 0) {
        return 1;
    }
    uint64_t used;
    while ((used = GetDirSize(".")) > limit) {
        char oldest[TAVLOG_NAME_SIZE];
        uint64_t removable;
        int found = findOldestTrace(keep, oldest, sizeof oldest, &removable);
        if (found < 0) {
            return 0;
        }
        if (found == 0 || (removable < used && used - removable > limit)) {
            return SystemError(SRC_FILE, __LINE__, "RotateFwTrace", ERROR_NO_TRACE);
        }
        if (unlink(oldest) != 0) {
            return SystemError(SRC_FILE, __LINE__, "unlink", errno);
        }
        sync();
    }
    return 1;
}

/* Copies the utility's trace files into the output directory. */
int CopyUtlTrace(void)
{
    TraceCall(SRC_FILE, __LINE__, 6, "CopyUtlTrace");
    char source[TAVLOG_PATH_SIZE];
    if (!Tool_ResolvePath(TAVLOG_INSTALL_DIR, source, sizeof source)) {
        return SystemError(SRC_FILE, __LINE__, "Tool_ResolvePath", ENAMETOOLONG);
    }
    if (sameDirectory(source, ".")) {
        g_errDetail.detail = DETAIL_ARG_WRONG;
        PrintError(MSG_PARAM, ERR_KIND_MESSAGE, "CopyUtlTrace", __LINE__);
        return 0;
    }
    int count = 0;
    if (!walkUtilityTraces(source, false, &count)) {
        return 0;
    }
    if (count > UTL_MAX_FILES) {
        PrintError(MSG_TOO_MANY_FILES, ERR_KIND_MESSAGE, "CopyUtlTrace", __LINE__);
        return 0;
    }
    return walkUtilityTraces(source, true, &count);
}
