// The adapter model's entry point: runs one driver request inside the calling
// process, against the server whose state is mapped.
#ifndef TAVSIM_SIM_MODEL_H
#define TAVSIM_SIM_MODEL_H

#include <cstdint>

#include "sim_state.h"

namespace tavsim {

// Size of the driver request block, from the length word to the end of the data area.
constexpr uint32_t kRequestBlockSize = 65572;

// The first ioctl request number (controller 0); 0xC008740D serves controller 3.
constexpr unsigned long kFirstRequest = 0xC008740AUL;
constexpr unsigned long kLastRequest = 0xC008740DUL;

struct ModelContext {
    const char* root;  // the server's directory ($TAV_ROOT)
    SimState* state;   // its mapped state; the caller holds the state lock
};

// Executes the request block at `block` for controller `controller`.
// Returns what the driver's ioctl returns (0, 16, or -1 with *errorNumber set).
int executeRequest(const ModelContext& ctx, unsigned controller, uint8_t* block, int* errorNumber);

}  // namespace tavsim

#endif
