// The one-screen summary: the overall health first, then per adapter its
// virtual drives and physical drives in aligned columns.
#include <stdio.h>

#include <vector>

#include "tavstat.h"

namespace {

using Row = std::vector<std::string>;

// Columns as wide as their widest cell, two blanks apart, no trailing blanks.
std::string table(const std::vector<Row> &rows)
{
    std::vector<size_t> width;
    for (const Row &r : rows) {
        for (size_t c = 0; c < r.size(); ++c) {
            if (width.size() <= c) {
                width.push_back(0);
            }
            width[c] = r[c].size() > width[c] ? r[c].size() : width[c];
        }
    }
    std::string out;
    for (const Row &r : rows) {
        std::string line;
        for (size_t c = 0; c < r.size(); ++c) {
            line += r[c];
            if (c + 1 < r.size()) {
                line += std::string(width[c] - r[c].size() + 2, ' ');
            }
        }
        out += "  " + line + "\n";
    }
    return out;
}

// Capacity in MB of 10^6 bytes: "512 MB", "2.1 GB", "1.2 TB".
std::string size(uint64_t mb)
{
    char text[32];
    if (mb < 1000) {
        snprintf(text, sizeof text, "%llu MB", static_cast<unsigned long long>(mb));
    } else if (mb < 1000000) {
        snprintf(text, sizeof text, "%.1f GB", mb / 1000.0);
    } else {
        snprintf(text, sizeof text, "%.1f TB", mb / 1000000.0);
    }
    return text;
}

std::string operation(const DLL_GET_LOGICAL_DISK_INFO &ld)
{
    std::string op = StatOperationText(ld);
    return op == "none" ? "-" : op + " " + std::to_string(ld.progress) + "%";
}

std::string temperature(const StatDriveHealth &h)
{
    if (h.status == HEALTH_NOT_ASKED) {
        return "-";
    }
    if (h.status != HEALTH_READ) {
        return StatHealthStatusText(h.status);
    }
    std::string t = h.temperature >= 0 ? std::to_string(h.temperature) + " C" : "-";
    return h.predictiveFailure ? t + " (failure predicted)" : t;
}

std::string virtualDrives(const DLL_ADAPTER_SNAPSHOT &s)
{
    std::vector<Row> rows = {{"VD", "RAID", "Size", "State", "Operation"}};
    for (int n = 0; n < TAV_MAX_GROUPS; ++n) {
        if (s.ldValid[n]) {
            const DLL_GET_LOGICAL_DISK_INFO &ld = s.logicalDrive[n];
            rows.push_back({std::to_string(n), StatRaidText(ld), size(ld.capacityMB),
                            StatLdStateText(s.raidStatus.ldState[n]), operation(ld)});
        }
    }
    return rows.size() > 1 ? table(rows) : "  no virtual drive\n";
}

std::string physicalDrives(const StatAdapter &a)
{
    const DLL_ADAPTER_SNAPSHOT &s = a.snap;
    std::vector<Row> rows = {{"Slot", "Model", "Size", "State", "Class", "VD", "Temp"}};
    for (int n = 0; n < TAV_MAX_DRIVES; ++n) {
        uint8_t state = s.raidStatus.hddState[n];
        if (state == TAV_STATE_UNDEFINED && !s.hddValid[n]) {
            continue;
        }
        if (!s.hddValid[n]) {
            rows.push_back({std::to_string(n), "-", "-", StatPdStateText(state), "-", "-", "-"});
            continue;
        }
        const DLL_GET_HDD_INFO &pd = s.physicalDrive[n];
        rows.push_back({std::to_string(n), StatField(pd.product, sizeof pd.product), size(pd.capacityMB),
                        StatPdStateText(state), StatClassText(pd.hddClass),
                        pd.groupNo < TAV_MAX_GROUPS ? std::to_string(pd.groupNo) : "-", temperature(a.health[n])});
    }
    return rows.size() > 1 ? table(rows) : "  no physical drive\n";
}

const char *const kColour[] = {"\033[32m", "\033[33m", "\033[31m", "\033[35m"};

}  // namespace

std::string StatSummary(const StatReport &report, const StatThresholds &limits, int colour)
{
    int status = HEALTH_UNKNOWN;
    std::string verdict = StatVerdict(report, limits, &status);
    std::string out = "Health: ";
    if (colour) {
        size_t word = verdict.find(' ');
        out += std::string("\033[1m") + kColour[status] + verdict.substr(0, word) + "\033[0m" + verdict.substr(word);
    } else {
        out += verdict;
    }
    out += "\n";
    for (int a = 0; a < report.count; ++a) {
        const StatAdapter &adapter = report.adapter[a];
        out += "\nAdapter " + std::to_string(a);
        if (!adapter.ok) {
            char code[16];
            snprintf(code, sizeof code, "0x%08x", adapter.error);
            out += ": unreadable (error " + std::string(code) + ")\n";
            continue;
        }
        const DLL_GET_CONTROLLER_INFO &c = adapter.snap.controller;
        out += ": " + StatField(c.modelName, sizeof c.modelName) + ", firmware " +
               StatField(c.generalRevision, sizeof c.generalRevision) + ", driver " + StatDriverVersion(c) + "\n";
        out += virtualDrives(adapter.snap) + "\n" + physicalDrives(adapter);
    }
    return out;
}
