// The completion mapping: what a non-zero return of Linux_CmdExe means to the
// caller of a pass-through command, on the SCSI path and both SATA steps.
#include <errno.h>
#include <string.h>

#include "tavpas_internal.h"

#define STATUS_CHECK_CONDITION 2
#define STATUS_BUSY 8

namespace {

uint32_t checkCondition(const uint8_t *sense, PassThroughInfo *info, uint8_t *result, uint32_t *resultLength)
{
    if (*resultLength > TAVPAS_SENSE_MAX) {
        *resultLength = TAVPAS_SENSE_MAX;
    }
    if (sense != nullptr) {
        memcpy(result, sense, *resultLength);
    }
    info->status = STATUS_CHECK_CONDITION;
    TavPasTraceInfo(SRC_ANYCOMMAND, __LINE__, info);
    TavPasTraceResult(SRC_ANYCOMMAND, __LINE__, result, resultLength);
    return TAVPAS_CHECK_CONDITION;
}

uint32_t commandFailed(PassThroughInfo *info, uint8_t *result, uint32_t *resultLength)
{
    if (result[0] == 0) {
        const char *text = strerror(EIO);
        size_t length = strlen(text);
        if (length > *resultLength) {
            length = *resultLength;
        }
        memcpy(result, text, length);  // the text's own bytes, no terminator
        *resultLength = static_cast<uint32_t>(length);
    }
    TavPasTraceInfo(SRC_ANYCOMMAND, __LINE__, info);
    TavPasTraceResult(SRC_ANYCOMMAND, __LINE__, result, resultLength);
    return TAVPAS_COMMAND_ERROR;
}

}  // namespace

uint32_t TavPasMapCompletion(uint32_t cmdResult, const SDllLinuxCmd *cmd, const uint8_t *sense, PassThroughInfo *info,
                             uint8_t *result, uint32_t *resultLength)
{
    info->status = cmd->area[2];
    switch (cmdResult) {
    case CMDEXE_SENSE:
        return checkCondition(sense, info, result, resultLength);
    case CMDEXE_SIZE_ERROR:
        TavPasPutDetail(result, resultLength, TAVPAS_DETAIL_LENGTH);
        TavPasTraceParam(SRC_ANYCOMMAND, __LINE__, TAVPAS_DETAIL_LENGTH);
        TavPasTraceInfo(SRC_ANYCOMMAND, __LINE__, info);
        TavPasTraceResult(SRC_ANYCOMMAND, __LINE__, result, resultLength);
        return TAVPAS_PARAM_ERROR;
    case CMDEXE_BUSY:
        info->status = STATUS_BUSY;
        TavPasTraceInfo(SRC_ANYCOMMAND, __LINE__, info);
        return TAVPAS_BUSY;
    case CMDEXE_DRIVER_BUSY:
        TavPasTraceInfo(SRC_ANYCOMMAND, __LINE__, info);
        return TAVPAS_BUSY;
    default:
        return commandFailed(info, result, resultLength);
    }
}
