// The library's status tables and their refresh. Every adapter operation
// re-reads the whole status first: another process may have changed the
// configuration since the last operation, so nothing is kept across them.
#include "tavdllctl_util.h"

LdStatEntry LogStat[TAV_MAX_GROUPS];
LdStatEntry RestStat[TAV_MAX_GROUPS];
HddStatEntry HddStat[TAV_MAX_DRIVES];
uint8_t GHSHdd[2];
uint8_t LdStateCopy[CS_LD_STATE_COPY];
StatusCapture *TavDllStatusCapture = nullptr;

int TavDllReadBuffer(uint8_t bufferId, uint8_t *buffer, uint32_t length, uint32_t offset)
{
    return CmdExe_ReadBuffer2(_PCIADR, 0, READ_BUFFER_MODE, bufferId, buffer, length, offset) == 0;
}

namespace {

int readCommonStatus(uint8_t *common)
{
    return TavDllReadBuffer(BUF_COMMON_STATUS, common, TAV_PARA_SIZE, 0);
}

// Fills one logical-drive or restore-candidate entry; only defined ones carry
// more than their state, and only those have their parameters read.
// A non-null keep receives the parameters as read.
int fillLdEntry(LdStatEntry &entry, uint8_t state, uint8_t paraBufferId, uint8_t *keep)
{
    memset(&entry, 0, sizeof entry);
    entry.state = state;
    if (!isDefinedState(state)) {
        return 1;
    }
    uint8_t para[TAV_PARA_SIZE];
    if (!TavDllReadBuffer(paraBufferId, para, sizeof para, 0)) {
        return 0;
    }
    if (keep != nullptr) {
        memcpy(keep, para, sizeof para);
    }
    entry.capacityMB = blocksToMB(groupCapacityBlocks(para, _CardType));
    entry.raidLevel = para[GP_RAID_LEVEL];
    entry.maintenance = para[GP_MAINTENANCE];
    entry.autoRebuild = para[GP_AUTO_REBUILD];
    entry.rebuildState = para[GP_REBUILD_STATE];
    memcpy(entry.raw227, para + GP_RAW227, sizeof entry.raw227);
    return 1;
}

int fillLogStat(const uint8_t *common)
{
    memcpy(LdStateCopy, common + CS_LD_STATE, sizeof LdStateCopy);
    for (int n = 0; n < TAV_MAX_GROUPS; ++n) {
        uint8_t *keep = TavDllStatusCapture != nullptr ? TavDllStatusCapture->groupPara[n] : nullptr;
        if (!fillLdEntry(LogStat[n], common[CS_LD_STATE + n], static_cast<uint8_t>(BUF_GROUP_PARA + n), keep)) {
            return 0;
        }
    }
    return 1;
}

// Finds the drive among the members its group lists: a member in use by its
// own drive byte, a spare in use by the byte naming the drive that takes the
// member's place. Returns the member index or -1.
int findMemberIndex(const uint8_t *groupPara, uint8_t hddNo, uint32_t hddClass)
{
    int count = groupPara[GP_MEMBER_COUNT];
    if (count > TAV_MAX_DRIVES) {
        count = TAV_MAX_DRIVES;
    }
    int field = (hddClass == TAV_CLASS_SPARE_IN_USE) ? GP_MEMBER_COPY : GP_MEMBER_DRIVE;
    for (int i = 0; i < count; ++i) {
        if (groupPara[GP_MEMBERS + GP_MEMBER_SIZE * i + field] == hddNo) {
            return i;
        }
    }
    return -1;
}

// Adds the group view of a drive that works in a group (member or spare in use).
int fillGroupView(HddStatEntry &entry)
{
    if (entry.groupNo >= TAV_MAX_GROUPS) {
        DLLSetErrorCode(DLL_ERROR_LD_STATE);
        return 0;
    }
    uint8_t para[TAV_PARA_SIZE];
    if (!TavDllReadBuffer(static_cast<uint8_t>(BUF_GROUP_PARA + entry.groupNo), para, sizeof para, 0)) {
        return 0;
    }
    entry.raidLevel = para[GP_RAID_LEVEL];
    entry.memberCount = para[GP_MEMBER_COUNT];
    int index = findMemberIndex(para, static_cast<uint8_t>(entry.hddNo), entry.hddClass);
    if (index < 0) {
        DLLSetErrorCode(DLL_ERROR_LD_STATE);
        return 0;
    }
    entry.memberIndex = static_cast<uint8_t>(index);
    entry.memberState = para[GP_MEMBERS + GP_MEMBER_SIZE * index + GP_MEMBER_STATE];
    return 1;
}

int fillHddEntry(int n, uint8_t state)
{
    HddStatEntry &entry = HddStat[n];
    memset(&entry, 0, sizeof entry);
    entry.state = state;
    entry.hddNo = static_cast<uint32_t>(n);
    uint8_t para[HDD_PARA_SIZE];
    if (!TavDllReadBuffer(static_cast<uint8_t>(BUF_HDD_PARA + n), para, sizeof para, 0)) {
        return 0;
    }
    if (TavDllStatusCapture != nullptr) {
        memcpy(TavDllStatusCapture->hddPara[n], para, sizeof para);
    }
    const HddParaLayout &at = hddParaLayout(_CardType);
    entry.statusByte = para[at.statusByte];
    entry.hddClass = para[HP_CLASS];
    entry.groupNo = para[HP_GROUP];
    entry.capacityMB = blocksToMB(readBE32(para + at.capacity));
    entry.rawValue = readBE32(para + at.rawValue);
    entry.statusDetail = para[at.statusDetail];
    entry.linkSpeed = para[at.linkSpeed];
    if (entry.hddClass == TAV_CLASS_MEMBER || entry.hddClass == TAV_CLASS_SPARE_IN_USE) {
        return fillGroupView(entry);
    }
    return 1;
}

void clearHddStates(void)
{
    for (int n = 0; n < TAV_MAX_DRIVES; ++n) {
        HddStat[n].state = TAV_STATE_UNDEFINED;
    }
}

int fillPhyStat(uint8_t contNo, const uint8_t *common)
{
    for (int n = 0; n < TAV_MAX_DRIVES; ++n) {
        if (!fillHddEntry(n, common[CS_HDD_STATE + n])) {
            return 0;
        }
    }
    return TavDllLcGetGHSStat(contNo);
}

}  // namespace

// A number past the adapter tables selects nothing: it must not wrap onto
// another adapter.
TAVCTL_API int TavDllLcSetupAdapter(uint8_t contNo)
{
    if (contNo >= TAV_MAX_ADAPTERS) {
        DLLSetErrorCode(DLL_ERROR_PARAM | DLL_ARG_ERROR_CONTNO);
        return 0;
    }
    _PCIADR = _ADR[contNo];
    _CardType = _TYPE[contNo];
    return TavDllLcGetAllStat(contNo);
}

// The common status is read once and serves both the logical and the
// physical drive tables.
TAVCTL_API int TavDllLcGetAllStat(uint8_t contNo)
{
    uint8_t common[TAV_PARA_SIZE];
    clearHddStates();
    if (!readCommonStatus(common)) {
        return 0;
    }
    if (TavDllStatusCapture != nullptr) {
        memcpy(TavDllStatusCapture->common, common, sizeof common);
    }
    return fillLogStat(common) && fillPhyStat(contNo, common) && TavDllLcGetRestStat(contNo);
}

TAVCTL_API int TavDllLcGetLogStat(uint8_t /*contNo*/)
{
    uint8_t common[TAV_PARA_SIZE];
    return readCommonStatus(common) && fillLogStat(common);
}

TAVCTL_API int TavDllLcGetPhyStat(uint8_t contNo)
{
    uint8_t common[TAV_PARA_SIZE];
    clearHddStates();
    return readCommonStatus(common) && fillPhyStat(contNo, common);
}

TAVCTL_API int TavDllLcGetGHSStat(uint8_t /*contNo*/)
{
    uint8_t page[MODE_BUFFER_SIZE];
    if (CmdExe_ModeSenseSized(_PCIADR, 0, PAGE_PD_ACTION, page, sizeof page) != 0) {
        return 0;
    }
    GHSHdd[0] = page[MODE_HEADER_SIZE + P3E_GHS];
    GHSHdd[1] = page[MODE_HEADER_SIZE + P3E_GHS + 1];
    return 1;
}

TAVCTL_API int TavDllLcGetRestStat(uint8_t /*contNo*/)
{
    uint8_t status[TAV_PARA_SIZE];
    if (!TavDllReadBuffer(BUF_RESTORE_STATUS, status, sizeof status, 0)) {
        return 0;
    }
    for (int n = 0; n < TAV_MAX_GROUPS; ++n) {
        if (!fillLdEntry(RestStat[n], status[RS_STATE + n], static_cast<uint8_t>(BUF_RESTORE_PARA + n), nullptr)) {
            return 0;
        }
    }
    return 1;
}
