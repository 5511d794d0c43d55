// tavsim inject and show for the adapter's restart and firmware download,
// and for placing a running background operation (a test seam).
#ifndef TAVSIM_SIM_INJECT_FLASH_H
#define TAVSIM_SIM_INJECT_FLASH_H

#include <nlohmann/json.hpp>

#include "sim_commands.h"
#include "sim_state.h"

namespace tavsim {

// "restart-adapter ADAPTER": a pending firmware becomes the running one.
// "operation-progress ADAPTER GROUP PERCENT [hold]": the group's running
// operation continues from PERCENT, or stays there with hold.
// Returns -1 when words name neither.
int injectAdapterChange(SimState& state, const Args& words);

// The flash state of an adapter for `tavsim show`.
nlohmann::ordered_json showFlash(const AdapterRecord& adapter);

}  // namespace tavsim

#endif
