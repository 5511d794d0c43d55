// Linux_CmdExe: one adapter command through one ioctl on the driver's
// control device, with busy retries and classification of the outcome.
#include <errno.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>

#include "tavctl_internal.h"

#define IOCTL_FIRST_CONTROLLER 0xC008740Aul  // read-write, size 8, type 't', number 10
#define IOCTL_LAST_CONTROLLER 0xC008740Dul   // number 13, also for every higher controller
#define DRIVER_BUSY_RETURN 16
#define DRIVER_BUSY_ATTEMPTS 350
#define DRIVER_BUSY_SLEEP_NS 5000000L
#define FIXED_LAYOUT_FLAG 0x01000000u
#define LENGTH_MASK 0x00FFFFFFu
#define FIXED_LAYOUT_CDB_SIZE 16
#define SENSE_COPY_LENGTH 48

#define CMD_STATUS_GOOD 0x00
#define CMD_STATUS_CHECK_CONDITION 0x02
#define CMD_STATUS_BUSY 0x08
#define CMD_STATUS_FAILED_WITH_SENSE 0xFF

uint8_t _SnsDat[256];
char errcode[80];
uint32_t _ErrPOCCAR;
uint16_t _ErrPci;
uint8_t _ErrTarget;

namespace {

const char FUNCTION_NAME[] = "Linux_CmdExe";

// Drivers from 3.54 / 4.54 on, and every driver whose third component is
// above 4, take the CDB in a fixed 16-byte field.
bool usesFixedLayout(uint16_t contNo)
{
    if (contNo >= TAV_MAX_ADAPTERS) {
        return false;
    }
    uint16_t third = _DRVVER[contNo][2];
    uint16_t fourth = _DRVVER[contNo][3];
    return ((third == 3 || third == 4) && fourth > 53) || third > 4;
}

unsigned long requestFor(uint16_t contNo)
{
    unsigned long request = IOCTL_FIRST_CONTROLLER + contNo;
    return request > IOCTL_LAST_CONTROLLER ? IOCTL_LAST_CONTROLLER : request;
}

// Issues the ioctl, retrying while the driver answers busy. Returns the last
// return value; sysErrno receives the errno of the last attempt.
int submit(uint16_t contNo, SDllLinuxCmd *cmd, int *sysErrno)
{
    void *block = reinterpret_cast<char *>(cmd) + offsetof(SDllLinuxCmd, lengthIn);
    const struct timespec pause = {0, DRIVER_BUSY_SLEEP_NS};
    int result = 0;
    for (int attempt = 1; attempt <= DRIVER_BUSY_ATTEMPTS; ++attempt) {
        errno = 0;
        result = ioctl(g_devfd, requestFor(contNo), block);
        *sysErrno = errno;
        if (result != DRIVER_BUSY_RETURN || attempt == DRIVER_BUSY_ATTEMPTS) {
            break;
        }
        nanosleep(&pause, nullptr);
    }
    return result;
}

uint32_t refuse(uint32_t errorWord, int line)
{
    DLLSetErrorCode(errorWord);
    DllReportError(errorWord, FUNCTION_NAME, SRC_RAIDCTL, line, 0);
    return CMDEXE_SIZE_ERROR;
}

void dumpRequest(const SDllLinuxCmd *cmd, uint32_t lengthIn)
{
    TavDllCtlDump("ERROR:IOCTL IN(DATA)", cmd->data, static_cast<int>(lengthIn));
    TavDllCtlDump("ERROR:IOCTL IN(CDB)", cmd->cdb, cmd->cdbLength);
}

void reportCommandError(uint32_t errorWord, const SDllLinuxCmd *cmd, int sysErrno, int line)
{
    DLLSetErrorCode(errorWord);
    DllReportCommandError(errorWord, cmd->cmdStatus, FUNCTION_NAME, SRC_RAIDCTL, line, sysErrno);
}

uint32_t senseReturned(uint16_t contNo, SDllLinuxCmd *cmd, uint32_t lengthIn, uint8_t **detail, int sysErrno)
{
    memset(_SnsDat, 0, sizeof _SnsDat);
    memcpy(_SnsDat, cmd->area, SENSE_COPY_LENGTH);
    if (detail != nullptr) {
        *detail = _SnsDat;
    }
    reportCommandError(DLL_ERROR_COMMAND, cmd, sysErrno, __LINE__);
    DllTraceFlush();
    dumpRequest(cmd, lengthIn);
    TavDllCtlDump("ERROR:IOCTL OUT(SENSE)", _SnsDat, SENSE_COPY_LENGTH);
    DLL_Dprintf(4, "ERROR:IOCTL CONTno=%d HostBbyte=0x%02X CmdSts=0x%02X RtnCode=0x%08X\n", contNo, cmd->hostStatus,
                cmd->cmdStatus, CMDEXE_SENSE);
    DLL_Dprintf(3, "ERROR:IOCTL SENSE KEY=0x%02X ASC=0x%02X ASCQ=0x%02X\n", _SnsDat[2] & 0x0F, _SnsDat[12],
                _SnsDat[13]);
    return CMDEXE_SENSE;
}

uint32_t adapterBusy(uint16_t contNo, SDllLinuxCmd *cmd, uint32_t lengthIn, int sysErrno)
{
    reportCommandError(DLL_ERROR_COMMAND, cmd, sysErrno, __LINE__);
    DllTraceFlush();
    dumpRequest(cmd, lengthIn);
    DLL_Dprintf(3, "ERROR:IOCTL CONTno=%d CmdSts=0x%02X RtnCode=0x%08X\n", contNo, cmd->area[2], CMDEXE_BUSY);
    return CMDEXE_BUSY;
}

uint32_t adapterError(uint16_t contNo, SDllLinuxCmd *cmd, uint32_t lengthIn, uint8_t **detail, int sysErrno)
{
    _ErrPOCCAR = (static_cast<uint32_t>(cmd->area[3]) << 16) | cmd->area[1];
    memset(errcode, 0, sizeof errcode);
    snprintf(errcode, sizeof errcode, "%08X", _ErrPOCCAR);
    if (detail != nullptr) {
        *detail = reinterpret_cast<uint8_t *>(errcode);
    }
    reportCommandError(DLL_ERROR_COMMAND, cmd, sysErrno, __LINE__);
    TavDllCtlDump("pResultData", errcode, sizeof errcode);
    DllTraceFlush();
    dumpRequest(cmd, lengthIn);
    TavDllCtlDump("ERROR:IOCTL OUT", errcode, sizeof errcode);
    DLL_Dprintf(3, "ERROR:IOCTL CONTno=%d CmdSts=0x%02X RtnCode=0x%08X\n", contNo, cmd->area[2], CMDEXE_ADAPTER_ERROR);
    return CMDEXE_ADAPTER_ERROR;
}

uint32_t driverStayedBusy(SDllLinuxCmd *cmd, uint32_t lengthIn)
{
    DLLSetErrorCode(DLL_ERROR_DRIVER_BUSY);
    DllTraceFlush();
    dumpRequest(cmd, lengthIn);
    DLL_Dprintf(3, "ERROR:IOCTL CmdSts=0x%02X RtnCode=0x%08X\n", cmd->area[2], CMDEXE_DRIVER_BUSY);
    return CMDEXE_DRIVER_BUSY;
}

}  // namespace

TAVCTL_API uint32_t Linux_CmdExe(uint16_t contNo, SDllLinuxCmd *cmd, uint8_t **detail)
{
    DllTraceCycleStart();
    if (cmd == nullptr) {
        DLL_Dprintf(3, "CALL - %s() CONTno=%d\n", FUNCTION_NAME, contNo);
        DLLSetErrorCode(DLL_ERROR_NONE);
        return refuse(DLL_ERROR_PARAM | DLL_ARG_ERROR_NULL, __LINE__);
    }
    DLL_Dprintf(3, "CALL - %s() CONTno=%d inlen=%d outlen=%d\n", FUNCTION_NAME, contNo, static_cast<int>(cmd->lengthIn),
                static_cast<int>(cmd->lengthOut));
    DLLSetErrorCode(DLL_ERROR_NONE);
    // Lengths are read once: the driver writes into the block.
    const uint32_t lengthIn = cmd->lengthIn;
    const uint32_t lengthOut = cmd->lengthOut;
    const int cdbLength = cmd->cdbLength;
    if (lengthIn > TAV_MAX_DATA_LENGTH || lengthOut > TAV_MAX_DATA_LENGTH || cdbLength < 0 ||
        cdbLength > static_cast<int>(sizeof cmd->cdb)) {
        return refuse(DLL_ERROR_PARAM | DLL_ARG_ERROR_SIZESPEC, __LINE__);
    }

    const bool fixedLayout = usesFixedLayout(contNo);
    uint8_t *outgoing = cmd->area + (fixedLayout ? FIXED_LAYOUT_CDB_SIZE : cdbLength);
    if (cmd->data != nullptr) {
        memcpy(outgoing, cmd->data, lengthIn);
    }
    TavDllCtlDump("INDATA", cmd->data, static_cast<int>(lengthIn));
    memcpy(cmd->area, cmd->cdb, static_cast<size_t>(cdbLength));
    TavDllCtlDump("CDB", cmd->cdb, cdbLength);
    cmd->lengthIn = lengthIn | (fixedLayout ? FIXED_LAYOUT_FLAG : 0);
    cmd->targetId = static_cast<uint8_t>(cmd->target & 0x0F);
    cmd->bus = static_cast<uint8_t>((cmd->target >> 4) & 0x0F);

    int sysErrno = 0;
    const int result = submit(contNo, cmd, &sysErrno);

    cmd->lengthIn &= LENGTH_MASK;
    if (cmd->data != nullptr) {
        memcpy(cmd->data, cmd->area, lengthOut);
    }
    TavDllCtlDump("OUTDATA", cmd->data, static_cast<int>(lengthOut));

    if (result == 0) {
        return CMDEXE_OK;
    }
    if (result == DRIVER_BUSY_RETURN) {
        return driverStayedBusy(cmd, lengthIn);
    }
    switch (cmd->cmdStatus) {
    case CMD_STATUS_CHECK_CONDITION:
    case CMD_STATUS_FAILED_WITH_SENSE:
        return senseReturned(contNo, cmd, lengthIn, detail, sysErrno);
    case CMD_STATUS_BUSY:
        return adapterBusy(contNo, cmd, lengthIn, sysErrno);
    default:
        return adapterError(contNo, cmd, lengthIn, detail, sysErrno);
    }
}
