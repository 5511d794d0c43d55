// One TavPasInquiry round trip: pass-through lock, the control library's
// command channel, the driver shim and the simulated drive. The program opens
// the control library first, as the log collector does. Run with the shim
// preloaded:
//   LD_PRELOAD=bin/libtavsim_preload.so bin/tavpth_bench
#include <string.h>

#include <benchmark/benchmark.h>

#include "bench_server.h"
#include "tavpth.h"
#include "tavtest.h"

namespace {

void BM_TavPasInquiryRoundTrip(benchmark::State &state)
{
    tavtest::SimServer server;
    if (!openSimulatedServer(state, server)) {
        return;
    }
    uint8_t data[48];
    uint8_t result[TAVPAS_RESULT_SIZE];
    for (auto _ : state) {
        PassThroughInfo info;
        memset(&info, 0, sizeof info);
        info.direction = TAVPAS_FROM_DRIVE;
        const uint8_t cdb[8] = {0, 1, 0, 0, 0, 0, sizeof data, 0};
        memcpy(info.cdb, cdb, sizeof cdb);
        info.cdbLength = sizeof cdb;
        info.targetNo = 1;
        uint32_t length = sizeof data;
        uint32_t resultLength = sizeof result;
        if (TavPasInquiry(&info, data, &length, result, &resultLength) != TAVPAS_OK) {
            state.SkipWithError("TavPasInquiry failed");
            break;
        }
        benchmark::DoNotOptimize(data);
    }
    finContData();
}
BENCHMARK(BM_TavPasInquiryRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
