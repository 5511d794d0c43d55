// The first trace log write of a process into a full 2,000,000-byte ring
// whose end marker stands in the last slot: the whole ring is read once.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <string>

#include "tavctl.h"
#include "tavtest.h"

namespace {

const int RING_BYTES = 2000000;
const int SLOTS = RING_BYTES / 200;
const int LINE = 201;

std::string paddedLine(const std::string &text)
{
    return text + std::string(200 - text.size(), ' ') + "\n";
}

void restoreLastSlotMarker(const std::string &path)
{
    int fd = open(path.c_str(), O_WRONLY);
    std::string filler = paddedLine("[2026/01/01 00:00:00.000] pid=00001 filler");
    std::string marker = paddedLine("<END>");
    bool ok = fd >= 0 && pwrite(fd, filler.data(), filler.size(), 0) == static_cast<ssize_t>(filler.size()) &&
              pwrite(fd, marker.data(), marker.size(), static_cast<off_t>(SLOTS - 1) * LINE) ==
                  static_cast<ssize_t>(marker.size());
    if (fd >= 0)
        close(fd);
    if (!ok) {
        perror(path.c_str());
        abort();
    }
}

// A fresh directory for the log file; false (the benchmark skipped) when
// it cannot be made.
bool makeLogDir(benchmark::State &state, char *dir)
{
    if (mkdtemp(dir) == nullptr) {
        state.SkipWithError("mkdtemp failed");
        return false;
    }
    return true;
}

void BM_FirstDumpLogIntoFullRing(benchmark::State &state)
{
    char dir[] = "/tmp/tavctl-bench.XXXXXX";
    if (!makeLogDir(state, dir)) {
        return;
    }
    std::string path = std::string(dir) + "/tavbench.log";
    std::string ring;
    ring.reserve(static_cast<size_t>(SLOTS) * LINE);
    for (int i = 0; i < SLOTS; ++i) {
        ring += paddedLine("[2026/01/01 00:00:00.000] pid=00001 line " + std::to_string(i));
    }
    tavtest::writeFile(path, ring);
    restoreLastSlotMarker(path);
    for (auto _ : state) {
        state.PauseTiming();
        initLog(path.c_str(), RING_BYTES);  // a fresh open: the next write searches the ring
        state.ResumeTiming();
        benchmark::DoNotOptimize(dumpLog("tracelog_bench.cpp", 1, "first line", nullptr, 0));
        state.PauseTiming();
        restoreLastSlotMarker(path);
        state.ResumeTiming();
    }
    // The measured write must have landed in the last slot.
    initLog(path.c_str(), RING_BYTES);
    dumpLog("tracelog_bench.cpp", 1, "check line", nullptr, 0);
    std::string after = tavtest::readFile(path);
    if (after.compare(static_cast<size_t>(SLOTS - 1) * LINE, 5, "<END>") == 0 ||
        after.find("check line", static_cast<size_t>(SLOTS - 1) * LINE) == std::string::npos) {
        state.SkipWithError("the first write did not land after the last line");
    }
    finContData();
    unlink(path.c_str());
    rmdir(dir);
}
BENCHMARK(BM_FirstDumpLogIntoFullRing)->Unit(benchmark::kMicrosecond);

// Every later write of the same process, into a ring that keeps wrapping.
void BM_FollowingDumpLog(benchmark::State &state)
{
    char dir[] = "/tmp/tavctl-bench.XXXXXX";
    if (!makeLogDir(state, dir)) {
        return;
    }
    std::string path = std::string(dir) + "/tavbench.log";
    initLog(path.c_str(), 200000);
    dumpLog("tracelog_bench.cpp", 1, "first line", nullptr, 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(dumpLog("tracelog_bench.cpp", 2, "following line", nullptr, 0));
    }
    finContData();
    unlink(path.c_str());
    rmdir(dir);
}
BENCHMARK(BM_FollowingDumpLog)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
