// Reads every adapter once through the library, opened shared: tavstat never
// takes the exclusive lock, so it runs beside tavcli and the service.
#include <string.h>

#include "tavbase/access.h"
#include "tavstat.h"

namespace {

// What one run may wait in all for the pass-through lock (tavpth, tavlog).
constexpr int kLockWaitBudgetMs = 300;

}  // namespace

void StatRead(StatReport *report, int withHealth)
{
    memset(report, 0, sizeof *report);
    report->healthRead = withHealth;
    if (!initContData(0)) {
        report->libraryError = DLLGetLastError();
        return;
    }
    uint32_t startError = DLLGetLastError();
    int driverErrno = getDiscoveryErrno();
    uint8_t count = 0;
    if (!getContNum(&count)) {
        report->libraryError = DLLGetLastError();
        finContData();
        return;
    }
    if (count == 0 && tavbase::DriverAccessRefused(driverErrno, report->reason, sizeof report->reason)) {
        // No adapter because the driver refused access (a user who is not
        // root): a failure of its own, not an empty server.
        report->libraryError = startError;
        finContData();
        return;
    }
    report->libraryOk = 1;
    report->count = count < TAV_MAX_ADAPTERS ? count : TAV_MAX_ADAPTERS;
    for (int a = 0; a < report->count; ++a) {
        StatAdapter &adapter = report->adapter[a];
        adapter.ok = getAdapterSnapshot(static_cast<uint8_t>(a), &adapter.snap);
        adapter.error = adapter.ok ? 0 : DLLGetLastError();
    }
    if (withHealth) {
        int budget = kLockWaitBudgetMs;
        for (int a = 0; a < report->count; ++a) {
            StatAdapter &adapter = report->adapter[a];
            if (adapter.ok) {
                StatReadHealth(static_cast<uint8_t>(a), adapter.snap, adapter.health, &budget);
            }
        }
    }
    finContData();
}
