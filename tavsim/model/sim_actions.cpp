// Action pages: what the adapter does to one logical drive or one physical
// drive (0x3C), and its global hot spares (0x3E).
#include "sim_events.h"
#include "sim_operations.h"
#include "sim_pages.h"
#include "sim_topology.h"

namespace tavsim {

namespace {

constexpr uint8_t kFnStartCheck = 2;
constexpr uint8_t kFnStartParity = 3;
constexpr uint8_t kFnStopParityOperation = 4;
constexpr uint8_t kFnStartRebuild = 5;
constexpr uint8_t kFnAutoRebuildOn = 6;
constexpr uint8_t kFnAutoRebuildOff = 7;
constexpr uint8_t kFnForceDriveState = 8;
constexpr uint8_t kFnCacheMode = 0x31;
constexpr uint8_t kFnLocateLed = 0x32;
constexpr uint8_t kFnAssignSpare = 1;
constexpr uint8_t kFnRemoveSpare = 2;

constexpr uint8_t kCacheNoReadAhead = 0x01;
constexpr uint8_t kCacheWriteBack = 0x04;

Answer accepted(bool done) { return done ? good() : refuseState(); }

bool configuredDrive(const AdapterRecord& a, uint8_t slot) { return slot < kMaxDrives && a.drives[slot].configured; }

bool presentDrive(const AdapterRecord& a, uint8_t slot) { return configuredDrive(a, slot) && a.drives[slot].present; }

Answer stopParityOperation(AdapterRecord& a, GroupRecord& g, int number) {
    if (g.operation != kOpCheck && g.operation != kOpParity) return refuseState();
    cancelOperation(a, g, number, kEventOperationStopped);
    refreshGroup(a, g, number);
    return good();
}

Answer setAutoRebuild(AdapterRecord& a, GroupRecord& g, uint8_t number, uint8_t function) {
    g.autoRebuild = function == kFnAutoRebuildOn ? 0 : 1;
    recordEvent(a, kEventGroupSettingsChanged, number, function);
    if (g.autoRebuild == 0) settleAdapter(a);  // a degraded group starts at once
    return good();
}

Answer setCacheMode(AdapterRecord& a, GroupRecord& g, uint8_t number, uint8_t parameter) {
    if ((parameter & ~(kCacheNoReadAhead | kCacheWriteBack)) != 0) return refuseField();
    g.readPolicy = (parameter & kCacheNoReadAhead) != 0 ? 1 : 0;
    g.writePolicy = (parameter & kCacheWriteBack) != 0 ? 0 : 1;
    recordEvent(a, kEventGroupSettingsChanged, number, kFnCacheMode);
    return good();
}

// Functions on logical drive `number`.
Answer groupFunction(AdapterRecord& a, uint8_t function, uint8_t number, uint8_t parameter) {
    if (number >= kMaxGroups || !a.groups[number].defined) return refuseField();
    GroupRecord& g = a.groups[number];
    switch (function) {
    case kFnStartCheck:
        return accepted(startMaintenance(a, g, number, kOpCheck));
    case kFnStartParity:
        return accepted(startMaintenance(a, g, number, kOpParity));
    case kFnStopParityOperation:
        return stopParityOperation(a, g, number);
    case kFnStartRebuild:
        return accepted(startRebuild(a, g, number));
    case kFnAutoRebuildOn:
    case kFnAutoRebuildOff:
        return setAutoRebuild(a, g, number, function);
    default:
        return setCacheMode(a, g, number, parameter);
    }
}

Answer forceDriveState(AdapterRecord& a, uint8_t slot, uint8_t state) {
    if (!presentDrive(a, slot) || (state != kPdGood && state != kPdAlarm)) return refuseField();
    if (state == kPdAlarm) {
        failDrive(a, slot);
        recordEvent(a, kEventDriveForcedFailed, slot, kPdAlarm);
    } else {
        forceDriveGood(a, slot);
    }
    return good();
}

Answer locateLed(AdapterRecord& a, uint8_t slot, uint8_t state) {
    if (!configuredDrive(a, slot)) return refuseField();
    a.drives[slot].led = state;
    recordEvent(a, kEventLocateLed, slot, state);
    return good();
}

}  // namespace

Answer selectGroupAction(AdapterRecord& adapter, const uint8_t* page) {
    uint8_t function = page[2], number = page[3], parameter = page[4];
    switch (function) {
    case kFnForceDriveState:
        return forceDriveState(adapter, number, parameter);
    case kFnLocateLed:
        return locateLed(adapter, number, parameter);
    case kFnStartCheck:
    case kFnStartParity:
    case kFnStopParityOperation:
    case kFnStartRebuild:
    case kFnAutoRebuildOn:
    case kFnAutoRebuildOff:
    case kFnCacheMode:
        return groupFunction(adapter, function, number, parameter);
    default:
        return refuseField();
    }
}

Answer selectDriveAction(AdapterRecord& adapter, const uint8_t* page) {
    uint8_t function = page[2], slot = page[3];
    if (!presentDrive(adapter, slot)) return refuseField();
    if (function == kFnAssignSpare) return accepted(assignGlobalSpare(adapter, slot));
    if (function == kFnRemoveSpare) return accepted(removeGlobalSpare(adapter, slot));
    return refuseField();
}

}  // namespace tavsim
