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
};

const char* eventName(uint16_t code);

// Appends an event to the adapter's ring (the oldest entry gives way).
void recordEvent(AdapterRecord& adapter, EventCode code, uint8_t subject, uint8_t detail);

}  // namespace tavsim

#endif
