// Adapter-level steps that act on one drive or one logical drive through the
// action pages: global hot spares and forced drive states (0x3E, 0x3C
// function 8), cache and auto-rebuild settings, rebuild, consistency check and
// parity creation (0x3C).
#include "tavdllctl_util_config.h"

namespace {

constexpr uint8_t RAID_LEVEL_0 = 0;
constexpr uint8_t STATE_HIGH_ALARM = 0x2;
constexpr uint8_t STATE_NONREDUNDANT_ALARM = 3;
constexpr uint8_t GROUP_STATE_GOOD = 0x00;
constexpr uint8_t GROUP_STATE_CHECKABLE_12 = 0x12;
constexpr uint8_t GROUP_STATE_CHECKABLE_13 = 0x13;

int refuse(uint32_t code)
{
    DLLSetErrorCode(code);
    return 0;
}

bool isGlobalHotSpare(uint8_t hddNo)
{
    return GHSHdd[0] == hddNo || GHSHdd[1] == hddNo;
}

int assignHotSpare(uint8_t contNo, uint8_t hddNo)
{
    if (isGlobalHotSpare(hddNo)) {
        return 1;
    }
    uint32_t hddClass = HddStat[hddNo].hddClass;
    if (hddClass != TAV_CLASS_MEMBER_NOT_USED && hddClass != TAV_CLASS_FRESH) {
        return refuse(DLL_ERROR_LD_STATE);
    }
    if (GHSHdd[0] != TAV_STATE_UNDEFINED && GHSHdd[1] != TAV_STATE_UNDEFINED) {
        return refuse(DLL_ERROR_LD_STATE);  // both places are taken
    }
    return TavDllLcExe_Page3E(contNo, hddNo, ACTION_ASSIGN_GHS, 0) && TavDllLcSetupAdapter(contNo);
}

int removeHotSpare(uint8_t contNo, uint8_t hddNo)
{
    if (!isGlobalHotSpare(hddNo)) {
        return 1;
    }
    uint32_t hddClass = HddStat[hddNo].hddClass;
    if (hddClass != TAV_CLASS_SPARE_IN_USE && hddClass != TAV_CLASS_SPARE_NOT_USED) {
        return refuse(DLL_ERROR_LD_STATE);
    }
    return TavDllLcExe_Page3E(contNo, hddNo, ACTION_REMOVE_GHS, 0) && TavDllLcSetupAdapter(contNo);
}

// A drive outside any defined group counts as in a RAID 0 group.
bool inNonRedundantGroup(const HddStatEntry &drive)
{
    uint8_t group = drive.groupNo;
    return group >= TAV_MAX_GROUPS || LogStat[group].state == TAV_STATE_UNDEFINED ||
           LogStat[group].raidLevel == RAID_LEVEL_0;
}

// Whether the drive already is in the requested condition. A drive of a
// redundant group that is not in alarm counts as good: it is never forced.
bool alreadyInCondition(const HddStatEntry &drive, bool wantAlarm)
{
    if ((drive.state >> 4) == STATE_HIGH_ALARM) {
        return wantAlarm;
    }
    if (inNonRedundantGroup(drive)) {
        return wantAlarm == (drive.state == STATE_NONREDUNDANT_ALARM);
    }
    return !wantAlarm;
}

bool isParityStartState(uint8_t state)
{
    return state == GROUP_STATE_GOOD || state == GROUP_STATE_CHECKABLE_12 || state == GROUP_STATE_CHECKABLE_13;
}

int startParityOperation(uint8_t contNo, uint8_t groupNo, int mode)
{
    const LdStatEntry &group = LogStat[groupNo];
    if (group.rebuildState == TAV_REBUILD_EXECUTING || group.maintenance != TAV_MAINTENANCE_NONE ||
        !isParityStartState(group.state)) {
        return refuse(DLL_ERROR_LD_STATE);
    }
    uint8_t function = (mode == TAV_PARITY_WRITE) ? ACTION_WRITE_PARITY : ACTION_CHECK_PARITY;
    return TavDllLcExe_Page3C(contNo, groupNo, function, 0);
}

// A failing stop command counts as a state refusal, whatever the channel said.
int stopParityOperation(uint8_t contNo, uint8_t groupNo)
{
    uint8_t maintenance = LogStat[groupNo].maintenance;
    if (maintenance != TAV_MAINTENANCE_CHECKING && maintenance != TAV_MAINTENANCE_WRITING) {
        return refuse(DLL_ERROR_LD_STATE);
    }
    if (!TavDllLcExe_Page3C(contNo, groupNo, ACTION_STOP_PARITY, 0)) {
        return refuse(DLL_ERROR_LD_STATE);
    }
    return 1;
}

}  // namespace

TAVCTL_API int TavDllAssignGHS(uint8_t contNo, uint8_t hddNo, int assign)
{
    if (!TavDllLcSetupAdapter(contNo) || !TavDllRequireDrive(hddNo)) {
        return 0;
    }
    return assign ? assignHotSpare(contNo, hddNo) : removeHotSpare(contNo, hddNo);
}

TAVCTL_API int TavDllForcePhysicalDrive(uint8_t contNo, uint8_t hddNo, uint8_t state)
{
    if (!TavDllLcSetupAdapter(contNo) || !TavDllRequireDrive(hddNo)) {
        return 0;
    }
    if (alreadyInCondition(HddStat[hddNo], state == TAV_FORCE_ALARM)) {
        return 1;
    }
    return TavDllLcExe_Page3C(contNo, hddNo, ACTION_FORCE_STATE, state);
}

// Both policies always travel together in one parameter.
TAVCTL_API int TavDllCacheModeSetup(uint8_t contNo, uint8_t groupNo, uint8_t readPolicy, uint8_t writePolicy)
{
    if (!TavDllLcSetupAdapter(contNo) || !TavDllRequireGroup(groupNo)) {
        return 0;
    }
    uint8_t parameter = 0;
    if (readPolicy == TAV_READ_NONE) {
        parameter |= CACHE_BIT_NO_READ_AHEAD;
    }
    if (writePolicy == TAV_WRITE_BACK) {
        parameter |= CACHE_BIT_WRITE_BACK;
    }
    return TavDllLcExe_Page3C(contNo, groupNo, ACTION_CACHE_MODE, parameter);
}

TAVCTL_API int TavDllRebuildModeSetup(uint8_t contNo, uint8_t groupNo, int enable)
{
    if (!TavDllLcSetupAdapter(contNo) || !TavDllRequireGroup(groupNo)) {
        return 0;
    }
    if (enable) {
        return TavDllLcExe_Page3C(contNo, groupNo, ACTION_AUTO_REBUILD_ON, 0);
    }
    return TavDllLcExe_Page3C(contNo, groupNo, ACTION_AUTO_REBUILD_OFF, AUTO_REBUILD_DISABLED);
}

// A manual rebuild only where the adapter will not start one by itself.
TAVCTL_API int TavDllRebuild(uint8_t contNo, uint8_t groupNo)
{
    if (!TavDllLcSetupAdapter(contNo) || !TavDllRequireGroup(groupNo)) {
        return 0;
    }
    const LdStatEntry &group = LogStat[groupNo];
    if (group.autoRebuild != AUTO_REBUILD_DISABLED || group.rebuildState != TAV_REBUILD_NEEDED) {
        return refuse(DLL_ERROR_LD_STATE);
    }
    return TavDllLcExe_Page3C(contNo, groupNo, ACTION_REBUILD, 0);
}

TAVCTL_API int TavDllParity(uint8_t contNo, uint8_t groupNo, int mode)
{
    if (!TavDllLcSetupAdapter(contNo) || !TavDllRequireGroup(groupNo)) {
        return 0;
    }
    if (LogStat[groupNo].raidLevel == RAID_LEVEL_0) {
        return refuse(DLL_ERROR_LD_STATE);
    }
    if (mode == TAV_PARITY_WRITE || mode == TAV_PARITY_CHECK) {
        return startParityOperation(contNo, groupNo, mode);
    }
    return stopParityOperation(contNo, groupNo);
}
