// What `tavsim show` tells about the drives' own records.
#ifndef TAVSIM_SIM_SHOW_DRIVE_H
#define TAVSIM_SIM_SHOW_DRIVE_H

#include <nlohmann/json.hpp>

#include "sim_state.h"

namespace tavsim {

// Adds `drive_model` to every drive object of `adapters` (show's adapter array).
void addDriveModels(const char* root, const SimState& state, nlohmann::ordered_json& adapters);

}  // namespace tavsim

#endif
