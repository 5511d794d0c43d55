// Queued command faults that let a command through: `pass` (the command is
// answered untouched, so a later fault hits exactly the command it aims at)
// and `remove-drive-on-command` (a drive is pulled as the command arrives).
#ifndef TAVSIM_SIM_COMMAND_SEAMS_H
#define TAVSIM_SIM_COMMAND_SEAMS_H

#include "sim_state.h"

namespace tavsim {

// Applies a fault taken from the queue that does not answer the command
// itself; true when the command then goes on to be answered as usual.
bool letsCommandThrough(AdapterRecord& adapter, const FaultRecord& fault);

}  // namespace tavsim

#endif
