// TavMakeIoctlCMDSata: the two-step exchange for SATA drives. The controller's
// command 0xBC first takes the ATA command (a SAT ATA PASS-THROUGH CDB) as
// data, then moves the data of that command.
#include <string.h>

#include "tavpas_internal.h"

#define SATA_CDB_LENGTH 12
#define SATA_STEP_COMMAND 0x00
#define SATA_STEP_TO_DRIVE 0x11
#define SATA_STEP_FROM_DRIVE 0x12
#define SATA_STEP_NO_DATA 0x13
#define SATA_MAX_ATA_CDB 16u

namespace {

void startRecord(SDllLinuxCmd *cmd, const PassThroughInfo *info, uint8_t *data)
{
    memset(cmd, 0, sizeof *cmd);
    cmd->target = info->targetNo;
    cmd->targetId = info->targetNo;
    cmd->data = data;
    cmd->cdbLength = SATA_CDB_LENGTH;
    cmd->cdb[0] = TAVPAS_SATA_EXCHANGE;
}

// Step 1: the ATA command itself travels as data to the controller.
void commandStep(SDllLinuxCmd *cmd, PassThroughInfo *info)
{
    startRecord(cmd, info, info->cdb);
    cmd->cdb[1] = SATA_STEP_COMMAND;
    cmd->cdb[3] = static_cast<uint8_t>(info->cdbLength >> 8);
    cmd->cdb[4] = static_cast<uint8_t>(info->cdbLength);
    cmd->cdb[6] = static_cast<uint8_t>(info->cdbLength);
    cmd->lengthIn = info->cdbLength;
}

// Step 2: the data, counted in bytes or in 512-byte blocks.
void dataStep(SDllLinuxCmd *cmd, PassThroughInfo *info, uint8_t *data, uint32_t count)
{
    startRecord(cmd, info, data);
    cmd->cdb[1] = info->direction == TAVPAS_FROM_DRIVE ? SATA_STEP_FROM_DRIVE
                  : info->direction == TAVPAS_TO_DRIVE ? SATA_STEP_TO_DRIVE
                                                       : SATA_STEP_NO_DATA;
    cmd->cdb[2] = info->targetNo;
    if (info->transferUnit == 0) {
        cmd->cdb[3] = static_cast<uint8_t>(count >> 8);
        cmd->cdb[4] = static_cast<uint8_t>(count);
    } else {
        cmd->cdb[3] = static_cast<uint8_t>(count >> 17);
        cmd->cdb[4] = static_cast<uint8_t>(count >> 9);
    }
    cmd->cdb[5] = info->transferUnit;
    cmd->cdb[6] = static_cast<uint8_t>(info->cdbLength);
    if (info->direction == TAVPAS_FROM_DRIVE) {
        cmd->lengthOut = count;
    } else if (info->direction == TAVPAS_TO_DRIVE) {
        cmd->lengthIn = count;
    }
}

}  // namespace

TAVPTH_API uint32_t TavMakeIoctlCMDSata(PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                                        uint32_t *resultLength)
{
    // The ATA command is sent from the request's 16-byte field: a longer
    // length is refused as the controller refuses lengths, before anything is read past it.
    if (info->cdbLength > SATA_MAX_ATA_CDB) {
        TavPasPutDetail(result, resultLength, TAVPAS_DETAIL_LENGTH);
        TavPasTraceParam(SRC_ANYCOMMAND, __LINE__, TAVPAS_DETAIL_LENGTH);
        TavPasTraceInfo(SRC_ANYCOMMAND, __LINE__, info);
        return TAVPAS_PARAM_ERROR;
    }
    SDllLinuxCmd cmd;
    uint8_t *sense = nullptr;
    commandStep(&cmd, info);
    uint32_t returned = Linux_CmdExe(info->controllerNo, &cmd, &sense);
    if (returned != CMDEXE_OK) {
        return TavPasMapCompletion(returned, &cmd, sense, info, result, resultLength);
    }
    dataStep(&cmd, info, data, *length);
    returned = Linux_CmdExe(info->controllerNo, &cmd, &sense);
    if (returned != CMDEXE_OK) {
        return TavPasMapCompletion(returned, &cmd, sense, info, result, resultLength);
    }
    return TAVPAS_OK;
}
