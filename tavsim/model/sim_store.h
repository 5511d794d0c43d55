// Where the simulated server keeps its state and drive media, and how a
// process maps the state and serialises its changes (flock on the state file).
#ifndef TAVSIM_SIM_STORE_H
#define TAVSIM_SIM_STORE_H

#include <cstddef>
#include <cstdint>

#include "sim_state.h"

namespace tavsim {

constexpr size_t kPathMax = 4096;

// $root/var/lib/tavsim/state and the media file of one drive slot.
bool statePath(const char* root, char* out, size_t size);
bool mediaPath(const char* root, int controller, int slot, char* out, size_t size);

struct StateMapping {
    int fd = -1;
    SimState* state = nullptr;
};

// Maps the state file of the server below `root`. Returns false (errno set)
// when it is missing or not a state file of this layout.
bool mapState(const char* root, StateMapping* mapping);
void unmapState(StateMapping* mapping);

// Writes a new state file (used by `tavsim init` before the server is moved into place).
bool writeStateFile(const char* path, const SimState& state);

// Creates or empties the sparse media file of a drive.
bool resetMedia(const char* root, int controller, int slot, uint32_t blocks);

// Holds the server's lock (exclusive flock on the state file) while alive.
class StateLock {
public:
    explicit StateLock(const StateMapping& mapping);
    ~StateLock();
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

private:
    int fd_;
};

}  // namespace tavsim

#endif
