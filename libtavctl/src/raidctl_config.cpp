// Public operations that change the configuration: create, delete and restore
// logical drives, assign and remove global hot spares, force a drive's state.
// Arguments are checked before anything is sent to the adapter.
#include <stdio.h>

#include "raidctl_entry.h"
#include "tavdllctl_util_config.h"

namespace {

int checkDriveNumber(uint8_t hddNo, const char *function, int line)
{
    if (hddNo < TAV_MAX_DRIVES) {
        return 1;
    }
    return DllFailArg(DLL_ARG_ERROR_HDDNO, function, line);
}

int checkMembers(const DLL_CREATE_LD_INFO *request, const char *function)
{
    if (request->memberCount > TAV_MAX_DRIVES) {
        return DllFailArg(DLL_ARG_ERROR_HDDNO, function, __LINE__);
    }
    for (int i = 0; i < request->memberCount; ++i) {
        if (!checkDriveNumber(request->member[i], function, __LINE__)) {
            return 0;
        }
    }
    return 1;
}

// Reads the controller record inside the caller's trace cycle.
int readControllerRecord(uint8_t contNo, const char *function)
{
    DLL_GET_CONTROLLER_INFO info;
    if (DLL_NESTED_CALL(getContInfo(contNo, &info))) {
        return 1;
    }
    return DllFailInner(function, __LINE__);
}

// The frame of the operations on one physical drive.
int changeDrive(uint8_t contNo, uint8_t hddNo, int (*step)(uint8_t, uint8_t, int), int value, const char *function)
{
    DllEnter("CALL - %s() CONTno=%d HDDno=%d\n", function, contNo, hddNo);
    if (!checkCONTno(contNo, function, SRC_RAIDCTL, __LINE__) || !checkDriveNumber(hddNo, function, __LINE__) ||
        !readControllerRecord(contNo, function)) {
        return 0;
    }
    if (!step(contNo, hddNo, value)) {
        return DllFailInner(function, __LINE__);
    }
    return 1;
}

int forceDrive(uint8_t contNo, uint8_t hddNo, int state)
{
    return TavDllForcePhysicalDrive(contNo, hddNo, static_cast<uint8_t>(state));
}

int checkRestoreRequest(DLL_CONFIG_RESTORE_LD *request, const char *function)
{
    if (!DllCheckNull(request, function, __LINE__) || !checkCONTno(request->contNo, function, SRC_RAIDCTL, __LINE__) ||
        !checkGROUPno(request->groupNo, function, SRC_RAIDCTL, __LINE__) ||
        !checkGROUPno(request->candidateNo, function, SRC_RAIDCTL, __LINE__)) {
        return 0;
    }
    if ((request->operation != TAV_RESTORE_CANDIDATE && request->operation != TAV_DELETE_CANDIDATE) ||
        request->reserved4 != 0) {
        return DllFailArg(DLL_ARG_ERROR_CONFIGLD, function, __LINE__);
    }
    return 1;
}

}  // namespace

TAVCTL_API int createLD(const DLL_CREATE_LD_INFO *request)
{
    DllEnter("CALL - %s() CONTno=%d\n", __func__, request != nullptr ? request->contNo : 0);
    TavDllConfigStagedClear();
    if (!DllCheckNull(request, __func__, __LINE__) || !checkCONTno(request->contNo, __func__, SRC_RAIDCTL, __LINE__) ||
        !checkGROUPno(request->groupNo, __func__, SRC_RAIDCTL, __LINE__) || !checkMembers(request, __func__) ||
        !readControllerRecord(request->contNo, __func__)) {
        return 0;
    }
    if (!TavDllCreateLD(request->contNo, request)) {
        return DllFailInner(__func__, __LINE__);
    }
    return 1;
}

TAVCTL_API int deleteLD(uint8_t contNo, uint8_t groupNo)
{
    DllEnter("CALL - %s() CONTno=%d GROUPno=%d\n", __func__, contNo, groupNo);
    TavDllConfigStagedClear();
    if (!checkCONTno(contNo, __func__, SRC_RAIDCTL, __LINE__) ||
        !checkGROUPno(groupNo, __func__, SRC_RAIDCTL, __LINE__)) {
        return 0;
    }
    char message[PARTITION_MESSAGE_SIZE] = "";
    if (TavDllDeleteLogicalDrive(contNo, groupNo, message, sizeof message)) {
        return 1;
    }
    if (DLLGetLastError() != DLL_ERROR_PARTITION) {
        return DllFailInner(__func__, __LINE__);
    }
    // The operator must remove the partitions first: the refusal stands as it is.
    printf("%s\n", message);
    fflush(stdout);
    return DllFailWord(DLL_ERROR_PARTITION, __func__, __LINE__);
}

TAVCTL_API int configRestoreLD(DLL_CONFIG_RESTORE_LD *request)
{
    DllEnter("CALL - %s() CONTno=%d GROUPno=%d RestoreGROUPno=%d", __func__, request != nullptr ? request->contNo : 0,
             request != nullptr ? request->groupNo : 0, request != nullptr ? request->candidateNo : 0);
    TavDllConfigStagedClear();
    if (!checkRestoreRequest(request, __func__)) {
        return 0;
    }
    memset(request->fill, 0xFF, sizeof request->fill);
    if (!TavDllRestore(request->contNo, request)) {
        return DllFailInner(__func__, __LINE__);
    }
    return 1;
}

TAVCTL_API int getConfigStaged(void)
{
    return TavDllConfigStaged();
}

TAVCTL_API int createGHS(uint8_t contNo, uint8_t hddNo)
{
    return changeDrive(contNo, hddNo, TavDllAssignGHS, 1, __func__);
}

TAVCTL_API int deleteGHS(uint8_t contNo, uint8_t hddNo)
{
    return changeDrive(contNo, hddNo, TavDllAssignGHS, 0, __func__);
}

TAVCTL_API int setHDDsts_GOOD(uint8_t contNo, uint8_t hddNo)
{
    return changeDrive(contNo, hddNo, forceDrive, TAV_FORCE_GOOD, __func__);
}

TAVCTL_API int setHDDsts_ALAM(uint8_t contNo, uint8_t hddNo)
{
    return changeDrive(contNo, hddNo, forceDrive, TAV_FORCE_ALARM, __func__);
}
