#include "sim_events.h"

#include <ctime>

namespace tavsim {

const char* eventName(uint16_t code) {
    switch (code) {
        case kEventDriveFailed: return "drive-failed";
        case kEventDriveRemoved: return "drive-removed";
        case kEventDriveInserted: return "drive-inserted";
        case kEventGroupStateChanged: return "ld-state-changed";
        case kEventSpareAssigned: return "hot-spare-assigned";
        case kEventSpareRemoved: return "hot-spare-removed";
        case kEventLocateLed: return "locate-led";
        case kEventSettingsChanged: return "settings-changed";
        default: return "unknown";
    }
}

void recordEvent(AdapterRecord& adapter, EventCode code, uint8_t subject, uint8_t detail) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    EventRecord& e = adapter.events[adapter.eventSequence % kEventRing];
    e.sequence = adapter.eventSequence++;
    e.code = code;
    e.subject = subject;
    e.detail = detail;
    e.timeMs = static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    if (adapter.eventCount < kEventRing) ++adapter.eventCount;
}

}  // namespace tavsim
