// Public operations on physical drives: drive information, bad-spot tables,
// the locate LED and the (unsupported) SMART functions.
#include <string.h>

#include "raidctl_entry.h"
#include "raidctl_records.h"

namespace {

constexpr uint8_t LED_LOW_NIBBLE_MAX = 1;
constexpr uint8_t LED_HIGH_NIBBLE_MAX = 3;
constexpr uint8_t LED_REFUSED = 0x01;

int checkDriveNumber(uint8_t number, const char *function, int line)
{
    if (number < TAV_MAX_DRIVES) {
        return 1;
    }
    return DllFailArg(DLL_ARG_ERROR_HDDNO, function, line);
}

int checkDriveArguments(uint8_t contNo, uint8_t number, const void *record, const char *function)
{
    return checkCONTno(contNo, function, SRC_RAIDCTL, __LINE__) && checkDriveNumber(number, function, __LINE__) &&
           DllCheckNull(record, function, __LINE__);
}

bool isAllowedLedState(uint8_t state)
{
    return (state & 0x0F) <= LED_LOW_NIBBLE_MAX && (state >> 4) <= LED_HIGH_NIBBLE_MAX && state != LED_REFUSED;
}

// An LED state outside the table is a parameter error (word 0x10 alone) whose
// detail line names DLL_ARG_ERROR_SIZESPEC.
int refuseLedState(const char *function, int line)
{
    DLLSetErrorCode(DLL_ERROR_PARAM);
    Debug_print_err(1, DLL_ERROR_PARAM, function, SRC_RAIDCTL, line);
    Debug_print_msg(1, DLL_ERROR_PARAM, 0, DLL_ARG_ERROR_SIZESPEC, 0, SRC_RAIDCTL, line);
    return 0;
}

}  // namespace

void fillHddInfo(const uint8_t *para, DLL_GET_HDD_INFO *info)
{
    const HddParaLayout &at = hddParaLayout(_CardType);
    const uint8_t *inquiry = para + at.inquiry;
    memset(info, 0, sizeof *info);
    info->byte3 = para[HP_BYTE3];
    info->byte2 = para[HP_BYTE2];
    memcpy(info->vendor, inquiry + INQ_VENDOR, sizeof info->vendor);
    memcpy(info->product, inquiry + INQ_PRODUCT, sizeof info->product);
    memcpy(info->revision, inquiry + INQ_REVISION, sizeof info->revision);
    info->groupNo = para[HP_GROUP];
    info->hddClass = para[HP_CLASS];
    info->capacityMB = blocksToMB(readBE32(para + at.capacity));
    info->value52 = readBE32(para + at.value52);
    memcpy(info->inquiry, inquiry, sizeof info->inquiry);
    info->statusDetail = para[at.statusDetail];
    info->linkSpeed = para[at.linkSpeed];
    info->smartState = para[at.smartState];
    info->badSpotState = para[at.badSpotState];
    info->badSpotCount = readBE16(para + at.badSpotCount);
    info->byte112 = para[at.byte112];
}

namespace {

int smartNotSupported(uint8_t contNo, uint8_t hddNo, const char *function)
{
    DllEnter("CALL - %s() CONTno=%d HDDno=%d\n", function, contNo, hddNo);
    return DllFailWord(DLL_ERROR_HDD, function, __LINE__);
}

}  // namespace

TAVCTL_API int getPhysicalDriveInfo(uint8_t contNo, uint8_t hddNo, DLL_GET_HDD_INFO *info)
{
    DllEnter("CALL - %s() CONTno=%d HDDno=%d\n", __func__, contNo, hddNo);
    if (!checkDriveArguments(contNo, hddNo, info, __func__)) {
        return 0;
    }
    uint8_t para[HDD_PARA_SIZE];
    if (!TavDllPhysicalDriveInfo(contNo, hddNo, para)) {
        return DllFailInner(__func__, __LINE__);
    }
    TavDllCtlDump("RD_HDDpara", para, sizeof para);
    fillHddInfo(para, info);
    TavDllCtlDump("DLL_GET_HDD_INFO", info, sizeof *info);
    return 1;
}

TAVCTL_API int getBadspotInfo(uint8_t contNo, uint8_t hddNo, DLL_BADSPOT_INFO *info)
{
    DllEnter("CALL - %s() CONTno=%d HDDno=%d\n", __func__, contNo, hddNo);
    if (!checkDriveArguments(contNo, hddNo, info, __func__)) {
        return 0;
    }
    uint8_t table[TAV_BADSPOT_TABLE_READ];
    if (!TavDllBadSpotInfo(contNo, hddNo, table)) {
        return DllFailInner(__func__, __LINE__);
    }
    TavDllCtlDump("s_BADspotTBL", table, TAV_BADSPOT_TABLE_SIZE);
    if (!rearrangeBadSpotInfo(table, info)) {
        return DllFailInner(__func__, __LINE__);
    }
    TavDllCtlDump("DLL_BADSPOT_INFO", info, sizeof *info);
    return 1;
}

// Traces its call without opening a trace cycle of its own.
TAVCTL_API int getLDBadspotInfo64(uint8_t contNo, uint8_t groupNo, DLL_LD_BADSPOT_INFO64 *info)
{
    DLL_Dprintf(3, "%s\t: CONTno = %d, LDno=%d\n", __func__, contNo, groupNo);
    DLLSetErrorCode(DLL_ERROR_NONE);
    if (!checkDriveArguments(contNo, groupNo, info, __func__)) {
        return 0;
    }
    uint8_t table[TAV_LD_BADSPOT_TABLE_SIZE];
    if (!TavDllLdBadSpotInfo64(contNo, groupNo, table)) {
        return DllFailInner(__func__, __LINE__);
    }
    TavDllCtlDump("s_LdBADspotTBL64", table, sizeof table);
    if (!rearrangeLDBadSpot64Info(table, info)) {
        return DllFailInner(__func__, __LINE__);
    }
    TavDllCtlDump("DLL_LD_BADSPOT_INFO64", info, sizeof *info);
    return 1;
}

TAVCTL_API int setHDDLocateLED(uint8_t contNo, uint8_t hddNo, uint8_t ledState)
{
    DllEnter("CALL - %s() CONTno=%d HDDno=%d LEDsts=0x%x\n", __func__, contNo, hddNo, ledState);
    if (!checkCONTno(contNo, __func__, SRC_RAIDCTL, __LINE__) || !checkDriveNumber(hddNo, __func__, __LINE__)) {
        return 0;
    }
    if (!isAllowedLedState(ledState)) {
        return refuseLedState(__func__, __LINE__);
    }
    if (!TavDllHDDLocate(contNo, hddNo, ledState)) {
        return DllFailInner(__func__, __LINE__);
    }
    return 1;
}

TAVCTL_API int getSMARTInfo(uint8_t contNo, uint8_t hddNo, uint8_t * /*buffer*/)
{
    return smartNotSupported(contNo, hddNo, __func__);
}

TAVCTL_API int getSMARTThreshold(uint8_t contNo, uint8_t hddNo, uint8_t * /*buffer*/)
{
    return smartNotSupported(contNo, hddNo, __func__);
}

TAVCTL_API int getSMARTsts(uint8_t contNo, uint8_t hddNo, uint8_t * /*buffer*/)
{
    return smartNotSupported(contNo, hddNo, __func__);
}
