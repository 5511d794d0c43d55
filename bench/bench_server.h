// Opens the control library (shared) on a simulated server for a benchmark;
// skips the benchmark with a reason when that is not possible.
#ifndef BENCH_SERVER_H
#define BENCH_SERVER_H

#include <benchmark/benchmark.h>

#include "tavctl.h"
#include "tavtest.h"

inline bool openSimulatedServer(benchmark::State &state, const tavtest::SimServer &server)
{
    if (!server.ok()) {
        state.SkipWithError("tavsim init failed");
        return false;
    }
    server.activate();
    if (initContData(0) != 1 || ContCnt == 0) {
        state.SkipWithError("no simulated adapter: is the driver shim preloaded?");
        finContData();
        return false;
    }
    return true;
}

#endif
