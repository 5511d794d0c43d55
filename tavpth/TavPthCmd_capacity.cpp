/* PDHDDCapaChange: a SCSI drive's capacity set through the block descriptor
 * of MODE SELECT(6); a SATA drive's through SET MAX ADDRESS EXT. */
#include <stdio.h>
#include <string.h>

#include "TavPth.h"

namespace {

int parseCapacity(const char *arg, unsigned maxDigits, uint64_t *capacity)
{
    char copy[PTH_PATH_SIZE];
    snprintf(copy, sizeof copy, "%s", arg);
    PthCutLineEnd(copy);
    return PthParseHex(copy, maxDigits, capacity) ? 1 : PthIllegal(PTH_AT, "Capacity");
}

/* One non-data ATA command through TavPasAnyCommand. */
int sataNoData(int cont, int drive, const uint8_t *cdb, int print)
{
    PassThroughInfo info;
    PthSata(&info, cont, drive, cdb, TAVPAS_NO_DATA, 1);
    if (print) {
        PthPrintCdb(&info);
    }
    return PthSendAny(&info, nullptr, 0);
}

int capacitySata(int cont, int drive, const char *arg)
{
    uint64_t capacity = 0;
    if (!parseCapacity(arg, 16, &capacity)) {
        return 0;
    }
    if (capacity > PTH_MAX_LBA48) {
        return PthIllegal(PTH_AT, "Capacity");
    }
    PthShow(PTH_AT, "Capacity : 0x%012llX\n\n", static_cast<unsigned long long>(capacity));
    uint8_t native[16] = {0x85, 0x07};
    native[13] = 0x40;
    native[14] = 0x27;
    uint8_t setMax[16] = {0x85, 0x07};
    setMax[6] = 1;
    setAtaAddress48bit(setMax, capacity);
    setMax[13] = 0x40;
    setMax[14] = 0x37;
    return sataNoData(cont, drive, native, 0) && sataNoData(cont, drive, setMax, 1);
}

}  // namespace

int TavPDHDDCapaChange(int, char **argv)
{
    int cont = 0, drive = 0;
    if (!PthArgTarget(argv[2], argv[3], PTH_KIND_PD, &cont, &drive)) {
        return 0;
    }
    uint32_t type = TAVPAS_DEVICE_SCSI;
    if (getHddType(cont, drive, &type) && type == TAVPAS_DEVICE_SATA) {
        return capacitySata(cont, drive, argv[4]);
    }
    uint64_t capacity = 0;
    if (!parseCapacity(argv[4], 8, &capacity)) {
        return 0;
    }
    PthShow(PTH_AT, "Capacity : 0x%08X\n\n", static_cast<uint32_t>(capacity));
    const uint8_t cdb[6] = {0x15, 0x01, 0x00, 0x00, 12, 0x00};
    uint8_t list[12] = {0x00, 0x00, 0x00, 0x08};
    PthPutBe(list + 4, capacity, 4);
    PthPutBe(list + 9, PTH_SECTOR, 3);
    PassThroughInfo info;
    PthWrapped(&info, cont, drive, 0, cdb, sizeof cdb);
    PthPrintCdb(&info);
    return PthSendWrite(TavPasModeSelect, &info, list, sizeof list);
}
