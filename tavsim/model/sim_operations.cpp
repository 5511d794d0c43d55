#include "sim_operations.h"

#include <algorithm>

#include "sim_firmware.h"
#include "sim_reconstruct.h"
#include "sim_topology.h"

namespace tavsim {

namespace {

constexpr uint8_t kLdWarning2 = 0x12;
constexpr uint8_t kLdWarning3 = 0x13;

void begin(GroupRecord& group, uint8_t operation) {
    group.operation = operation;
    group.operationStartMs = wallClockMs();
    group.processedBlocks = 0;
}

void end(GroupRecord& group) {
    group.operation = kOpNone;
    group.progressHeld = 0;
    group.operationStartMs = 0;
    group.processedBlocks = 0;
}

bool maintenanceAllowed(const GroupRecord& g) {
    bool state = g.state == kLdGood || g.state == kLdWarning2 || g.state == kLdWarning3;
    return g.operation == kOpNone && g.raidCode != kRaid0 && g.rebuildState != 2 && g.maintenanceState == 0 && state;
}

double durationMs(const AdapterRecord& adapter, const GroupRecord& group, double speed) {
    return static_cast<double>(memberSpan(adapter, group)) / (kBlocksPerSecond * speed) * 1000.0;
}

void finishRebuild(const ModelContext& ctx, unsigned controller, AdapterRecord& a, GroupRecord& g, int number) {
    if (!reconstructPosition(ctx, controller, a, g, g.rebuildPosition)) {
        cancelOperation(a, g, number, kEventOperationAborted);
        settleAdapter(a);
        return;
    }
    uint8_t target = g.members[g.rebuildPosition % kMaxMembers].servingDrive;
    promoteStandIn(a, g, number);
    end(g);
    recordEvent(a, kEventRebuildFinished, static_cast<uint8_t>(number), target);
    settleAdapter(a);  // another missing member may be next
}

void finishCheck(const ModelContext& ctx, unsigned controller, AdapterRecord& a, GroupRecord& g, int number) {
    int64_t inconsistent = countInconsistentBlocks(ctx, controller, a, g);
    if (inconsistent < 0) {
        cancelOperation(a, g, number, kEventOperationAborted);
        return;
    }
    g.errorCount += static_cast<uint32_t>(std::min<int64_t>(inconsistent, UINT32_MAX - g.errorCount));
    g.maintenanceState = 0;
    end(g);
    recordEvent(a, kEventCheckFinished, static_cast<uint8_t>(number),
                static_cast<uint8_t>(std::min<int64_t>(inconsistent, 255)));
}

void finishParity(const ModelContext& ctx, unsigned controller, AdapterRecord& a, GroupRecord& g, int number) {
    if (!writeRedundancy(ctx, controller, a, g)) {
        cancelOperation(a, g, number, kEventOperationAborted);
        return;
    }
    g.maintenanceState = 0;
    end(g);
    recordEvent(a, kEventParityFinished, static_cast<uint8_t>(number), 0);
}

void finish(const ModelContext& ctx, unsigned controller, AdapterRecord& a, GroupRecord& g, int number) {
    switch (g.operation) {
    case kOpRebuild:
        finishRebuild(ctx, controller, a, g, number);
        break;
    case kOpCheck:
        finishCheck(ctx, controller, a, g, number);
        break;
    default:
        finishParity(ctx, controller, a, g, number);
        break;
    }
}

// The processed count runs over the logical drive's capacity.
void progress(GroupRecord& g, double fraction) {
    double blocks = static_cast<double>(g.capacityBlocks) * fraction;
    g.processedBlocks = static_cast<uint32_t>(std::min(blocks, static_cast<double>(UINT32_MAX)));
}

}  // namespace

bool startRebuild(AdapterRecord& adapter, GroupRecord& group, int number) {
    if (group.operation != kOpNone || group.rebuildState != 1) return false;
    int pos = missingPosition(group);
    int target = pos < 0 ? -1 : rebuildTarget(adapter, group, number, pos);
    if (target < 0) return false;
    standIn(adapter, group, number, pos, target);
    begin(group, kOpRebuild);
    recordEvent(adapter, kEventRebuildStarted, static_cast<uint8_t>(number), static_cast<uint8_t>(target));
    refreshGroup(adapter, group, number);
    return true;
}

bool startMaintenance(AdapterRecord& adapter, GroupRecord& group, int number, uint8_t operation) {
    if (!maintenanceAllowed(group)) return false;
    group.maintenanceState = operation == kOpCheck ? 1 : 2;
    begin(group, operation);
    recordEvent(adapter, operation == kOpCheck ? kEventCheckStarted : kEventParityStarted, static_cast<uint8_t>(number),
                0);
    return true;
}

void cancelOperation(AdapterRecord& adapter, GroupRecord& group, int number, EventCode why) {
    uint8_t operation = group.operation;
    if (operation == kOpNone) return;
    if (operation == kOpRebuild)
        withdrawStandIn(adapter, group);
    else
        group.maintenanceState = 0;
    end(group);
    recordEvent(adapter, why, static_cast<uint8_t>(number), operation);
}

void settleAdapter(AdapterRecord& adapter) {
    refreshAllGroups(adapter);
    for (int n = 0; n < kMaxGroups; ++n) {
        GroupRecord& g = adapter.groups[n];
        if (g.defined && g.autoRebuild == 0) startRebuild(adapter, g, n);
    }
}

void placeOperation(const SimState& state, AdapterRecord& adapter, GroupRecord& group, double fraction, bool hold) {
    double duration = durationMs(adapter, group, state.speed);
    group.operationStartMs = wallClockMs() - static_cast<int64_t>(duration * fraction);
    group.progressHeld = hold ? 1 : 0;
    group.heldPercent = static_cast<uint8_t>(fraction * 100.0 + 0.5);
    progress(group, fraction);
}

void advanceOperations(const ModelContext& ctx, unsigned controller) {
    AdapterRecord& a = ctx.state->adapters[controller];
    int64_t now = -1;
    for (int n = 0; n < kMaxGroups; ++n) {
        GroupRecord& g = a.groups[n];
        if (!g.defined || g.operation == kOpNone) continue;
        if (g.progressHeld) {
            progress(g, g.heldPercent / 100.0);
            continue;
        }
        if (now < 0) now = wallClockMs();
        double elapsed = static_cast<double>(std::max<int64_t>(0, now - g.operationStartMs));
        double duration = durationMs(a, g, ctx.state->speed);
        if (elapsed >= duration)
            finish(ctx, controller, a, g, n);
        else
            progress(g, elapsed / duration);
    }
}

void advanceServer(const ModelContext& ctx) {
    for (uint32_t c = 0; c < ctx.state->adapterCount && c < kMaxAdapters; ++c)
        if (ctx.state->adapters[c].present) {
            advanceOperations(ctx, c);
            syncFirmwareLog(ctx, c);
        }
}

}  // namespace tavsim
