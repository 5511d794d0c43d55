// tavsim inject: faults of the adapter firmware (event-log entries, the log
// position, failing entry reads, dumps and micro-reboots).
#ifndef TAVSIM_SIM_INJECT_FIRMWARE_H
#define TAVSIM_SIM_INJECT_FIRMWARE_H

#include <string>

#include "sim_commands.h"
#include "sim_state.h"

namespace tavsim {

bool isFirmwareFault(const std::string& fault);

// words[0] is the fault; returns the exit status of `tavsim inject`.
int firmwareFault(SimState& state, const std::string& root, const Args& words);

}  // namespace tavsim

#endif
