// Public operations on one logical drive's settings and background work:
// cache policies, auto-rebuild, rebuild, consistency check and parity
// creation. Each reads the drive's record first and decides from it.
#include "raidctl_entry.h"
#include "tavdllctl_util_config.h"

namespace {

constexpr int NO_COMMAND = -1;
constexpr int MAINTENANCE_STATES = 3;

// What a start or stop request does for one maintenance state: send the
// parity step in this mode, succeed without a command (refusal 0), or refuse.
struct MaintenanceOutcome {
    int parityMode;
    uint32_t refusal;
};

const MaintenanceOutcome START_CHECK[MAINTENANCE_STATES] = {
    {TAV_PARITY_CHECK, 0}, {NO_COMMAND, 0}, {NO_COMMAND, DLL_ERROR_CC_BUSY}};
const MaintenanceOutcome STOP_CHECK[MAINTENANCE_STATES] = {
    {NO_COMMAND, DLL_ERROR_INTERNAL}, {TAV_PARITY_STOP, 0}, {NO_COMMAND, DLL_ERROR_CC_BUSY}};
const MaintenanceOutcome START_PARITY[MAINTENANCE_STATES] = {
    {TAV_PARITY_WRITE, 0}, {NO_COMMAND, DLL_ERROR_PARITY_BUSY}, {NO_COMMAND, 0}};
const MaintenanceOutcome STOP_PARITY[MAINTENANCE_STATES] = {
    {NO_COMMAND, DLL_ERROR_INTERNAL}, {NO_COMMAND, DLL_ERROR_PARITY_BUSY}, {TAV_PARITY_STOP, 0}};

enum CachePolicy { READ_CACHE, WRITE_CACHE };

int checkGroupArguments(uint8_t contNo, uint8_t groupNo, const char *function)
{
    return checkCONTno(contNo, function, SRC_RAIDCTL, __LINE__) &&
           checkGROUPno(groupNo, function, SRC_RAIDCTL, __LINE__);
}

int checkOnOff(int value, const char *function)
{
    if (value == 0 || value == 1) {
        return 1;
    }
    return DllFailArg(DLL_ARG_ERROR_CONFIGLD, function, __LINE__);
}

// Controller, group number and on/off value, then that the group exists.
int checkSetting(uint8_t contNo, uint8_t groupNo, int value, const char *function)
{
    return checkGroupArguments(contNo, groupNo, function) && checkOnOff(value, function) &&
           checkGROUPsts(contNo, groupNo, function, SRC_RAIDCTL, __LINE__);
}

// Reads the drive's record inside this trace cycle; a failure names the read.
int readGroupRecord(uint8_t contNo, uint8_t groupNo, DLL_GET_LOGICAL_DISK_INFO *info, const char *function)
{
    if (DLL_NESTED_CALL(getLogicalDriveInfo(contNo, groupNo, info))) {
        return 1;
    }
    DllFailInner(function, __LINE__);
    Debug_print_calledfuncname(1, "getLogicalDriveInfo");
    return 0;
}

int setCachePolicy(uint8_t contNo, uint8_t groupNo, CachePolicy policy, int on, const char *valueName,
                   const char *function)
{
    DllEnter("CALL - %s() CONTno=%d GROUPno=%d %s=%d\n", function, contNo, groupNo, valueName, on);
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!checkSetting(contNo, groupNo, on, function) || !readGroupRecord(contNo, groupNo, &info, function)) {
        return 0;
    }
    if (policy == READ_CACHE) {
        info.readCache = on ? TAV_READ_AHEAD : TAV_READ_NONE;
    } else {
        info.writeCache = on ? TAV_WRITE_BACK : TAV_WRITE_THROUGH;
    }
    if (!TavDllCacheModeSetup(contNo, groupNo, info.readCache, info.writeCache)) {
        return DllFailInner(function, __LINE__);
    }
    return 1;
}

int changeMaintenance(uint8_t contNo, uint8_t groupNo, const MaintenanceOutcome *table, const char *function)
{
    DllEnter("CALL - %s() CONTno=%d GROUPno=%d\n", function, contNo, groupNo);
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!checkGroupArguments(contNo, groupNo, function) || !readGroupRecord(contNo, groupNo, &info, function)) {
        return 0;
    }
    if (info.maintenance >= MAINTENANCE_STATES) {
        return DllFailWord(DLL_ERROR_INTERNAL, function, __LINE__);
    }
    const MaintenanceOutcome &outcome = table[info.maintenance];
    if (outcome.refusal != 0) {
        return DllFailWord(outcome.refusal, function, __LINE__);
    }
    if (outcome.parityMode != NO_COMMAND && !TavDllParity(contNo, groupNo, outcome.parityMode)) {
        return DllFailInner(function, __LINE__);
    }
    return 1;
}

}  // namespace

TAVCTL_API int setWriteCache(uint8_t contNo, uint8_t groupNo, int writeBack)
{
    return setCachePolicy(contNo, groupNo, WRITE_CACHE, writeBack, "WBCon", __func__);
}

TAVCTL_API int setReadCache(uint8_t contNo, uint8_t groupNo, int readAhead)
{
    return setCachePolicy(contNo, groupNo, READ_CACHE, readAhead, "RDCon", __func__);
}

TAVCTL_API int setAutoRebuild(uint8_t contNo, uint8_t groupNo, int enable)
{
    DllEnter("CALL - %s() CONTno=%d GROUPno=%d AutoRebld=%d\n", __func__, contNo, groupNo, enable);
    if (!checkSetting(contNo, groupNo, enable, __func__)) {
        return 0;
    }
    if (!TavDllRebuildModeSetup(contNo, groupNo, enable)) {
        return DllFailInner(__func__, __LINE__);
    }
    return 1;
}

TAVCTL_API int start_Rebuild(uint8_t contNo, uint8_t groupNo)
{
    DllEnter("CALL - %s() CONTno=%d GROUPno=%d\n", __func__, contNo, groupNo);
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!checkGroupArguments(contNo, groupNo, __func__) ||
        !checkGROUPsts(contNo, groupNo, __func__, SRC_RAIDCTL, __LINE__) ||
        !readGroupRecord(contNo, groupNo, &info, __func__)) {
        return 0;
    }
    switch (info.rebuildState) {
    case TAV_REBUILD_EXECUTING:
        return 1;
    case TAV_REBUILD_NEEDED:
        return TavDllRebuild(contNo, groupNo) ? 1 : DllFailInner(__func__, __LINE__);
    default:
        return DllFailWord(DLL_ERROR_LD_STATE, __func__, __LINE__);
    }
}

TAVCTL_API int start_consistencyCheck(uint8_t contNo, uint8_t groupNo)
{
    return changeMaintenance(contNo, groupNo, START_CHECK, __func__);
}

TAVCTL_API int stop_consistencyCheck(uint8_t contNo, uint8_t groupNo)
{
    return changeMaintenance(contNo, groupNo, STOP_CHECK, __func__);
}

TAVCTL_API int start_makeParity(uint8_t contNo, uint8_t groupNo)
{
    return changeMaintenance(contNo, groupNo, START_PARITY, __func__);
}

TAVCTL_API int stop_makeParity(uint8_t contNo, uint8_t groupNo)
{
    return changeMaintenance(contNo, groupNo, STOP_PARITY, __func__);
}
