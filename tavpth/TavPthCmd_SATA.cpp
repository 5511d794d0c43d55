/* SATA twins of the sector commands: READ/WRITE SECTOR(S) EXT of one sector
 * through a SAT ATA PASS-THROUGH(16) command. */
#include <stdio.h>
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

int TavPDOneSectorRead_SATA(int, char **argv) { return sataSector(argv, 1); }
int TavPDOneSectorWrite_SATA(int, char **argv) { return sataSector(argv, 0); }
