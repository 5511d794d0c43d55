/* One 512-byte sector of a physical or logical drive: read and printed,
 * read and saved to a file, or written with 0x5A in every byte. */
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "TavPth.h"
#include "tavbase/file.h"

namespace {

const uint8_t kWriteByte = 0x5A;

/* READ(10) or WRITE(10) of one block. */
void rw10(uint8_t *cdb, int read, uint32_t lba, uint16_t blocks)
{
    memset(cdb, 0, 10);
    cdb[0] = read ? 0x28 : 0x2A;
    PthPutBe(cdb + 2, lba, 4);
    PthPutBe(cdb + 7, blocks, 2);
}

/* Sends one prepared sector request: a read is printed, a write carries
 * 0x5A in every byte. `sector` receives what was read. */
int sendSector(PassThroughInfo *info, int read, uint8_t *sector)
{
    memset(sector, read ? 0 : kWriteByte, PTH_SECTOR);
    PthPrintCdb(info);
    if (!read) {
        return PthSendWrite(TavPasWriteExtend, info, sector, PTH_SECTOR);
    }
    return PthSendRead(TavPasReadExtend, info, sector, PTH_SECTOR);
}

int sendAndShowSector(PassThroughInfo *info, int read)
{
    uint8_t sector[PTH_SECTOR];
    if (!sendSector(info, read, sector)) {
        return 0;
    }
    if (read) {
        TavPasPrintData("Read Command(1 Sector)", sector, PTH_SECTOR, 0, PTH_SECTOR);
        printf("\n");
    }
    return 1;
}

/* The physical-drive command: controller, drive, SATA hand-over, address. A
 * SATA drive's twin handles the whole command; *handled tells it ran. */
int pdPrologue(char **argv, int *cont, int *drive, uint64_t *lba, int *handledBySata, PthHandler sata, int *sataResult)
{
    if (!PthArgTarget(argv[2], argv[3], PTH_KIND_PD, cont, drive)) {
        return 0;
    }
    uint32_t type = TAVPAS_DEVICE_SCSI;
    if (sata != nullptr && getHddType(*cont, *drive, &type) && type == TAVPAS_DEVICE_SATA) {
        *handledBySata = 1;
        *sataResult = sata(5, argv);
        return 0;
    }
    return PthArgAddress(argv[4], 8, lba);
}

int pdSector(char **argv, int read, PthHandler sata, const char *addressLine)
{
    int cont = 0, drive = 0, bySata = 0, sataResult = 0;
    uint64_t lba = 0;
    if (!pdPrologue(argv, &cont, &drive, &lba, &bySata, sata, &sataResult)) {
        return bySata ? sataResult : 0;
    }
    PthShow(PTH_AT, addressLine, static_cast<uint32_t>(lba));
    uint8_t cdb[10];
    rw10(cdb, read, static_cast<uint32_t>(lba), 1);
    PassThroughInfo info;
    PthWrapped(&info, cont, drive, read, cdb, sizeof cdb);
    return sendAndShowSector(&info, read);
}

int ldSector(char **argv, int read)
{
    int cont = 0, ld = 0;
    uint64_t lba = 0;
    if (!PthArgTarget(argv[2], argv[3], PTH_KIND_LD, &cont, &ld) || !PthArgAddress(argv[4], 8, &lba)) {
        return 0;
    }
    PthShow(PTH_AT, "Logical Block Address : 0x%08X\n\n", static_cast<uint32_t>(lba));
    uint8_t cdb[10];
    rw10(cdb, read, static_cast<uint32_t>(lba), 1);
    PassThroughInfo info;
    PthPlain(&info, cont, ld, read, cdb, sizeof cdb);
    return sendAndShowSector(&info, read);
}

// The sector replaces the file as a whole (a temporary file renamed over
// it), never through a link or into anything but a regular file.
int saveSector(const char *fileName, const uint8_t *sector)
{
    int result = tavbase::ReplaceFile(fileName, sector, PTH_SECTOR, 0644);
    if (result == tavbase::kNotCreated) {
        TavPthErr0011(PTH_AT, errno);
        TavPthErr0002(PTH_AT);
        return 0;
    }
    if (result != tavbase::kReplaced) {
        TavPthErr0004(PTH_AT, "fwrite", strerror(errno));
        TavPthErr0002(PTH_AT);
        return 0;
    }
    return 1;
}

}  // namespace

int TavPDOneSectorRead(int, char **argv)
{
    return pdSector(argv, 1, TavPDOneSectorRead_SATA, "Logical Block Address : 0x%08X\n\n");
}

int TavPDOneSectorWrite(int, char **argv)
{
    return pdSector(argv, 0, TavPDOneSectorWrite_SATA, "Logical Block Address : 0x%08X\n");
}

int TavLDOneSectorRead(int, char **argv)
{
    return ldSector(argv, 1);
}
int TavLDOneSectorWrite(int, char **argv)
{
    return ldSector(argv, 0);
}

int TavPDOneSectorReadDump(int, char **argv)
{
    int cont = 0, drive = 0;
    uint64_t lba = 0;
    if (!PthArgTarget(argv[2], argv[3], PTH_KIND_PD, &cont, &drive)) {
        return 0;
    }
    uint32_t type = TAVPAS_DEVICE_SCSI;
    if (getHddType(cont, drive, &type) && type == TAVPAS_DEVICE_SATA) {
        TavPthErr0024(PTH_AT, "SATA");
        TavPthErr0002(PTH_AT);
        return 0;
    }
    if (!PthArgAddress(argv[4], 8, &lba)) {
        return 0;
    }
    PthShow(PTH_AT, "Logical Block Address : 0x%08X\n", static_cast<uint32_t>(lba));
    char fileName[PTH_PATH_SIZE];
    snprintf(fileName, sizeof fileName, "%s", argv[5]);
    printf("Save FileName:%s\n\n", fileName);
    PthTrace(PTH_AT, "## Save FileName : %s", fileName);
    uint8_t cdb[10];
    rw10(cdb, 1, static_cast<uint32_t>(lba), 1);
    PassThroughInfo info;
    PthWrapped(&info, cont, drive, 1, cdb, sizeof cdb);
    uint8_t sector[PTH_SECTOR] = {};
    return sendSector(&info, 1, sector) && saveSector(fileName, sector);
}
