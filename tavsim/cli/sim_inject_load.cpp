// tavsim inject ... load: sets the load generator of one logical drive.
#include "sim_inject_load.h"

#include "sim_iostat.h"

namespace tavsim {

namespace {

constexpr unsigned long kMaxRate = 10000000;  // commands per second
constexpr unsigned long kMaxBlocks = 128;     // the largest transfer the driver carries
constexpr unsigned long kDefaultBlocks = 8;

}  // namespace

int injectLoad(SimState& state, const std::string& root, const Args& words) {
    unsigned long adapter, group, reads, writes, blocks = kDefaultBlocks;
    bool ok = (words.size() == 5 || words.size() == 6) && parseNumber(words[1], 3, &adapter) &&
              parseNumber(words[2], kIoStatGroups - 1, &group) && parseNumber(words[3], kMaxRate, &reads) &&
              parseNumber(words[4], kMaxRate, &writes) &&
              (words.size() == 5 || (parseNumber(words[5], kMaxBlocks, &blocks) && blocks > 0));
    if (!ok) return complain("usage: tavsim inject DIR load ADAPTER LD READS WRITES [BLOCKS]", 2);
    if (adapter >= state.adapterCount || !state.adapters[adapter].present) return complain("no adapter " + words[1], 2);
    IoLoad load{reads, writes, blocks};
    if (!setGroupLoad(root.c_str(), static_cast<unsigned>(adapter), static_cast<int>(group), load))
        return complain("the load of logical drive " + words[2] + " could not be stored");
    return 0;
}

}  // namespace tavsim
