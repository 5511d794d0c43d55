// The adapter driver's control device: open, close, and filling a command
// record.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "tavctl_internal.h"

#define DEVICE_PATH "/dev/tavdrv"
#define TARGET_ID_MASK 0x0F
#define HIGHEST_DIRECT_TARGET_ID 6

int g_devfd = 0;  // 0: the device is not open

// Keeps the descriptor off 0, which stands for "not open" (a daemon that
// closed its standard input would otherwise get 0 for the device).
static int awayFromZero(int fd)
{
    if (fd != 0) {
        return fd;
    }
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    return moved;
}

static int reportSystemFailure(const char *call, const char *function, int sysErrno, int line)
{
    DllSetFunction(call);
    DLLSetErrorCode(DLL_ERROR_SYSTEM);
    DllReportError(DLL_ERROR_SYSTEM, function, SRC_PCIFUNC, line, sysErrno);
    return 0;
}

TAVCTL_API int Linux_Open(void)
{
    if (g_devfd != 0) {
        close(g_devfd);  // reopening must not leak the earlier descriptor
    }
    g_devfd = 0;
    char path[4096];
    if (!Tool_ResolvePath(DEVICE_PATH, path, sizeof path)) {
        return reportSystemFailure("open", "Linux_Open", ENAMETOOLONG, __LINE__);
    }
    int fd = awayFromZero(open(path, O_RDWR | O_CLOEXEC));
    if (fd < 0) {
        return reportSystemFailure("open", "Linux_Open", errno, __LINE__);
    }
    g_devfd = fd;
    return 1;
}

TAVCTL_API int Linux_Close(void)
{
    if (g_devfd == 0) {
        return 1;
    }
    if (close(g_devfd) != 0) {
        return reportSystemFailure("close", "Linux_Close", errno, __LINE__);
    }
    g_devfd = 0;
    return 1;
}

TAVCTL_API void Linux_InitCMD(SDllLinuxCmd *cmd, int target, uint8_t *data, int lengthIn, int lengthOut)
{
    if (cmd == nullptr) {
        return;
    }
    memset(cmd, 0, sizeof *cmd);
    // Target id 7 is never addressed: ids 7 and above move up by one.
    if ((target & TARGET_ID_MASK) > HIGHEST_DIRECT_TARGET_ID) {
        target += 1;
    }
    cmd->target = static_cast<uint32_t>(target);
    cmd->data = data;
    cmd->lengthIn = static_cast<uint32_t>(lengthIn);
    cmd->lengthOut = static_cast<uint32_t>(lengthOut);
}
