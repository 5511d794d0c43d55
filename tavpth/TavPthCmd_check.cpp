/* The checks every command shares: the controller, the drive, its type and
 * its INQUIRY identification. */
#include <stdio.h>
#include <string.h>

#include "TavPth.h"

namespace {

const uint8_t kNoEntry = 0xFF;

/* The state byte of a drive (kind 0) or logical drive (kind 1); kNoEntry when
 * the number is out of range. */
uint8_t stateOf(const DLL_GET_RAID_STATUS &status, int drive, int kind)
{
    if (drive < 0 || drive > PTH_LAST_DRIVE) {
        return kNoEntry;
    }
    return kind == PTH_KIND_LD ? status.ldState[drive] : status.hddState[drive];
}

}  // namespace

int ControllerCheck(int cont)
{
    DLL_GET_CONTROLLER_INFO info;
    memset(&info, 0, sizeof info);
    if (getContInfo(cont, &info)) {
        return 1;
    }
    uint32_t code = DLLGetLastError();
    if (code & (DLL_ARG_ERROR_NO_SUCH_CONTROLLER | DLL_ARG_ERROR_CONTNO)) {
        TavPthErr0003(PTH_AT);
    } else {
        TavPthErr0004d(PTH_AT, "getContInfo", code);
    }
    TavPthErr0002(PTH_AT);
    return 0;
}

int DriveCheck(int cont, int drive, int kind)
{
    DLL_GET_RAID_STATUS status;
    memset(&status, 0, sizeof status);
    if (!getRaidStatus(static_cast<uint8_t>(cont), &status)) {
        TavPthErr0004d(PTH_AT, "getRaidStatus", DLLGetLastError());
        TavPthErr0002(PTH_AT);
        return 0;
    }
    if ((kind == PTH_KIND_PD || kind == PTH_KIND_LD) && stateOf(status, drive, kind) == kNoEntry) {
        TavPthErr0009(PTH_AT);
        TavPthErr0002(PTH_AT);
        return 0;
    }
    return 1;
}

int DriveCheck_Silence(int cont, int drive)
{
    DLL_GET_RAID_STATUS status;
    memset(&status, 0, sizeof status);
    if (drive < 0 || drive > PTH_LAST_DRIVE || !getRaidStatus(static_cast<uint8_t>(cont), &status)) {
        return 0;
    }
    return status.hddState[drive] < kNoEntry;
}

int getHddType(int cont, int drive, uint32_t *deviceType)
{
    DLL_GET_HDD_INFO info;
    memset(&info, 0, sizeof info);
    if (!getPhysicalDriveInfo(static_cast<uint8_t>(cont), static_cast<uint8_t>(drive), &info)) {
        return 0;
    }
    char vendor[sizeof info.vendor + 1];
    char product[sizeof info.product + 1];
    snprintf(vendor, sizeof vendor, "%.*s", static_cast<int>(sizeof info.vendor), info.vendor);
    snprintf(product, sizeof product, "%.*s", static_cast<int>(sizeof info.product), info.product);
    if (vendor[0] == '\0') {
        PthTrace(PTH_AT, "## ContNo: %d, HddNo: %d is not connected.", cont, drive);
        return 0;
    }
    PthTrace(PTH_AT, "## ContNo: %d, HddNo: %d, VenderID %s, Product ID %s", cont, drive, vendor, product);
    *deviceType = strncmp(vendor, "ATA", 3) == 0 ? TAVPAS_DEVICE_SATA : TAVPAS_DEVICE_SCSI;
    return 1;
}

int GetInquiry(int cont, int drive, char *vendor, char *product, char *revision, int report)
{
    int missing = vendor == nullptr ? 3 : product == nullptr ? 4 : revision == nullptr ? 5 : 0;
    if (missing != 0) {
        TavPthErr0014(PTH_AT, missing);
        TavPthErr0002(PTH_AT);
        return 0;
    }
    const uint8_t cdb[] = {0x12, 0x00, 0x00, 0x00, 0x52, 0x00, 0x00, 0x00, 0x52, 0x00};
    PassThroughInfo info;
    PthWrapped(&info, cont, drive, 1, cdb, sizeof cdb);
    uint8_t answer[512] = {};
    uint8_t result[TAVPAS_RESULT_SIZE] = {};
    uint32_t length = sizeof answer;
    uint32_t resultLength = sizeof result;
    PthSignalCheck();
    uint32_t code = TavPasInquiry(&info, answer, &length, result, &resultLength);
    if (code != TAVPAS_OK) {
        if (report == 1) {
            TavIsErr(code, result);
        }
        return 0;
    }
    memcpy(vendor, answer + 8, 8);
    memcpy(product, answer + 16, 16);
    memcpy(revision, answer + 32, 4);
    return 1;
}

void PthShowTarget(int cont, int drive, int kind)
{
    PthShow(PTH_AT, "RAID Controller No.%d\n", cont);
    PthShow(PTH_AT, kind == PTH_KIND_LD ? "Logical Drive No.%d\n" : "Physical Drive No.%d\n", drive);
}
