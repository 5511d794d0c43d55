// tavsim inject ... load: a steady I/O load on a logical drive, which the
// driver statistics command reports on top of the counted commands.
#ifndef TAVSIM_SIM_INJECT_LOAD_H
#define TAVSIM_SIM_INJECT_LOAD_H

#include <string>

#include "sim_commands.h"
#include "sim_state.h"

namespace tavsim {

// words: "load" ADAPTER LD READS WRITES [BLOCKS]: READS and WRITES commands
// per second of BLOCKS blocks each (default 8, 4 KB); 0 0 ends the load.
// 0 done, 1 not stored, 2 wrong arguments.
int injectLoad(SimState& state, const std::string& root, const Args& words);

}  // namespace tavsim

#endif
