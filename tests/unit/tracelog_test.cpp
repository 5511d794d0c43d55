// The trace log ring: line layout, end marker, wrap, same-data rule, locking
// and a second process continuing after the first.
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tavctl.h"
#include "tavctl_testutil.h"
#include "tavtest.h"

using tavctltest::logLine;
using tavctltest::ScratchRoot;
using tavtest::readFile;

namespace {

const std::string END_LINE = "<END>" + std::string(195, ' ') + "\n";

std::string padded(const std::string &text)
{
    return text + std::string(200 - text.size(), ' ') + "\n";
}

// Whether a process or thread waits for a lock on the file: a blocked ("->")
// line of /proc/locks naming its inode.
bool someoneWaitsForLock(const std::string &path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return false;
    }
    const std::string inode = ":" + std::to_string(info.st_ino) + " ";
    std::istringstream locks(readFile("/proc/locks"));
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") != std::string::npos && line.find(inode) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// The text of a header line after its time stamp and pid, without the
// padding.
std::string afterPid(const std::string &line)
{
    static const std::regex header(R"(^\[\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}\] pid=\d{5,})");
    std::smatch match;
    if (!std::regex_search(line, match, header)) {
        return "<no header>";
    }
    std::string rest = line.substr(static_cast<size_t>(match.length(0)));
    return rest.substr(0, rest.find_last_not_of(" \n") + 1);
}

class TraceLog : public ::testing::Test {
protected:
    void SetUp() override { logPath = scratch.path("/trace.log"); }
    void TearDown() override { finContData(); }
    void open(int maxSize) { ASSERT_EQ(initLog(logPath.c_str(), maxSize), 1); }
    std::string log() const { return readFile(logPath); }

    ScratchRoot scratch;
    std::string logPath;
};

TEST_F(TraceLog, FirstHeaderOfANewFileAtTheTopWithTheMarkerBehindIt)
{
    open(2000000);
    ASSERT_EQ(dumpLog("src/lib/tavcli_main.cpp", 123, "started", nullptr, 0), 1);
    std::string text = log();
    ASSERT_EQ(text.size(), 402u);
    std::string first = logLine(text, 0);
    EXPECT_EQ(afterPid(first), " tavcli_main.cpp(123) started");
    EXPECT_EQ(first.size(), 201u);
    EXPECT_EQ(first.back(), '\n');
    EXPECT_EQ(logLine(text, 1), END_LINE);
    char pid[16];
    snprintf(pid, sizeof pid, "pid=%05d ", static_cast<int>(getpid()));
    EXPECT_NE(first.find(pid), std::string::npos);
}

TEST_F(TraceLog, HeaderWithoutFileOrLineCarriesOnlyTheTitle)
{
    open(2000000);
    ASSERT_EQ(dumpLog(nullptr, 0, "plain", nullptr, 0), 1);
    ASSERT_EQ(dumpLog("x.c", 0, nullptr, nullptr, 0), 1);
    EXPECT_EQ(afterPid(logLine(log(), 0)), " plain");
    EXPECT_EQ(afterPid(logLine(log(), 1)), " x.c");
}

TEST_F(TraceLog, TenSlotRingWrapsAndNeverGrowsPast2010Bytes)
{
    open(2000);
    for (int i = 1; i <= 25; ++i) {
        ASSERT_EQ(dumpLog(nullptr, 0, ("line " + std::to_string(i)).c_str(), nullptr, 0), 1);
        std::string text = log();
        ASSERT_LE(text.size(), 2010u) << "after line " << i;
        size_t slot = static_cast<size_t>(i % 10);  // the marker follows line i
        ASSERT_EQ(logLine(text, slot), END_LINE) << "after line " << i;
        size_t lineSlot = static_cast<size_t>((i - 1) % 10);
        ASSERT_NE(logLine(text, lineSlot).find(" line " + std::to_string(i) + " "), std::string::npos);
    }
}

TEST_F(TraceLog, LongTitleIsCutToTheLineAndControlCharactersBecomeSpaces)
{
    open(2000000);
    std::string title = "a\tb\nc" + std::string(300, 'x');
    ASSERT_EQ(dumpLog("f.cpp", 7, title.c_str(), nullptr, 0), 1);
    std::string line = logLine(log(), 0);
    ASSERT_EQ(line.size(), 201u);
    EXPECT_EQ(line[200], '\n');
    EXPECT_EQ(line[199], 'x');  // the title fills the line to its last column
    EXPECT_NE(line.find(" f.cpp(7) a b c"), std::string::npos);
    EXPECT_EQ(line.find_first_of(std::string("\t\r") + '\0'), std::string::npos);
    EXPECT_EQ(logLine(log(), 1), END_LINE);
}

struct DataCase {
    const char *name;
    std::vector<uint8_t> data;
    std::vector<std::string> lines;  // after the header and the separator
};

std::vector<uint8_t> bytes(size_t count, uint8_t value)
{
    return std::vector<uint8_t>(count, value);
}

const std::string SAME = std::string(25, ' ') + "---  same data  ---";

class TraceLogData : public TraceLog, public ::testing::WithParamInterface<DataCase> {};

TEST_P(TraceLogData, WritesDumpLinesWithTheSameDataRule)
{
    open(2000000);
    const DataCase &c = GetParam();
    ASSERT_EQ(dumpLog("d.cpp", 1, "DATA", c.data.data(), static_cast<unsigned>(c.data.size())), 1);
    std::string text = log();
    ASSERT_EQ(text.size(), (c.lines.size() + 3) * 201);
    EXPECT_EQ(logLine(text, 1), padded(std::string(77, '-')));
    for (size_t i = 0; i < c.lines.size(); ++i) {
        EXPECT_EQ(logLine(text, i + 2), padded(c.lines[i])) << "line " << i;
    }
    EXPECT_EQ(logLine(text, c.lines.size() + 2), END_LINE);
}

std::vector<uint8_t> counting(size_t count)
{
    std::vector<uint8_t> data;
    for (size_t i = 0; i < count; ++i) {
        data.push_back(static_cast<uint8_t>(i));
    }
    return data;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::string LINE_A = "41 41 41 41 41 41 41 41  41 41 41 41 41 41 41 41  AAAAAAAAAAAAAAAA";

INSTANTIATE_TEST_SUITE_P(
    Dumps, TraceLogData,
    ::testing::Values(
        DataCase{"SixtyFourEqualBytes", bytes(64, 'A'), {"00000000: " + LINE_A, SAME, "00000030: " + LINE_A}},
        DataCase{"TwoEqualLinesHaveNoSameDataLine", bytes(32, 'A'), {"00000000: " + LINE_A, "00000010: " + LINE_A}},
        DataCase{"RunEndsAtADifferingLine",
                 concat(bytes(48, 'A'), counting(16)),
                 {"00000000: " + LINE_A, SAME,
                  "00000030: 00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  ................"}},
        DataCase{"PartialLastLine",
                 {'a', '0', 0x01, 0xFF, ' '},
                 {"00000000: 61 30 01 FF 20 " + std::string(3 * 3, ' ') + " " + std::string(8 * 3, ' ') + " a0..."}}),
    [](const ::testing::TestParamInfo<DataCase> &info) { return std::string(info.param.name); });

TEST_F(TraceLog, WithoutAnOpenFileNothingIsWritten)
{
    EXPECT_EQ(dumpLog(nullptr, 0, "nowhere", nullptr, 0), 0);
}

TEST_F(TraceLog, MissingNameIsAnArgumentError)
{
    EXPECT_EQ(initLog(nullptr, 2000), 0);
    EXPECT_EQ(DLLGetLastError(), 0x00100010u);
}

TEST_F(TraceLog, BareNameLandsInTheInstallationDirectory)
{
    scratch.makeDirs("/opt/morvane/tavutility");
    ASSERT_EQ(initLog("tavtest.log", 2000), 1);
    ASSERT_EQ(dumpLog(nullptr, 0, "here", nullptr, 0), 1);
    EXPECT_EQ(readFile(scratch.path("/opt/morvane/tavutility/tavtest.log")).size(), 402u);
    struct stat info;
    ASSERT_EQ(stat(scratch.path("/opt/morvane/tavutility/tavtest.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0744u);
}

// A trace path that is a symbolic link or not a regular file is refused:
// nothing is written through it, created behind it or given another mode.
TEST_F(TraceLog, LinkOrNonRegularPathIsRefusedAndLeftAlone)
{
    struct Case {
        const char *name;
        bool link;      // logPath links to the target; else the target stands at logPath
        bool makeFifo;  // the target is a FIFO; else a regular file, or none when !exists
        bool exists;
    };
    const Case cases[] = {{"LinkToFile", true, false, true},
                          {"LinkToFifo", true, true, true},
                          {"DanglingLink", true, false, false},
                          {"Fifo", false, true, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string target = c.link ? scratch.path(std::string("/target-") + c.name) : logPath;
        if (c.makeFifo) {
            ASSERT_EQ(mkfifo(target.c_str(), 0600), 0);
        } else if (c.exists) {
            tavtest::writeFile(target, "secret\n");
            ASSERT_EQ(chmod(target.c_str(), 0600), 0);
        }
        if (c.link) {
            ASSERT_EQ(symlink(target.c_str(), logPath.c_str()), 0);
        }
        EXPECT_EQ(initLog(logPath.c_str(), 2000), 0);
        EXPECT_EQ(DLLGetLastError(), 0x200u);
        EXPECT_EQ(dumpLog(nullptr, 0, "through the link", nullptr, 0), 0);
        struct stat info;
        if (!c.exists) {
            EXPECT_NE(lstat(target.c_str(), &info), 0) << "the link's target was created";
        } else {
            ASSERT_EQ(lstat(target.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0600u);
            if (!c.makeFifo) {
                EXPECT_EQ(readFile(target), "secret\n");
            }
        }
        unlink(logPath.c_str());
        unlink(target.c_str());
    }
}

// Writes of other processes in between: each write goes after the newest
// line, whoever wrote it, so no process overwrites another's lines.
TEST_F(TraceLog, WritesOfOtherProcessesAreNotOverwritten)
{
    struct Case {
        int maxSize;
        int childLines;  // lines another process writes between this process's two lines
    };
    for (const Case &c : {Case{2000000, 1}, Case{2000000, 3}, Case{2000, 12}}) {
        SCOPED_TRACE(c.childLines);
        unlink(logPath.c_str());
        open(c.maxSize);
        ASSERT_EQ(dumpLog(nullptr, 0, "parent one", nullptr, 0), 1);
        pid_t child = fork();
        if (child == 0) {
            int ok = initLog(logPath.c_str(), c.maxSize);
            for (int i = 0; ok && i < c.childLines; ++i) {
                ok = dumpLog(nullptr, 0, ("child " + std::to_string(i)).c_str(), nullptr, 0);
            }
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_EQ(status, 0);
        ASSERT_EQ(dumpLog(nullptr, 0, "parent two", nullptr, 0), 1);
        std::string text = log();
        const size_t slots = static_cast<size_t>(c.maxSize / 200);
        const size_t written = 2 + static_cast<size_t>(c.childLines);
        size_t last = (written - 1) % slots;
        EXPECT_EQ(afterPid(logLine(text, last)), " parent two");
        EXPECT_EQ(logLine(text, (last + 1) % slots), END_LINE);
        EXPECT_EQ(afterPid(logLine(text, (last + slots - 1) % slots)), " child " + std::to_string(c.childLines - 1));
    }
}

TEST_F(TraceLog, EveryWriteWaitsForTheFileLock)
{
    open(2000000);
    int holder = ::open(logPath.c_str(), O_RDWR);
    ASSERT_EQ(flock(holder, LOCK_EX), 0);
    std::thread writer([] { dumpLog(nullptr, 0, "waited", nullptr, 0); });
    // The deadline only ends a hang; the writer is seen waiting long before.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!someoneWaitsForLock(logPath) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(someoneWaitsForLock(logPath)) << "the writer never waited for the lock";
    EXPECT_EQ(log().size(), 0u) << "written while another holder had the lock";
    flock(holder, LOCK_UN);
    writer.join();
    close(holder);
    EXPECT_EQ(log().size(), 402u);
}

// Lines written by this process before a second writer starts, and the slot
// where that writer's first line must land.
struct ContinueCase {
    int linesBefore;
    size_t expectedSlot;
};

class TraceLogContinue : public TraceLog, public ::testing::WithParamInterface<ContinueCase> {};

TEST_P(TraceLogContinue, SecondProcessContinuesAfterTheLastLine)
{
    open(2000);
    for (int i = 0; i < GetParam().linesBefore; ++i) {
        ASSERT_EQ(dumpLog(nullptr, 0, "first", nullptr, 0), 1);
    }
    pid_t child = fork();
    if (child == 0) {
        int ok = initLog(logPath.c_str(), 2000) && dumpLog(nullptr, 0, "second", nullptr, 0);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(status, 0);
    std::string text = log();
    size_t slot = GetParam().expectedSlot;
    char pid[32];
    snprintf(pid, sizeof pid, "pid=%05d second ", static_cast<int>(child));
    EXPECT_NE(logLine(text, slot).find(pid), std::string::npos) << logLine(text, slot);
    EXPECT_EQ(logLine(text, (slot + 1) % 10), END_LINE);
    EXPECT_LE(text.size(), 2010u);
}

INSTANTIATE_TEST_SUITE_P(Ring, TraceLogContinue,
                         ::testing::Values(ContinueCase{3, 3}, ContinueCase{9, 9}, ContinueCase{13, 3}),
                         [](const ::testing::TestParamInfo<ContinueCase> &info) {
                             return "After" + std::to_string(info.param.linesBefore) + "Lines";
                         });

// A full 2,000,000-byte ring written by hand: the first write of a process
// finds the end marker wherever it stands, across the read blocks.
TEST_F(TraceLog, FirstWriteFindsTheMarkerInAFullRing)
{
    for (size_t markerSlot : {0ul, 325ul, 326ul, 5000ul, 9999ul}) {
        std::string ring;
        ring.reserve(10000 * 201);
        for (size_t i = 0; i < 10000; ++i) {
            ring += i == markerSlot ? END_LINE : padded("old line " + std::to_string(i));
        }
        tavtest::writeFile(logPath, ring);
        open(2000000);
        ASSERT_EQ(dumpLog(nullptr, 0, "new", nullptr, 0), 1);
        std::string text = log();
        ASSERT_EQ(text.size(), ring.size());
        EXPECT_NE(logLine(text, markerSlot).find(" new "), std::string::npos) << markerSlot;
        EXPECT_EQ(logLine(text, (markerSlot + 1) % 10000), END_LINE) << markerSlot;
    }
}

}  // namespace
