// TavPasAnyCommand: the frame of every pass-through command. Takes the lock,
// checks the request, opens the control library when the program has not,
// and sends the command on the SCSI path or the two-step SATA path.
#include <string.h>

#include "tavpas_internal.h"

namespace {

// Argument checks of the frame; 0 when usable, else the detail code.
uint8_t checkRequest(const PassThroughInfo *info, const uint8_t *data, const uint32_t *length, const uint8_t *result,
                     const uint32_t *resultLength)
{
    if (info == nullptr) {
        return TAVPAS_DETAIL_INFO;
    }
    if (length == nullptr) {
        return TAVPAS_DETAIL_LENGTH;
    }
    if (*length != 0 && data == nullptr) {
        return TAVPAS_DETAIL_DATA;
    }
    if (result == nullptr) {
        return TAVPAS_DETAIL_RESULT;
    }
    if (resultLength == nullptr || *resultLength == 0) {
        return TAVPAS_DETAIL_RESULT_LENGTH;
    }
    if (info->direction == TAVPAS_NO_DATA && info->deviceType != TAVPAS_DEVICE_SATA) {
        return TAVPAS_DETAIL_INFO;
    }
    return 0;
}

uint32_t releaseAfterCommand(int fd, uint32_t code)
{
    if (!TavLockRelease(fd) && code == TAVPAS_OK) {
        return TAVPAS_SYSTEM_ERROR;
    }
    return code;
}

uint32_t scsiPath(int fd, PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                  uint32_t *resultLength)
{
    SDllLinuxCmd cmd;
    TavMakeIoctlCMD(&cmd, info, data, length, result, resultLength);
    uint8_t *sense = nullptr;
    uint32_t returned = Linux_CmdExe(info->controllerNo, &cmd, &sense);
    uint32_t code = releaseAfterCommand(fd, TAVPAS_OK);
    if (returned != CMDEXE_OK) {
        code = TavPasMapCompletion(returned, &cmd, sense, info, result, resultLength);
    }
    return code;
}

uint32_t dispatch(int fd, PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                  uint32_t *resultLength)
{
    switch (info->deviceType) {
    case TAVPAS_DEVICE_SCSI:
        return scsiPath(fd, info, data, length, result, resultLength);
    case TAVPAS_DEVICE_SATA:
        return releaseAfterCommand(fd, TavMakeIoctlCMDSata(info, data, length, result, resultLength));
    default:
        dumpLog(SRC_ANYCOMMAND, __LINE__, "ERROR:NOT SUPPORTED", nullptr, 0);
        TavPasTraceInfo(SRC_ANYCOMMAND, __LINE__, info);
        TavLockRelease(fd);
        return TAVPAS_NOT_SUPPORTED;
    }
}

}  // namespace

TAVPTH_API uint32_t TavPasAnyCommand(PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                                     uint32_t *resultLength)
{
    uint32_t code = TAVPAS_OK;
    int fd = TavPasLockTake(result, resultLength, &code);
    if (fd < 0) {
        return code;
    }
    uint8_t detail = checkRequest(info, data, length, result, resultLength);
    if (detail != 0) {
        TavPasRefuseParam(SRC_ANYCOMMAND, __LINE__, detail, result, resultLength);
        TavLockRelease(fd);
        return TAVPAS_PARAM_ERROR;
    }
    bool opened = false;
    if (!initContData_done) {
        if (initContData(0) != 1) {
            TavLockRelease(fd);
            return TAVPAS_LOCKED;
        }
        opened = true;
    }
    code = dispatch(fd, info, data, length, result, resultLength);
    if (opened) {
        finContData();
    }
    return code;
}

TAVPTH_API void TavMakeIoctlCMD(SDllLinuxCmd *cmd, PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *,
                                uint32_t *)
{
    memset(cmd, 0, sizeof *cmd);
    cmd->target = info->targetNo;
    cmd->targetId = info->targetNo;
    cmd->bus = 0;
    cmd->data = data;
    // An over-long CDB length is kept so that the control library refuses it;
    // only the bytes the record holds are copied.
    size_t copied = info->cdbLength < sizeof cmd->cdb ? info->cdbLength : sizeof cmd->cdb;
    memcpy(cmd->cdb, info->cdb, copied);
    cmd->cdbLength = static_cast<int32_t>(info->cdbLength > 0x7FFFFFFFu ? 0x7FFFFFFFu : info->cdbLength);
    uint8_t opcode = info->cdbForm == TAVPAS_FORM_WRAPPED ? info->cdb[2] : info->cdb[0];
    switch (opcode) {
    case 0x00:
    case 0x1B:
        break;
    case 0x0A:
    case 0x15:
    case 0x1D:
    case 0x2A:
    case 0x2E:
    case 0x2F:
    case 0x3B:
    case 0x3F:
    case 0x41:
    case 0x4C:
    case 0x55:
    case 0x8E:
    case 0x8A:
        cmd->lengthIn = *length;
        break;
    default:
        cmd->lengthOut = *length;
        break;
    }
    cmd->hostStatus = 0;
    cmd->cmdStatus = 0;
}
