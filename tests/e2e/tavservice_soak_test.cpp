// Soak of tavservice under the simulator with a clock 1000 times faster
// (one-second debug ticks last a millisecond): event entries, pulled and
// rebuilt drives, micro-reboot dumps, a statistics recording and weekly
// consistency-check schedules flow all the time while command faults are
// armed at random. At the end the service must still run with the
// descriptors it had after warm-up and flat anonymous memory, and have
// logged every event once, written every statistics sample, saved every dump
// and started every scheduled check.
//
// TAV_SOAK_CYCLES sets the processing cycles (default 2000), TAV_SOAK_SEED the
// seed of the faults (default: from the clock; printed either way).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ccschedule_text.h"
#include "perform_text.h"
#include "proc_figures.h"
#include "tavservice_fixture.h"

namespace {

using svctest::countOf;
using svctest::Service;
using tavtest::SimServer;

// LD 0: RAID 1 on drives 0 and 1, pulled and rebuilt over and over; LD 1:
// RAID 1 on drives 2 and 3, checked on schedule and recorded.
const char kServer[] = R"({"adapters":[{"host":2,"model":"ZN5121",
  "drives":[{"slot":0,"interface":"SAS","blocks":65536},{"slot":1,"interface":"SAS","blocks":65536},
            {"slot":2,"interface":"SAS","blocks":65536},{"slot":3,"interface":"SAS","blocks":65536}],
  "logical_drives":[{"number":0,"raid":1,"members":[0,1]},{"number":1,"raid":1,"members":[2,3]}]}],
  "speed":1000})";

// The service's clock starts on a Monday (day 1), 20 minutes before an hour.
const char kClockStart[] = "2026-12-07 00:40:00";
constexpr int kStartDay = 1;
constexpr int kStartHour = 0;

const char kPanic[] = "Firmware panic occurred. errorcode = 0x[";
const char kDumpCreated[] = "Dump file was created. EventID: 00268.";
const char kDumpStopped[] = "stopped writing Dump file.";
const char kCheckStarts[] = "Logical Drive [1] Scheduled Consistency Check starts. EventID: 04501.";
const char kCompleted[] = "The output of statistics information was completed.\n";
const char kFailedSample[] = "Statistics information cannot output due to internal error.";

long envNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atol(v) : fallback;
}

nlohmann::json show(const SimServer& server) {
    auto j = nlohmann::json::parse(server.show(), nullptr, false);
    return j.is_discarded() ? nlohmann::json::object() : j["adapters"][0];
}

// Descriptors of the service between two of its steps: the fewest seen in a
// few looks (a look in the middle of a step sees a file it is writing).
long settledDescriptors(int pid) {
    long fewest = -1;
    for (int i = 0; i < 25; ++i) {
        long n = procfig::openDescriptors(pid);
        if (n >= 0 && (fewest < 0 || n < fewest)) fewest = n;
        std::this_thread::sleep_for(std::chrono::milliseconds(7));
    }
    return fewest;
}

// The system log read on as it grows: the event lines by their text after
// "tavutil: ", counted.
class LogReader {
public:
    explicit LogReader(const SimServer& server) : path_(server.path("/var/log/syslog")) {}
    void poll() {
        std::ifstream in(path_, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(done_));
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t end = text.rfind('\n');
        if (end == std::string::npos) return;
        done_ += end + 1;
        for (size_t start = 0; start <= end;) {
            size_t stop = text.find('\n', start);
            std::string line = text.substr(start, stop - start);
            size_t tag = line.find("]: tavutil: ");
            size_t code = line.find(kPanic);
            if (code != std::string::npos)
                ++panicCodes[line.substr(code + sizeof kPanic - 1, 8)];
            else if (tag != std::string::npos)
                ++lines[line.substr(tag + 12)];
            start = stop + 1;
        }
    }
    size_t containing(const std::string& part) const {
        size_t n = 0;
        for (const auto& l : lines)
            if (l.first.find(part) != std::string::npos) n += l.second;
        return n;
    }
    std::map<std::string, size_t> lines;       // every other event line
    std::map<std::string, size_t> panicCodes;  // firmware panic lines by their error code
    size_t panicLines() const {
        size_t n = 0;
        for (const auto& p : panicCodes) n += p.second;
        return n;
    }

private:
    std::string path_;
    size_t done_ = 0;
};

// A statistics recording requested with tavcli and, once complete, the next.
struct Recordings {
    std::vector<std::pair<std::string, int>> files;  // output file, samples requested
    bool running = false;
};

class Soak : public ::testing::Test {
protected:
    Soak() : server(kServer), log(server) {}

    void SetUp() override {
        ASSERT_TRUE(server.ok()) << server.initOutput();
        cycles = envNumber("TAV_SOAK_CYCLES", 2000);
        seed = static_cast<unsigned>(envNumber("TAV_SOAK_SEED", static_cast<long>(time(nullptr) % 100000)));
        std::printf("soak: %ld processing cycles, fault seed %u (TAV_SOAK_SEED)\n", cycles, seed);
        rng.seed(seed);
        svctest::writeConf(server, "tavlog.conf", "DumpDir : " + server.path("/dumps") + "\nPtime : 5\n");
        svctest::writeConf(server, "eventid.conf", "0 : 5500\n");  // firmware panics start the collector
        std::string tavlog = server.path("/opt/morvane/tavutility/tavlog");
        unlink(tavlog.c_str());
        tavtest::writeFile(tavlog, "#!/bin/sh\necho \"$@\" >> \"$TAV_ROOT/tavlog.calls\"\n");
        chmod(tavlog.c_str(), 0755);
        armSchedule(kStartDay, kStartHour + 1);
    }

    long processed() const { return show(server).value("driver_info_requests", -1L); }

    tavtest::RunResult cli(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{"tavcli"};
        argv.insert(argv.end(), args.begin(), args.end());
        return server.run(argv);
    }

    // The schedule of LD 1 for the given day and hour, set with tavcli (a
    // command that meets a fault or the tool's lock is tried again later).
    void armSchedule(int day, int hour) {
        static const char* const kDays[] = {"-ESU", "-EM", "-ET", "-EW", "-ETH", "-EF", "-ES"};
        char hh[8];
        std::snprintf(hh, sizeof hh, "-T%02d", hour);
        armedDay = day;
        armedHour = hour;
        // A command that met the schedule lock ends with status 0 too: the message tells.
        armed = cli({"-CCSchSet", hh, kDays[day], "-L1", "-a0", "-nochk"}).out ==
                "Adapter 0-VD 1: The setting of the check consistency schedule succeeded.\n";
    }

    // Once the service recorded the start of the armed schedule, arms the next hour.
    void followSchedule() {
        if (!armed) {
            armSchedule(armedDay, armedHour);
            return;
        }
        char started[8];
        std::snprintf(started, sizeof started, "%d%02d", armedDay, armedHour);
        std::string text = tavtest::readFile(server.path(tavtest::kScheduleFile));
        size_t at = text.find("ld1:" + std::string(started) + "2026");
        if (at == std::string::npos) return;
        ++schedulesStarted;
        int next = armedDay * 24 + armedHour + 1;
        armSchedule(next / 24 % 7, next % 24);
    }

    // True once the running recording wrote its completion line and the service is idle again.
    bool recordingDone() const {
        std::string text = tavtest::readFile(recordings.files.back().first);
        if (text.size() < sizeof kCompleted - 1 ||
            text.compare(text.size() - (sizeof kCompleted - 1), std::string::npos, kCompleted) != 0)
            return false;
        return tavtest::readFile(server.path(tavtest::kPerformanceFile)) == tavtest::kIdlePerformanceText;
    }

    // Starts the next recording when the last one is complete.
    void followRecording() {
        if (recordings.running && !recordingDone()) return;
        recordings.running = false;
        std::string file = server.root() + "/stat" + std::to_string(recordings.files.size()) + ".txt";
        int count = std::uniform_int_distribution<int>(20, 400)(rng);
        int interval = std::uniform_int_distribution<int>(1, 3)(rng);
        char interval4[16], count4[16];
        std::snprintf(interval4, sizeof interval4, "-int%04d", interval);
        std::snprintf(count4, sizeof count4, "-freq%d", count);
        if (cli({"-Pfm", "-auto", "-a0", "-L1", "-txt", interval4, count4, "-f" + file}).status != 0) return;
        recordings.files.push_back({file, count});
        recordings.running = true;
    }

    // One step of the drive round: pull member 1 of LD 0, put it back, wait
    // until its rebuild made LD 0 good again.
    void followDriveRound(const nlohmann::json& adapter) {
        if (roundStep == 0) {
            if (server.inject({"remove-drive", "0", "1"}).status == 0) roundStep = 1;
        } else if (roundStep == 1) {
            if (server.inject({"insert-drive", "0", "1"}).status == 0) roundStep = 2;
        } else {
            const auto& ld = adapter["logical_drives"][0];
            if (ld.value("state", -1) == 0 && ld.value("operation", std::string()) == "none") {
                ++driveRounds;
                roundStep = 0;
            }
        }
    }

    // A firmware panic entry carrying its own number, and now and then a command fault.
    void disturb() {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08x", 0x5a000000u + static_cast<unsigned>(panics.size()));
        if (server.inject({"event", "0", "32", "3", "0", "92=0x20", "80=w:" + std::string(code)}).status == 0)
            panics.push_back(code + 2);
        static const std::vector<std::vector<std::string>> kFaults = {
            {"busy", "2"},
            {"ioctl-error", "EIO", "1"},
            {"ioctl-error", "EAGAIN", "1"},
            {"check-condition", "4", "0x44", "0", "1"},
            {"adapter-error", "0x040047", "1"},
        };
        // A dump is announced only when no fault is armed, and no fault is armed
        // while it is copied, so that every dump must be saved.
        bool dumpOutstanding = log.containing(kDumpCreated) + log.containing(kDumpStopped) != microReboots;
        if (dumpOutstanding) return;
        if (std::uniform_int_distribution<int>(0, 3)(rng) == 0) {
            const auto& fault = kFaults[std::uniform_int_distribution<size_t>(0, kFaults.size() - 1)(rng)];
            if (server.inject(fault).status == 0) ++faults;
            lastFaultAt = processed();
        } else if (std::uniform_int_distribution<int>(0, 15)(rng) == 0 && processed() > lastFaultAt + 2) {
            if (server.inject({"micro-reboot", "0"}).status == 0) ++microReboots;
        }
    }

    SimServer server;
    LogReader log;
    long cycles = 0;
    unsigned seed = 0;
    std::mt19937 rng;
    int armedDay = 0, armedHour = 0;
    bool armed = false;
    int schedulesStarted = 0;
    Recordings recordings;
    int roundStep = 0;
    int driveRounds = 0;
    std::vector<std::string> panics;
    size_t microReboots = 0;
    int faults = 0;
    long lastFaultAt = 0;
};

std::string tail(const std::string& text, size_t n) { return text.size() > n ? text.substr(text.size() - n) : text; }

// The sample numbers of one recording in the order written (failed samples included).
std::vector<int> sampleNumbers(const std::string& text) {
    std::vector<int> numbers;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        int n = 0, y = 0, mo = 0, d = 0;
        if (std::sscanf(line.c_str(), "%d %d/%d/%d", &n, &y, &mo, &d) == 4) numbers.push_back(n);
        start = end + 1;
    }
    return numbers;
}

TEST_F(Soak, ServiceRunsLongWithEverythingFlowing) {
    auto wallStart = std::chrono::steady_clock::now();
    Service service(server, {"-d", "-t", "1"}, svctest::fakeTime(std::string("@") + kClockStart + " x1000"));
    ASSERT_TRUE(svctest::logged(server, svctest::kStarted)) << svctest::syslogOf(server);
    const int pid = service.pid();
    const long c0 = processed();
    const long warmUp = c0 + std::max(200L, cycles / 10);

    long fdWarm = -1, anonWarm = -1, anonPeak = 0;
    std::vector<long> rssSeries, anonSeries;
    auto nextSample = std::chrono::steady_clock::now();
    long now = c0;
    while (now < c0 + cycles) {
        ASSERT_TRUE(svctest::alive(pid)) << "the service ended after " << now - c0 << " cycles";
        nlohmann::json adapter = show(server);
        now = adapter.value("driver_info_requests", now);
        disturb();
        followDriveRound(adapter);
        followRecording();
        followSchedule();
        log.poll();
        if (fdWarm < 0 && now >= warmUp) {
            fdWarm = settledDescriptors(pid);
            anonWarm = procfig::statusKb(pid, "RssAnon:");
        }
        if (std::chrono::steady_clock::now() >= nextSample) {
            rssSeries.push_back(procfig::statusKb(pid, "VmRSS:"));
            anonSeries.push_back(procfig::statusKb(pid, "RssAnon:"));
            if (fdWarm >= 0) anonPeak = std::max(anonPeak, anonSeries.back());
            nextSample += std::chrono::seconds(cycles > 20000 ? 10 : 2);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }

    // Quiet down: the drive round and the recording finish, the armed
    // schedule comes due, every entry is consumed.
    auto settled = [&] {
        nlohmann::json adapter = show(server);
        if (roundStep != 0) followDriveRound(adapter);
        if (recordings.running && recordingDone()) recordings.running = false;
        followSchedule();
        log.poll();
        return roundStep == 0 && !recordings.running && schedulesStarted >= 2 &&
               log.containing(kCheckStarts) == size_t(schedulesStarted) &&
               adapter["event_log"].value("pending", -1) == 0 &&
               log.containing(kDumpCreated) + log.containing(kDumpStopped) == microReboots;
    };
    bool quiet = svctest::waitFor(settled);
    long cyclesDone = processed() - c0;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    long fdEnd = settledDescriptors(pid);
    long anonEnd = procfig::statusKb(pid, "RssAnon:");
    rssSeries.push_back(procfig::statusKb(pid, "VmRSS:"));
    anonSeries.push_back(anonEnd);
    anonPeak = std::max(anonPeak, anonEnd);
    ASSERT_TRUE(svctest::alive(pid));
    log.poll();

    // Figures.
    auto series = [](const std::vector<long>& v) {
        std::string s;
        for (long x : v) s += (s.empty() ? "" : " ") + std::to_string(x);
        return s;
    };
    size_t samples = 0, failedSamples = 0;
    for (const auto& r : recordings.files) {
        std::string text = tavtest::readFile(r.first);
        samples += sampleNumbers(text).size();
        failedSamples += countOf(text, kFailedSample);
    }
    std::printf("soak: cycles %ld in %.1f s, seed %u, faults armed %d\n", cyclesDone, wall, seed, faults);
    std::printf("soak: descriptors after warm-up %ld, at the end %ld\n", fdWarm, fdEnd);
    std::printf("soak: VmRSS kB   %s\n", series(rssSeries).c_str());
    std::printf("soak: RssAnon kB %s (after warm-up %ld, peak %ld)\n", series(anonSeries).c_str(), anonWarm,
                anonPeak);
    std::printf("soak: panic entries %zu, logged %zu; drive rounds %d\n", panics.size(), log.panicLines(),
                driveRounds);
    std::printf("soak: recordings %zu, samples %zu (%zu failed by a fault)\n", recordings.files.size(), samples,
                failedSamples);
    std::printf("soak: micro-reboots %zu, dumps saved %zu, stopped by a fault %zu\n", microReboots,
                log.containing(kDumpCreated), log.containing(kDumpStopped));
    std::printf("soak: schedules due %d, check starts logged %zu, checks run %zu, collector runs %zu\n",
                schedulesStarted, log.containing(kCheckStarts),
                log.containing("Check Consistency started on Logical Drive [1]"),
                countOf(tavtest::readFile(server.root() + "/tavlog.calls"), "\n"));

    ASSERT_TRUE(quiet) << "the service did not settle: drive round step " << roundStep << ", recording "
                       << recordings.running << ", schedules " << schedulesStarted << "\nschedule file:\n"
                       << tavtest::readFile(server.path(tavtest::kScheduleFile)) << "performance.conf:\n"
                       << tavtest::readFile(server.path(tavtest::kPerformanceFile)) << "last recording:\n"
                       << tail(recordings.files.empty() ? "" : tavtest::readFile(recordings.files.back().first), 1500)
                       << "trace:\n"
                       << tail(tavtest::readFile(server.path("/opt/morvane/tavutility/tavservice.log")), 3000);
    EXPECT_GE(cyclesDone, cycles);
    EXPECT_EQ(fdEnd, fdWarm);
#if !defined(__SANITIZE_ADDRESS__)
    // Freed memory stays in the sanitizer's quarantine, so only a plain build
    // can tell a leak by the resident size.
    EXPECT_LE(anonPeak - anonWarm, 256) << "kB of anonymous memory grew after warm-up";
#endif

    // Every panic entry once, nothing else with a panic text.
    size_t logged = 0;
    for (const std::string& code : panics) {
        auto n = log.panicCodes.find(code);
        EXPECT_TRUE(n != log.panicCodes.end() && n->second == 1u)
            << "panic entry " << code << " logged " << (n == log.panicCodes.end() ? 0 : n->second) << " times";
        logged += n == log.panicCodes.end() ? 0 : n->second;
    }
    EXPECT_EQ(log.panicLines(), logged) << "panic lines of entries never written";
    // Every pull and return of the drive: each of its lines once per round.
    const std::vector<std::string> roundLines = {
        "Physical Drive [1] was offline.", "Physical Drive [1] was online.", "Rebuild started on Logical Drive [0].",
        "Rebuild completed on Logical Drive [0].", "Logical Drive [0] status changed to Degraded."};
    for (const std::string& text : roundLines) EXPECT_EQ(log.containing(text), size_t(driveRounds)) << text;
    EXPECT_GE(driveRounds, 1);
    // Every recording complete with every sample, numbered 1..count once each.
    ASSERT_GE(recordings.files.size(), 1u);
    for (const auto& r : recordings.files) {
        std::string text = tavtest::readFile(r.first);
        std::vector<int> expected(static_cast<size_t>(r.second));
        for (int i = 0; i < r.second; ++i) expected[static_cast<size_t>(i)] = i + 1;
        EXPECT_EQ(sampleNumbers(text), expected) << r.first;
        EXPECT_EQ(countOf(text, kCompleted), 1u) << r.first;
    }
    // Every dump announced is answered once; a saved one holds the whole window.
    EXPECT_EQ(log.containing(kDumpCreated) + log.containing(kDumpStopped), microReboots);
    if (log.containing(kDumpCreated) > 0) {
        struct stat st;
        ASSERT_EQ(stat(server.path("/dumps/contno0/dump0").c_str(), &st), 0);
        EXPECT_EQ(st.st_size, 0x100000);
    }
    // Every schedule that came due was started once.
    EXPECT_EQ(log.containing(kCheckStarts), size_t(schedulesStarted));
    EXPECT_EQ(countOf(svctest::syslogOf(server), svctest::kStarted), 1u);
    std::string serviceOut = tavtest::readFile(server.root() + "/../service.out");
    EXPECT_EQ(serviceOut.find("Sanitizer"), std::string::npos);
    EXPECT_EQ(serviceOut.find("runtime error"), std::string::npos);
}

}  // namespace
