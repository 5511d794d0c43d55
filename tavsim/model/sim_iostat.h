// The driver's per-logical-drive I/O statistics: commands and blocks counted
// as READ/WRITE reach each logical drive, plus a configured load generator,
// answered as rates per second by the statistics command 0xC0 0xFE.
//
// Kept in $root/var/lib/tavsim/iostat/c<controller>.stat (one fixed record
// per adapter), not in the mapped state record.
#ifndef TAVSIM_SIM_IOSTAT_H
#define TAVSIM_SIM_IOSTAT_H

#include <cstdint>

#include "sim_model.h"
#include "sim_request.h"

namespace tavsim {

constexpr int kIoStatGroups = 8;  // the reply carries logical drives 0-7

struct IoCounters {
    uint64_t readCommands;
    uint64_t readBlocks;
    uint64_t writeCommands;
    uint64_t writeBlocks;
};

// A steady load added on top of the counted commands.
struct IoLoad {
    uint64_t readPerSecond;  // commands per second
    uint64_t writePerSecond;
    uint64_t blocksPerCommand;
};

struct IoStatRecord {
    uint64_t sinceNs;                   // CLOCK_REALTIME of the last statistics reply (or of the first count)
    IoCounters counted[kIoStatGroups];  // since sinceNs
    IoLoad load[kIoStatGroups];
};
static_assert(sizeof(IoStatRecord) == 8 + 8 * 32 + 8 * 24, "iostat record size is fixed");

// Counts one READ or WRITE of `blocks` blocks that reached logical drive `group`.
void countGroupTransfer(const char* root, unsigned controller, int group, bool write, uint64_t blocks);

// The statistics command: 512 bytes in host byte order, a 16-byte header
// then per logical drive 0-7 read I/Os, read KB, write I/Os, write KB per
// second over the time since the previous reply; the counters start again.
Answer driverStatistics(const ModelContext& ctx, unsigned controller, const Request& req);

// Sets (or, with zero rates, clears) the load generator of one logical drive.
bool setGroupLoad(const char* root, unsigned controller, int group, const IoLoad& load);

}  // namespace tavsim

#endif
