#include "sim_show_drive.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "sim_drive.h"

namespace tavsim {

namespace {

using Json = nlohmann::ordered_json;

// "0x12" for a SCSI command; "ata 0xEC" / "ata-data 0xEC" for the two SATA steps.
std::string logEntry(uint16_t entry) {
    char text[24];
    const char* kind = (entry & 0xFF00) == kLogAtaCommand ? "ata " : (entry & 0xFF00) == kLogAtaData ? "ata-data " : "";
    std::snprintf(text, sizeof text, "%s0x%02X", kind, entry & 0xFF);
    return text;
}

std::string hex(const uint8_t* bytes, size_t size) {
    std::string s;
    char two[3];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        s += two;
    }
    return s;
}

Json showDriveModel(const DriveModelRecord& m) {
    Json j;
    Json recent = Json::array(), corrupt = Json::array();
    uint64_t kept = m.commandCount < kDriveLogEntries ? m.commandCount : kDriveLogEntries;
    for (uint64_t i = 0; i < kept; ++i) recent.push_back(logEntry(m.log[i]));
    for (uint32_t i = 0; i < m.corruptCount && i < kMaxCorruptBlocks; ++i) corrupt.push_back(m.corrupt[i]);
    j["commands_received"] = m.commandCount;
    j["recent_commands"] = recent;
    j["stopped"] = m.stopped != 0;
    j["hung"] = m.hung != 0;
    j["busy_remaining"] = m.busyRemaining;
    j["check_condition"] = {
        {"key", m.checkKey}, {"asc", m.checkAsc}, {"ascq", m.checkAscq}, {"remaining", m.checkRemaining}};
    j["capacity_blocks"] = m.capacityBlocks;
    j["ata_max_address"] = m.ataMaxAddress;
    j["corrupt_blocks"] = corrupt;
    j["firmware_bytes"] = m.firmwareBytes;
    j["firmware_revision"] = std::string(m.firmwareRevision, strnlen(m.firmwareRevision, sizeof m.firmwareRevision));
    j["error_injection"] = hex(m.errorInjection, m.errorInjectionLength);
    j["ata_error_injections"] = m.ataErrorInjectionCount;
    j["ata_error_injection_head"] = hex(m.ataErrorInjection, sizeof m.ataErrorInjection);
    return j;
}

}  // namespace

void addDriveModels(const char* root, const SimState& state, Json& adapters) {
    for (auto& adapter : adapters) {
        unsigned controller = adapter["controller"].get<unsigned>();
        if (controller >= state.adapterCount) continue;
        for (auto& drive : adapter["drives"]) {
            int slot = drive["slot"].get<int>();
            drive["drive_model"] = showDriveModel(loadDriveModel(root, controller, slot));
        }
    }
}

}  // namespace tavsim
