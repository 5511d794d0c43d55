/* SATA twins of the sector commands: READ/WRITE SECTOR(S) EXT of one sector
 * through a SAT ATA PASS-THROUGH(16) command. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TavPth.h"

namespace {

const uint8_t kWriteByte = 0x5A;

/* Arguments of the twin: controller, drive, an address below 2^48. */
int parseSataSector(char **argv, int *cont, int *drive, uint64_t *lba)
{
    if (!PthArgDigit(argv[2], "Controller No", cont) || !PthArgDigit(argv[3], "Drive No", drive)) {
        return 0;
    }
    if (!PthArgAddress(argv[4], 16, lba)) {
        return 0;
    }
    if (*lba > PTH_MAX_LBA48) {
        return PthIllegal(PTH_AT, "Address");
    }
    return 1;
}

int sataSector(char **argv, int read)
{
    int cont = 0, drive = 0;
    uint64_t lba = 0;
    if (!parseSataSector(argv, &cont, &drive, &lba)) {
        return 0;
    }
    PthShow(PTH_AT, "Logical Block Address : 0x%012llX\n", static_cast<unsigned long long>(lba));
    uint8_t cdb[16] = {0x85, static_cast<uint8_t>(read ? 0x09 : 0x0B), static_cast<uint8_t>(read ? 0x0E : 0x06)};
    cdb[6] = 1;
    setAtaAddress48bit(cdb, lba);
    cdb[13] = 0x40;
    cdb[14] = read ? 0x24 : 0x34;
    PassThroughInfo info;
    PthSata(&info, cont, drive, cdb, read ? TAVPAS_FROM_DRIVE : TAVPAS_TO_DRIVE, 1);
    PthPrintCdb(&info);
    uint8_t sector[PTH_SECTOR];
    memset(sector, read ? 0 : kWriteByte, sizeof sector);
    if (read) {
        if (!PthSendRead(TavPasReadSectorExt, &info, sector, PTH_SECTOR)) {
            return 0;
        }
        TavPasPrintData("Read Command(1 Sector)", sector, PTH_SECTOR, 0, PTH_SECTOR);
        printf("\n");
        return 1;
    }
    return PthSendWrite(TavPasWriteSectorExt, &info, sector, PTH_SECTOR);
}

}  // namespace

int TavPDOneSectorRead_SATA(int, char **argv)
{
    return sataSector(argv, 1);
}
int TavPDOneSectorWrite_SATA(int, char **argv)
{
    return sataSector(argv, 0);
}

namespace {

const uint32_t kMaxByteTransfer = 0xFFFF;

struct SataRequest {
    PassThroughInfo info;
    uint8_t *data;
    uint32_t length;
    int swapWords;
};

/* Lines 5 and 6: the length and its unit, checked against what one
 * transfer can carry. */
int readSataLength(PthFile *file, SataRequest *req)
{
    int unit = 0;
    if (!PthFileLength(file, -1, &req->length) || !PthFileFlag(file, "A unit of transfer length", -1, &unit)) {
        return 0;
    }
    if (unit == 1) {
        if (req->length * PTH_SECTOR > PTH_PIECE) {
            return PthIllegal(PTH_AT, "Data Length: Send max size over 64K bytes");
        }
        req->length *= PTH_SECTOR;
    } else if (req->length > kMaxByteTransfer) {
        return PthIllegal(PTH_AT, "Data Length: When Tx unit is BYTE send max size over 64K bytes - 1");
    }
    req->info.transferUnit = static_cast<uint8_t>(unit);
    req->data = static_cast<uint8_t *>(calloc(1, req->length + 1));
    if (req->data == nullptr) {
        return PTH_FAIL(TavPthErr0007(PTH_AT, 12, "Failed in PassThrough"));
    }
    return 1;
}

int readSataFile(PthFile *file, SataRequest *req)
{
    int cont = 0, drive = 0, direction = 0, count = 0, flag = 0;
    char cdbText[PTH_PATH_SIZE];
    uint8_t cdb[16] = {};
    uint32_t type = TAVPAS_DEVICE_SATA;
    if (!PthFileDigit(file, "Controller No", -1, &cont) || !PthFileDigit(file, "Drive No", -1, &drive))
        return 0;
    if (getHddType(cont, drive, &type) && type != TAVPAS_DEVICE_SATA) {
        return PTH_FAIL(TavPthErr0024(PTH_AT, "SAS"));
    }
    if (!PthFileCdb(file, -1, sizeof cdb, cdb, &count, cdbText, sizeof cdbText))
        return 0;
    if (!PthFileDigit(file, "Direction", -1, &direction))
        return 0;
    if (direction > 2)
        return PthIllegal(PTH_AT, "Direction");
    uint8_t sent = direction == 0 ? TAVPAS_FROM_DRIVE : direction == 1 ? TAVPAS_TO_DRIVE : TAVPAS_NO_DATA;
    PthSata(&req->info, cont, drive, cdb, sent, 0);
    req->info.cdbLength = static_cast<uint32_t>(count);
    if (direction == 2)
        return 1;
    if (!readSataLength(file, req))
        return 0;
    if (!PthFileFlag(file, direction == 0 ? "Word block change on or not" : "Continuousness", -1, &flag))
        return 0;
    if (direction == 0) {
        req->swapWords = flag;
        return 1;
    }
    return req->length == 0 || PthFileWriteData(file, req->data, req->length, flag);
}

}  // namespace

int TavFreAnyPassThrough_SATA(const char *fileName)
{
    char resolved[PTH_PATH_SIZE];
    PthFile *file = PthFileOpen(fileName, resolved, sizeof resolved, 1024);
    if (file == nullptr) {
        return 0;
    }
    SataRequest req;
    memset(&req, 0, sizeof req);
    int ok = readSataFile(file, &req);
    PthFileClose(file);
    int read = req.info.direction == TAVPAS_FROM_DRIVE;
    if (ok) {
        PthPrintCdb(&req.info);
        ok = PthSendAny(&req.info, req.length != 0 ? req.data : nullptr, req.length);
    }
    if (ok && read) {
        if (req.swapWords && req.length != 0) {
            endianChange(0, req.data, req.length, req.data);
        }
        TavPasPrintData("Command Result", req.data, static_cast<int>(req.length), 0, static_cast<int>(req.length));
        printf("\n");
    }
    free(req.data);
    return ok;
}
