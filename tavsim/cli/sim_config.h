// The server configuration (JSON) turned into the simulator's state.
#ifndef TAVSIM_SIM_CONFIG_H
#define TAVSIM_SIM_CONFIG_H

#include <string>

#include "sim_state.h"

namespace tavsim {

// The configuration of the default server.
extern const char* const kDefaultServerConfig;

// Fills `state` from the configuration text. On a missing required key or a
// wrong value returns false and names the key in `error`
// ("adapters[0].drives[1].interface: required").
bool buildServer(const std::string& configText, SimState* state, std::string* error);

// One drive from a JSON object (the form of a configuration's drive entry,
// without the slot, which is given), for insert-drive.
bool buildDrive(const std::string& driveJson, int controller, int slot, DriveRecord* drive, std::string* error);

}  // namespace tavsim

#endif
