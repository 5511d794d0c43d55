/* Building pass-through requests and sending them with their CDB printed
 * and their failure reported. */
#include <stdio.h>
#include <string.h>

#include "TavPth.h"

void PthPutBe(uint8_t *out, uint64_t value, unsigned bytes)
{
    for (unsigned i = 0; i < bytes; ++i) {
        out[bytes - 1 - i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

uint64_t PthGetBe(const uint8_t *in, unsigned bytes)
{
    uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i) {
        value = value << 8 | in[i];
    }
    return value;
}

void PthWrapped(PassThroughInfo *info, int cont, int drive, int read, const uint8_t *cdb, unsigned cdbLength)
{
    memset(info, 0, sizeof *info);
    info->deviceType = TAVPAS_DEVICE_SCSI;
    info->cdbForm = TAVPAS_FORM_WRAPPED;
    info->controllerNo = static_cast<uint8_t>(cont);
    info->targetNo = static_cast<uint8_t>(drive);
    info->direction = read ? TAVPAS_FROM_DRIVE : TAVPAS_TO_DRIVE;
    info->cdb[0] = read ? TAVPAS_WRAP_READ : TAVPAS_WRAP_WRITE;
    info->cdb[1] = static_cast<uint8_t>(drive);
    if (cdbLength > sizeof info->cdb - 2) {
        cdbLength = sizeof info->cdb - 2;
    }
    memcpy(info->cdb + 2, cdb, cdbLength);
    info->cdbLength = cdbLength + 2;
}

void PthPlain(PassThroughInfo *info, int cont, int ld, int read, const uint8_t *cdb, unsigned cdbLength)
{
    memset(info, 0, sizeof *info);
    info->deviceType = TAVPAS_DEVICE_SCSI;
    info->cdbForm = TAVPAS_FORM_PLAIN;
    info->controllerNo = static_cast<uint8_t>(cont);
    info->targetNo = static_cast<uint8_t>(ld);
    info->direction = read ? TAVPAS_FROM_DRIVE : TAVPAS_TO_DRIVE;
    if (cdbLength > sizeof info->cdb) {
        cdbLength = sizeof info->cdb;
    }
    memcpy(info->cdb, cdb, cdbLength);
    info->cdbLength = cdbLength;
}

void PthSata(PassThroughInfo *info, int cont, int drive, const uint8_t *cdb16, uint8_t direction, uint8_t unit)
{
    memset(info, 0, sizeof *info);
    info->deviceType = TAVPAS_DEVICE_SATA;
    info->cdbForm = TAVPAS_FORM_PLAIN;
    info->controllerNo = static_cast<uint8_t>(cont);
    info->targetNo = static_cast<uint8_t>(drive);
    info->direction = direction;
    info->transferUnit = unit;
    memcpy(info->cdb, cdb16, 16);
    info->cdbLength = 16;
}

/* SAT order of a 48-bit address in bytes 7 to 12: bits 31..24, 7..0,
 * 39..32, 15..8, 47..40, 23..16. */
void setAtaAddress48bit(uint8_t *cdb16, uint64_t lba)
{
    cdb16[7] = static_cast<uint8_t>(lba >> 24);
    cdb16[8] = static_cast<uint8_t>(lba);
    cdb16[9] = static_cast<uint8_t>(lba >> 32);
    cdb16[10] = static_cast<uint8_t>(lba >> 8);
    cdb16[11] = static_cast<uint8_t>(lba >> 40);
    cdb16[12] = static_cast<uint8_t>(lba >> 16);
}

void PthPrintCdb(const PassThroughInfo *info)
{
    TavPasPrintData("CDB", info->cdb, static_cast<int>(info->cdbLength), 0, static_cast<int>(info->cdbLength));
    printf("\n");
}

int PthSendRead(PthReadCall send, PassThroughInfo *info, uint8_t *data, uint32_t length)
{
    uint8_t result[TAVPAS_RESULT_SIZE] = {};
    uint32_t resultLength = sizeof result;
    PthSignalCheck();
    uint32_t code = send(info, data, &length, result, &resultLength);
    return code == TAVPAS_OK ? 1 : TavIsErr(code, result);
}

int PthSendWrite(PthWriteCall send, PassThroughInfo *info, uint8_t *data, uint32_t length)
{
    uint8_t result[TAVPAS_RESULT_SIZE] = {};
    uint32_t resultLength = sizeof result;
    PthSignalCheck();
    uint32_t code = send(info, data, length, result, &resultLength);
    return code == TAVPAS_OK ? 1 : TavIsErr(code, result);
}

int PthSendAny(PassThroughInfo *info, uint8_t *data, uint32_t length)
{
    return PthSendRead(TavPasAnyCommand, info, data, length);
}
