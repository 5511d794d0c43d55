// The whole-adapter snapshot: one status refresh whose raw buffers are kept
// and converted by the same code as the single-record operations.
#include <string.h>

#include <new>

#include "raidctl_entry.h"
#include "raidctl_records.h"
#include "tavctl_snapshot.h"

namespace {

// The refresh with its buffers kept. The capture lives on the heap (about
// 9 KiB) and is detached on every path.
int refreshCapturing(uint8_t contNo, StatusCapture *capture)
{
    TavDllStatusCapture = capture;
    int ok = TavDllLcSetupAdapter(contNo);
    TavDllStatusCapture = nullptr;
    return ok;
}

// A slot that getPhysicalDriveInfo would read: an entry with a drive present.
bool driveReadable(int n)
{
    const HddStatEntry &entry = HddStat[n];
    if (entry.state == TAV_STATE_UNDEFINED && entry.groupNo == TAV_STATE_UNDEFINED) {
        return false;
    }
    return entry.state != TAV_STATE_NO_DRIVE;
}

void fillDrives(uint8_t contNo, const StatusCapture &capture, DLL_ADAPTER_SNAPSHOT *snapshot)
{
    for (int n = 0; n < TAV_MAX_GROUPS; ++n) {
        if (LogStat[n].state != TAV_STATE_UNDEFINED) {
            snapshot->ldValid[n] = 1;
            fillLogicalDiskInfo(contNo, static_cast<uint8_t>(n), capture.groupPara[n], &snapshot->logicalDrive[n]);
        }
    }
    for (int n = 0; n < TAV_MAX_DRIVES; ++n) {
        if (driveReadable(n)) {
            snapshot->hddValid[n] = 1;
            fillHddInfo(capture.hddPara[HddStat[n].hddNo % TAV_MAX_DRIVES], &snapshot->physicalDrive[n]);
        }
    }
    memcpy(snapshot->globalHotSpare, GHSHdd, sizeof snapshot->globalHotSpare);
}

// The adapter records: the controller parameters and setting pages are read
// from the adapter the refresh selected, without refreshing again.
int fillAdapter(uint8_t contNo, const StatusCapture &capture, DLL_ADAPTER_SNAPSHOT *snapshot)
{
    uint8_t page31[PAGE31_SIZE];
    uint8_t page36[PAGE36_SIZE];
    if (!TavDllReadBuffer(BUF_CONT_PARA, reinterpret_cast<uint8_t *>(&snapshot->contPara), TAV_PARA_SIZE, 0) ||
        !TavDllReadSettingPages(page31, page36)) {
        return 0;
    }
    fillControllerInfo(contNo, snapshot->contPara, page31, page36, &snapshot->controller);
    fillRaidStatus(contNo, capture.common, &snapshot->raidStatus);
    return 1;
}

}  // namespace

TAVCTL_API int getAdapterSnapshot(uint8_t contNo, DLL_ADAPTER_SNAPSHOT *snapshot)
{
    DllEnter("CALL - %s() CONTno=%d\n", __func__, contNo);
    if (!DllCheckContAndRecord(contNo, snapshot, __func__, __LINE__)) {
        return 0;
    }
    memset(snapshot, 0, sizeof *snapshot);
    StatusCapture *capture = new (std::nothrow) StatusCapture();
    if (capture == nullptr) {
        return DllFailWord(DLL_ERROR_INTERNAL, __func__, __LINE__);
    }
    int ok = refreshCapturing(contNo, capture) && fillAdapter(contNo, *capture, snapshot);
    if (ok) {
        fillDrives(contNo, *capture, snapshot);
    }
    delete capture;
    if (!ok) {
        memset(snapshot, 0, sizeof *snapshot);
        return DllFailInner(__func__, __LINE__);
    }
    TavDllCtlDump("DLL_ADAPTER_SNAPSHOT", snapshot, sizeof *snapshot);
    return 1;
}
