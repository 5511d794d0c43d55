// The metrics in the Prometheus text exposition format. Every family is
// printed once with its HELP and TYPE lines and all its samples together.
#include <stdio.h>

#include "tavstat.h"

namespace {

struct Family {
    const char *name;
    const char *type;
    const char *help;
    std::string samples;
};

enum FamilyId {
    F_LIBRARY_UP,
    F_ADAPTER_UP,
    F_ADAPTER_INFO,
    F_LD_STATE,
    F_LD_HEALTH,
    F_LD_SIZE,
    F_LD_PROGRESS,
    F_LD_ERRORS,
    F_PD_INFO,
    F_PD_STATE,
    F_PD_HEALTH,
    F_PD_SIZE,
    F_PD_MEDIA_ERRORS,
    F_PD_HEALTH_READ,
    F_PD_TEMPERATURE,
    F_PD_TEMPERATURE_MAX,
    F_PD_PREDICTIVE_FAILURE,
    F_PD_UNCORRECTED,
    F_PD_REALLOCATED,
    F_PD_PENDING,
    F_PD_OFFLINE_UNCORRECTABLE,
    F_COUNT
};

// The library counts capacity in MB of 1,000,000 bytes (blocks / 1000 x 512 / 1000).
constexpr uint64_t BYTES_PER_MB = 1000000;

std::string escaped(const std::string &value)
{
    std::string out;
    for (char c : value) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

// Labels from name/value pairs: {a="x",b="y"}.
std::string labels(std::initializer_list<std::pair<const char *, std::string>> pairs)
{
    std::string out = "{";
    for (const auto &p : pairs) {
        out += (out.size() > 1 ? "," : "") + std::string(p.first) + "=\"" + escaped(p.second) + "\"";
    }
    return out + "}";
}

void sample(Family &family, const std::string &labelText, const std::string &value)
{
    family.samples += std::string(family.name) + labelText + " " + value + "\n";
}

std::string num(uint64_t value)
{
    return std::to_string(value);
}

std::string ratio(uint8_t percent)
{
    char text[16];
    snprintf(text, sizeof text, "%.2f", percent / 100.0);
    return text;
}

void logicalDrives(Family *f, const std::string &a, const DLL_ADAPTER_SNAPSHOT &s)
{
    for (int n = 0; n < TAV_MAX_GROUPS; ++n) {
        if (!s.ldValid[n]) {
            continue;
        }
        const DLL_GET_LOGICAL_DISK_INFO &ld = s.logicalDrive[n];
        uint8_t state = s.raidStatus.ldState[n];
        std::string ldNo = num(n);
        std::string base = labels({{"adapter", a}, {"logical_drive", ldNo}});
        sample(f[F_LD_STATE],
               labels({{"adapter", a},
                       {"logical_drive", ldNo},
                       {"raid_level", StatRaidText(ld)},
                       {"state", StatLdStateText(state)}}),
               num(state));
        sample(f[F_LD_HEALTH], base, num(StatLdHealth(state)));
        sample(f[F_LD_SIZE], base, num(ld.capacityMB * BYTES_PER_MB));
        sample(f[F_LD_PROGRESS],
               labels({{"adapter", a}, {"logical_drive", ldNo}, {"operation", StatOperationText(ld)}}),
               ratio(ld.progress));
        sample(f[F_LD_ERRORS], base, num(ld.errorCount));
    }
}

// A drive whose health was not read carries only tav_physical_drive_health_read 0.
void driveHealth(Family *f, const std::string &a, const std::string &pdNo, const StatDriveHealth &h)
{
    if (h.status == HEALTH_NOT_ASKED) {
        return;
    }
    std::string base = labels({{"adapter", a}, {"physical_drive", pdNo}});
    sample(f[F_PD_HEALTH_READ],
           labels({{"adapter", a}, {"physical_drive", pdNo}, {"reason", StatHealthStatusText(h.status)}}),
           h.status == HEALTH_READ ? "1" : "0");
    if (h.status != HEALTH_READ) {
        return;
    }
    if (h.temperature >= 0) {
        sample(f[F_PD_TEMPERATURE], base, num(static_cast<uint64_t>(h.temperature)));
    }
    if (h.temperatureMax >= 0) {
        sample(f[F_PD_TEMPERATURE_MAX], base, num(static_cast<uint64_t>(h.temperatureMax)));
    }
    sample(f[F_PD_PREDICTIVE_FAILURE], base, h.predictiveFailure ? "1" : "0");
    const std::pair<const char *, int64_t> uncorrected[] = {{"read", h.uncorrectedRead}, {"write", h.uncorrectedWrite}};
    for (const auto &u : uncorrected) {
        if (u.second >= 0) {
            sample(f[F_PD_UNCORRECTED], labels({{"adapter", a}, {"physical_drive", pdNo}, {"direction", u.first}}),
                   num(static_cast<uint64_t>(u.second)));
        }
    }
    const std::pair<FamilyId, int64_t> sectors[] = {{F_PD_REALLOCATED, h.reallocated},
                                                    {F_PD_PENDING, h.pending},
                                                    {F_PD_OFFLINE_UNCORRECTABLE, h.offlineUncorrectable}};
    for (const auto &c : sectors) {
        if (c.second >= 0) {
            sample(f[c.first], base, num(static_cast<uint64_t>(c.second)));
        }
    }
}

void physicalDrives(Family *f, const std::string &a, const DLL_ADAPTER_SNAPSHOT &s, const StatDriveHealth *health)
{
    for (int n = 0; n < TAV_MAX_DRIVES; ++n) {
        uint8_t state = s.raidStatus.hddState[n];
        if (state == TAV_STATE_UNDEFINED && !s.hddValid[n]) {
            continue;
        }
        const DLL_GET_HDD_INFO *pd = s.hddValid[n] ? &s.physicalDrive[n] : nullptr;
        std::string pdNo = num(n);
        std::string base = labels({{"adapter", a}, {"physical_drive", pdNo}});
        sample(f[F_PD_STATE], labels({{"adapter", a}, {"physical_drive", pdNo}, {"state", StatPdStateText(state)}}),
               num(state));
        sample(f[F_PD_HEALTH], base, num(StatPdHealth(state, pd)));
        if (pd == nullptr) {
            continue;
        }
        sample(f[F_PD_INFO],
               labels({{"adapter", a},
                       {"physical_drive", pdNo},
                       {"vendor", StatField(pd->vendor, sizeof pd->vendor)},
                       {"product", StatField(pd->product, sizeof pd->product)},
                       {"revision", StatField(pd->revision, sizeof pd->revision)},
                       {"serial", StatSerial(*pd)},
                       {"class", StatClassText(pd->hddClass)}}),
               "1");
        sample(f[F_PD_SIZE], base, num(pd->capacityMB * BYTES_PER_MB));
        sample(f[F_PD_MEDIA_ERRORS], base, num(pd->badSpotCount));
        driveHealth(f, a, pdNo, health[n]);
    }
}

void adapterInfo(Family *f, const std::string &a, const DLL_ADAPTER_SNAPSHOT &s)
{
    const DLL_GET_CONTROLLER_INFO &c = s.controller;
    sample(f[F_ADAPTER_INFO],
           labels({{"adapter", a},
                   {"model", StatField(c.modelName, sizeof c.modelName)},
                   {"firmware_revision", StatField(c.generalRevision, sizeof c.generalRevision)},
                   {"driver_version", StatDriverVersion(c)}}),
           "1");
}

}  // namespace

std::string StatPrometheus(const StatReport &report)
{
    Family f[F_COUNT] = {
        {"tav_library_up", "gauge", "1 when the control library could be opened and asked for the adapters.", ""},
        {"tav_adapter_up", "gauge", "1 when the adapter's state could be read.", ""},
        {"tav_adapter_info", "gauge", "Adapter identity; the value is always 1.", ""},
        {"tav_logical_drive_state", "gauge", "Logical-drive state code (0 Good, 0x10-0x16 Warning, 0x20-0x24 Alarm).",
         ""},
        {"tav_logical_drive_health", "gauge", "0 ok, 1 warning (degraded or rebuilding), 2 critical (failed).", ""},
        {"tav_logical_drive_size_bytes", "gauge", "Logical-drive capacity in bytes (whole MB of 10^6 bytes).", ""},
        {"tav_logical_drive_operation_progress_ratio", "gauge", "Progress of the running operation, 0 to 1.", ""},
        {"tav_logical_drive_operation_errors_total", "counter",
         "Errors counted by the adapter's background operations.", ""},
        {"tav_physical_drive_info", "gauge", "Physical-drive identity; the value is always 1.", ""},
        {"tav_physical_drive_state", "gauge", "Physical-drive state code (0 Good, 0x20-0x27 Alarm, 0x80 no drive).",
         ""},
        {"tav_physical_drive_health", "gauge", "0 ok, 1 warning (pulled, attention or bad spots), 2 critical (failed).",
         ""},
        {"tav_physical_drive_size_bytes", "gauge", "Physical-drive capacity in bytes (whole MB of 10^6 bytes).", ""},
        {"tav_physical_drive_media_errors_total", "counter", "Unreadable blocks the adapter recorded (bad spots).", ""},
        {"tav_physical_drive_health_read", "gauge",
         "1 when the drive's own health was read; 0 with the reason (stopped, busy, error).", ""},
        {"tav_physical_drive_temperature_celsius", "gauge", "Drive temperature now, degrees Celsius.", ""},
        {"tav_physical_drive_temperature_max_celsius", "gauge", "Highest temperature the drive has seen (SATA).", ""},
        {"tav_physical_drive_predictive_failure", "gauge", "1 when the drive predicts its own failure.", ""},
        {"tav_physical_drive_uncorrected_errors_total", "counter",
         "Errors the drive could not correct, by direction (SAS error counter pages).", ""},
        {"tav_physical_drive_reallocated_sectors", "gauge", "Reallocated sectors (SATA SMART attribute 5).", ""},
        {"tav_physical_drive_pending_sectors", "gauge", "Sectors waiting to be reallocated (SATA SMART attribute 197).",
         ""},
        {"tav_physical_drive_offline_uncorrectable_sectors", "gauge",
         "Sectors found uncorrectable off line (SATA SMART attribute 198).", ""},
    };
    sample(f[F_LIBRARY_UP], "", report.libraryOk ? "1" : "0");
    for (int n = 0; n < report.count; ++n) {
        const StatAdapter &adapter = report.adapter[n];
        std::string a = num(n);
        sample(f[F_ADAPTER_UP], labels({{"adapter", a}}), adapter.ok ? "1" : "0");
        if (!adapter.ok) {
            continue;
        }
        adapterInfo(f, a, adapter.snap);
        logicalDrives(f, a, adapter.snap);
        physicalDrives(f, a, adapter.snap, adapter.health);
    }
    std::string out;
    for (const Family &family : f) {
        if (family.samples.empty()) {
            continue;
        }
        out += std::string("# HELP ") + family.name + " " + family.help + "\n# TYPE " + family.name + " " +
               family.type + "\n" + family.samples;
    }
    return out;
}
