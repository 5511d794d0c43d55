// The shapes the typed entry points share: they place or check the operation
// code of their command in the request and hand it to TavPasAnyCommand.
#include "tavpas_internal.h"

#define SAT_PASS_THROUGH_16 0x85
#define SAT_DEVICE_BYTE 13
#define SAT_COMMAND_BYTE 14
#define SAT_CONTROL_BYTE 15
#define ATA_DEVICE_LBA 0x40

uint32_t TavPasRefuseForm(const char *srcFile, unsigned line, const char *name, uint8_t *result, uint32_t *resultLength,
                          uint32_t code)
{
    TavPasPutDetail(result, resultLength, TAVPAS_DETAIL_INFO);
    TavPasTraceCall(srcFile, line, name);
    TavPasTraceParam(srcFile, line, TAVPAS_DETAIL_INFO);
    return code;
}

uint32_t TavPasReadType(const char *srcFile, const char *name, uint8_t opcode, PassThroughInfo *info, uint8_t *data,
                        uint32_t *length, uint8_t *result, uint32_t *resultLength)
{
    if (!ParamCheck_DataIN(info, data, length, result, resultLength)) {
        return TAVPAS_PARAM_ERROR;
    }
    if (info->deviceType == TAVPAS_DEVICE_SCSI) {
        if (info->cdbForm == TAVPAS_FORM_WRAPPED) {
            info->cdb[0] = TAVPAS_WRAP_READ;
            info->cdb[2] = opcode;
        } else if (info->cdbForm == TAVPAS_FORM_PLAIN) {
            info->cdb[0] = opcode;
        } else {
            return TavPasRefuseForm(srcFile, __LINE__, name, result, resultLength, TAVPAS_PARAM_ERROR);
        }
    } else if (info->deviceType == TAVPAS_DEVICE_SATA && info->cdbForm == TAVPAS_FORM_WRAPPED) {
        return TavPasRefuseForm(srcFile, __LINE__, name, result, resultLength, TAVPAS_NOT_SUPPORTED);
    }
    return TavPasAnyCommand(info, data, length, result, resultLength);
}

uint32_t TavPasWriteType(const char *srcFile, const char *name, uint8_t opcode, PassThroughInfo *info, uint8_t *data,
                         uint32_t length, uint8_t *result, uint32_t *resultLength)
{
    if (!ParamCheck_DataOUT(info, data, length, result, resultLength)) {
        return TAVPAS_PARAM_ERROR;
    }
    if (info->deviceType == TAVPAS_DEVICE_SCSI) {
        bool wrapped =
            info->cdbForm == TAVPAS_FORM_WRAPPED && info->cdb[0] == TAVPAS_WRAP_WRITE && info->cdb[2] == opcode;
        bool plain = info->cdbForm == TAVPAS_FORM_PLAIN && info->cdb[0] == opcode;
        if (!wrapped && !plain) {
            return TavPasRefuseForm(srcFile, __LINE__, name, result, resultLength, TAVPAS_PARAM_ERROR);
        }
    } else if (info->deviceType == TAVPAS_DEVICE_SATA && info->cdbForm == TAVPAS_FORM_WRAPPED) {
        return TavPasRefuseForm(srcFile, __LINE__, name, result, resultLength, TAVPAS_NOT_SUPPORTED);
    }
    return TavPasAnyCommand(info, data, &length, result, resultLength);
}

uint32_t TavPasAtaType(const char *srcFile, const char *name, uint8_t ataCommand, bool toDrive, PassThroughInfo *info,
                       uint8_t *data, uint32_t *length, uint8_t *result, uint32_t *resultLength)
{
    // The length of a write arrives by value: the entry point passes its copy.
    bool usable = toDrive ? ParamCheck_DataOUT(info, data, *length, result, resultLength)
                          : ParamCheck_DataIN(info, data, length, result, resultLength);
    if (!usable) {
        return TAVPAS_PARAM_ERROR;
    }
    if (info->deviceType == TAVPAS_DEVICE_SCSI) {
        return TavPasRefuseForm(srcFile, __LINE__, name, result, resultLength, TAVPAS_NOT_SUPPORTED);
    }
    if (info->deviceType == TAVPAS_DEVICE_SATA) {
        info->cdb[0] = SAT_PASS_THROUGH_16;
        info->cdb[SAT_DEVICE_BYTE] = ATA_DEVICE_LBA;
        info->cdb[SAT_COMMAND_BYTE] = ataCommand;
        info->cdb[SAT_CONTROL_BYTE] = 0x00;
        info->direction = toDrive ? TAVPAS_TO_DRIVE : TAVPAS_FROM_DRIVE;
    }
    return TavPasAnyCommand(info, data, length, result, resultLength);
}
