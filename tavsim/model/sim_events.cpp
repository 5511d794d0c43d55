#include "sim_events.h"

#include <ctime>

namespace tavsim {

const char* eventName(uint16_t code) {
    switch (code) {
    case kEventDriveFailed:
        return "drive-failed";
    case kEventDriveRemoved:
        return "drive-removed";
    case kEventDriveInserted:
        return "drive-inserted";
    case kEventGroupStateChanged:
        return "ld-state-changed";
    case kEventSpareAssigned:
        return "hot-spare-assigned";
    case kEventSpareRemoved:
        return "hot-spare-removed";
    case kEventLocateLed:
        return "locate-led";
    case kEventSettingsChanged:
        return "settings-changed";
    case kEventGroupCreated:
        return "ld-created";
    case kEventGroupDeleted:
        return "ld-deleted";
    case kEventGroupRestored:
        return "ld-restored";
    case kEventCandidateDeleted:
        return "restore-candidate-deleted";
    case kEventGroupSettingsChanged:
        return "ld-settings-changed";
    case kEventDriveForcedGood:
        return "drive-forced-good";
    case kEventRebuildStarted:
        return "rebuild-started";
    case kEventRebuildFinished:
        return "rebuild-finished";
    case kEventCheckStarted:
        return "consistency-check-started";
    case kEventCheckFinished:
        return "consistency-check-finished";
    case kEventParityStarted:
        return "parity-creation-started";
    case kEventParityFinished:
        return "parity-creation-finished";
    case kEventOperationStopped:
        return "operation-stopped";
    case kEventOperationAborted:
        return "operation-aborted";
    case kEventDriveForcedFailed:
        return "drive-forced-failed";
    default:
        return "unknown";
    }
}

int64_t wallClockMs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void recordEvent(AdapterRecord& adapter, EventCode code, uint8_t subject, uint8_t detail) {
    EventRecord& e = adapter.events[adapter.eventSequence % kEventRing];
    e.sequence = adapter.eventSequence++;
    e.code = code;
    e.subject = subject;
    e.detail = detail;
    e.timeMs = wallClockMs();
    if (adapter.eventCount < kEventRing) ++adapter.eventCount;
}

}  // namespace tavsim
