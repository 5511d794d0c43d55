// Adapter-level steps on logical drives, restore candidates and physical
// drives, and the action pages that start adapter actions.
#include "tavdllctl_util.h"

int TavDllRequireDrive(uint8_t hddNo)
{
    const HddStatEntry &entry = HddStat[hddNo % TAV_MAX_DRIVES];
    uint32_t code = DLL_ERROR_NONE;
    if (hddNo >= TAV_MAX_DRIVES || (entry.state == TAV_STATE_UNDEFINED && entry.groupNo == TAV_STATE_UNDEFINED)) {
        code = DLL_ERROR_NO_LD;
    } else if (entry.state == TAV_STATE_NO_DRIVE) {
        code = DLL_ERROR_HDD;
    }
    if (code == DLL_ERROR_NONE) {
        return 1;
    }
    DLLSetErrorCode(code);
    return 0;
}

namespace {

// An undefined entry (state 255) answers 0x40 without a command.
int readDefinedGroup(const LdStatEntry &entry, uint8_t bufferId, uint8_t *groupPara)
{
    if (entry.state == TAV_STATE_UNDEFINED) {
        DLLSetErrorCode(DLL_ERROR_NO_LD);
        return 0;
    }
    return TavDllReadBuffer(bufferId, groupPara, TAV_PARA_SIZE, 0);
}

int sendActionPage(uint8_t page, uint8_t number, uint8_t function, uint8_t parameter)
{
    uint8_t buffer[ACTION_SELECT_SIZE] = {};
    uint8_t *action = buffer + MODE_HEADER_SIZE;
    action[0] = page;
    action[1] = ACTION_PAGE_LENGTH;
    action[2] = function;
    action[3] = number;
    action[4] = parameter;
    return CmdExe_ModeSelect(_PCIADR, 0, buffer, ACTION_SELECT_SIZE) == 0;
}

}  // namespace

TAVCTL_API int TavDllLogicalDriveInfo(uint8_t contNo, uint8_t groupNo, uint8_t *groupPara)
{
    return TavDllLcSetupAdapter(contNo) &&
           readDefinedGroup(LogStat[groupNo], static_cast<uint8_t>(BUF_GROUP_PARA + groupNo), groupPara);
}

// The refresh of the setup has just read the restore table, so the candidate's
// entry is current without a second refresh.
TAVCTL_API int TavDllRestoreDriveInfo(uint8_t contNo, uint8_t candidateNo, uint8_t *groupPara)
{
    return TavDllLcSetupAdapter(contNo) &&
           readDefinedGroup(RestStat[candidateNo], static_cast<uint8_t>(BUF_RESTORE_PARA + candidateNo), groupPara);
}

TAVCTL_API int TavDllRestoreDriveStatus(uint8_t contNo, uint8_t *restoreStatus)
{
    return TavDllLcSetupAdapter(contNo) && TavDllReadBuffer(BUF_RESTORE_STATUS, restoreStatus, TAV_PARA_SIZE, 0);
}

TAVCTL_API int TavDllPhysicalDriveInfo(uint8_t contNo, uint8_t hddNo, uint8_t *hddPara)
{
    if (!TavDllLcSetupAdapter(contNo) || !TavDllRequireDrive(hddNo)) {
        return 0;
    }
    return TavDllReadBuffer(static_cast<uint8_t>(BUF_HDD_PARA + HddStat[hddNo].hddNo), hddPara, HDD_PARA_SIZE, 0);
}

TAVCTL_API int TavDllBadSpotInfo(uint8_t contNo, uint8_t hddNo, uint8_t *table)
{
    return TavDllLcSetupAdapter(contNo) &&
           TavDllReadBuffer(BUF_BADSPOT, table, TAV_BADSPOT_TABLE_READ, hddNo * TAV_BADSPOT_TABLE_READ);
}

TAVCTL_API int TavDllLdBadSpotInfo64(uint8_t contNo, uint8_t groupNo, uint8_t *table)
{
    return TavDllLcSetupAdapter(contNo) &&
           TavDllReadBuffer(BUF_LD_BADSPOT, table, TAV_LD_BADSPOT_TABLE_SIZE, groupNo * TAV_LD_BADSPOT_TABLE_SIZE);
}

TAVCTL_API int TavDllHDDLocate(uint8_t contNo, uint8_t hddNo, uint8_t ledState)
{
    return TavDllLcSetupAdapter(contNo) && TavDllRequireDrive(hddNo) &&
           TavDllLcExe_Page3C(contNo, hddNo, ACTION_LOCATE_LED, ledState);
}

TAVCTL_API int TavDllLcExe_Page3C(uint8_t /*contNo*/, uint8_t number, uint8_t function, uint8_t parameter)
{
    return sendActionPage(PAGE_LD_ACTION, number, function, parameter);
}

TAVCTL_API int TavDllLcExe_Page3E(uint8_t /*contNo*/, uint8_t number, uint8_t function, uint8_t parameter)
{
    return sendActionPage(PAGE_PD_ACTION, number, function, parameter);
}
