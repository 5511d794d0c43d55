#include "sim_inject_flash.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include "sim_flash.h"
#include "sim_operations.h"

namespace tavsim {

namespace {

const char kUsage[] =
    "usage: tavsim inject DIR restart-adapter ADAPTER | operation-progress ADAPTER GROUP PERCENT [hold]";

bool decimal(const std::string& text, unsigned long max, unsigned long* value) {
    char* end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || errno != 0 || *end != '\0' || v > max) return false;
    *value = v;
    return true;
}

AdapterRecord* adapterOf(SimState& state, const std::string& word) {
    unsigned long n;
    if (!decimal(word, kMaxAdapters - 1, &n) || n >= state.adapterCount || !state.adapters[n].present) return nullptr;
    return &state.adapters[n];
}

int placeProgress(SimState& state, const Args& words) {
    unsigned long group, percent;
    AdapterRecord* adapter = words.size() >= 4 ? adapterOf(state, words[1]) : nullptr;
    bool hold = words.size() == 5 && words[4] == "hold";
    if (adapter == nullptr || (words.size() == 5 && !hold) || words.size() > 5 ||
        !decimal(words[2], kMaxGroups - 1, &group) || !decimal(words[3], 100, &percent))
        return complain(kUsage, 2);
    GroupRecord& g = adapter->groups[group];
    if (!g.defined || g.operation == kOpNone) return complain("no operation running on group " + words[2], 1);
    placeOperation(state, *adapter, g, static_cast<double>(percent) / 100.0, hold);
    return 0;
}

std::string revision(const char* text) { return std::string(text, 4); }

}  // namespace

int injectAdapterChange(SimState& state, const Args& words) {
    if (words[0] == "operation-progress") return placeProgress(state, words);
    if (words[0] != "restart-adapter") return -1;
    AdapterRecord* adapter = words.size() == 2 ? adapterOf(state, words[1]) : nullptr;
    if (adapter == nullptr) return complain(kUsage, 2);
    restartAdapter(*adapter);
    return 0;
}

nlohmann::ordered_json showFlash(const AdapterRecord& a) {
    nlohmann::ordered_json j;
    j["bytes_received"] = a.flash.received;
    j["bytes_expected"] = a.flash.expected;
    j["pending_revision"] = a.flash.pending ? nlohmann::ordered_json(revision(a.flash.pendingRevision)) : nullptr;
    j["running_revision"] = revision(a.controller.generalRevision);
    return j;
}

}  // namespace tavsim
