// The service's statistics logging: a recording requested with tavcli -Pfm
// written in both formats on a frozen clock (one-second ticks), a stop while
// running and while idle, and an output path that is a symbolic link.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "perform_text.h"
#include "tavservice_fixture.h"

namespace {

using svctest::countOf;
using svctest::fakeTime;
using svctest::Service;
using svctest::waitFor;
using tavtest::kPerformanceFile;

// Adapter 0: LDs 0 and 1; adapter 1: LD 0.
const char kConfig[] = R"({"adapters": [
 {"host": 2, "model": "ZN5121",
  "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"}, {"slot": 2, "interface": "SAS"},
             {"slot": 3, "interface": "SAS"}],
  "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]}, {"number": 1, "raid": 1, "members": [2, 3]}]},
 {"host": 3, "model": "ZN5120",
  "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"}],
  "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]}]}]})";

const char kComplete[] = "The output of statistics information was completed.";
const char kStoppedLine[] = "The output of statistics information stopped.";

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

// One sample of the two loaded drives (adapter 0 LD 0, adapter 1 LD 0) at 2026/12/07 14:05.
std::string TextSample(int n) {
    return Format("%5d %4d/%02d/%02d/%02d:%02d  %-7d     %14llu  %14llu  %14llu  %14llu\n", n, 2026, 12, 7, 14, 5, 0,
                  400ull, 160ull, 100ull, 40ull) +
           Format("                        %-7d     %14llu  %14llu  %14llu  %14llu\n", 1, 640ull, 0ull, 10ull, 0ull) +
           "\n" +
           Format("                        %-7d %2d  %14llu  %14llu  %14llu  %14llu\n", 0, 0, 400ull, 160ull, 100ull,
                  40ull) +
           Format("                        %-7d %2d  %14llu  %14llu  %14llu  %14llu\n", 1, 0, 640ull, 0ull, 10ull,
                  0ull) +
           "\n";
}

std::string CommaSample(int n) {
    return Format("%5d,%4d/%02d/%02d/%02d:%02d,%-7d,,%14llu,%14llu,%14llu,%14llu,\n", n, 2026, 12, 7, 14, 5, 0, 400ull,
                  160ull, 100ull, 40ull) +
           Format(",,%-7d,,%14llu,%14llu,%14llu,%14llu,\n", 1, 640ull, 0ull, 10ull, 0ull) + "\n" +
           Format(",,%-7d,%2d,%14llu,%14llu,%14llu,%14llu,\n", 0, 0, 400ull, 160ull, 100ull, 40ull) +
           Format(",,%-7d,%2d,%14llu,%14llu,%14llu,%14llu,\n", 1, 0, 640ull, 0ull, 10ull, 0ull) + "\n";
}

const std::string kTextHead =
    "--- Driver Information ---\n"
    "Count Date              Adapter LD    Read[KB/sec]   Write[KB/sec]   Read[IOs/sec]  Write[IOs/sec]\n";
const std::string kCommaHead =
    "--- Driver Information ---,\n"
    "Count, Date,Adapter,LD,Read[KB/sec],Write[KB/sec],Read[IOs/sec],Write[IOs/sec],\n";

class Statistics : public ::testing::Test {
protected:
    Statistics() : sim(kConfig) {}
    void SetUp() override {
        Prepare();
        // Anything but the idle file: the service's reset at start is seen.
        tavtest::writeFile(Para(), "static_para:9\n");
        StartService();
        ASSERT_TRUE(waitFor([&] { return Idle(); })) << tavtest::readFile(Para());
    }
    void Prepare() {
        ASSERT_TRUE(sim.ok()) << sim.initOutput();
        ASSERT_EQ(sim.inject({"load", "0", "0", "100", "40"}).status, 0);
        ASSERT_EQ(sim.inject({"load", "1", "0", "10", "0", "128"}).status, 0);
    }
    void StartService() {
        service = std::make_unique<Service>(sim, std::vector<std::string>{"-t", "1"}, fakeTime("2026-12-07 14:05:00"));
    }
    std::string Para() const { return sim.path(kPerformanceFile); }
    bool Idle() const { return tavtest::readFile(Para()) == tavtest::kIdlePerformanceText; }
    std::string Out(const std::string& name) const { return sim.root() + "/" + name; }
    tavtest::RunResult Pfm(const std::vector<std::string>& args) const {
        std::vector<std::string> argv{"tavcli", "-Pfm"};
        argv.insert(argv.end(), args.begin(), args.end());
        return sim.run(argv);
    }
    bool Finished(const std::string& file, const std::string& last) const {
        return waitFor([&] {
            std::string text = tavtest::readFile(file);
            return text.size() >= last.size() && text.compare(text.size() - last.size(), last.size(), last) == 0 &&
                   Idle();
        });
    }
    tavtest::SimServer sim;
    std::unique_ptr<Service> service;
};

TEST_F(Statistics, TextAndCommaSeparatedRecordings) {
    const std::string text = Out("stat.txt");
    tavtest::writeFile(text, "an older recording\n");  // replaced, not appended to
    tavtest::RunResult r = Pfm({"-auto", "-a0,1", "-L0", "-txt", "-int0001", "-freq3", "-f" + text});
    ASSERT_EQ(r.out, "Adapter 0,1-VD 0: The automatic statistical information acquisition processing started.\n");
    ASSERT_TRUE(Finished(text, std::string(kComplete) + "\n")) << tavtest::readFile(text);
    EXPECT_EQ(tavtest::readFile(text), kTextHead + TextSample(1) + TextSample(2) + TextSample(3) + kComplete + "\n");
    struct stat st;
    ASSERT_EQ(stat(text.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0500u);

    const std::string csv = Out("stat.csv");
    r = Pfm({"-auto", "-a0,1", "-L0", "-csv", "-int0002", "-freq2", "-f" + csv});
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_TRUE(Finished(csv, std::string(kComplete) + ",\n")) << tavtest::readFile(csv);
    EXPECT_EQ(tavtest::readFile(csv), kCommaHead + CommaSample(1) + CommaSample(2) + kComplete + ",\n");
}

TEST_F(Statistics, AbortWhileRunningAndWhileIdle) {
    EXPECT_EQ(Pfm({"-abort"}).out, "The automatic statistical information acquisition is not executed.\n");
    const std::string text = Out("long.txt");
    ASSERT_EQ(Pfm({"-auto", "-a0", "-L0", "-txt", "-int0001", "-freq1000", "-f" + text}).status, 0);
    ASSERT_TRUE(waitFor([&] { return countOf(tavtest::readFile(text), "2026/12/07/14:05") >= 2; }));
    EXPECT_EQ(Pfm({"-abort"}).out,
              "It succeeded in the acquisition interruption processing of automatic statistical information "
              "beginning.\nPlease wait even for completion a little.\n");
    ASSERT_TRUE(Finished(text, std::string(kStoppedLine) + "\n")) << tavtest::readFile(text);
    std::string written = tavtest::readFile(text);
    EXPECT_EQ(countOf(written, kStoppedLine), 1u);
    EXPECT_EQ(countOf(written, kComplete), 0u);
    EXPECT_EQ(Pfm({"-abort"}).out, "The automatic statistical information acquisition is not executed.\n");
}

// The request names a symbolic link or a directory (written by hand: the
// tool resolves links): the service neither follows, changes nor removes it
// and ends the request.
TEST_F(Statistics, OutputPathThatIsALinkOrADirectoryIsRefused) {
    const std::string victim = Out("victim"), link = Out("link.txt"), directory = Out("dir.txt");
    tavtest::writeFile(victim, "keep\n");
    ASSERT_EQ(chmod(victim.c_str(), 0640), 0);
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    ASSERT_EQ(mkdir(directory.c_str(), 0750), 0);
    for (const std::string& path : {link, directory}) {
        SCOPED_TRACE(path);
        tavtest::writeFile(Para(), tavtest::PerformanceText("1,1,2," + path + ",txt", {"0/0"}));
        ASSERT_TRUE(waitFor([&] { return Idle(); }));
    }
    EXPECT_EQ(tavtest::readFile(victim), "keep\n");
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(stat(directory.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0750u);
}

// What the service finds when it starts.
class StatisticsAtStart : public Statistics {
protected:
    void SetUp() override {
        Prepare();
        tavtest::writeFile(Para(), tavtest::kIdlePerformanceText);
    }
    std::string Trace() const { return tavtest::readFile(sim.path("/opt/morvane/tavutility/tavservice.log")); }
};

// A request tavcli accepted while the service was stopped is carried out
// once it starts; one whose collection had begun writing when the service
// stopped does not survive the restart (the file is reset to idle and the
// output left as it is).
TEST_F(StatisticsAtStart, RequestMadeWhileStoppedIsKeptAndABegunCollectionIsNot) {
    const std::string waiting = Out("waiting.txt");
    ASSERT_EQ(Pfm({"-auto", "-a0,1", "-L0", "-txt", "-int0001", "-freq2", "-f" + waiting}).out,
              "Adapter 0,1-VD 0: The automatic statistical information acquisition processing started.\n");
    const std::string begun = Out("begun.txt");
    StartService();
    ASSERT_TRUE(Finished(waiting, std::string(kComplete) + "\n")) << tavtest::readFile(waiting);
    EXPECT_EQ(tavtest::readFile(waiting), kTextHead + TextSample(1) + TextSample(2) + kComplete + "\n");
    EXPECT_EQ(countOf(Trace(), "keep waiting request"), 1u);
    service.reset();

    tavtest::writeFile(Para(), tavtest::PerformanceText("1,1,5," + begun + ",txt", {"0/0"}));
    tavtest::writeFile(begun, kTextHead + TextSample(1));
    StartService();
    ASSERT_TRUE(waitFor([&] { return Idle(); })) << tavtest::readFile(Para());
    EXPECT_EQ(tavtest::readFile(begun), kTextHead + TextSample(1));
    EXPECT_EQ(countOf(Trace(), "keep waiting request"), 1u);
}

// A directory on a full file system for the test's own mount namespace,
// which the service started afterwards shares.
class FullDirectory {
public:
    explicit FullDirectory(const std::string& dir) : dir_(dir) {
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mkdir(dir.c_str(), 0755) != 0 || mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=4k") != 0) {
            why_ = std::string("cannot mount a small file system: ") + strerror(errno);
            return;
        }
        mounted_ = true;
        int fd = open((dir + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        const std::string block(4096, 'f');
        while (fd >= 0 && write(fd, block.data(), block.size()) > 0) {
        }
        if (fd >= 0) close(fd);
    }
    ~FullDirectory() {
        if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
    }
    const std::string& why() const { return why_; }
    bool ok() const { return mounted_; }

private:
    std::string dir_, why_;
    bool mounted_ = false;
};

// Every write of the samples file fails (disk full): the collection is
// reported as failed in the trace and the system log, never as complete,
// and the request goes back to idle.
TEST_F(StatisticsAtStart, CollectionThatCannotWriteIsReportedAndNotCalledComplete) {
    FullDirectory full(Out("full"));
    if (!full.ok()) GTEST_SKIP() << full.why();
    const std::string text = Out("full/stat.txt");
    ASSERT_EQ(Pfm({"-auto", "-a0", "-L0", "-txt", "-int0001", "-freq2", "-f" + text}).out,
              "Adapter 0-VD 0: The automatic statistical information acquisition processing started.\n");
    StartService();
    ASSERT_TRUE(svctest::logged(sim, "tavutil: tavservice failed to write the statistics information to " + text +
                                             ". EventID: 04770."))
        << svctest::syslogOf(sim);
    ASSERT_TRUE(waitFor([&] { return Idle(); })) << tavtest::readFile(Para());
    EXPECT_EQ(tavtest::readFile(text), "");
    EXPECT_NE(svctest::syslogOf(sim).find("daemon.warning tavservice["), std::string::npos);
    std::string trace = Trace();
    EXPECT_NE(trace.find("!ERR func=prfm_chk_getstate output failed val=2 val=2"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("get compleat"), std::string::npos);
}

// An older output file that is a second hard link of another file is
// replaced by a new file (the other keeps its bytes and mode); a FIFO there is
// refused without waiting on it.
TEST_F(Statistics, OutputPathThatIsAHardLinkIsReplacedAndAFifoRefused) {
    const std::string victim = Out("victim"), linked = Out("linked.txt"), fifo = Out("fifo.txt");
    tavtest::writeFile(victim, "keep\n");
    ASSERT_EQ(chmod(victim.c_str(), 0640), 0);
    ASSERT_EQ(link(victim.c_str(), linked.c_str()), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    tavtest::writeFile(Para(), tavtest::PerformanceText("1,1,2," + linked + ",txt", {"0/0"}));
    ASSERT_TRUE(Finished(linked, std::string(kComplete) + "\n")) << tavtest::readFile(linked);
    EXPECT_EQ(tavtest::readFile(victim), "keep\n");
    struct stat st;
    ASSERT_EQ(stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_nlink, 1u);
    tavtest::writeFile(Para(), tavtest::PerformanceText("1,1,2," + fifo + ",txt", {"0/0"}));
    ASSERT_TRUE(waitFor([&] { return Idle(); }));
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

}  // namespace
