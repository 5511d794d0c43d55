#include "sim_reconstruct.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "sim_member_media.h"
#include "sim_topology.h"

namespace tavsim {

namespace {

constexpr uint32_t kChunkBlocks = 128;

uint32_t bit(int pos) { return 1u << pos; }

// Redundancy sets: positions whose blocks XOR to zero at every member
// address. RAID 5 has one set (all positions), RAID 1/10 one per mirror pair.
int setCount(const GroupRecord& g) { return g.raidCode == kRaid1 ? g.memberCount / 2 : 1; }

uint32_t setMask(const GroupRecord& g, int set) {
    if (g.raidCode == kRaid1) return 3u << (2 * set);
    return (1u << g.memberCount) - 1;
}

int setOf(const GroupRecord& g, int pos) { return g.raidCode == kRaid1 ? pos / 2 : 0; }

// The position whose block a set's others determine: the second of a mirror
// pair, the parity position of a RAID 5 row.
int redundantPosition(const GroupRecord& g, int set, uint64_t lba) {
    return g.raidCode == kRaid1 ? 2 * set + 1 : parityPosition(g, lba);
}

bool redundant(const GroupRecord& g) {
    return (g.raidCode == kRaid1 || g.raidCode == kRaid5) && g.stripeBlocks > 0 && g.memberCount >= 2;
}

// The member stretches [lba, lba + count) below `span` where a position of
// `mask` holds data, in chunks within one stripe row; false when visit fails.
template <typename Visit>
bool forEachDataChunk(MemberMedia& media, const GroupRecord& g, uint32_t mask, uint64_t span, Visit visit) {
    uint64_t cursor = 0;
    while (cursor < span) {
        uint64_t next = span;
        for (int i = 0; i < g.memberCount; ++i) {
            uint64_t found;
            if ((mask & bit(i)) != 0 && media.nextData(i, cursor, &found)) next = std::min(next, found);
        }
        if (next >= span) return true;
        uint64_t count = std::min<uint64_t>({kChunkBlocks, span - next, g.stripeBlocks - next % g.stripeBlocks});
        if (!visit(next, static_cast<uint32_t>(count))) return false;
        cursor = next + count;
    }
    return true;
}

// XOR of the blocks of the positions in `mask` except `skip` (-1: none).
class SetXor {
public:
    explicit SetXor(MemberMedia& media) : media_(media), acc_(kChunkBlocks * kBlockSize), buf_(acc_.size()) {}

    bool compute(const GroupRecord& g, uint32_t mask, int skip, uint64_t lba, uint32_t blocks) {
        size_t size = size_t{blocks} * kBlockSize;
        std::memset(acc_.data(), 0, size);
        for (int i = 0; i < g.memberCount; ++i) {
            if ((mask & bit(i)) == 0 || i == skip) continue;
            if (!media_.read(i, lba, buf_.data(), blocks)) return false;
            for (size_t k = 0; k < size; ++k) acc_[k] ^= buf_[k];
        }
        return true;
    }

    const uint8_t* result() const { return acc_.data(); }

    uint32_t nonzeroBlocks(uint32_t blocks) const {
        uint32_t n = 0;
        for (uint32_t b = 0; b < blocks; ++b) {
            const uint8_t* p = acc_.data() + size_t{b} * kBlockSize;
            if (std::any_of(p, p + kBlockSize, [](uint8_t v) { return v != 0; })) ++n;
        }
        return n;
    }

private:
    MemberMedia& media_;
    std::vector<uint8_t> acc_;
    std::vector<uint8_t> buf_;
};

bool allUsable(const MemberMedia& media, const GroupRecord& g, uint32_t mask) {
    for (int i = 0; i < g.memberCount; ++i)
        if ((mask & bit(i)) != 0 && !media.usable(i)) return false;
    return true;
}

}  // namespace

bool reconstructPosition(const ModelContext& ctx, unsigned controller, const AdapterRecord& adapter,
                         const GroupRecord& group, int pos) {
    if (!redundant(group)) return false;
    MemberMedia media(ctx, controller, adapter, group);
    uint32_t sources = setMask(group, setOf(group, pos)) & ~bit(pos);
    if (!allUsable(media, group, sources) || !media.clear(pos)) return false;
    SetXor x(media);
    return forEachDataChunk(media, group, sources, memberSpan(adapter, group), [&](uint64_t lba, uint32_t n) {
        return x.compute(group, sources, -1, lba, n) && media.write(pos, lba, x.result(), n);
    });
}

int64_t countInconsistentBlocks(const ModelContext& ctx, unsigned controller, const AdapterRecord& adapter,
                                const GroupRecord& group) {
    if (!redundant(group)) return 0;
    MemberMedia media(ctx, controller, adapter, group);
    SetXor x(media);
    int64_t inconsistent = 0;
    uint32_t all = (1u << group.memberCount) - 1;
    if (!allUsable(media, group, all)) return -1;
    bool ok = forEachDataChunk(media, group, all, memberSpan(adapter, group), [&](uint64_t lba, uint32_t n) {
        for (int set = 0; set < setCount(group); ++set) {
            if (!x.compute(group, setMask(group, set), -1, lba, n)) return false;
            inconsistent += x.nonzeroBlocks(n);
        }
        return true;
    });
    return ok ? inconsistent : -1;
}

bool writeRedundancy(const ModelContext& ctx, unsigned controller, const AdapterRecord& adapter,
                     const GroupRecord& group) {
    if (!redundant(group)) return false;
    MemberMedia media(ctx, controller, adapter, group);
    SetXor x(media);
    uint32_t all = (1u << group.memberCount) - 1;
    if (!allUsable(media, group, all)) return false;
    return forEachDataChunk(media, group, all, memberSpan(adapter, group), [&](uint64_t lba, uint32_t n) {
        for (int set = 0; set < setCount(group); ++set) {
            int target = redundantPosition(group, set, lba);
            if (!x.compute(group, setMask(group, set), target, lba, n) || !media.write(target, lba, x.result(), n))
                return false;
        }
        return true;
    });
}

}  // namespace tavsim
