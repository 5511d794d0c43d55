// Public operations that read logical drives and restore candidates: the
// adapter's RAID status, one logical drive or candidate, the restore table,
// and the checks of a logical-drive number.
#include <string.h>

#include "raidctl_entry.h"
#include "raidctl_records.h"

namespace {

constexpr uint32_t PROGRESS_UNIT_BLOCKS = 10000;
constexpr uint32_t PROGRESS_MAX = 255;

// Percent of the running background operation; the record has one byte for
// it, so a larger value is held at 255 instead of wrapping.
uint8_t operationProgress(const uint8_t *groupPara, uint64_t capacityBlocks)
{
    if (groupPara[GP_RAID_LEVEL] == 0) {
        return 0;
    }
    uint64_t done = readBE32(groupPara + GP_PROCESSED) / PROGRESS_UNIT_BLOCKS;
    uint64_t total = capacityBlocks / PROGRESS_UNIT_BLOCKS;
    if (total == 0) {
        total = 1;
    }
    uint64_t progress = done * 100 / total;
    return static_cast<uint8_t>(progress > PROGRESS_MAX ? PROGRESS_MAX : progress);
}

void fillMember(const uint8_t *entry, DLL_LD_MEMBER &member)
{
    member.hddNo = entry[0];
    member.memberState = entry[1];
    member.driveState = entry[3];
    member.byte4 = entry[4];
    member.copyTarget = entry[5];
    member.byte2 = entry[2];
}

}  // namespace

void fillLogicalDiskInfo(uint8_t contNo, uint8_t number, const uint8_t *groupPara, DLL_GET_LOGICAL_DISK_INFO *info)
{
    memset(info, 0, sizeof *info);
    info->contNo = contNo;
    info->groupNo = number;
    info->memberCount = groupPara[GP_MEMBER_COUNT];
    int members = info->memberCount < TAV_MAX_DRIVES ? info->memberCount : TAV_MAX_DRIVES;
    for (int i = 0; i < members; ++i) {
        fillMember(groupPara + GP_MEMBERS + GP_MEMBER_SIZE * i, info->member[i]);
    }
    info->hotSpareMode = groupPara[GP_HOTSPARE_MODE];
    info->raidLevel = groupPara[GP_RAID_LEVEL];
    info->stripeSize = readBE32(groupPara + GP_STRIPE);
    info->byte218 = groupPara[GP_BYTE218];
    info->autoRebuild = groupPara[GP_AUTO_REBUILD];
    info->rebuildState = groupPara[GP_REBUILD_STATE];
    info->maintenance = groupPara[GP_MAINTENANCE];
    uint64_t capacityBlocks = groupCapacityBlocks(groupPara, _CardType);
    info->progress = operationProgress(groupPara, capacityBlocks);
    info->dataLost = groupPara[GP_DATA_LOST];
    info->errorCount = readBE32(groupPara + GP_ERROR_COUNT);
    info->readCache = groupPara[GP_READ_POLICY];
    info->writeCache = groupPara[GP_WRITE_POLICY];
    info->capacityMB = blocksToMB(capacityBlocks);
}

void fillRaidStatus(uint8_t contNo, const uint8_t *common, DLL_GET_RAID_STATUS *status)
{
    memset(status, 0, sizeof *status);
    status->contNo = contNo;
    memcpy(status->ldState, common + CS_LD_STATE, sizeof status->ldState);
    memcpy(status->status84, common + CS_BYTES84, sizeof status->status84);
    memcpy(status->hddState, common + CS_HDD_STATE, sizeof status->hddState);
    status->value58 = readBE32(common + CS_VALUE58);
    status->value62 = readBE32(common + CS_VALUE62);
    status->byte54 = common[CS_BYTE54];
}

namespace {

// Reads a logical drive or a restore candidate with its step and fills the
// common record.
int readGroupInfo(uint8_t contNo, uint8_t number, DLL_GET_LOGICAL_DISK_INFO *info,
                  int (*step)(uint8_t, uint8_t, uint8_t *), const char *recordTitle, const char *function)
{
    DllEnter("CALL - %s() CONTno=%d GROUPno=%d\n", function, contNo, number);
    if (!checkCONTno(contNo, function, SRC_RAIDCTL, __LINE__) ||
        !checkGROUPno(number, function, SRC_RAIDCTL, __LINE__) || !DllCheckNull(info, function, __LINE__)) {
        return 0;
    }
    uint8_t groupPara[TAV_PARA_SIZE];
    if (!step(contNo, number, groupPara)) {
        return DllFailInner(function, __LINE__);
    }
    TavDllCtlDump("RD_GROUPpara", groupPara, sizeof groupPara);
    fillLogicalDiskInfo(contNo, number, groupPara, info);
    TavDllCtlDump(recordTitle, info, sizeof *info);
    return 1;
}

}  // namespace

TAVCTL_API int checkGROUPno(int groupNo, const char *caller, const char *file, int line)
{
    if (groupNo >= 0 && groupNo < TAV_MAX_GROUPS) {
        return 1;
    }
    DLLSetErrorCode(DLL_ERROR_PARAM | DLL_ARG_ERROR_GROUPNO);
    DllReportError(DLL_ERROR_PARAM | DLL_ARG_ERROR_GROUPNO, caller, file, line, 0);
    return 0;
}

TAVCTL_API int checkGROUPsts(uint8_t contNo, int groupNo, const char *caller, const char *file, int line)
{
    if (!checkGROUPno(groupNo, caller, file, line)) {
        return 0;
    }
    uint32_t code = DLL_ERROR_NO_LD;
    if (!TavDllLcSetupAdapter(contNo)) {
        code = DllInnerErrorWord();
    } else if (LogStat[groupNo].state != TAV_STATE_UNDEFINED) {
        return 1;
    }
    DLLSetErrorCode(code);
    DllReportError(code, caller, file, line, 0);
    return 0;
}

TAVCTL_API int getRaidStatus(uint8_t contNo, DLL_GET_RAID_STATUS *status)
{
    DllEnter("CALL - %s() CONTno=%d\n", __func__, contNo);
    if (!DllCheckContAndRecord(contNo, status, __func__, __LINE__)) {
        return 0;
    }
    uint8_t common[TAV_PARA_SIZE];
    if (!TavDllAdapterInfo(contNo, common)) {
        return DllFailInner(__func__, __LINE__);
    }
    TavDllCtlDump("RD_COMMONstatus", common, sizeof common);
    fillRaidStatus(contNo, common, status);
    TavDllCtlDump("DLL_GET_RAID_STATUS", status, sizeof *status);
    return 1;
}

TAVCTL_API int getLogicalDriveInfo(uint8_t contNo, uint8_t groupNo, DLL_GET_LOGICAL_DISK_INFO *info)
{
    return readGroupInfo(contNo, groupNo, info, TavDllLogicalDriveInfo, "DLL_GET_LOGICAL_DISK_INFO", __func__);
}

TAVCTL_API int getRestoreLDsts(uint8_t contNo, DLL_RESTORE_LD_STATUS *status)
{
    DllEnter("CALL - %s() CONTno=%d\n", __func__, contNo);
    if (!DllCheckContAndRecord(contNo, status, __func__, __LINE__)) {
        return 0;
    }
    uint8_t restore[TAV_PARA_SIZE];
    if (!TavDllRestoreDriveStatus(contNo, restore)) {
        return DllFailInner(__func__, __LINE__);
    }
    TavDllCtlDump("RD_RESTOREstatus", restore, sizeof restore);
    memset(status, 0, sizeof *status);
    status->contNo = contNo;
    status->count = restore[RS_COUNT];
    memcpy(status->state, restore + RS_STATE, sizeof status->state);
    TavDllCtlDump("DLL_RESTORE_LD_STATUS", status, sizeof *status);
    return 1;
}

TAVCTL_API int getRestoreLDInfo(uint8_t contNo, uint8_t candidateNo, DLL_RESTORE_LD_INFO *info)
{
    return readGroupInfo(contNo, candidateNo, info, TavDllRestoreDriveInfo, "DLL_RESTORE_LD_INFO", __func__);
}
