// Whole-file replacement for the configuration files that other processes
// read without a lock: the new text goes to a temporary file beside the old
// one, is flushed to disk and renamed over it, so a reader sees either the
// old or the new file, never a part of one.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavbase/io.h"
#include "tavctl_internal.h"

namespace {

const char kTempSuffix[] = ".tmp";

// Writes the text to the temporary file with the old file's mode (a new
// file gets the creation mode fopen would give) and flushes it to disk.
int writeTemporary(const char *tempPath, const char *path, const char *text, size_t length)
{
    int fd = open(tempPath, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return TOOL_FILE_NOT_CREATED;
    }
    struct stat old;
    bool ok =
        (stat(path, &old) != 0 || fchmod(fd, old.st_mode & 07777) == 0) && tavbase::WriteAll(fd, text, length) && fsync(fd) == 0;
    int savedErrno = errno;
    if (close(fd) != 0 && ok) {
        return TOOL_FILE_NOT_WRITTEN;
    }
    errno = savedErrno;
    return ok ? TOOL_FILE_REPLACED : TOOL_FILE_NOT_WRITTEN;
}

// Makes the rename itself durable; a failure here leaves a whole file either way.
void syncDirectory(const char *path)
{
    char directory[PATH_MAX];
    snprintf(directory, sizeof directory, "%s", path);
    char *slash = strrchr(directory, '/');
    if (slash == nullptr) {
        return;
    }
    *(slash == directory ? slash + 1 : slash) = '\0';
    int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

int Tool_ReplaceFile(const char *path, const char *text, size_t length)
{
    char tempPath[PATH_MAX + sizeof kTempSuffix];
    if (snprintf(tempPath, sizeof tempPath, "%s%s", path, kTempSuffix) >= static_cast<int>(sizeof tempPath)) {
        errno = ENAMETOOLONG;
        return TOOL_FILE_NOT_CREATED;
    }
    int result = writeTemporary(tempPath, path, text, length);
    if (result == TOOL_FILE_REPLACED && rename(tempPath, path) != 0) {
        result = TOOL_FILE_NOT_WRITTEN;
    }
    if (result != TOOL_FILE_REPLACED) {
        int savedErrno = errno;
        if (result == TOOL_FILE_NOT_WRITTEN) {
            unlink(tempPath);
        }
        errno = savedErrno;
        return result;
    }
    syncDirectory(path);
    return TOOL_FILE_REPLACED;
}

void Tool_AppendText(char *text, size_t size, size_t *used, const char *format, ...)
{
    if (*used >= size) {
        return;
    }
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text + *used, size - *used, format, args);
    va_end(args);
    *used = (n < 0) ? size : *used + static_cast<size_t>(n);
}
