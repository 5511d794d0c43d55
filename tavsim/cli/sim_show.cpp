// tavsim show: the state of every adapter as JSON.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "sim_commands.h"
#include "sim_events.h"
#include "sim_inject_flash.h"
#include "sim_operations.h"
#include "sim_server.h"
#include "sim_show_drive.h"
#include "sim_show_firmware.h"

namespace tavsim {

namespace {

using Json = nlohmann::ordered_json;

std::string text(const char* field, size_t width) {
    std::string s(field, width);
    s = s.substr(0, s.find('\0'));
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

const char* faultName(uint8_t kind) {
    switch (kind) {
    case kFaultBusy:
        return "busy";
    case kFaultCheckCondition:
        return "check-condition";
    case kFaultAdapterError:
        return "adapter-error";
    case kFaultIoctlError:
        return "ioctl-error";
    case kFaultPass:
        return "pass";
    case kFaultRemoveDriveOnCommand:
        return "remove-drive-on-command";
    default:
        return "none";
    }
}

Json showDrive(const DriveRecord& d, int slot) {
    Json j;
    j["slot"] = slot;
    j["interface"] = d.sata ? "SATA" : "SAS";
    j["present"] = d.present != 0;
    j["state"] = d.state;
    j["class"] = d.driveClass;
    j["group"] = d.group;
    j["led"] = d.led;
    j["blocks"] = d.blocks;
    j["vendor"] = text(d.vendor, sizeof d.vendor);
    j["product"] = text(d.product, sizeof d.product);
    j["revision"] = text(d.revision, sizeof d.revision);
    j["serial"] = text(d.serial, sizeof d.serial);
    j["link_speed"] = d.linkSpeed;
    j["smart_state"] = d.smartState;
    j["bad_spot_state"] = d.badSpotState;
    j["health"] = {{"temperature", d.temperature},
                   {"temperature_max", d.temperatureMax},
                   {"temperature_reference", d.temperatureReference},
                   {"predict_failure", d.predictFailure != 0},
                   {"uncorrected_read_errors", d.uncorrectedRead},
                   {"uncorrected_write_errors", d.uncorrectedWrite},
                   {"reallocated_sectors", d.reallocatedSectors},
                   {"pending_sectors", d.pendingSectors},
                   {"offline_uncorrectable", d.offlineUncorrectable},
                   {"log_all_pages", d.logAllPagesRefused == 0}};
    Json spots = Json::array();
    for (int i = 0; i < kMaxDriveBadSpots; ++i)
        if (d.badSpotPresent & (1u << i)) spots.push_back(d.badSpots[i]);
    j["bad_spots"] = spots;
    return j;
}

const char* operationName(uint8_t operation) {
    switch (operation) {
    case kOpRebuild:
        return "rebuild";
    case kOpCheck:
        return "consistency-check";
    case kOpParity:
        return "parity-creation";
    default:
        return "none";
    }
}

Json showGroup(const GroupRecord& g, int number) {
    Json j;
    j["number"] = number;
    j["raid"] = (g.raidCode == kRaid1 && g.memberCount >= 4) ? 10 : g.raidCode;
    j["state"] = g.state;
    Json members = Json::array(), states = Json::array(), serving = Json::array();
    for (int i = 0; i < g.memberCount; ++i) {
        members.push_back(g.members[i].drive);
        states.push_back(g.members[i].state);
        serving.push_back(g.members[i].servingDrive);
    }
    j["members"] = members;
    j["member_states"] = states;
    j["serving_drives"] = serving;
    j["stripe_blocks"] = g.stripeBlocks;
    j["capacity_blocks"] = g.capacityBlocks;
    j["read"] = g.readPolicy == 0 ? "RA" : "NORA";
    j["write"] = g.writePolicy == 0 ? "WB" : "WT";
    j["hot_spare_mode"] = g.hotSpareMode;
    j["auto_rebuild"] = g.autoRebuild == 0;
    j["rebuild_state"] = g.rebuildState;
    j["maintenance_state"] = g.maintenanceState;
    j["operation"] = operationName(g.operation);
    j["processed_blocks"] = g.processedBlocks;
    j["data_lost"] = g.dataLost;
    j["error_count"] = g.errorCount;
    return j;
}

Json showAdapter(const AdapterRecord& a, int controller) {
    Json j;
    j["controller"] = controller;
    j["host"] = a.host;
    j["model"] = a.cardType == kCardZN5120 ? "ZN5120" : "ZN5121";
    j["generation"] = a.generation;
    j["driver_version"] = text(a.driverVersionText, sizeof a.driverVersionText);
    j["layout"] = a.fixedLayout ? "fixed" : "packed";
    j["commands"] = a.commandsReceived;
    j["priorities"] = {{"idle", a.priorityIdle}, {"busy", a.priorityBusy}};
    j["patrol_delay"] = a.patrolDelay;
    j["glist"] = {{"prevent_limit", a.glistPreventLimit},
                  {"one_month", a.glistOneMonth},
                  {"half_year", a.glistHalfYear},
                  {"one_year", a.glistOneYear}};
    Json spares = Json::array();
    for (uint8_t s : a.spares)
        if (s != kNone) spares.push_back(s);
    j["hot_spares"] = spares;
    Json faults = Json::array();
    for (const FaultRecord& f : a.faults)
        if (f.kind != kFaultNone && f.remaining > 0)
            faults.push_back({{"kind", faultName(f.kind)}, {"remaining", f.remaining}});
    j["faults"] = faults;
    Json pending = Json::array();
    for (int g = 0; g < kMaxGroups; ++g) {
        const GroupRecord& r = a.groups[g];
        if (r.pendingChange == kPendingDelete) pending.push_back({{"number", g}, {"change", "delete"}});
        if (r.pendingChange == kPendingDefine)
            pending.push_back({{"number", g}, {"change", r.restoreFrom == kNone ? "create" : "restore"}});
    }
    j["pending_changes"] = pending;
    Json drives = Json::array(), groups = Json::array(), candidates = Json::array(), events = Json::array();
    for (int d = 0; d < kMaxDrives; ++d)
        if (a.drives[d].configured) drives.push_back(showDrive(a.drives[d], d));
    for (int g = 0; g < kMaxGroups; ++g)
        if (a.groups[g].defined) groups.push_back(showGroup(a.groups[g], g));
    for (int c = 0; c < kMaxCandidates; ++c)
        if (a.candidates[c].defined) candidates.push_back(showGroup(a.candidates[c], c));
    uint32_t first = a.eventSequence - a.eventCount;
    for (uint32_t s = first; s != a.eventSequence; ++s) {
        const EventRecord& e = a.events[s % kEventRing];
        events.push_back(
            {{"sequence", e.sequence}, {"event", eventName(e.code)}, {"subject", e.subject}, {"detail", e.detail}});
    }
    j["drives"] = drives;
    j["logical_drives"] = groups;
    j["restore_candidates"] = candidates;
    j["events"] = events;
    j["flash"] = showFlash(a);
    showFirmware(a, j);
    return j;
}

}  // namespace

int commandShow(const Args& args) {
    if (args.size() != 1) return complain("usage: tavsim show DIR", 2);
    std::string root;
    StateMapping mapping;
    if (!openServer(args[0], &root, &mapping)) return 1;
    Json j;
    {
        StateLock lock(mapping);
        advanceServer(ModelContext{root.c_str(), mapping.state});  // what any reader would see now
        const SimState& s = *mapping.state;
        j["system_version"] = text(s.systemVersion, sizeof s.systemVersion);
        j["speed"] = s.speed;
        Json adapters = Json::array();
        for (uint32_t i = 0; i < s.adapterCount; ++i)
            adapters.push_back(showAdapter(s.adapters[i], static_cast<int>(i)));
        addDriveModels(root.c_str(), s, adapters);
        j["adapters"] = adapters;
    }
    unmapState(&mapping);
    std::printf("%s\n", j.dump(2).c_str());
    return 0;
}

}  // namespace tavsim
