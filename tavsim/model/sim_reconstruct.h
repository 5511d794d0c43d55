// What background operations do to the members' media: restore a member
// position from the others, check that mirrors and parity agree, and write
// them anew. Only blocks that some member's media file holds are visited
// (unwritten stretches of the sparse files read zero on every member).
#ifndef TAVSIM_SIM_RECONSTRUCT_H
#define TAVSIM_SIM_RECONSTRUCT_H

#include <cstdint>

#include "sim_model.h"
#include "sim_state.h"

namespace tavsim {

// Rewrites the media of the drive serving `pos` from the position's mirror
// (RAID 1/10) or from the other positions (RAID 5). False on a media error or
// when a source position holds no current data.
bool reconstructPosition(const ModelContext& ctx, unsigned controller, const AdapterRecord& adapter,
                         const GroupRecord& group, int pos);

// Blocks whose mirror copies or parity row disagree; -1 on a media error.
int64_t countInconsistentBlocks(const ModelContext& ctx, unsigned controller, const AdapterRecord& adapter,
                                const GroupRecord& group);

// Writes every mirror copy (from the first member of its pair) and every
// parity block (from its row's data) anew.
bool writeRedundancy(const ModelContext& ctx, unsigned controller, const AdapterRecord& adapter,
                     const GroupRecord& group);

}  // namespace tavsim

#endif
