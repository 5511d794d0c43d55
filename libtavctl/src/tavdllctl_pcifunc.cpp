// The adapter driver's control device: open, close, and filling a command
// record; and the operating system's view of the logical drives: the partition
// check before a deletion and the SCSI layer's add and remove requests.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "tavdllctl_util_config.h"

#define DEVICE_PATH "/dev/tavdrv"
#define SCSI_LAYER_PATH "/proc/scsi/scsi"
#define PARTITION_TABLE_START 446
#define PARTITION_TABLE_END 510
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

TAVCTL_API int Linux_Open(void)
{
    if (g_devfd != 0) {
        close(g_devfd);  // reopening must not leak the earlier descriptor
    }
    g_devfd = 0;
    char path[4096];
    if (!Tool_ResolvePath(DEVICE_PATH, path, sizeof path)) {
        return DllReportSystemFailure("open", "Linux_Open", SRC_PCIFUNC, __LINE__, ENAMETOOLONG);
    }
    int fd = awayFromZero(open(path, O_RDWR | O_CLOEXEC));
    if (fd < 0) {
        return DllReportSystemFailure("open", "Linux_Open", SRC_PCIFUNC, __LINE__, errno);
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
        return DllReportSystemFailure("close", "Linux_Close", SRC_PCIFUNC, __LINE__, errno);
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

/* ---- the operating system's view of the logical drives ---- */

// The SCSI target id of a logical drive: id 7 is never used.
static int osTargetId(uint8_t groupNo)
{
    return groupNo > HIGHEST_DIRECT_TARGET_ID ? groupNo + 1 : groupNo;
}

// Writes one request line to the SCSI layer. Only a file that cannot be
// opened fails: whether the layer then finds the device is its own affair.
static int tellScsiLayer(const char *request, const char *function)
{
    char path[4096];
    if (!Tool_ResolvePath(SCSI_LAYER_PATH, path, sizeof path)) {
        return DllReportSystemFailure("fopen", function, SRC_PCIFUNC, __LINE__, ENAMETOOLONG);
    }
    FILE *file = fopen(path, "a");
    if (file == nullptr) {
        return DllReportSystemFailure("fopen", function, SRC_PCIFUNC, __LINE__, errno);
    }
    fputs(request, file);
    fclose(file);
    return 1;
}

static bool carriesPartitionTable(const uint8_t *block)
{
    for (int i = PARTITION_TABLE_START; i < PARTITION_TABLE_END; ++i) {
        if (block[i] != 0) {
            return true;
        }
    }
    return false;
}

TAVCTL_API int TavDllCmdExe_OsDeleteCheck(uint8_t contNo, uint8_t groupNo, char *message, size_t size)
{
    uint8_t block[SECTOR_SIZE] = {};
    if (CmdExe_ReadSized(contNo, groupNo, block, sizeof block) != 0) {
        DLLSetErrorCode(DLL_ERROR_NONE);  // an unreadable drive holds nothing the system could mount
        return 1;
    }
    if (!carriesPartitionTable(block)) {
        return 1;
    }
    if (message != nullptr && size > 0) {
        snprintf(message, size, "Valid partition exist on LD%d. At first, delete all partition by OS tool.", groupNo);
    }
    DLLSetErrorCode(DLL_ERROR_PARTITION);
    DllReportError(DLL_ERROR_PARTITION, "TavDllCmdExe_OsDeleteCheck", SRC_PCIFUNC, __LINE__, 0);
    return 0;
}

TAVCTL_API int TavDllCmdExe_OsDeactivate(uint8_t contNo, uint8_t groupNo)
{
    char request[64];
    snprintf(request, sizeof request, "scsi remove-single-device %d 0 %d 0\n",
             _AdapterHandle[contNo % TAV_MAX_ADAPTERS].hostNumber, osTargetId(groupNo));
    return tellScsiLayer(request, "TavDllCmdExe_OsDeactivate");
}

TAVCTL_API int TavDllCmdExe_OsRescanCreate(uint8_t contNo, uint8_t groupNo)
{
    char request[64];
    snprintf(request, sizeof request, "scsi add-single-device %d 0 %d 0\n",
             _AdapterHandle[contNo % TAV_MAX_ADAPTERS].hostNumber, osTargetId(groupNo));
    return tellScsiLayer(request, "TavDllCmdExe_OsRescanCreate");
}
