// Configuration pages: logical-drive definitions and deletions (0x30), which
// wait for the commit, cache policies (0x3A) and restore candidates (0x3D).
#include <cstring>

#include "sim_codec.h"
#include "sim_events.h"
#include "sim_firmware.h"
#include "sim_operations.h"
#include "sim_pages.h"
#include "sim_topology.h"

namespace tavsim {

namespace {

constexpr uint8_t kFnCommit = 0x04;
constexpr uint8_t kFnCreate = 0x10;
constexpr uint8_t kFnDelete = 0x11;
constexpr uint8_t kFnSetPolicies = 1;
constexpr uint8_t kFnDropSettings = 2;
constexpr uint8_t kFnRestore = 1;
constexpr uint8_t kFnDeleteCandidate = 2;

// Page 0x30 positions.
constexpr int kCreateRaid = 5;
constexpr int kCreateStripe = 8;
constexpr int kCreateHotSpareMode = 14;
constexpr int kCreateMemberCount = 15;
constexpr int kCreateMembers = 16;
constexpr int kCreateParityFlag = 37;
constexpr int kCreatePassedOn = 38;   // kept at group position 218
constexpr uint8_t kSpannedArray = 1;  // byte 38 of a RAID 10 definition

bool memberCountFits(uint8_t raid, int n) {
    if (n < 1 || n > kMaxMembers) return false;
    if (raid == kRaid0) return true;
    if (raid == kRaid1) return n == 2 || (n >= 4 && n % 2 == 0);
    return raid == kRaid5 && n >= 3;
}

// A good drive of no group, spare or other definition.
bool freeForDefinition(const AdapterRecord& a, int slot) {
    const DriveRecord& d = a.drives[slot];
    bool unassigned = d.group == kNone && (d.driveClass == kClassMemberNotInUse || d.driveClass == kClassFresh);
    return driveUsable(d) && unassigned && !isGlobalSpare(a, slot) && !inPendingDefinition(a, slot);
}

Answer checkDefinition(const AdapterRecord& a, const uint8_t* page) {
    uint8_t raid = page[kCreateRaid];
    int count = page[kCreateMemberCount];
    bool levelOk = raid == kRaid0 || raid == kRaid1 || raid == kRaid5;
    if (!levelOk || !memberCountFits(raid, count) || page[kCreateHotSpareMode] > 2) return refuseField();
    if (page[kCreateParityFlag] != (raid == kRaid5 ? 1 : 0)) return refuseField();
    // Four or more mirrored members are a spanned array (RAID 10): the marker must say so.
    if (raid == kRaid1 && count >= 4 && page[kCreatePassedOn] != kSpannedArray) return refuseField();
    if (get16(page + kCreateStripe) == 0 && !(raid == kRaid0 && count == 1)) return refuseField();
    uint32_t seen = 0;
    for (int i = 0; i < count; ++i) {
        uint8_t slot = page[kCreateMembers + i];
        if (slot >= kMaxDrives || !a.drives[slot].configured || (seen & (1u << slot)) != 0) return refuseField();
        seen |= 1u << slot;
    }
    for (int i = 0; i < count; ++i)
        if (!freeForDefinition(a, page[kCreateMembers + i])) return refuseState();
    return good();
}

void stageDefinition(GroupRecord& g, const uint8_t* page) {
    std::memset(&g, 0, sizeof g);
    g.pendingChange = kPendingDefine;
    g.restoreFrom = kNone;
    g.raidCode = page[kCreateRaid];
    g.memberCount = page[kCreateMemberCount];
    for (int i = 0; i < g.memberCount; ++i) {
        uint8_t slot = page[kCreateMembers + i];
        g.members[i] = MemberRecord{slot, kMemberInUse, 0, kPdGood, 0, slot};
    }
    g.stripeBlocks = get16(page + kCreateStripe);
    g.hotSpareMode = page[kCreateHotSpareMode];
    g.byte218 = page[kCreatePassedOn];
}

// A new staging replaces one of the same group that was never committed.
Answer createDefinition(AdapterRecord& a, const uint8_t* page) {
    uint8_t number = page[3];
    if (number >= kMaxGroups) return refuseField();
    GroupRecord& g = a.groups[number];
    if (g.defined) return refuseState();
    uint8_t staged = g.pendingChange;
    g.pendingChange = kPendingNone;
    Answer answer = checkDefinition(a, page);
    if (answer.kind != AnswerKind::Good) {
        g.pendingChange = staged;
        return answer;
    }
    stageDefinition(g, page);
    return good();
}

Answer deleteDefinition(AdapterRecord& a, const uint8_t* page) {
    uint8_t number = page[3];
    if (number >= kMaxGroups || !a.groups[number].defined) return refuseField();
    GroupRecord& g = a.groups[number];
    if (g.operation != kOpNone) return refuseState();  // its members are busy
    g.pendingChange = kPendingDelete;
    return good();
}

void takeMembers(AdapterRecord& a, const GroupRecord& g, uint8_t group, uint8_t driveClass) {
    for (int i = 0; i < g.memberCount; ++i) {
        DriveRecord& d = a.drives[g.members[i].drive % kMaxDrives];
        d.group = group;
        d.driveClass = driveClass;
    }
}

void commitDefinition(AdapterRecord& a, GroupRecord& g, int number) {
    g.pendingChange = kPendingNone;
    uint8_t from = g.restoreFrom;
    if (from != kNone) {
        if (from >= kMaxCandidates || !a.candidates[from].defined) return;  // deleted meanwhile
        std::memset(&a.candidates[from], 0, sizeof a.candidates[from]);
    } else {
        g.capacityBlocks = groupCapacity(a, g);
    }
    g.defined = 1;
    takeMembers(a, g, static_cast<uint8_t>(number), kClassMemberInUse);
    if (from != kNone)
        recordEvent(a, kEventGroupRestored, static_cast<uint8_t>(number), from);
    else
        recordEvent(a, kEventGroupCreated, static_cast<uint8_t>(number), g.raidCode);
}

void commitDeletion(AdapterRecord& a, GroupRecord& g, int number) {
    cancelOperation(a, g, number, kEventOperationAborted);  // one started after the staging
    for (int i = 0; i < g.memberCount; ++i) {
        DriveRecord& d = a.drives[g.members[i].drive % kMaxDrives];
        if (d.group != number) continue;  // replaced earlier by a rebuild
        d.group = kNone;
        d.driveClass = kClassFresh;
    }
    std::memset(&g, 0, sizeof g);
    recordEvent(a, kEventGroupDeleted, static_cast<uint8_t>(number), 0);
}

Answer commit(AdapterRecord& a) {
    FirmwareRecord& fw = firmwareOf(a);
    if (fw.failCommitCount > 0) {
        --fw.failCommitCount;
        return checkCondition(0x04, 0x44);  // HARDWARE ERROR; what is staged stays staged
    }
    for (int n = 0; n < kMaxGroups; ++n) {
        GroupRecord& g = a.groups[n];
        if (g.pendingChange == kPendingDefine)
            commitDefinition(a, g, n);
        else if (g.pendingChange == kPendingDelete)
            commitDeletion(a, g, n);
    }
    settleAdapter(a);
    return good();
}

// Policies apply to a defined group or to one waiting for its commit.
GroupRecord* policyGroup(AdapterRecord& a, uint8_t number) {
    if (number >= kMaxGroups) return nullptr;
    GroupRecord& g = a.groups[number];
    return (g.defined || g.pendingChange == kPendingDefine) ? &g : nullptr;
}

Answer restoreCandidate(AdapterRecord& a, const uint8_t* page) {
    uint8_t from = page[3], number = page[4];
    if (from >= kMaxCandidates || !a.candidates[from].defined || number >= kMaxGroups || page[5] != 0)
        return refuseField();
    GroupRecord& g = a.groups[number];
    if (g.defined) return refuseState();
    for (const GroupRecord& other : a.groups)
        if (&other != &g && other.pendingChange == kPendingDefine && other.restoreFrom == from) return refuseState();
    g = a.candidates[from];
    g.defined = 0;
    g.stateOverridden = 0;
    g.operation = kOpNone;
    g.pendingChange = kPendingDefine;
    g.restoreFrom = from;
    return good();
}

Answer deleteCandidate(AdapterRecord& a, const uint8_t* page) {
    uint8_t from = page[3];
    if (from >= kMaxCandidates || !a.candidates[from].defined) return refuseField();
    for (GroupRecord& g : a.groups)
        if (g.pendingChange == kPendingDefine && g.restoreFrom == from) g.pendingChange = kPendingNone;
    takeMembers(a, a.candidates[from], kNone, kClassFresh);
    std::memset(&a.candidates[from], 0, sizeof a.candidates[from]);
    recordEvent(a, kEventCandidateDeleted, from, 0);
    return good();
}

}  // namespace

Answer selectConfiguration(AdapterRecord& adapter, const uint8_t* page) {
    switch (page[2]) {
    case kFnCreate:
        return createDefinition(adapter, page);
    case kFnDelete:
        return deleteDefinition(adapter, page);
    case kFnCommit:
        return commit(adapter);
    default:
        return refuseField();
    }
}

Answer selectCachePolicies(AdapterRecord& adapter, const uint8_t* page) {
    GroupRecord* g = policyGroup(adapter, page[3]);
    if (g == nullptr) return refuseField();
    if (page[2] == kFnDropSettings) {
        g->readPolicy = 0;
        g->writePolicy = 0;
        return good();
    }
    if (page[2] != kFnSetPolicies || page[6] != page[3] || page[7] > 1 || page[8] > 1) return refuseField();
    g->readPolicy = page[7];
    g->writePolicy = page[8];
    if (g->defined) recordEvent(adapter, kEventGroupSettingsChanged, page[3], 0x3A);
    return good();
}

Answer selectRestore(AdapterRecord& adapter, const uint8_t* page) {
    switch (page[2]) {
    case kFnRestore:
        return restoreCandidate(adapter, page);
    case kFnDeleteCandidate:
        return deleteCandidate(adapter, page);
    default:
        return refuseField();
    }
}

}  // namespace tavsim
