/* The check of an output file named on the command line: it must be a
 * regular file of its own (it is created when missing; a symbolic link, a
 * FIFO or any other kind of file is refused, never followed) that can be
 * opened. Its directory is resolved to an absolute path, but its own name is
 * kept as given, so the writer checks that same name again when it writes. */
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "tavbase/file.h"
#include "tavcli.h"

#define NEW_FILE_MODE 0644

/* PATH with its directory resolved to an absolute path and its last
 * component as given, so that a link there is never resolved into the name. */
static int AbsolutePath(const char *path, char *absolute)
{
    const char *slash = strrchr(path, '/');
    const char *last = slash == NULL ? path : slash + 1;
    char directory[PATH_MAX];
    char canonical[PATH_MAX];
    if (slash == NULL) {
        snprintf(directory, sizeof directory, ".");
    } else if (slash == path) {
        snprintf(directory, sizeof directory, "/");
    } else {
        snprintf(directory, sizeof directory, "%.*s", (int)(slash - path), path);
    }
    if (realpath(directory, canonical) == NULL) {
        return 0;
    }
    int n = snprintf(absolute, PATH_MAX, "%s/%s", strcmp(canonical, "/") == 0 ? "" : canonical, last);
    if (n < 0 || n >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return 0;
    }
    return 1;
}

int FileCheck(const char *path, char *resolved)
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    int fd = tavbase::OpenFile(path, O_RDONLY | O_CREAT, NEW_FILE_MODE);
    if (fd < 0) {
        int systemError = errno;
        if (systemError == ELOOP || systemError == EINVAL || systemError == EISDIR || systemError == ENXIO) {
            CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__,
                       "Fatal error - %s: The specified file is a link or not a regular file.", path);
        } else {
            CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, "Fatal error - %s: file open failure.", path);
        }
        return 0;
    }
    close(fd);
    if (!AbsolutePath(path, resolved)) {
        CliInternalErrorCode(4, (uint32_t)errno, MOD_CMD_COM, __LINE__);
        return 0;
    }
    return 1;
}
