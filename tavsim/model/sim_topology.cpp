#include "sim_topology.h"

#include "sim_events.h"

namespace tavsim {

namespace {

uint8_t derivedState(const GroupRecord& g) {
    int missing = 0;
    bool mirrorLost = false;
    for (int i = 0; i < g.memberCount; ++i) {
        if (g.members[i].state != kMemberMissing) continue;
        ++missing;
        if (g.raidCode == kRaid1 && (i % 2) == 1 && g.members[i - 1].state == kMemberMissing) mirrorLost = true;
    }
    if (missing == 0) return kLdGood;
    if (g.raidCode == kRaid0 || mirrorLost) return kLdFailed;
    if (g.raidCode == kRaid5 && missing > 1) return kLdFailed;
    return kLdDegraded;
}

uint8_t rebuildStateFor(uint8_t state, uint8_t current) {
    if (state == kLdDegraded) return current == 2 ? 2 : 1;
    return 0;
}

}  // namespace

bool driveUsable(const DriveRecord& drive) {
    return drive.configured && drive.present && drive.state < kPdAlarm;
}

void refreshGroup(AdapterRecord& adapter, GroupRecord& group, int number) {
    for (int i = 0; i < group.memberCount && i < kMaxMembers; ++i) {
        MemberRecord& m = group.members[i];
        const DriveRecord& d = adapter.drives[m.servingDrive % kMaxDrives];
        m.driveState = d.configured ? d.state : kNone;
        bool assigned = d.group == number;
        if (!driveUsable(d)) {
            m.state = kMemberMissing;
        } else if (m.state == kMemberMissing && assigned) {
            m.state = kMemberInUse;
        }
    }
    if (group.stateOverridden) return;
    uint8_t state = derivedState(group);
    if (state != group.state) recordEvent(adapter, kEventGroupStateChanged, static_cast<uint8_t>(number), state);
    group.state = state;
    group.rebuildState = rebuildStateFor(state, group.rebuildState);
}

void refreshAllGroups(AdapterRecord& adapter) {
    for (int g = 0; g < kMaxGroups; ++g)
        if (adapter.groups[g].defined) refreshGroup(adapter, adapter.groups[g], g);
}

uint64_t groupCapacity(const AdapterRecord& adapter, const GroupRecord& group) {
    if (group.memberCount == 0) return 0;
    uint64_t smallest = UINT64_MAX;
    for (int i = 0; i < group.memberCount; ++i) {
        uint64_t blocks = adapter.drives[group.members[i].drive % kMaxDrives].blocks;
        if (blocks < smallest) smallest = blocks;
    }
    if (group.stripeBlocks > 0) smallest -= smallest % group.stripeBlocks;
    uint64_t n = group.memberCount;
    if (group.raidCode == kRaid1) return smallest * (n / 2);
    if (group.raidCode == kRaid5) return smallest * (n - 1);
    return smallest * n;
}

namespace {

void setDriveCondition(AdapterRecord& adapter, int slot, uint8_t present, uint8_t state, EventCode event) {
    DriveRecord& d = adapter.drives[slot];
    d.present = present;
    d.state = state;
    recordEvent(adapter, event, static_cast<uint8_t>(slot), state);
    refreshAllGroups(adapter);
}

}  // namespace

void failDrive(AdapterRecord& adapter, int slot) {
    setDriveCondition(adapter, slot, adapter.drives[slot].present, kPdAlarm, kEventDriveFailed);
}

void removeDrive(AdapterRecord& adapter, int slot) { setDriveCondition(adapter, slot, 0, kPdNotPresent, kEventDriveRemoved); }

void reinsertDrive(AdapterRecord& adapter, int slot) { setDriveCondition(adapter, slot, 1, kPdGood, kEventDriveInserted); }

void installDrive(AdapterRecord& adapter, int slot, const DriveRecord& drive) {
    DriveRecord& d = adapter.drives[slot];
    uint32_t generation = d.mediaGeneration + 1;
    for (uint8_t& spare : adapter.spares)
        if (spare == slot) spare = kNone;
    d = drive;
    d.mediaGeneration = generation;
    recordEvent(adapter, kEventDriveInserted, static_cast<uint8_t>(slot), d.state);
    refreshAllGroups(adapter);
}

bool isGlobalSpare(const AdapterRecord& adapter, int slot) {
    for (uint8_t spare : adapter.spares)
        if (spare == slot) return true;
    return false;
}

bool assignGlobalSpare(AdapterRecord& adapter, int slot) {
    if (isGlobalSpare(adapter, slot)) return true;
    DriveRecord& d = adapter.drives[slot];
    if (!driveUsable(d) || (d.driveClass != kClassMemberNotInUse && d.driveClass != kClassFresh)) return false;
    for (uint8_t& spare : adapter.spares) {
        if (spare != kNone) continue;
        spare = static_cast<uint8_t>(slot);
        d.driveClass = kClassSpareNotInUse;
        d.group = kNone;
        recordEvent(adapter, kEventSpareAssigned, static_cast<uint8_t>(slot), 0);
        return true;
    }
    return false;
}

bool removeGlobalSpare(AdapterRecord& adapter, int slot) {
    if (!isGlobalSpare(adapter, slot)) return true;
    DriveRecord& d = adapter.drives[slot];
    if (d.driveClass == kClassSpareInUse) return false;  // standing in for a member
    for (uint8_t& spare : adapter.spares)
        if (spare == slot) spare = kNone;
    d.driveClass = kClassFresh;
    recordEvent(adapter, kEventSpareRemoved, static_cast<uint8_t>(slot), 0);
    return true;
}

}  // namespace tavsim
