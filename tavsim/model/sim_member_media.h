// The media files behind a logical drive's member positions: each position
// reads and writes the media of the drive that serves it.
#ifndef TAVSIM_SIM_MEMBER_MEDIA_H
#define TAVSIM_SIM_MEMBER_MEDIA_H

#include <cstdint>
#include <sys/types.h>

#include "sim_model.h"
#include "sim_state.h"

namespace tavsim {

// RAID 5 rotates parity: member row r (member blocks r*stripe ..) keeps its
// parity on position n-1 - r mod n.
inline int parityPosition(const GroupRecord& group, uint64_t memberLba) {
    uint64_t n = group.memberCount;
    uint64_t row = memberLba / group.stripeBlocks;
    return static_cast<int>((n - 1) - row % n);
}

// Moves `size` bytes at `offset` in or out of a media file; the number moved,
// short only where a read reaches the end of the file, or -1.
ssize_t transferMedia(int fd, uint8_t* data, size_t size, off_t offset, bool out);

// Files are opened on first use and closed with the object (one command).
class MemberMedia {
public:
    MemberMedia(const ModelContext& ctx, unsigned controller, const AdapterRecord& adapter, const GroupRecord& group);
    ~MemberMedia();
    MemberMedia(const MemberMedia&) = delete;
    MemberMedia& operator=(const MemberMedia&) = delete;

    // The position holds current data (in use, its drive usable); a position
    // a rebuild is restoring does not yet.
    bool usable(int pos) const;

    // `blocks` blocks at member address `lba`; reads past the end give zeros.
    bool read(int pos, uint64_t lba, uint8_t* out, uint32_t blocks = 1);
    bool write(int pos, uint64_t lba, const uint8_t* data, uint32_t blocks = 1);

    // Empties the media of the drive serving the position (all blocks read zero).
    bool clear(int pos);

    // The first block at or after `lba` that the position's media file has
    // allocated (holes of the sparse file read zero); false when there is none.
    bool nextData(int pos, uint64_t lba, uint64_t* found);

private:
    int open(int pos);

    const ModelContext& ctx_;
    unsigned controller_;
    const AdapterRecord& adapter_;
    const GroupRecord& group_;
    int fds_[kMaxMembers];
};

}  // namespace tavsim

#endif
