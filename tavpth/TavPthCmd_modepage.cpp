/* PDPrintModePage: one mode page of a SCSI drive, printed and appended to
 * "Cnt<controller>Dev<drive>.txt" in the working directory. */
#include <stdio.h>
#include <string.h>

#include "TavPth.h"

namespace {

/* At most two hexadecimal digits, no prefix. */
int twoHexDigits(const char *arg, const char *label, uint8_t *value)
{
    char copy[PTH_PATH_SIZE];
    snprintf(copy, sizeof copy, "%s", arg);
    PthCutLineEnd(copy);
    uint64_t number = 0;
    if (copy[0] == '0' && (copy[1] == 'x' || copy[1] == 'X')) {
        return PthIllegal(PTH_AT, label);
    }
    if (!PthParseHex(copy, 2, &number)) {
        return PthIllegal(PTH_AT, label);
    }
    *value = static_cast<uint8_t>(number);
    return 1;
}

}  // namespace

int TavPDPrintModePage(int, char **argv)
{
    int cont = 0, drive = 0;
    uint8_t page = 0, subpage = 0, size = 0;
    if (!PthArgTarget(argv[2], argv[3], PTH_KIND_PD, &cont, &drive) || !twoHexDigits(argv[4], "Page Code", &page) ||
        !twoHexDigits(argv[5], "Sub Page Code", &subpage) || !twoHexDigits(argv[6], "Data Size", &size)) {
        return 0;
    }
    page &= 0x3F;
    uint32_t type = TAVPAS_DEVICE_SCSI;
    if (getHddType(cont, drive, &type) && type == TAVPAS_DEVICE_SATA) {
        return PTH_FAIL(TavPthErr0024(PTH_AT, "SATA"));
    }
    PthShow(PTH_AT, "Page Code     : 0x%02X\n", page);
    PthShow(PTH_AT, "Sub Page Code : 0x%02X\n", subpage);
    PthShow(PTH_AT, "Data Size     : 0x%02X\n\n", size);
    const uint8_t cdb[6] = {0x1A, 0x08, page, subpage, size, 0x00};
    PassThroughInfo info;
    PthWrapped(&info, cont, drive, 1, cdb, sizeof cdb);
    PthPrintCdb(&info);
    uint8_t data[256] = {};
    if (!PthSendRead(TavPasModeSense, &info, data, size)) {
        return 0;
    }
    TavPasPrintData("Get HDD Mode Page", data, size, 0, size);
    char fileName[32];
    snprintf(fileName, sizeof fileName, "Cnt%dDev%d.txt", cont, drive);
    return FileWriteModePage(fileName, data, size);
}
