// Background operations of logical drives: rebuild, consistency check and
// parity creation. They progress with the wall clock at the server's speed,
// are brought up to date whenever a command or `tavsim show` looks at the
// adapter (there is no daemon), and end by themselves.
#ifndef TAVSIM_SIM_OPERATIONS_H
#define TAVSIM_SIM_OPERATIONS_H

#include <cstdint>

#include "sim_events.h"
#include "sim_model.h"
#include "sim_state.h"

namespace tavsim {

// Member blocks an operation covers per second at speed 1: a 2 GiB member
// (4,194,304 blocks) takes 64 seconds, at speed 64 one second.
constexpr double kBlocksPerSecond = 65536.0;

// Each returns false when the group's state does not allow the start.
bool startRebuild(AdapterRecord& adapter, GroupRecord& group, int number);
bool startMaintenance(AdapterRecord& adapter, GroupRecord& group, int number, uint8_t operation);

// Ends the running operation unfinished (a rebuild's stand-in leaves the
// group); the caller refreshes the group's state.
void cancelOperation(AdapterRecord& adapter, GroupRecord& group, int number, EventCode why);

// Group states in line with the drives, then the automatic rebuilds of
// degraded groups that have them enabled and a drive to rebuild onto.
void settleAdapter(AdapterRecord& adapter);

// Places a running operation at a fraction of its way; held, it stays
// there (neither advancing nor ending) until placed again unheld.
void placeOperation(const SimState& state, AdapterRecord& adapter, GroupRecord& group, double fraction, bool hold);

// Brings every running operation of one adapter, or of the whole server, up
// to now; operations whose time is up complete (media included).
void advanceOperations(const ModelContext& ctx, unsigned controller);
void advanceServer(const ModelContext& ctx);

}  // namespace tavsim

#endif
