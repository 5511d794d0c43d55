#include "sim_config.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <stdexcept>
#include <vector>
#include <nlohmann/json.hpp>

#include "sim_codec.h"
#include "sim_topology.h"

namespace tavsim {

const char* const kDefaultServerConfig = R"({
  "adapters": [
    { "host": 2, "model": "ZN5121",
      "drives": [
        { "slot": 0, "interface": "SAS" }, { "slot": 1, "interface": "SAS" },
        { "slot": 2, "interface": "SAS" }, { "slot": 3, "interface": "SAS" },
        { "slot": 4, "interface": "SAS" }, { "slot": 5, "interface": "SAS" },
        { "slot": 6, "interface": "SATA" }, { "slot": 7, "interface": "SATA" }
      ],
      "logical_drives": [
        { "number": 0, "raid": 5, "members": [0, 1, 2] },
        { "number": 1, "raid": 1, "members": [4, 5] }
      ],
      "hot_spares": [3]
    }
  ]
})";

namespace {

using nlohmann::json;

struct ConfigError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& path, const std::string& what) { throw ConfigError(path + ": " + what); }

std::string at(const std::string& path, const std::string& key) { return path.empty() ? key : path + "." + key; }
std::string at(const std::string& path, size_t index) { return path + "[" + std::to_string(index) + "]"; }

void requireObject(const json& j, const std::string& path) {
    if (!j.is_object()) fail(path.empty() ? "configuration" : path, "must be an object");
}

void refuseUnknownKeys(const json& j, const std::string& path, std::initializer_list<const char*> known) {
    for (auto it = j.begin(); it != j.end(); ++it) {
        bool found = std::any_of(known.begin(), known.end(), [&](const char* k) { return it.key() == k; });
        if (!found) fail(at(path, it.key()), "unknown key");
    }
}

const json* find(const json& j, const char* key) {
    auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
}

const json& required(const json& j, const std::string& path, const char* key) {
    const json* v = find(j, key);
    if (v == nullptr) fail(at(path, key), "required");
    return *v;
}

uint64_t number(const json& v, const std::string& path, uint64_t min, uint64_t max) {
    if (!v.is_number_integer() || (v.is_number_integer() && !v.is_number_unsigned() && v.get<int64_t>() < 0))
        fail(path, "must be a whole number from " + std::to_string(min) + " to " + std::to_string(max));
    uint64_t n = v.get<uint64_t>();
    if (n < min || n > max) fail(path, "must be from " + std::to_string(min) + " to " + std::to_string(max));
    return n;
}

uint64_t numberKey(const json& j, const std::string& path, const char* key, uint64_t min, uint64_t max,
                   uint64_t fallback) {
    const json* v = find(j, key);
    return v == nullptr ? fallback : number(*v, at(path, key), min, max);
}

uint8_t byteKey(const json& j, const std::string& path, const char* key, uint8_t fallback) {
    return static_cast<uint8_t>(numberKey(j, path, key, 0, 255, fallback));
}

uint32_t wordKey(const json& j, const std::string& path, const char* key, uint32_t fallback) {
    return static_cast<uint32_t>(numberKey(j, path, key, 0, UINT32_MAX, fallback));
}

std::string textKey(const json& j, const std::string& path, const char* key, size_t maxLength,
                    const std::string& fallback) {
    const json* v = find(j, key);
    if (v == nullptr) return fallback;
    if (!v->is_string()) fail(at(path, key), "must be a text");
    std::string s = v->get<std::string>();
    if (s.size() > maxLength) fail(at(path, key), "at most " + std::to_string(maxLength) + " characters");
    return s;
}

// A choice among texts, or a raw code where `rawAllowed`.
int choiceKey(const json& j, const std::string& path, const char* key,
              std::initializer_list<std::pair<const char*, int>> choices, int fallback, bool rawAllowed) {
    const json* v = find(j, key);
    if (v == nullptr) return fallback;
    if (v->is_string()) {
        for (const auto& c : choices)
            if (v->get<std::string>() == c.first) return c.second;
    } else if (rawAllowed && v->is_number_integer()) {
        return static_cast<int>(number(*v, at(path, key), 0, 255));
    }
    std::string names;
    for (const auto& c : choices) names += std::string(names.empty() ? "" : ", ") + "\"" + c.first + "\"";
    fail(at(path, key), "must be one of " + names + (rawAllowed ? " or a code 0-255" : ""));
}

void bytesKey(const json& j, const std::string& path, const char* key, uint8_t* out, size_t count) {
    const json* v = find(j, key);
    if (v == nullptr) return;
    if (!v->is_array() || v->size() != count)
        fail(at(path, key), "must be a list of " + std::to_string(count) + " bytes");
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(number((*v)[i], at(at(path, key), i), 0, 255));
}

void hexBytesKey(const json& j, const std::string& path, const char* key, uint8_t* out, size_t count) {
    const json* v = find(j, key);
    if (v == nullptr) return;
    std::string s = v->is_string() ? v->get<std::string>() : std::string();
    bool ok = s.size() == 2 * count && s.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    if (!ok) fail(at(path, key), "must be " + std::to_string(2 * count) + " hexadecimal digits");
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(std::stoul(s.substr(2 * i, 2), nullptr, 16));
}

bool boolKey(const json& j, const std::string& path, const char* key, bool fallback) {
    const json* v = find(j, key);
    if (v == nullptr) return fallback;
    if (!v->is_boolean()) fail(at(path, key), "must be true or false");
    return v->get<bool>();
}

const json& arrayKey(const json& j, const std::string& path, const char* key, size_t maxCount) {
    static const json kEmpty = json::array();
    const json* v = find(j, key);
    if (v == nullptr) return kEmpty;
    if (!v->is_array()) fail(at(path, key), "must be a list");
    if (v->size() > maxCount) fail(at(path, key), "at most " + std::to_string(maxCount) + " entries");
    return *v;
}

// ---- drives ----

void parseDriveBadSpots(const json& j, const std::string& path, DriveRecord* d) {
    const json& list = arrayKey(j, path, "bad_spots", kMaxDriveBadSpots);
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].is_null()) continue;  // an unused table entry
        d->badSpots[i] = static_cast<uint32_t>(number(list[i], at(at(path, "bad_spots"), i), 0, UINT32_MAX));
        d->badSpotPresent = static_cast<uint16_t>(d->badSpotPresent | (1u << i));
    }
    d->badSpotState = byteKey(j, path, "bad_spot_state", d->badSpotPresent != 0 ? 6 : 0);
}

void parseDriveBody(const json& j, const std::string& path, int controller, int slot, DriveRecord* d) {
    std::memset(d, 0, sizeof *d);
    d->configured = 1;
    d->present = 1;
    d->group = kNone;
    d->driveClass = kNone;  // derived later unless given
    d->sata = static_cast<uint8_t>(choiceKey(j, path, "interface", {{"SAS", 0}, {"SATA", 1}}, 0, false));
    setField(d->vendor, sizeof d->vendor, textKey(j, path, "vendor", 8, "MORVANE").c_str());
    setField(d->product, sizeof d->product,
             textKey(j, path, "product", 16, d->sata ? "MBA3147AT" : "MBB2147RC").c_str());
    setField(d->revision, sizeof d->revision, textKey(j, path, "revision", 4, "0104").c_str());
    char serial[32];
    std::snprintf(serial, sizeof serial, "B%d%02d%05d", controller, slot, 1 + slot);
    setField(d->serial, sizeof d->serial, textKey(j, path, "serial", 20, serial).c_str());
    d->blocks = static_cast<uint32_t>(numberKey(j, path, "blocks", 1, UINT32_MAX, 4194304));
    d->state =
        static_cast<uint8_t>(choiceKey(j, path, "state", {{"good", kPdGood}, {"alarm", kPdAlarm}}, kPdGood, true));
    if (d->state == kPdNotPresent) d->present = 0;
    if (find(j, "class") != nullptr) d->driveClass = byteKey(j, path, "class", 0);
    d->linkSpeed = byteKey(j, path, "link_speed", 8);
    d->smartState = byteKey(j, path, "smart_state", 0);
    d->led = byteKey(j, path, "led", 0);
    d->paraByte2 = byteKey(j, path, "para_byte_2", 0);
    d->paraByte3 = byteKey(j, path, "para_byte_3", static_cast<uint8_t>(slot));
    d->paraByte351 = byteKey(j, path, "para_byte_351", 0);
    d->statusByte = byteKey(j, path, "status_byte", 0);
    d->paraByte377 = byteKey(j, path, "para_byte_377", 0);
    d->rawValue12 = wordKey(j, path, "raw_value_12", 0);
    d->rawValue76 = wordKey(j, path, "raw_value_76", 0);
    parseDriveBadSpots(j, path, d);
    d->temperature = byteKey(j, path, "temperature", 35);
    d->temperatureMax = byteKey(j, path, "temperature_max", d->temperature > 45 ? d->temperature : 45);
    d->temperatureReference = byteKey(j, path, "temperature_reference", 70);
    d->predictFailure = boolKey(j, path, "predict_failure", false) ? 1 : 0;
    d->uncorrectedRead = wordKey(j, path, "uncorrected_read_errors", 0);
    d->uncorrectedWrite = wordKey(j, path, "uncorrected_write_errors", 0);
    d->reallocatedSectors = wordKey(j, path, "reallocated_sectors", 0);
    d->pendingSectors = wordKey(j, path, "pending_sectors", 0);
    d->offlineUncorrectable = wordKey(j, path, "offline_uncorrectable", 0);
    d->logAllPagesRefused = boolKey(j, path, "log_all_pages", true) ? 0 : 1;
}

#define TAVSIM_DRIVE_KEYS                                                                                            \
    "interface", "vendor", "product", "revision", "serial", "blocks", "state", "class", "link_speed", "smart_state", \
        "led", "para_byte_2", "para_byte_3", "para_byte_351", "status_byte", "para_byte_377", "raw_value_12",        \
        "raw_value_76", "bad_spots", "bad_spot_state", "temperature", "temperature_max", "temperature_reference",    \
        "predict_failure", "uncorrected_read_errors", "uncorrected_write_errors", "reallocated_sectors",             \
        "pending_sectors", "offline_uncorrectable", "log_all_pages"

void parseDrive(AdapterRecord& a, int controller, const json& j, const std::string& path) {
    requireObject(j, path);
    refuseUnknownKeys(j, path, {"slot", TAVSIM_DRIVE_KEYS});
    int slot = static_cast<int>(number(required(j, path, "slot"), at(path, "slot"), 0, kMaxDrives - 1));
    required(j, path, "interface");
    if (a.drives[slot].configured) fail(at(path, "slot"), "slot " + std::to_string(slot) + " given twice");
    parseDriveBody(j, path, controller, slot, &a.drives[slot]);
}

// ---- logical drives and restore candidates ----

void parseGroupBadSpots(const json& j, const std::string& path, GroupRecord* g) {
    const json& list = arrayKey(j, path, "bad_spots", kMaxGroupBadSpots);
    for (size_t i = 0; i < list.size(); ++i)
        g->badSpots[i] = number(list[i], at(at(path, "bad_spots"), i), 0, UINT64_MAX);
    g->badSpotCount = static_cast<uint16_t>(list.size());
}

void parseMembers(AdapterRecord& a, const json& j, const std::string& path, int raid, GroupRecord* g,
                  std::set<int>* used) {
    const json& list = required(j, path, "members");
    std::string listPath = at(path, "members");
    if (!list.is_array()) fail(listPath, "must be a list of drive slots");
    size_t n = list.size();
    bool countOk =
        (raid == 0 && n >= 1) || (raid == 1 && n == 2) || (raid == 5 && n >= 3) || (raid == 10 && n >= 4 && n % 2 == 0);
    if (!countOk || n > kMaxMembers) fail(listPath, "wrong number of members for RAID " + std::to_string(raid));
    g->memberCount = static_cast<uint8_t>(n);
    for (size_t i = 0; i < n; ++i) {
        int slot = static_cast<int>(number(list[i], at(listPath, i), 0, kMaxDrives - 1));
        if (!a.drives[slot].configured) fail(at(listPath, i), "no drive in slot " + std::to_string(slot));
        if (!used->insert(slot).second) fail(at(listPath, i), "drive " + std::to_string(slot) + " is already in use");
        g->members[i] = MemberRecord{static_cast<uint8_t>(slot), kMemberInUse, 0, 0, 0, static_cast<uint8_t>(slot)};
    }
}

void parseGroupSettings(const json& j, const std::string& path, GroupRecord* g) {
    g->readPolicy = static_cast<uint8_t>(choiceKey(j, path, "read", {{"RA", 0}, {"NORA", 1}}, 0, false));
    g->writePolicy = static_cast<uint8_t>(choiceKey(j, path, "write", {{"WB", 0}, {"WT", 1}}, 0, false));
    g->hotSpareMode =
        static_cast<uint8_t>(choiceKey(j, path, "hot_spare_mode", {{"global", 0}, {"group", 1}, {"none", 2}}, 0, true));
    const json* autoRebuild = find(j, "auto_rebuild");
    if (autoRebuild != nullptr && autoRebuild->is_number_integer())
        g->autoRebuild = byteKey(j, path, "auto_rebuild", 0);
    else
        g->autoRebuild = boolKey(j, path, "auto_rebuild", true) ? 0 : 1;
    g->rebuildState = byteKey(j, path, "rebuild_state", 0);
    g->maintenanceState = byteKey(j, path, "maintenance_state", 0);
    g->dataLost = byteKey(j, path, "data_lost", 0);
    g->errorCount = wordKey(j, path, "error_count", 0);
    g->byte218 = byteKey(j, path, "byte_218", 0);
    g->rawValue227 = wordKey(j, path, "raw_value_227", 0);
    g->processedBlocks = wordKey(j, path, "processed_blocks", 0);
    if (find(j, "state") != nullptr) {
        g->state = byteKey(j, path, "state", 0);
        g->stateOverridden = 1;
    }
    parseGroupBadSpots(j, path, g);
}

void parseGroup(AdapterRecord& a, GroupRecord* table, const json& j, const std::string& path, std::set<int>* used,
                uint8_t memberClass, bool assignGroup) {
    requireObject(j, path);
    refuseUnknownKeys(j, path,
                      {"number", "raid", "members", "read", "write", "hot_spare_mode", "auto_rebuild", "rebuild_state",
                       "maintenance_state", "data_lost", "error_count", "byte_218", "raw_value_227", "processed_blocks",
                       "state", "blocks", "bad_spots"});
    int number_ = static_cast<int>(number(required(j, path, "number"), at(path, "number"), 0, kMaxGroups - 1));
    int raid = static_cast<int>(number(required(j, path, "raid"), at(path, "raid"), 0, 10));
    if (raid != 0 && raid != 1 && raid != 5 && raid != 10) fail(at(path, "raid"), "must be 0, 1, 5 or 10");
    GroupRecord* g = &table[number_];
    if (g->defined) fail(at(path, "number"), "number " + std::to_string(number_) + " given twice");
    g->defined = 1;
    g->raidCode = static_cast<uint8_t>(raid == 10 ? kRaid1 : raid);
    parseMembers(a, j, path, raid, g, used);
    g->stripeBlocks = (raid == 0 && g->memberCount == 1) ? 0 : kStripeBlocks;
    parseGroupSettings(j, path, g);
    g->capacityBlocks = numberKey(j, path, "blocks", 0, UINT64_MAX, groupCapacity(a, *g));
    for (int i = 0; i < g->memberCount; ++i) {
        DriveRecord& d = a.drives[g->members[i].drive];
        if (d.driveClass == kNone) d.driveClass = memberClass;
        d.group = assignGroup ? static_cast<uint8_t>(number_) : kNone;
    }
}

void parseSpares(AdapterRecord& a, const json& j, const std::string& path, std::set<int>* used) {
    const json& list = arrayKey(j, path, "hot_spares", kMaxSpares);
    std::string listPath = at(path, "hot_spares");
    for (size_t i = 0; i < list.size(); ++i) {
        int slot = static_cast<int>(number(list[i], at(listPath, i), 0, kMaxDrives - 1));
        if (!a.drives[slot].configured) fail(at(listPath, i), "no drive in slot " + std::to_string(slot));
        if (!used->insert(slot).second) fail(at(listPath, i), "drive " + std::to_string(slot) + " is already in use");
        a.spares[i] = static_cast<uint8_t>(slot);
        if (a.drives[slot].driveClass == kNone) a.drives[slot].driveClass = kClassSpareNotInUse;
    }
}

// ---- adapters ----

void parseDriverVersion(AdapterRecord& a, const json& j, const std::string& path) {
    std::string text = textKey(j, path, "driver_version", 12, "1.2.4.54");
    unsigned v[4];
    char tail;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4 ||
        text.find_first_not_of("0123456789.") != std::string::npos)
        fail(at(path, "driver_version"), "must be four numbers separated by \".\"");
    for (int i = 0; i < 4; ++i) {
        if (v[i] > 65535) fail(at(path, "driver_version"), "components must be below 65536");
        a.driverVersion[i] = static_cast<uint16_t>(v[i]);
    }
    setField(a.driverVersionText, sizeof a.driverVersionText, text.c_str());
    a.fixedLayout = ((v[2] == 3 || v[2] == 4) && v[3] > 53) || v[2] > 4;
}

void parseControllerParams(AdapterRecord& a, int index, const json& j, const std::string& path) {
    ControllerParams& c = a.controller;
    const uint8_t head[4] = {0x54, 0x41, 0x56, 0x01}, tail[4] = {0x00, 0x01, 0x02, 0x03};
    const uint8_t processor[4] = {0x01, 0x00, 0x02, 0x03};
    std::memcpy(c.head, head, 4);
    std::memcpy(c.bytes74, tail, 4);
    std::memcpy(c.processorRevision, processor, 4);
    bytesKey(j, path, "cont_para_bytes_0_3", c.head, 4);
    bytesKey(j, path, "cont_para_bytes_74_77", c.bytes74, 4);
    bytesKey(j, path, "processor_revision", c.processorRevision, 4);
    c.cacheBytes = wordKey(j, path, "cache_bytes", 256u << 20);
    c.writeCacheBytes = wordKey(j, path, "write_cache_bytes", 128u << 20);
    c.memoryBytes = wordKey(j, path, "memory_bytes", 512u << 20);
    setField(c.bootRevision, sizeof c.bootRevision, textKey(j, path, "boot_revision", 7, "B010502").c_str());
    setField(c.generalRevision, sizeof c.generalRevision, textKey(j, path, "general_revision", 4, "0410").c_str());
    setField(c.flashRevision1, sizeof c.flashRevision1, textKey(j, path, "flash_revision_1", 4, "0410").c_str());
    setField(c.flashRevision2, sizeof c.flashRevision2, textKey(j, path, "flash_revision_2", 4, "0409").c_str());
    c.adapterVersion = byteKey(j, path, "adapter_version", 0x21);
    c.byte72 = byteKey(j, path, "cont_para_byte_72", 0);
    c.flashState = byteKey(j, path, "flash_state", 19);
    const uint8_t sas[8] = {0x50, 0x00, 0x00, 0xE0, 0x12, 0x34, 0x56, static_cast<uint8_t>(index << 4)};
    std::memcpy(c.sasAddress, sas, 8);
    hexBytesKey(j, path, "sas_address", c.sasAddress, 8);
    a.common.byte54 = byteKey(j, path, "common_status_byte_54", 0);
    a.common.value58 = wordKey(j, path, "common_status_58", 0);
    a.common.value62 = wordKey(j, path, "common_status_62", 0);
    bytesKey(j, path, "common_status_84", a.common.bytes84, 12);
}

void parseSettings(AdapterRecord& a, const json& j, const std::string& path) {
    a.priorityIdle = static_cast<uint16_t>(numberKey(j, path, "priority_idle", 1, 3, 1));
    a.priorityBusy = static_cast<uint16_t>(numberKey(j, path, "priority_busy", 1, 3, 2));
    a.patrolDelay = static_cast<uint16_t>(numberKey(j, path, "patrol_delay", 1, 3, 1));
    a.glistPreventLimit = static_cast<uint16_t>(numberKey(j, path, "glist_prevent_limit", 0, 65535, 32));
    a.glistOneMonth = static_cast<uint16_t>(numberKey(j, path, "glist_one_month", 0, 65535, 8));
    a.glistHalfYear = static_cast<uint16_t>(numberKey(j, path, "glist_half_year", 0, 65535, 16));
    a.glistOneYear = static_cast<uint16_t>(numberKey(j, path, "glist_one_year", 0, 65535, 24));
}

void parseTopology(AdapterRecord& a, int index, const json& j, const std::string& path) {
    const json& drives = arrayKey(j, path, "drives", kMaxDrives);
    for (size_t i = 0; i < drives.size(); ++i) parseDrive(a, index, drives[i], at(at(path, "drives"), i));
    std::set<int> used;
    const json& groups = arrayKey(j, path, "logical_drives", kMaxGroups);
    for (size_t i = 0; i < groups.size(); ++i)
        parseGroup(a, a.groups, groups[i], at(at(path, "logical_drives"), i), &used, kClassMemberInUse, true);
    const json& candidates = arrayKey(j, path, "restore_candidates", kMaxCandidates);
    for (size_t i = 0; i < candidates.size(); ++i)
        parseGroup(a, a.candidates, candidates[i], at(at(path, "restore_candidates"), i), &used, kClassRestoreCandidate,
                   false);
    parseSpares(a, j, path, &used);
    for (DriveRecord& d : a.drives)
        if (d.configured && d.driveClass == kNone) d.driveClass = kClassFresh;
    refreshAllGroups(a);
    for (GroupRecord& c : a.candidates)
        if (c.defined) refreshGroup(a, c, kNone);
}

void parseAdapter(AdapterRecord& a, int index, const json& j, const std::string& path) {
    requireObject(j, path);
    refuseUnknownKeys(j, path,
                      {"host",
                       "model",
                       "pci_bus",
                       "pci_slot",
                       "driver_version",
                       "generation",
                       "drives",
                       "logical_drives",
                       "hot_spares",
                       "restore_candidates",
                       "priority_idle",
                       "priority_busy",
                       "patrol_delay",
                       "glist_prevent_limit",
                       "glist_one_month",
                       "glist_half_year",
                       "glist_one_year",
                       "cont_para_bytes_0_3",
                       "cont_para_bytes_74_77",
                       "processor_revision",
                       "cache_bytes",
                       "write_cache_bytes",
                       "memory_bytes",
                       "boot_revision",
                       "general_revision",
                       "flash_revision_1",
                       "flash_revision_2",
                       "adapter_version",
                       "cont_para_byte_72",
                       "flash_state",
                       "sas_address",
                       "common_status_byte_54",
                       "common_status_58",
                       "common_status_62",
                       "common_status_84"});
    std::memset(&a, 0, sizeof a);
    a.present = 1;
    a.host = static_cast<int32_t>(number(required(j, path, "host"), at(path, "host"), 0, INT32_MAX));
    int model = choiceKey(j, path, "model", {{"ZN5120", kCardZN5120}, {"ZN5121", kCardZN5121}}, -1, false);
    if (model < 0) fail(at(path, "model"), "required");
    a.cardType = static_cast<uint8_t>(model);
    a.pciBus = static_cast<int32_t>(numberKey(j, path, "pci_bus", 0, 255, 3 + index));
    a.pciSlot = static_cast<int32_t>(numberKey(j, path, "pci_slot", 0, 31, 0));
    a.generation = static_cast<uint8_t>(numberKey(j, path, "generation", 0, 1, model == kCardZN5120 ? 0 : 1));
    parseDriverVersion(a, j, path);
    a.spares[0] = a.spares[1] = kNone;
    parseSettings(a, j, path);
    parseControllerParams(a, index, j, path);
    parseTopology(a, index, j, path);
    a.eventSequence = 0;
    a.eventCount = 0;
}

// Controller numbers follow the byte order of the host numbers as names.
void orderByHostName(SimState* state) {
    std::sort(
        state->adapters, state->adapters + state->adapterCount,
        [](const AdapterRecord& x, const AdapterRecord& y) { return std::to_string(x.host) < std::to_string(y.host); });
}

void parseServer(const json& j, SimState* state) {
    requireObject(j, "");
    refuseUnknownKeys(j, "", {"adapters", "system_version", "speed"});
    const json& adapters = required(j, "", "adapters");
    if (!adapters.is_array() || adapters.empty() || adapters.size() > kMaxAdapters)
        fail("adapters", "must be a list of 1 to 4 adapters");
    std::memcpy(state->magic, kStateMagic, sizeof kStateMagic);
    state->layoutSize = sizeof(SimState);
    state->adapterCount = static_cast<uint32_t>(adapters.size());
    std::set<int32_t> hosts;
    for (size_t i = 0; i < adapters.size(); ++i) {
        std::string path = at("adapters", i);
        parseAdapter(state->adapters[i], static_cast<int>(i), adapters[i], path);
        if (!hosts.insert(state->adapters[i].host).second) fail(at(path, "host"), "host number given twice");
    }
    orderByHostName(state);
    setField(state->systemVersion, sizeof state->systemVersion - 1,
             textKey(j, "", "system_version", sizeof state->systemVersion - 1, "SVA1000001").c_str());
    const json* speed = find(j, "speed");
    state->speed = 1.0;
    if (speed != nullptr) {
        if (!speed->is_number() || speed->get<double>() <= 0) fail("speed", "must be a number above 0");
        state->speed = speed->get<double>();
    }
}

// Where the parser stands, for naming the key of a value it refuses.
class ParsePosition {
public:
    void step(json::parse_event_t event, const json& parsed) {
        using E = json::parse_event_t;
        if (event == E::object_start || event == E::array_start) {
            frames_.push_back({event == E::array_start, 0, ""});
        } else if (event == E::key && !frames_.empty()) {
            frames_.back().key = parsed.get<std::string>();
        } else if (event == E::object_end || event == E::array_end) {
            if (!frames_.empty()) frames_.pop_back();
            nextElement();
        } else if (event == E::value) {
            nextElement();
        }
    }
    std::string path(const std::string& root) const {
        std::string p = root;
        for (const Frame& f : frames_) p = f.array ? at(p, f.index) : at(p, f.key);
        return p.empty() ? "configuration" : p;
    }

private:
    struct Frame {
        bool array;
        size_t index;
        std::string key;
    };
    void nextElement() {
        if (!frames_.empty() && frames_.back().array) ++frames_.back().index;
    }
    std::vector<Frame> frames_;
};

// `what` names the text in messages, `root` is the path of its top value.
json parseText(const std::string& text, const std::string& what, const std::string& root) {
    ParsePosition position;
    try {
        return json::parse(text, [&position](int, json::parse_event_t event, json& parsed) {
            position.step(event, parsed);
            return true;
        });
    } catch (const json::parse_error& e) {
        throw ConfigError(what + ": not valid JSON (" + e.what() + ")");
    } catch (const json::out_of_range&) {
        throw ConfigError(position.path(root) + ": number out of range");
    }
}

}  // namespace

bool buildServer(const std::string& configText, SimState* state, std::string* error) {
    try {
        std::memset(state, 0, sizeof *state);
        parseServer(parseText(configText.empty() ? kDefaultServerConfig : configText, "configuration", ""), state);
        return true;
    } catch (const ConfigError& e) {
        *error = e.what();
        return false;
    }
}

bool buildDrive(const std::string& driveJson, int controller, int slot, DriveRecord* drive, std::string* error) {
    try {
        json j = parseText(driveJson.empty() ? "{}" : driveJson, "drive", "drive");
        requireObject(j, "drive");
        refuseUnknownKeys(j, "drive", {TAVSIM_DRIVE_KEYS});
        parseDriveBody(j, "drive", controller, slot, drive);
        if (drive->driveClass == kNone) drive->driveClass = kClassFresh;
        return true;
    } catch (const ConfigError& e) {
        *error = e.what();
        return false;
    }
}

}  // namespace tavsim
