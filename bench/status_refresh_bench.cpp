// One full status refresh (TavDllLcSetupAdapter) of an adapter with 12 drives
// and 12 logical drives, each drive a one-drive RAID 0: the common status, 12
// group buffers, 12 drive buffers with 12 group buffers for the assigned
// drives, page 0x3E and the restore status. Run with the shim preloaded:
//   LD_PRELOAD=bin/libtavsim_preload.so TAVSIM=bin/tavsim bin/status_refresh_bench
#include <string>

#include <benchmark/benchmark.h>

#include "tavctl.h"
#include "tavdllctl_util.h"
#include "bench_server.h"
#include "tavtest.h"

namespace {

std::string fullAdapter()
{
    std::string drives, groups;
    for (int n = 0; n < TAV_MAX_DRIVES; ++n) {
        const std::string sep = n == 0 ? "" : ", ";
        drives += sep + R"({"slot": )" + std::to_string(n) + R"(, "interface": "SAS"})";
        groups +=
            sep + R"({"number": )" + std::to_string(n) + R"(, "raid": 0, "members": [)" + std::to_string(n) + "]}";
    }
    return R"({"adapters": [{"host": 2, "model": "ZN5121", "drives": [)" + drives + R"(], "logical_drives": [)" +
           groups + "]}]}";
}

void BM_StatusRefresh12Drives12LogicalDrives(benchmark::State &state)
{
    tavtest::SimServer server(fullAdapter());
    if (!openSimulatedServer(state, server)) {
        return;
    }
    for (auto _ : state) {
        if (TavDllLcSetupAdapter(0) != 1) {
            state.SkipWithError("status refresh failed");
            break;
        }
    }
    finContData();
}
BENCHMARK(BM_StatusRefresh12Drives12LogicalDrives)->Unit(benchmark::kMicrosecond)->Repetitions(5);

}  // namespace

BENCHMARK_MAIN();
