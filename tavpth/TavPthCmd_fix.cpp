/* P: a SCSI command from a parameter file whose address and length are
 * taken from the CDB itself; a large transfer is sent in 64 KiB pieces. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TavPth.h"

namespace {

const uint32_t kMaxTransfer = 0x200000;

/* Where a code keeps its address and length in the CDB text (hex digit
 * positions from the start of the line) and in which unit. */
struct CdbFields {
    int addressFrom, addressTo; /* -1: no address field */
    uint32_t fixedAddress;
    int lengthFrom, lengthTo; /* -1: no length field */
    uint32_t fixedLength;
    int blocks; /* the length counts 512-byte blocks */
};

CdbFields fieldsOf(uint8_t code)
{
    switch (code) {
    case 0x00:
    case 0x1B:
        return {-1, -1, 1, -1, -1, 1, 0};
    case 0x1D:
        return {-1, -1, 0, -1, -1, 1, 0};
    case 0x08:
    case 0x0A:
        return {2, 7, 0, 8, 9, 0, 1};
    case 0x28:
    case 0x2A:
    case 0x2E:
        return {4, 11, 0, 14, 17, 0, 1};
    case 0x2F:
    case 0x3E:
    case 0x3F:
        return {4, 11, 0, 14, 17, 0, 0};
    case 0x3B:
    case 0x3C:
        return {6, 11, 0, 12, 17, 0, 0};
    case 0x1C:
        return {-1, -1, 0, 6, 9, 0, 0};
    case 0x12:
    case 0x15:
    case 0x1A:
        return {-1, -1, 0, 8, 9, 0, 0};
    case 0x4C:
    case 0x4D:
    case 0x55:
    case 0x5A:
        return {-1, -1, 0, 14, 17, 0, 0};
    case 0x41:
        return {-1, -1, 0, -1, -1, 512, 0};
    case 0xFE:
        return {-1, -1, 0, 12, 17, 0, 0};
    case 0x25:
        return {-1, -1, 0, -1, -1, 8, 0};
    default:
        return {-1, -1, 0, -1, -1, 0, 0};
    }
}

/* The hex digits from..to of the CDB text as a number. */
int digitsOf(const char *text, int from, int to, uint32_t *value)
{
    if (static_cast<int>(strlen(text)) <= to) {
        return 0;
    }
    char digits[9];
    snprintf(digits, sizeof digits, "%.*s", to - from + 1, text + from);
    uint64_t number = 0;
    if (strncmp(digits, "0x", 2) == 0 || strncmp(digits, "0X", 2) == 0 || !PthParseHex(digits, 8, &number)) {
        return 0;
    }
    *value = static_cast<uint32_t>(number);
    return 1;
}

bool countsBlocks(uint8_t code)
{
    return code == 0x08 || code == 0x0A || code == 0x28 || code == 0x2A || code == 0x2E;
}

}  // namespace

uint32_t TavPthGetAddress(uint8_t code, const char *cdbText, int *valid)
{
    CdbFields f = fieldsOf(code);
    uint32_t address = f.fixedAddress;
    *valid = f.addressFrom < 0 || digitsOf(cdbText, f.addressFrom, f.addressTo, &address);
    return address;
}

uint32_t GetDataLen(uint8_t code, const char *cdbText, int *valid)
{
    CdbFields f = fieldsOf(code);
    uint32_t length = f.fixedLength;
    *valid = 1;
    if (f.lengthFrom < 0) {
        return length;
    }
    *valid = digitsOf(cdbText, f.lengthFrom, f.lengthTo, &length);
    if (code == 0x41) {
        return 512;
    }
    if ((code == 0x08 || code == 0x0A) && length == 0) {
        length = 256;
    }
    return f.blocks ? length * PTH_SECTOR : length;
}

int AddressSetting(PassThroughInfo *info, uint32_t address)
{
    switch (info->cdb[2]) {
    case 0x08:
    case 0x0A:
        PthPutBe(info->cdb + 3, address, 3);
        return 1;
    case 0x28:
    case 0x2A:
    case 0x2E:
    case 0x2F:
    case 0x3E:
    case 0x3F:
        PthPutBe(info->cdb + 4, address, 4);
        return 1;
    case 0x3B:
    case 0x3C:
        PthPutBe(info->cdb + 5, address, 3);
        return 1;
    case 0x00:
    case 0x1B:
        return 1;
    default:
        return 0;
    }
}

int DataLenSetting(PassThroughInfo *info, uint32_t length)
{
    switch (info->cdb[2]) {
    case 0x08:
    case 0x0A:
        info->cdb[6] = static_cast<uint8_t>(length / PTH_SECTOR);
        return 1;
    case 0x28:
    case 0x2A:
    case 0x2E:
        PthPutBe(info->cdb + 9, length / PTH_SECTOR, 2);
        return 1;
    case 0x2F:
    case 0x3E:
    case 0x3F:
        PthPutBe(info->cdb + 9, length, 2);
        return 1;
    case 0x3B:
    case 0x3C:
        PthPutBe(info->cdb + 8, length, 3);
        return 1;
    case 0x00:
    case 0x1B:
        return 1;
    default:
        return 0;
    }
}

namespace {

struct FixRequest {
    PassThroughInfo info;
    uint32_t address;
    uint32_t length;
    int read;
};

int readFixFile(PthFile *file, FixRequest *req)
{
    int cont = 0, drive = 0, direction = 0, count = 0;
    char line[PTH_PATH_SIZE];
    char cdbText[PTH_PATH_SIZE];
    uint8_t cdb[14];
    uint32_t type = TAVPAS_DEVICE_SCSI;
    if (!PthFileController(file, 0, &cont))
        return 0;
    if (!PthFileField(file, line, sizeof line, "Parameter", 0))
        return 0;
    if (!PthFileDrive(file, 0, cont, &drive))
        return 0;
    if (getHddType(cont, drive, &type) && type == TAVPAS_DEVICE_SATA) {
        return PTH_FAIL(TavPthErr0024(PTH_AT, "SATA"));
    }
    if (!PthFileCdb(file, 0, sizeof cdb, cdb, &count, cdbText, sizeof cdbText))
        return 0;
    if (!PthFileDigit(file, "Direction", 0, &direction))
        return 0;
    if (direction > 1)
        return PthIllegal(PTH_AT, "Direction");
    int validAddress = 0, validLength = 0;
    req->address = TavPthGetAddress(cdb[0], cdbText, &validAddress);
    req->length = GetDataLen(cdb[0], cdbText, &validLength);
    if (!validAddress)
        return PthIllegal(PTH_AT, "Address");
    if (!validLength)
        return PthIllegal(PTH_AT, "Data Length");
    req->read = direction == 0;
    PthWrapped(&req->info, cont, drive, req->read, cdb, static_cast<unsigned>(count));
    return 1;
}

int sendPieces(FixRequest *req)
{
    uint32_t total = req->length < kMaxTransfer ? req->length : kMaxTransfer;
    uint8_t code = req->info.cdb[2];
    bool setAddress = !(code == 0x3C && req->info.cdb[3] != 2);
    uint32_t address = req->address;
    int row = 0;
    for (uint32_t sent = 0; sent < total;) {
        uint32_t piece = total - sent < PTH_PIECE ? total - sent : PTH_PIECE;
        uint8_t *data = nullptr;
        if (!MakeAllocData(&data, piece)) {
            return 0;
        }
        if (!req->read) {
            memset(data, 0xFF, piece);
        }
        if (setAddress) {
            AddressSetting(&req->info, address);
        }
        DataLenSetting(&req->info, piece);
        int ok = PthSendAny(&req->info, data, piece);
        if (ok && req->read) {
            row = TavPasPrintData("Command Result", data, static_cast<int>(piece), row, static_cast<int>(total));
        }
        free(data);
        if (!ok) {
            return 0;
        }
        sent += piece;
        address += countsBlocks(code) ? piece / PTH_SECTOR : piece;
    }
    if (req->read && total > 0) {
        printf("\n");
    }
    return 1;
}

}  // namespace

int TavFixAnyPassThrough(int, char **argv)
{
    PthFile *file = nullptr;
    if (!PthOpenParameterFile(argv[2], 1023, &file)) {
        return 0;
    }
    FixRequest req;
    memset(&req, 0, sizeof req);
    int ok = readFixFile(file, &req);
    PthFileClose(file);
    if (!ok) {
        return 0;
    }
    PthPrintCdb(&req.info);
    return sendPieces(&req);
}
