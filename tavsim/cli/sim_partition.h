// tavsim inject ... partition: an operating-system partition table on a
// logical drive.
#ifndef TAVSIM_SIM_PARTITION_H
#define TAVSIM_SIM_PARTITION_H

#include <string>

#include "sim_commands.h"
#include "sim_state.h"

namespace tavsim {

// words: "partition" ADAPTER LD [clear]. Writes block 0 of the logical drive
// through its members as a host WRITE would: a master boot record with one
// partition entry, or (with "clear") zeros. 0 done, 1 refused (no such
// logical drive, media not written), 2 wrong arguments.
int injectPartition(SimState& state, const std::string& root, const Args& words);

}  // namespace tavsim

#endif
