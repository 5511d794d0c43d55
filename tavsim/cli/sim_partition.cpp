// Block 0 of a logical drive with or without a partition table, written
// through the model's own RAID mapping so that every member holds what a
// host write would have left there.
#include "sim_partition.h"

#include <cstdlib>
#include <cstring>

#include "sim_model.h"
#include "sim_request.h"

namespace tavsim {

namespace {

constexpr size_t kFirstEntry = 446;  // four 16-byte entries
constexpr size_t kSignature = 510;   // 0x55 0xAA
constexpr uint8_t kLinuxPartition = 0x83;
constexpr uint32_t kFirstSector = 2048;

bool parseIndex(const std::string& text, unsigned long max, unsigned long* value) {
    if (text.size() != 1 && text.size() != 2) return false;
    char* end = nullptr;
    *value = std::strtoul(text.c_str(), &end, 10);
    return *end == '\0' && *value <= max;
}

// One primary Linux partition from sector 2048 on.
void masterBootRecord(uint8_t* block, uint32_t sectors) {
    uint8_t* entry = block + kFirstEntry;
    entry[4] = kLinuxPartition;
    uint32_t length = sectors > kFirstSector ? sectors - kFirstSector : 0;
    for (int i = 0; i < 4; ++i) {
        entry[8 + i] = static_cast<uint8_t>(kFirstSector >> (8 * i));
        entry[12 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    block[kSignature] = 0x55;
    block[kSignature + 1] = 0xAA;
}

}  // namespace

int injectPartition(SimState& state, const std::string& root, const Args& words) {
    unsigned long adapter, group;
    bool clear = words.size() == 4 && words[3] == "clear";
    if ((words.size() != 3 && !clear) || !parseIndex(words[1], 3, &adapter) ||
        !parseIndex(words[2], kMaxGroups - 1, &group))
        return complain("usage: tavsim inject DIR partition ADAPTER LD [clear]", 2);
    if (adapter >= state.adapterCount || !state.adapters[adapter].present) return complain("no adapter " + words[1], 2);
    AdapterRecord& a = state.adapters[adapter];
    GroupRecord& g = a.groups[group];
    if (!g.defined) return complain("no logical drive " + words[2] + " on adapter " + words[1]);
    uint8_t block[kBlockSize] = {};
    if (!clear)
        masterBootRecord(block, static_cast<uint32_t>(g.capacityBlocks > UINT32_MAX ? UINT32_MAX : g.capacityBlocks));
    ModelContext ctx{root.c_str(), &state};
    if (!writeGroupBlock(ctx, static_cast<unsigned>(adapter), a, static_cast<int>(group), 0, block))
        return complain("block 0 of logical drive " + words[2] + " could not be written");
    return 0;
}

}  // namespace tavsim
