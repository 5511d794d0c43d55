// The monitoring-plugin check: the worst health of every logical and
// physical drive decides the exit status; the line names what is wrong.
#include <stdio.h>

#include "tavstat.h"

namespace {

const char *const kStatusWord[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

struct Finding {
    StatHealth worst = HEALTH_OK;
    std::string problems;
    int lds = 0;
    int pds = 0;
};

void note(Finding &f, StatHealth health, const std::string &what)
{
    if (health == HEALTH_OK) {
        return;
    }
    // A failed drive outranks an adapter that could not be read.
    static const int rank[] = {0, 1, 3, 2};
    if (rank[health] > rank[f.worst]) {
        f.worst = health;
    }
    f.problems += (f.problems.empty() ? "" : ", ") + what;
}

void checkLogicalDrives(Finding &f, int a, const DLL_ADAPTER_SNAPSHOT &s)
{
    for (int n = 0; n < TAV_MAX_GROUPS; ++n) {
        if (!s.ldValid[n]) {
            continue;
        }
        ++f.lds;
        const DLL_GET_LOGICAL_DISK_INFO &ld = s.logicalDrive[n];
        uint8_t state = s.raidStatus.ldState[n];
        std::string what = "Adapter " + std::to_string(a) + "-VD " + std::to_string(n) + " " + StatLdStateText(state);
        std::string operation = StatOperationText(ld);
        if (operation != "none") {
            what += " (" + operation + " " + std::to_string(ld.progress) + "%)";
        }
        note(f, StatLdHealth(state), what);
    }
}

// The drive's own health: a predicted failure is a warning, a temperature
// at or above the thresholds a warning or critical; a reading that failed
// leaves the state unknown, as an unreadable adapter does.
void checkDriveHealth(Finding &f, const std::string &drive, const StatDriveHealth &h, const StatThresholds &limits)
{
    if (h.status == HEALTH_ERROR) {
        note(f, HEALTH_UNKNOWN, drive + " health unreadable");
    }
    if (h.status != HEALTH_READ) {
        return;
    }
    if (h.predictiveFailure) {
        note(f, HEALTH_WARNING, drive + " predictive failure");
    }
    if (h.temperature >= limits.critical) {
        note(f, HEALTH_CRITICAL, drive + " temperature " + std::to_string(h.temperature) + "C");
    } else if (h.temperature >= limits.warning) {
        note(f, HEALTH_WARNING, drive + " temperature " + std::to_string(h.temperature) + "C");
    }
}

void checkPhysicalDrives(Finding &f, int a, const StatAdapter &adapter, const StatThresholds &limits)
{
    const DLL_ADAPTER_SNAPSHOT &s = adapter.snap;
    for (int n = 0; n < TAV_MAX_DRIVES; ++n) {
        uint8_t state = s.raidStatus.hddState[n];
        if (state == TAV_STATE_UNDEFINED && !s.hddValid[n]) {
            continue;
        }
        const DLL_GET_HDD_INFO *pd = s.hddValid[n] ? &s.physicalDrive[n] : nullptr;
        if (pd != nullptr) {
            ++f.pds;
        }
        std::string what = "Adapter " + std::to_string(a) + "-PD " + std::to_string(n) + " " + StatPdStateText(state);
        if (pd != nullptr && pd->badSpotCount != 0) {
            what += " (" + std::to_string(pd->badSpotCount) + " media errors)";
        }
        note(f, StatPdHealth(state, pd), what);
        checkDriveHealth(f, "Adapter " + std::to_string(a) + "-PD " + std::to_string(n), adapter.health[n], limits);
    }
}

}  // namespace

namespace {

// The verdict with the counts of the performance data.
std::string verdict(const StatReport &report, const StatThresholds &limits, int *status, Finding &f)
{
    char code[16];
    if (!report.libraryOk && report.reason[0] != '\0') {
        *status = HEALTH_UNKNOWN;
        return std::string("UNKNOWN - ") + report.reason;
    }
    if (!report.libraryOk) {
        snprintf(code, sizeof code, "0x%08x", report.libraryError);
        *status = HEALTH_UNKNOWN;
        return std::string("UNKNOWN - control library failed (error ") + code + ")";
    }
    if (report.count == 0) {
        *status = HEALTH_UNKNOWN;
        return "UNKNOWN - no adapter found";
    }
    for (int a = 0; a < report.count; ++a) {
        const StatAdapter &adapter = report.adapter[a];
        if (!adapter.ok) {
            snprintf(code, sizeof code, "0x%08x", adapter.error);
            note(f, HEALTH_UNKNOWN, "Adapter " + std::to_string(a) + " unreadable (error " + code + ")");
            continue;
        }
        checkLogicalDrives(f, a, adapter.snap);
        checkPhysicalDrives(f, a, adapter, limits);
    }
    *status = f.worst;
    std::string line = std::string(kStatusWord[f.worst]) + " - ";
    if (f.problems.empty()) {
        line += std::to_string(report.count) + " adapter(s), " + std::to_string(f.lds) + " virtual drive(s), " +
                std::to_string(f.pds) + " physical drive(s) optimal";
    } else {
        line += f.problems;
    }
    return line;
}

}  // namespace

std::string StatVerdict(const StatReport &report, const StatThresholds &limits, int *status)
{
    Finding f;
    return verdict(report, limits, status, f);
}

std::string StatCheck(const StatReport &report, const StatThresholds &limits, int *status)
{
    Finding f;
    std::string line = "TAVRAID " + verdict(report, limits, status, f);
    if (!report.libraryOk || report.count == 0) {
        return line + "\n";
    }
    char perf[64];
    snprintf(perf, sizeof perf, " | adapters=%d vds=%d pds=%d", report.count, f.lds, f.pds);
    return line + perf + "\n";
}

int StatComplete(const StatReport &report)
{
    int complete = report.libraryOk;
    for (int a = 0; a < report.count; ++a) {
        complete = complete && report.adapter[a].ok;
        for (int n = 0; report.adapter[a].ok && n < TAV_MAX_DRIVES; ++n) {
            complete = complete && report.adapter[a].health[n].status != HEALTH_ERROR;
        }
    }
    return complete;
}
