// Faults of single drives behind an adapter (tavsim inject drive-...).
#ifndef TAVSIM_SIM_DRIVE_FAULTS_H
#define TAVSIM_SIM_DRIVE_FAULTS_H

#include "sim_commands.h"
#include "sim_state.h"

namespace tavsim {

// words[0] is the fault name; returns the exit status of `tavsim inject`.
int injectDriveFault(const char* root, const SimState& state, const Args& words, const char* usage);

// Health a drive reports (drive-temperature, predict-failure, drive-errors,
// drive-sectors); -1 when words[0] is none of them.
int injectDriveHealth(SimState& state, const Args& words, const char* usage);

}  // namespace tavsim

#endif
