// The JSON document: every adapter with its settings, logical drives and
// physical drives. Field names and state values are documented in README.md.
#include <stdio.h>

#include "tavstat.h"

namespace {

std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Appends "name": value, with the comma before every field but the first.
void field(std::string &out, bool &first, const char *name, const std::string &value)
{
    out += first ? "" : ",";
    first = false;
    out += quoted(name) + ":" + value;
}

std::string number(uint64_t value)
{
    return std::to_string(value);
}

std::string hexWord(uint32_t value)
{
    char text[16];
    snprintf(text, sizeof text, "0x%08x", value);
    return text;
}

std::string memberList(const DLL_GET_LOGICAL_DISK_INFO &ld)
{
    std::string out = "[";
    int count = ld.memberCount < TAV_MAX_DRIVES ? ld.memberCount : TAV_MAX_DRIVES;
    for (int i = 0; i < count; ++i) {
        bool first = true;
        out += i == 0 ? "{" : ",{";
        field(out, first, "slot", number(ld.member[i].hddNo));
        field(out, first, "state_code", number(ld.member[i].memberState));
        out += "}";
    }
    return out + "]";
}

std::string logicalDrive(const DLL_GET_LOGICAL_DISK_INFO &ld, uint8_t state)
{
    std::string out = "{";
    bool first = true;
    field(out, first, "number", number(ld.groupNo));
    field(out, first, "raid_level", quoted(StatRaidText(ld)));
    field(out, first, "state", quoted(StatLdStateText(state)));
    field(out, first, "state_code", number(state));
    field(out, first, "size_mb", number(ld.capacityMB));
    field(out, first, "stripe_blocks", number(ld.stripeSize));
    field(out, first, "read_policy", quoted(ld.readCache == 0 ? "RA" : "NORA"));
    field(out, first, "write_policy", quoted(ld.writeCache == 0 ? "WB" : "WT"));
    field(out, first, "hot_spare_mode",
          quoted(ld.hotSpareMode == 0   ? "global"
                 : ld.hotSpareMode == 1 ? "group"
                                        : "none"));
    field(out, first, "auto_rebuild", ld.autoRebuild == 0 ? "true" : "false");
    field(out, first, "members", memberList(ld));
    field(out, first, "operation", quoted(StatOperationText(ld)));
    field(out, first, "progress_percent", number(ld.progress));
    field(out, first, "operation_errors", number(ld.errorCount));
    field(out, first, "data_lost", ld.dataLost != 0 ? "true" : "false");
    return out + "}";
}

std::string orNull(int64_t value)
{
    return value < 0 ? "null" : number(static_cast<uint64_t>(value));
}

// The drive's own health; only the status when it was not read.
std::string healthObject(const StatDriveHealth &h)
{
    std::string out = "{";
    bool first = true;
    field(out, first, "status", quoted(StatHealthStatusText(h.status)));
    if (h.status == HEALTH_READ) {
        field(out, first, "temperature_celsius", orNull(h.temperature));
        field(out, first, "temperature_max_celsius", orNull(h.temperatureMax));
        field(out, first, "predictive_failure", h.predictiveFailure ? "true" : "false");
        field(out, first, "uncorrected_read_errors", orNull(h.uncorrectedRead));
        field(out, first, "uncorrected_write_errors", orNull(h.uncorrectedWrite));
        field(out, first, "reallocated_sectors", orNull(h.reallocated));
        field(out, first, "pending_sectors", orNull(h.pending));
        field(out, first, "offline_uncorrectable_sectors", orNull(h.offlineUncorrectable));
    }
    return out + "}";
}

std::string physicalDrive(int slot, uint8_t state, const DLL_GET_HDD_INFO *pd, const StatDriveHealth *health)
{
    std::string out = "{";
    bool first = true;
    field(out, first, "slot", number(slot));
    field(out, first, "state", quoted(StatPdStateText(state)));
    field(out, first, "state_code", number(state));
    field(out, first, "present", pd != nullptr ? "true" : "false");
    if (pd != nullptr) {
        field(out, first, "vendor", quoted(StatField(pd->vendor, sizeof pd->vendor)));
        field(out, first, "product", quoted(StatField(pd->product, sizeof pd->product)));
        field(out, first, "revision", quoted(StatField(pd->revision, sizeof pd->revision)));
        field(out, first, "serial", quoted(StatSerial(*pd)));
        field(out, first, "size_mb", number(pd->capacityMB));
        field(out, first, "class", quoted(StatClassText(pd->hddClass)));
        field(out, first, "class_code", number(pd->hddClass));
        field(out, first, "logical_drive", pd->groupNo < TAV_MAX_GROUPS ? number(pd->groupNo) : "null");
        field(out, first, "link_speed", quoted(StatLinkSpeedText(pd->linkSpeed)));
        field(out, first, "smart_trip", pd->smartState != 0 ? "true" : "false");
        field(out, first, "bad_spot_state", quoted(StatBadSpotText(pd->badSpotState)));
        field(out, first, "bad_spot_count", number(pd->badSpotCount));
        field(out, first, "media_errors", number(pd->badSpotCount));
        if (health != nullptr && health->status != HEALTH_NOT_ASKED) {
            field(out, first, "health", healthObject(*health));
        }
    }
    return out + "}";
}

void adapterIdentity(std::string &out, bool &first, const DLL_ADAPTER_SNAPSHOT &s)
{
    const DLL_GET_CONTROLLER_INFO &c = s.controller;
    char text[64];
    field(out, first, "model", quoted(StatField(c.modelName, sizeof c.modelName)));
    field(out, first, "pci_bus", number(c.pciBus));
    field(out, first, "pci_device", number(c.pciDevice));
    field(out, first, "driver_version", quoted(StatDriverVersion(c)));
    field(out, first, "firmware_revision", quoted(StatField(c.generalRevision, sizeof c.generalRevision)));
    field(out, first, "boot_revision", quoted(StatField(s.contPara.bootRevision, sizeof s.contPara.bootRevision)));
    field(out, first, "flash_revision_bank1",
          quoted(StatField(s.contPara.flashRevisionBank1, sizeof s.contPara.flashRevisionBank1)));
    field(out, first, "flash_revision_bank2",
          quoted(StatField(s.contPara.flashRevisionBank2, sizeof s.contPara.flashRevisionBank2)));
    std::string sas;
    for (uint8_t b : s.contPara.sasAddress) {
        snprintf(text, sizeof text, "%02x", b);
        sas += text;
    }
    field(out, first, "sas_address", quoted(sas));
}

void adapterSettings(std::string &out, bool &first, const DLL_GET_CONTROLLER_INFO &c)
{
    field(out, first, "memory_mb", number(c.totalMemoryMB));
    field(out, first, "cache_mb", number(c.cacheSizeMB));
    field(out, first, "write_cache_mb", number(c.writeCacheSizeMB));
    field(out, first, "rebuild_priority_idle", quoted(StatPriorityText(c.rebuildPriorityIdle)));
    field(out, first, "rebuild_priority_busy", quoted(StatPriorityText(c.rebuildPriorityBusy)));
    field(out, first, "patrol_read_delay_weeks",
          number(c.patrolDelay >= 1 && c.patrolDelay <= 3 ? 1u << c.patrolDelay : 0));
}

std::string adapterDrives(const DLL_ADAPTER_SNAPSHOT &s, const StatDriveHealth *health)
{
    std::string lds = "[";
    for (int n = 0; n < TAV_MAX_GROUPS; ++n) {
        if (s.ldValid[n]) {
            lds += (lds.size() > 1 ? "," : "") + logicalDrive(s.logicalDrive[n], s.raidStatus.ldState[n]);
        }
    }
    std::string pds = "[";
    for (int n = 0; n < TAV_MAX_DRIVES; ++n) {
        uint8_t state = s.raidStatus.hddState[n];
        if (state != TAV_STATE_UNDEFINED || s.hddValid[n]) {
            pds += (pds.size() > 1 ? "," : "") +
                   physicalDrive(n, state, s.hddValid[n] ? &s.physicalDrive[n] : nullptr, &health[n]);
        }
    }
    return "\"logical_drives\":" + lds + "],\"physical_drives\":" + pds + "]";
}

std::string adapter(int number_, const StatAdapter &a)
{
    std::string out = "{";
    bool first = true;
    field(out, first, "adapter", number(number_));
    field(out, first, "status", quoted(a.ok ? "ok" : "error"));
    if (!a.ok) {
        field(out, first, "error_code", quoted(hexWord(a.error)));
        return out + "}";
    }
    adapterIdentity(out, first, a.snap);
    adapterSettings(out, first, a.snap.controller);
    return out + "," + adapterDrives(a.snap, a.health) + "}";
}

}  // namespace

std::string StatJson(const StatReport &report)
{
    std::string out = "{";
    bool first = true;
    field(out, first, "library", quoted(report.libraryOk ? "ok" : "error"));
    if (!report.libraryOk) {
        field(out, first, "error_code", quoted(hexWord(report.libraryError)));
        if (report.reason[0] != '\0') {
            field(out, first, "reason", quoted(report.reason));
        }
    }
    std::string list = "[";
    for (int a = 0; a < report.count; ++a) {
        list += (a > 0 ? "," : "") + adapter(a, report.adapter[a]);
    }
    field(out, first, "adapters", list + "]");
    return out + "}\n";
}
