// tavsim inject drive-...: arms faults in one drive's own record. The drive
// answers them on its next commands through the adapter's pass-through.
#include "sim_drive_faults.h"

#include "sim_drive.h"

namespace tavsim {

namespace {

struct DriveFault {
    const char* name;
    size_t values;  // numbers after ADAPTER SLOT, before the optional count
    bool counted;   // takes [N]
};

constexpr DriveFault kDriveFaults[] = {{"drive-check-condition", 3, true},
                                       {"drive-busy", 0, true},
                                       {"drive-hang", 0, false},
                                       {"drive-stop", 0, false},
                                       {"drive-clear", 0, false}};

void arm(DriveModelRecord& m, const std::string& name, const unsigned long* v, uint32_t count) {
    if (name == "drive-check-condition") {
        m.checkKey = static_cast<uint8_t>(v[0]);
        m.checkAsc = static_cast<uint8_t>(v[1]);
        m.checkAscq = static_cast<uint8_t>(v[2]);
        m.checkRemaining = count;
    } else if (name == "drive-busy") {
        m.busyRemaining = count;
    } else if (name == "drive-hang") {
        m.hung = 1;
    } else if (name == "drive-stop") {
        m.stopped = 1;
    } else {
        m.hung = 0;
        m.busyRemaining = 0;
        m.checkRemaining = 0;
    }
}

}  // namespace

int injectDriveFault(const char* root, const SimState& state, const Args& words, const char* usage) {
    const DriveFault* fault = nullptr;
    for (const DriveFault& f : kDriveFaults)
        if (words[0] == f.name) fault = &f;
    if (fault == nullptr) return complain("unknown fault " + words[0] + "\n" + usage, 2);
    size_t fixed = 3 + fault->values;
    if (words.size() < fixed || words.size() > fixed + (fault->counted ? 1 : 0)) return complain(usage, 2);
    unsigned long adapter, slot, v[3] = {}, count = 1;
    if (!parseNumber(words[1], 3, &adapter) || adapter >= state.adapterCount || !state.adapters[adapter].present)
        return complain("no adapter " + words[1], 2);
    if (!parseNumber(words[2], kMaxDrives - 1, &slot)) return complain("no slot " + words[2], 2);
    const DriveRecord& d = state.adapters[adapter].drives[slot];
    if (!d.configured || !d.present) return complain("no drive in slot " + words[2], 1);
    for (size_t i = 0; i < fault->values; ++i)
        if (!parseNumber(words[3 + i], 0xFF, &v[i]))
            return complain("bad value " + words[3 + i] + " for " + words[0], 2);
    if (words.size() > fixed && (!parseNumber(words.back(), UINT32_MAX, &count) || count == 0))
        return complain("bad count " + words.back(), 2);
    DriveModelRecord m = loadDriveModel(root, static_cast<unsigned>(adapter), static_cast<int>(slot));
    arm(m, words[0], v, static_cast<uint32_t>(count));
    if (!saveDriveModel(root, static_cast<unsigned>(adapter), static_cast<int>(slot), m))
        return complain("cannot write the record of drive " + words[2]);
    return 0;
}

namespace {

struct HealthFault {
    const char* name;
    size_t minValues, maxValues;  // numbers after ADAPTER SLOT
};

constexpr HealthFault kHealthFaults[] = {
    {"drive-temperature", 1, 2}, {"predict-failure", 0, 1}, {"drive-errors", 2, 2}, {"drive-sectors", 3, 3}};

}  // namespace

int injectDriveHealth(SimState& state, const Args& words, const char* usage) {
    const HealthFault* fault = nullptr;
    for (const HealthFault& f : kHealthFaults)
        if (words[0] == f.name) fault = &f;
    if (fault == nullptr) return -1;
    if (words.size() < 3 + fault->minValues || words.size() > 3 + fault->maxValues) return complain(usage, 2);
    unsigned long adapter, slot, v[3] = {};
    if (!parseNumber(words[1], 3, &adapter) || adapter >= state.adapterCount || !state.adapters[adapter].present)
        return complain("no adapter " + words[1], 2);
    if (!parseNumber(words[2], kMaxDrives - 1, &slot)) return complain("no slot " + words[2], 2);
    DriveRecord& d = state.adapters[adapter].drives[slot];
    if (!d.configured || !d.present) return complain("no drive in slot " + words[2], 1);
    size_t values = words.size() - 3;
    bool off = words[0] == "predict-failure" && values == 1 && words[3] == "off";
    unsigned long max = words[0] == "drive-temperature" ? 0xFF : UINT32_MAX;
    for (size_t i = 0; i < values && !off; ++i)
        if (!parseNumber(words[3 + i], max, &v[i]))
            return complain("bad value " + words[3 + i] + " for " + words[0], 2);
    if (words[0] == "drive-temperature") {
        d.temperature = static_cast<uint8_t>(v[0]);
        uint8_t highest = values == 2 ? static_cast<uint8_t>(v[1]) : d.temperatureMax;
        d.temperatureMax = highest > d.temperature ? highest : d.temperature;
    } else if (words[0] == "predict-failure") {
        if (values == 1 && !off) return complain(usage, 2);
        d.predictFailure = off ? 0 : 1;
    } else if (words[0] == "drive-errors") {
        d.uncorrectedRead = static_cast<uint32_t>(v[0]);
        d.uncorrectedWrite = static_cast<uint32_t>(v[1]);
    } else {
        d.reallocatedSectors = static_cast<uint32_t>(v[0]);
        d.pendingSectors = static_cast<uint32_t>(v[1]);
        d.offlineUncorrectable = static_cast<uint32_t>(v[2]);
    }
    return 0;
}

}  // namespace tavsim
