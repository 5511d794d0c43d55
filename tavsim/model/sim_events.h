// The one place where the model records what happened on an adapter.
#ifndef TAVSIM_SIM_EVENTS_H
#define TAVSIM_SIM_EVENTS_H

#include <cstdint>

#include "sim_state.h"

namespace tavsim {

enum EventCode : uint16_t {
    kEventDriveFailed = 1,
    kEventDriveRemoved = 2,
    kEventDriveInserted = 3,
    kEventGroupStateChanged = 4,
    kEventSpareAssigned = 5,
    kEventSpareRemoved = 6,
    kEventLocateLed = 7,
    kEventSettingsChanged = 8,
    kEventGroupCreated = 9,  // subject: group; detail: RAID level code
    kEventGroupDeleted = 10,
    kEventGroupRestored = 11,  // detail: the candidate it came from
    kEventCandidateDeleted = 12,
    kEventGroupSettingsChanged = 13,  // detail: the action function (0x31 cache, 6/7 auto-rebuild)
    kEventDriveForcedGood = 14,
    kEventRebuildStarted = 15,  // detail: the drive rebuilt onto
    kEventRebuildFinished = 16,
    kEventCheckStarted = 17,
    kEventCheckFinished = 18,  // detail: inconsistent blocks found (at most 255)
    kEventParityStarted = 19,
    kEventParityFinished = 20,
    kEventOperationStopped = 21,   // detail: the operation (kOp...)
    kEventOperationAborted = 22,   // a member was lost under it; detail: the operation
    kEventDriveForcedFailed = 23,  // an operator set the drive off line (after drive-failed)
};

const char* eventName(uint16_t code);

// Wall-clock time in milliseconds (CLOCK_REALTIME, so faked clocks apply).
int64_t wallClockMs();

// Appends an event to the adapter's ring (the oldest entry gives way).
void recordEvent(AdapterRecord& adapter, EventCode code, uint8_t subject, uint8_t detail);

}  // namespace tavsim

#endif
