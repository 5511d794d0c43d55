// READ/WRITE on logical drives: every block is mapped onto the member drives'
// media files by RAID level (0 striping, 1 mirroring, 10 striped mirrors,
// 5 rotating parity), so a member's media shows real stripes and parity.
#include <cstring>

#include "sim_codec.h"
#include "sim_iostat.h"
#include "sim_member_media.h"
#include "sim_request.h"

namespace tavsim {

namespace {

// Where one logical block lives.
struct Placement {
    int data;      // member position holding the block
    int copy;      // mirror position, or -1
    int parity;    // parity position of the row, or -1
    uint64_t lba;  // block address on the member
};

Placement place(const GroupRecord& g, uint64_t lba) {
    Placement p{0, -1, -1, lba};
    uint64_t stripe = g.stripeBlocks;
    uint64_t n = g.memberCount;
    if (stripe == 0 || n == 0) return p;
    uint64_t s = lba / stripe, offset = lba % stripe;
    if (g.raidCode == kRaid1) {
        uint64_t pairs = n / 2;
        p.data = static_cast<int>(2 * (s % pairs));
        p.copy = p.data + 1;
        p.lba = (s / pairs) * stripe + offset;
    } else if (g.raidCode == kRaid5) {
        p.lba = (s / (n - 1)) * stripe + offset;
        p.parity = parityPosition(g, p.lba);
        p.data = static_cast<int>((static_cast<uint64_t>(p.parity) + 1 + s % (n - 1)) % n);
    } else {
        p.data = static_cast<int>(s % n);
        p.lba = (s / n) * stripe + offset;
    }
    return p;
}

void xorInto(uint8_t* acc, const uint8_t* block) {
    for (uint32_t i = 0; i < kBlockSize; ++i) acc[i] ^= block[i];
}

// Reads the block of position `pos` in a parity row, rebuilding it from the
// other positions when its drive is out.
bool readRowBlock(MemberMedia& media, const GroupRecord& g, int pos, uint64_t lba, uint8_t* out) {
    if (media.usable(pos)) return media.read(pos, lba, out);
    uint8_t other[kBlockSize];
    std::memset(out, 0, kBlockSize);
    for (int i = 0; i < g.memberCount; ++i) {
        if (i == pos) continue;
        if (!media.usable(i) || !media.read(i, lba, other)) return false;
        xorInto(out, other);
    }
    return true;
}

bool readBlock(MemberMedia& media, const GroupRecord& g, uint64_t lba, uint8_t* out) {
    Placement p = place(g, lba);
    if (p.parity >= 0) return readRowBlock(media, g, p.data, p.lba, out);
    if (media.usable(p.data)) return media.read(p.data, p.lba, out);
    return p.copy >= 0 && media.usable(p.copy) && media.read(p.copy, p.lba, out);
}

bool writeParityRow(MemberMedia& media, const GroupRecord& g, const Placement& p, const uint8_t* data) {
    uint8_t parity[kBlockSize];
    uint8_t block[kBlockSize];
    std::memcpy(parity, data, kBlockSize);
    for (int i = 0; i < g.memberCount; ++i) {
        if (i == p.data || i == p.parity) continue;
        if (!readRowBlock(media, g, i, p.lba, block)) return false;
        xorInto(parity, block);
    }
    if (media.usable(p.data) && !media.write(p.data, p.lba, data)) return false;
    return !media.usable(p.parity) || media.write(p.parity, p.lba, parity);
}

bool writeBlock(MemberMedia& media, const GroupRecord& g, uint64_t lba, const uint8_t* data) {
    Placement p = place(g, lba);
    if (p.parity >= 0) return writeParityRow(media, g, p, data);
    bool written = false;
    const int positions[] = {p.data, p.copy};
    for (int pos : positions) {
        if (pos < 0 || !media.usable(pos)) continue;
        if (!media.write(pos, p.lba, data)) return false;
        written = true;
    }
    return written;
}

struct Transfer {
    bool write;
    uint64_t lba;
    uint32_t blocks;
};

Transfer decodeTransfer(const uint8_t* cdb) {
    if (cdb[0] == 0x88 || cdb[0] == 0x8A) return {cdb[0] == 0x8A, get64(cdb + 2), get32(cdb + 10)};
    return {cdb[0] == 0x2A, get32(cdb + 2), get16(cdb + 7)};
}

}  // namespace

Answer readWrite(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, int group, const Request& req) {
    const GroupRecord& g = adapter.groups[group];
    Transfer t = decodeTransfer(req.cdb);
    uint64_t bytes = uint64_t{t.blocks} * kBlockSize;
    if (bytes > kMaxTransfer || (t.write && bytes > req.lengthIn)) return illegalRequest(kAscInvalidFieldInCdb);
    if (t.lba + t.blocks > g.capacityBlocks) return illegalRequest(kAscLbaOutOfRange);
    bool failed = g.state == kLdFailed && !g.stateOverridden;
    if (failed) return checkCondition(kSenseMediumError, t.write ? kAscWriteError : kAscUnrecoveredReadError);
    countGroupTransfer(ctx.root, controller, group, t.write, t.blocks);
    MemberMedia media(ctx, controller, adapter, g);
    if (t.write) {
        for (uint32_t i = 0; i < t.blocks; ++i)
            if (!writeBlock(media, g, t.lba + i, req.dataOut + i * kBlockSize))
                return checkCondition(kSenseMediumError, kAscWriteError);
        return good();
    }
    for (uint32_t i = 0; i < t.blocks; ++i)
        if (!readBlock(media, g, t.lba + i, req.area + i * kBlockSize))
            return checkCondition(kSenseMediumError, kAscUnrecoveredReadError);
    return good();
}

bool writeGroupBlock(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, int group, uint64_t lba,
                     const uint8_t* data) {
    const GroupRecord& g = adapter.groups[group];
    if (lba >= g.capacityBlocks) return false;
    MemberMedia media(ctx, controller, adapter, g);
    return writeBlock(media, g, lba, data);
}

}  // namespace tavsim
