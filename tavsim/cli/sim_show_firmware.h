// tavsim show: the firmware fields of an adapter.
#ifndef TAVSIM_SIM_SHOW_FIRMWARE_H
#define TAVSIM_SIM_SHOW_FIRMWARE_H

#include <nlohmann/json.hpp>

#include "sim_state.h"

namespace tavsim {

// Adds "clock" (null until set), "event_log" (index, pending), "driver_info_requests" and "dump"
// (status, size, micro_reboot).
void showFirmware(const AdapterRecord& adapter, nlohmann::ordered_json& j);

}  // namespace tavsim

#endif
