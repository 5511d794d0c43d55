/* The check of an output file named on the command line: it must exist (it
 * is created when missing), be readable and resolve to an absolute path. */
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavcli.h"

#define NEW_FILE_MODE 0644

static int CreateWhenMissing(const char *path)
{
    if (access(path, F_OK) == 0) {
        return 1;
    }
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, NEW_FILE_MODE);
    if (fd < 0) {
        return 0;
    }
    close(fd);
    return 1;
}

/* The resolved file can be opened and queried. */
static int CheckResolved(const char *resolved)
{
    int fd = open(resolved, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, "Fatal error - %s: file open failure.", resolved);
        return 0;
    }
    struct stat status;
    if (fstat(fd, &status) != 0) {
        int systemError = errno;
        close(fd);
        CliInternalErrorCode(4, (uint32_t)systemError, MOD_CMD_COM, __LINE__);
        return 0;
    }
    close(fd);
    return 1;
}

int FileCheck(const char *path, char *resolved)
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    if (!CreateWhenMissing(path)) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, "Fatal error - %s: file open failure.", path);
        return 0;
    }
    if (access(path, R_OK) != 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, "Fatal error - %s: file read failure.", path);
        return 0;
    }
    if (realpath(path, resolved) == NULL) {
        int systemError = errno;
        if (systemError == ENOENT) {
            CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, "Fatal error - %s: The specified file is not found.",
                       path);
        } else {
            CliInternalErrorCode(4, (uint32_t)systemError, MOD_CMD_COM, __LINE__);
        }
        return 0;
    }
    return CheckResolved(resolved);
}
