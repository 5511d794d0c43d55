#include "sim_topology.h"

#include "sim_events.h"
#include "sim_operations.h"

namespace tavsim {

namespace {

bool holdsData(const MemberRecord& m) { return m.state == kMemberInUse; }

uint8_t derivedState(const GroupRecord& g) {
    int lost = 0;
    bool mirrorLost = false;
    for (int i = 0; i < g.memberCount; ++i) {
        if (holdsData(g.members[i])) continue;
        ++lost;
        if (g.raidCode == kRaid1 && (i % 2) == 1 && !holdsData(g.members[i - 1])) mirrorLost = true;
    }
    if (lost == 0) return kLdGood;
    if (g.raidCode == kRaid0 || mirrorLost) return kLdFailed;
    if (g.raidCode == kRaid5 && lost > 1) return kLdFailed;
    return g.operation == kOpRebuild ? kLdRebuilding : kLdDegraded;
}

uint8_t rebuildStateFor(uint8_t state) {
    if (state == kLdDegraded) return 1;
    return state == kLdRebuilding ? 2 : 0;
}

DriveRecord& servingDrive(AdapterRecord& adapter, const MemberRecord& m) {
    return adapter.drives[m.servingDrive % kMaxDrives];
}

// Positions whose serving drive is out lose their data; a stand-in that goes
// takes its rebuild with it.
void refreshMembers(AdapterRecord& adapter, GroupRecord& group, int number) {
    for (int i = 0; i < group.memberCount && i < kMaxMembers; ++i) {
        MemberRecord& m = group.members[i];
        bool usable = driveUsable(servingDrive(adapter, m));
        if (!usable && m.state == kMemberSpareStandsIn) cancelOperation(adapter, group, number, kEventOperationAborted);
        if (!driveUsable(servingDrive(adapter, m))) m.state = kMemberMissing;
        const DriveRecord& d = servingDrive(adapter, m);
        m.driveState = d.configured ? d.state : kNone;
    }
}

// A running operation needs its ground: a rebuild a group that can still be
// rebuilt, a check or parity creation a group with every member.
void cancelGroundlessOperation(AdapterRecord& adapter, GroupRecord& group, int number, uint8_t state) {
    bool rebuildLost = group.operation == kOpRebuild && state == kLdFailed;
    bool maintenanceLost = (group.operation == kOpCheck || group.operation == kOpParity) && state != kLdGood;
    if (rebuildLost || maintenanceLost) cancelOperation(adapter, group, number, kEventOperationAborted);
}

// The position of `slot` in its group while it is missing there, or -1.
int missingPositionOf(const GroupRecord& g, int slot) {
    for (int i = 0; i < g.memberCount; ++i) {
        const MemberRecord& m = g.members[i];
        if (m.drive == slot && m.servingDrive == slot && m.state == kMemberMissing) return i;
    }
    return -1;
}

GroupRecord* groupOfDrive(AdapterRecord& adapter, int slot) {
    uint8_t n = adapter.drives[slot].group;
    if (n >= kMaxGroups || !adapter.groups[n].defined) return nullptr;
    return &adapter.groups[n];
}

void setDriveCondition(AdapterRecord& adapter, int slot, uint8_t present, uint8_t state, EventCode event) {
    DriveRecord& d = adapter.drives[slot];
    d.present = present;
    d.state = state;
    recordEvent(adapter, event, static_cast<uint8_t>(slot), state);
}

void dropFromSpares(AdapterRecord& adapter, int slot) {
    for (uint8_t& spare : adapter.spares)
        if (spare == slot) spare = kNone;
}

}  // namespace

bool driveUsable(const DriveRecord& drive) { return drive.configured && drive.present && drive.state < kPdAlarm; }

void refreshGroup(AdapterRecord& adapter, GroupRecord& group, int number) {
    refreshMembers(adapter, group, number);
    if (group.stateOverridden) return;
    cancelGroundlessOperation(adapter, group, number, derivedState(group));
    uint8_t state = derivedState(group);
    if (state != group.state) recordEvent(adapter, kEventGroupStateChanged, static_cast<uint8_t>(number), state);
    group.state = state;
    group.rebuildState = rebuildStateFor(state);
}

void refreshAllGroups(AdapterRecord& adapter) {
    for (int g = 0; g < kMaxGroups; ++g)
        if (adapter.groups[g].defined) refreshGroup(adapter, adapter.groups[g], g);
}

uint64_t memberSpan(const AdapterRecord& adapter, const GroupRecord& group) {
    if (group.memberCount == 0) return 0;
    uint64_t smallest = UINT64_MAX;
    for (int i = 0; i < group.memberCount; ++i) {
        uint64_t blocks = adapter.drives[group.members[i].drive % kMaxDrives].blocks;
        if (blocks < smallest) smallest = blocks;
    }
    if (group.stripeBlocks > 0) smallest -= smallest % group.stripeBlocks;
    return smallest;
}

uint64_t groupCapacity(const AdapterRecord& adapter, const GroupRecord& group) {
    uint64_t span = memberSpan(adapter, group);
    uint64_t n = group.memberCount;
    if (group.raidCode == kRaid1) return span * (n / 2);
    if (group.raidCode == kRaid5) return span * (n - 1);
    return span * n;
}

void failDrive(AdapterRecord& adapter, int slot) {
    setDriveCondition(adapter, slot, adapter.drives[slot].present, kPdAlarm, kEventDriveFailed);
    settleAdapter(adapter);
}

void removeDrive(AdapterRecord& adapter, int slot) {
    setDriveCondition(adapter, slot, 0, kPdNotPresent, kEventDriveRemoved);
    settleAdapter(adapter);
}

void reinsertDrive(AdapterRecord& adapter, int slot) {
    setDriveCondition(adapter, slot, 1, kPdGood, kEventDriveInserted);
    GroupRecord* g = groupOfDrive(adapter, slot);
    int pos = g == nullptr ? -1 : missingPositionOf(*g, slot);
    if (pos >= 0 && derivedState(*g) == kLdFailed) g->members[pos].state = kMemberInUse;
    settleAdapter(adapter);
}

void installDrive(AdapterRecord& adapter, int slot, const DriveRecord& drive) {
    DriveRecord& d = adapter.drives[slot];
    uint32_t generation = d.mediaGeneration + 1;
    dropFromSpares(adapter, slot);
    d = drive;
    d.mediaGeneration = generation;
    recordEvent(adapter, kEventDriveInserted, static_cast<uint8_t>(slot), d.state);
    settleAdapter(adapter);
}

void forceDriveGood(AdapterRecord& adapter, int slot) {
    adapter.drives[slot].state = kPdGood;
    recordEvent(adapter, kEventDriveForcedGood, static_cast<uint8_t>(slot), kPdGood);
    GroupRecord* g = groupOfDrive(adapter, slot);
    int pos = g == nullptr ? -1 : missingPositionOf(*g, slot);
    if (pos >= 0) {
        if (g->state == kLdFailed) g->dataLost = 1;
        g->members[pos].state = kMemberInUse;
    }
    settleAdapter(adapter);
}

bool isGlobalSpare(const AdapterRecord& adapter, int slot) {
    for (uint8_t spare : adapter.spares)
        if (spare == slot) return true;
    return false;
}

bool inPendingDefinition(const AdapterRecord& adapter, int slot) {
    for (const GroupRecord& g : adapter.groups) {
        if (g.pendingChange != kPendingDefine) continue;
        for (int i = 0; i < g.memberCount; ++i)
            if (g.members[i].drive == slot) return true;
    }
    return false;
}

bool assignGlobalSpare(AdapterRecord& adapter, int slot) {
    DriveRecord& d = adapter.drives[slot];
    bool free = d.group == kNone && (d.driveClass == kClassMemberNotInUse || d.driveClass == kClassFresh);
    if (isGlobalSpare(adapter, slot) || !driveUsable(d) || !free || inPendingDefinition(adapter, slot)) return false;
    for (uint8_t& spare : adapter.spares) {
        if (spare != kNone) continue;
        spare = static_cast<uint8_t>(slot);
        d.driveClass = kClassSpareNotInUse;
        recordEvent(adapter, kEventSpareAssigned, static_cast<uint8_t>(slot), 0);
        settleAdapter(adapter);  // a group waiting for a spare starts its rebuild
        return true;
    }
    return false;
}

bool removeGlobalSpare(AdapterRecord& adapter, int slot) {
    DriveRecord& d = adapter.drives[slot];
    if (!isGlobalSpare(adapter, slot) || d.driveClass == kClassSpareInUse) return false;
    dropFromSpares(adapter, slot);
    d.driveClass = kClassFresh;
    recordEvent(adapter, kEventSpareRemoved, static_cast<uint8_t>(slot), 0);
    return true;
}

int missingPosition(const GroupRecord& group) {
    for (int i = 0; i < group.memberCount; ++i)
        if (group.members[i].state == kMemberMissing) return i;
    return -1;
}

int rebuildTarget(const AdapterRecord& adapter, const GroupRecord& group, int number, int pos) {
    uint64_t span = memberSpan(adapter, group);
    int own = group.members[pos].drive;
    const DriveRecord& d = adapter.drives[own % kMaxDrives];
    bool unassigned = d.group == kNone && (d.driveClass == kClassMemberNotInUse || d.driveClass == kClassFresh) &&
                      !isGlobalSpare(adapter, own) && !inPendingDefinition(adapter, own);
    if (driveUsable(d) && d.blocks >= span && (d.group == number || unassigned)) return own;
    if (group.hotSpareMode != 0) return -1;
    for (uint8_t spare : adapter.spares) {
        if (spare == kNone) continue;
        const DriveRecord& s = adapter.drives[spare % kMaxDrives];
        if (driveUsable(s) && s.driveClass == kClassSpareNotInUse && s.blocks >= span) return spare;
    }
    return -1;
}

void standIn(AdapterRecord& adapter, GroupRecord& group, int number, int pos, int target) {
    MemberRecord& m = group.members[pos];
    DriveRecord& t = adapter.drives[target];
    m.servingDrive = static_cast<uint8_t>(target);
    m.state = kMemberSpareStandsIn;
    m.driveState = t.state;
    t.group = static_cast<uint8_t>(number);
    t.driveClass = target == m.drive ? kClassMemberInUse : kClassSpareInUse;
    group.rebuildPosition = static_cast<uint8_t>(pos);
}

void withdrawStandIn(AdapterRecord& adapter, GroupRecord& group) {
    MemberRecord& m = group.members[group.rebuildPosition % kMaxMembers];
    int target = m.servingDrive % kMaxDrives;
    if (target != m.drive) {
        DriveRecord& t = adapter.drives[target];
        t.group = kNone;
        t.driveClass = isGlobalSpare(adapter, target) ? kClassSpareNotInUse : kClassFresh;
    }
    m.servingDrive = m.drive;
    m.state = kMemberMissing;
    const DriveRecord& d = adapter.drives[m.drive % kMaxDrives];
    m.driveState = d.configured ? d.state : kNone;
}

void promoteStandIn(AdapterRecord& adapter, GroupRecord& group, int number) {
    MemberRecord& m = group.members[group.rebuildPosition % kMaxMembers];
    int target = m.servingDrive % kMaxDrives;
    if (target != m.drive) {
        DriveRecord& old = adapter.drives[m.drive % kMaxDrives];
        old.group = kNone;
        old.driveClass = kClassMemberNotInUse;
        dropFromSpares(adapter, target);
    }
    DriveRecord& t = adapter.drives[target];
    t.group = static_cast<uint8_t>(number);
    t.driveClass = kClassMemberInUse;
    m.drive = static_cast<uint8_t>(target);
    m.state = kMemberInUse;
    m.driveState = t.state;
}

}  // namespace tavsim
