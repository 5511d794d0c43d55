// One Linux_CmdExe round trip (INQUIRY to the adapter) through the driver
// shim and the adapter model. Run with the shim preloaded:
//   LD_PRELOAD=bin/libtavsim_preload.so TAVSIM=bin/tavsim bin/cmdexe_bench
#include <string.h>

#include <benchmark/benchmark.h>

#include "tavctl.h"
#include "bench_server.h"
#include "tavtest.h"

namespace {

void BM_CmdExeInquiryRoundTrip(benchmark::State &state)
{
    tavtest::SimServer server;
    if (!openSimulatedServer(state, server)) {
        return;
    }
    static SDllLinuxCmd cmd;
    uint8_t data[255];
    const uint8_t cdb[6] = {0x12, 0, 0, 0, 0xFF, 0};
    for (auto _ : state) {
        Linux_InitCMD(&cmd, 0, data, 0, sizeof data);
        memcpy(cmd.cdb, cdb, sizeof cdb);
        cmd.cdbLength = sizeof cdb;
        if (Linux_CmdExe(0, &cmd, nullptr) != CMDEXE_OK) {
            state.SkipWithError("INQUIRY failed");
            break;
        }
        benchmark::DoNotOptimize(data);
    }
    finContData();
}
BENCHMARK(BM_CmdExeInquiryRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
