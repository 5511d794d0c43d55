// Start-up and termination of the library: adapter tables, the exclusive
// lock file, the exit handler, controller number checks.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavbase/lock.h"
#include "tavctl_internal.h"

#define LOCK_FILE_PATH "/var/run/libtavctl.pid"
#define CONTROLLER_ABSENT 255
#define EXCLUSIVE_USE 1

ControllerEntry Controller[TAV_MAX_ADAPTERS];
AdapterHandle _AdapterHandle[TAV_MAX_ADAPTERS];
uint16_t _ADR[TAV_MAX_ADAPTERS];
uint8_t _TYPE[TAV_MAX_ADAPTERS];
uint16_t _DRVVER[TAV_MAX_ADAPTERS][4];
int32_t _AdapterNum = 0;
uint16_t _PCIADR = 0;
uint8_t _CardType = 0;
uint8_t initContData_done = 0;
uint8_t ContCnt = 0;

namespace {

// The exclusive lock file while this process holds it open.
tavbase::LockFile g_lock = {-1, 0, 0, 0, ""};

// Releases the lock without reporting (failure paths and process exit): the
// file is removed if this process created it. A forked child only drops its
// copy of the descriptor.
void releaseLockQuietly()
{
    int savedErrno = errno;
    tavbase::LockRelease(&g_lock, g_lock.created, nullptr);
    errno = savedErrno;
}

int failInit(const char *call, int sysErrno, int line)
{
    DllReportSystemFailure(call, "initContData", SRC_DLL_MOD, line, sysErrno);
    return 0;
}

int refuseLocked()
{
    DLLSetErrorCode(DLL_ERROR_LOCKED);
    DllReportError(DLL_ERROR_LOCKED, "initContData", SRC_DLL_MOD, __LINE__, 0);
    return 0;
}

bool registerExitHandler()
{
    static bool registered = false;
    if (!registered && atexit(TavDllProcessDetach) == 0) {
        registered = true;
    }
    return registered;
}

// Opens the lock file and takes the exclusive lock without waiting.
int takeExclusiveLock()
{
    char path[tavbase::kLockPathSize];
    if (!Tool_ResolvePath(LOCK_FILE_PATH, path, sizeof path)) {
        return failInit("open", ENAMETOOLONG, __LINE__);
    }
    const char *call = "open";
    if (tavbase::LockTake(&g_lock, path, 0600, tavbase::kLockExclusive, &call)) {
        return 1;
    }
    return errno == EWOULDBLOCK ? refuseLocked() : failInit(call, errno, __LINE__);
}

int startUp()
{
    ContCnt = static_cast<uint8_t>(TavDll_Startup());
    initContData_done = 1;
    return 1;
}

}  // namespace

void DllResetControllerTable(void)
{
    for (ControllerEntry &entry : Controller) {
        entry.number = 0;
        entry.present = CONTROLLER_ABSENT;
    }
}

TAVCTL_API int initContData(int exclus)
{
    DllResetControllerTable();
    initDLLError();
    registerDLLError();
    DllTraceCycleStart();
    DLL_Dprintf(3, "CALL - %s() exclus=%d\n", "initContData", exclus);
    ContCnt = 0;
    DLLSetErrorCode(DLL_ERROR_NONE);
    if (!registerExitHandler()) {
        return failInit("atexit", errno, __LINE__);
    }
    if (exclus != EXCLUSIVE_USE || tavbase::LockHeld(&g_lock)) {
        return startUp();
    }
    if (!takeExclusiveLock()) {
        return 0;
    }
    return startUp();
}

// The holder removes a file it created before unlocking it, then unlocks
// and closes it.
static int releaseLockReporting()
{
    const char *call = "close";
    if (tavbase::LockRelease(&g_lock, g_lock.created, &call)) {
        return 1;
    }
    return DllReportSystemFailure(call, "finContData", SRC_DLL_MOD, __LINE__, errno);
}

TAVCTL_API int finContData(void)
{
    DllTraceCycleStart();
    DLL_Dprintf(3, "CALL - %s()\n", "finContData");
    DLLSetErrorCode(DLL_ERROR_NONE);
    if (!releaseLockReporting()) {
        return 0;
    }
    if (!TavDll_Terminate()) {
        return 0;
    }
    DllCloseTraceLog();
    initContData_done = 0;
    return 1;
}

TAVCTL_API void TavDllProcessDetach(void)
{
    freeDLLError();
    DllCloseDebugLog();
    releaseLockQuietly();
    DllCloseTraceLog();
}

// Why the last start-up found no adapter because the driver could not be
// reached: the device open or the /proc listing failed with this errno.
static int DiscoveryErrno = 0;

TAVCTL_API int getDiscoveryErrno(void)
{
    return DiscoveryErrno;
}

TAVCTL_API int TavDll_Startup(void)
{
    memset(_AdapterHandle, 0, sizeof _AdapterHandle);
    memset(_ADR, 0, sizeof _ADR);
    memset(_TYPE, 0, sizeof _TYPE);
    memset(_DRVVER, 0, sizeof _DRVVER);
    DiscoveryErrno = 0;
    if (!Linux_Open() || !AT_FindAdapter()) {
        if (DLLGetLastError() == DLL_ERROR_SYSTEM) {
            DiscoveryErrno = DllLastSystemErrno();
        }
        _AdapterNum = 0;
        return 0;
    }
    for (int i = 0; i < _AdapterNum && i < TAV_MAX_ADAPTERS; ++i) {
        Controller[i].number = static_cast<uint8_t>(i);
        _ADR[i] = static_cast<uint16_t>(i);
        _TYPE[i] = _AdapterHandle[i].cardType;
        memcpy(_DRVVER[i], _AdapterHandle[i].driverVersion, sizeof _DRVVER[i]);
    }
    return _AdapterNum;
}

TAVCTL_API int TavDll_Terminate(void)
{
    return Linux_Close();
}

TAVCTL_API int checkCONTno(int contNo, const char *caller, const char *file, int line)
{
    uint32_t code = DLL_ERROR_NONE;
    if (contNo < 0 || contNo >= TAV_MAX_ADAPTERS) {
        code = DLL_ERROR_PARAM | DLL_ARG_ERROR_CONTNO;
    } else if (Controller[contNo].present == CONTROLLER_ABSENT) {
        code = DLL_ERROR_PARAM | DLL_ARG_ERROR_NO_SUCH_CONTROLLER;
    }
    if (code == DLL_ERROR_NONE) {
        return 1;
    }
    DLLSetErrorCode(code);
    DllReportError(code, caller, file, line, 0);
    return 0;
}

/* ---- command builders ---- */

#define INQUIRY_LENGTH 255
#define SECTOR_LENGTH 512
#define MODE_SENSE_LENGTH 255
#define READ_BUFFER_DEFAULT_MODE 1
#define READ_BUFFER_DEFAULT_LENGTH 256
#define ADAPTER_TARGET 0

// Sends a record prepared by a builder and remembers where it went.
static int sendBuilt(uint16_t contNo, uint8_t target, SDllLinuxCmd *cmd, const uint8_t *cdb, int cdbLength)
{
    memcpy(cmd->cdb, cdb, static_cast<size_t>(cdbLength));
    cmd->cdbLength = cdbLength;
    uint8_t *detail = nullptr;
    uint32_t result = Linux_CmdExe(contNo, cmd, &detail);
    _ErrPci = contNo;
    _ErrTarget = target;
    return static_cast<int>((result >> 8) & 0xFF);
}

// A buffer smaller than the command's transfer is refused before anything
// is sent.
static bool bufferHolds(size_t size, size_t transfer)
{
    if (size >= transfer) {
        return true;
    }
    DLLSetErrorCode(DLL_ERROR_PARAM | DLL_ARG_ERROR_SIZESPEC);
    return false;
}

TAVCTL_API int CmdExe_InquirySized(uint16_t contNo, uint8_t target, uint8_t *buffer, size_t size)
{
    if (!bufferHolds(size, INQUIRY_LENGTH)) {
        return CMDEXE_REFUSED;
    }
    SDllLinuxCmd cmd;
    Linux_InitCMD(&cmd, target, buffer, 0, INQUIRY_LENGTH);
    const uint8_t cdb[6] = {0x12, 0x00, 0x00, 0x00, INQUIRY_LENGTH, 0x00};
    return sendBuilt(contNo, target, &cmd, cdb, sizeof cdb);
}

TAVCTL_API int CmdExe_Inquiry(uint16_t contNo, uint8_t target, uint8_t *buffer)
{
    return CmdExe_InquirySized(contNo, target, buffer, INQUIRY_LENGTH);
}

TAVCTL_API int CmdExe_ReadSized(uint16_t contNo, uint8_t target, uint8_t *buffer, size_t size)
{
    if (!bufferHolds(size, SECTOR_LENGTH)) {
        return CMDEXE_REFUSED;
    }
    SDllLinuxCmd cmd;
    Linux_InitCMD(&cmd, target, buffer, 0, SECTOR_LENGTH);
    const uint8_t cdb[10] = {0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00};
    return sendBuilt(contNo, target, &cmd, cdb, sizeof cdb);
}

TAVCTL_API int CmdExe_Read(uint16_t contNo, uint8_t target, uint8_t *buffer)
{
    return CmdExe_ReadSized(contNo, target, buffer, SECTOR_LENGTH);
}

TAVCTL_API int CmdExe_WriteSized(uint16_t contNo, uint8_t target, uint32_t lba, uint8_t *buffer, size_t size)
{
    if (!bufferHolds(size, SECTOR_LENGTH)) {
        return CMDEXE_REFUSED;
    }
    SDllLinuxCmd cmd;
    Linux_InitCMD(&cmd, target, buffer, SECTOR_LENGTH, 0);
    const uint8_t cdb[10] = {0x2A,
                             0x00,
                             static_cast<uint8_t>(lba >> 24),
                             static_cast<uint8_t>(lba >> 16),
                             static_cast<uint8_t>(lba >> 8),
                             static_cast<uint8_t>(lba),
                             0x00,
                             0x00,
                             0x01,
                             0x00};
    return sendBuilt(contNo, target, &cmd, cdb, sizeof cdb);
}

TAVCTL_API int CmdExe_Write(uint16_t contNo, uint8_t target, uint32_t lba, uint8_t *buffer)
{
    return CmdExe_WriteSized(contNo, target, lba, buffer, SECTOR_LENGTH);
}

TAVCTL_API int CmdExe_ModeSenseSized(uint16_t contNo, uint8_t target, uint8_t page, uint8_t *buffer, size_t size)
{
    if (!bufferHolds(size, MODE_SENSE_LENGTH)) {
        return CMDEXE_REFUSED;
    }
    SDllLinuxCmd cmd;
    Linux_InitCMD(&cmd, target, buffer, 0, MODE_SENSE_LENGTH);
    const uint8_t cdb[6] = {0x1A, 0x08, page, 0x00, MODE_SENSE_LENGTH, 0x00};
    return sendBuilt(contNo, target, &cmd, cdb, sizeof cdb);
}

TAVCTL_API int CmdExe_ModeSense(uint16_t contNo, uint8_t target, uint8_t page, uint8_t *buffer)
{
    return CmdExe_ModeSenseSized(contNo, target, page, buffer, MODE_SENSE_LENGTH);
}

TAVCTL_API int CmdExe_ModeSelect(uint16_t contNo, uint8_t target, uint8_t *buffer, uint8_t length)
{
    SDllLinuxCmd cmd;
    Linux_InitCMD(&cmd, target, buffer, length, 0);
    const uint8_t cdb[6] = {0x15, 0x11, 0x00, 0x00, length, 0x00};
    return sendBuilt(contNo, target, &cmd, cdb, sizeof cdb);
}

// READ BUFFER addresses the adapter itself, whatever target is given.
TAVCTL_API int CmdExe_ReadBuffer2(uint16_t contNo, uint8_t target, uint8_t mode, uint8_t bufferId, uint8_t *buffer,
                                  uint32_t length, uint32_t offset)
{
    (void)target;
    length &= 0x00FFFFFFu;
    offset &= 0x00FFFFFFu;
    SDllLinuxCmd cmd;
    Linux_InitCMD(&cmd, ADAPTER_TARGET, buffer, 0, static_cast<int>(length));
    const uint8_t cdb[10] = {0x3C,
                             mode,
                             bufferId,
                             static_cast<uint8_t>(offset >> 16),
                             static_cast<uint8_t>(offset >> 8),
                             static_cast<uint8_t>(offset),
                             static_cast<uint8_t>(length >> 16),
                             static_cast<uint8_t>(length >> 8),
                             static_cast<uint8_t>(length),
                             0x00};
    return sendBuilt(contNo, ADAPTER_TARGET, &cmd, cdb, sizeof cdb);
}

TAVCTL_API int CmdExe_ReadBuffer(uint16_t contNo, uint8_t target, uint8_t bufferId, uint8_t *buffer)
{
    return CmdExe_ReadBuffer2(contNo, target, READ_BUFFER_DEFAULT_MODE, bufferId, buffer, READ_BUFFER_DEFAULT_LENGTH,
                              0);
}
