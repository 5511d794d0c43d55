// Error registry, trace table, error and detail lines, TAV_DEBUG echo and
// DETAIL dumps, and the small helpers beside them.
#include <errno.h>
#include <pthread.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tavctl.h"
#include "tavctl_testutil.h"
#include "tavtest.h"

using tavctltest::logLine;
using tavctltest::ScopedEnv;
using tavctltest::ScratchRoot;
using tavctltest::StdoutCapture;
using tavtest::readFile;

namespace {

const char TIME_STAMP[] = R"(\d{4}/\d\d/\d\d)";

// The text of every header line of a trace log after its time stamp and
// pid, padding removed.
std::vector<std::string> logTexts(const std::string &log)
{
    static const std::regex header(R"(^\[[^\]]*\] pid=\d{5,} ?)");
    std::vector<std::string> texts;
    for (size_t i = 0; !logLine(log, i).empty(); ++i) {
        std::string line = logLine(log, i);
        if (line.compare(0, 5, "<END>") == 0) {
            break;
        }
        line = std::regex_replace(line, header, "");
        texts.push_back(line.substr(0, line.find_last_not_of(" \n") + 1));
    }
    return texts;
}

class ErrorTrace : public ::testing::Test {
protected:
    void SetUp() override
    {
        logPath = scratch.path("/trace.log");
        ASSERT_EQ(initLog(logPath.c_str(), 2000000), 1);  // also opens this thread's error slot
    }
    void TearDown() override { finContData(); }
    std::vector<std::string> lines() const { return logTexts(readFile(logPath)); }

    ScratchRoot scratch;
    ScopedEnv noDebug{"TAV_DEBUG", nullptr};
    std::string logPath;
};

TEST_F(ErrorTrace, SuccessLeavesNothingAndAnErrorWritesTheCycleBeforeItsLine)
{
    for (int i = 1; i <= 8; ++i) {
        DLL_Dprintf(3, "step %d\n", i);
    }
    EXPECT_TRUE(lines().empty()) << "nine trace lines of a successful cycle reached the file";

    DLL_Dprintf(3, "step %d\n", 9);
    DLL_Dprintf(3, "step %d\n", 10);  // the eleventh line of the cycle (initLog wrote the first)
    Debug_print_err(1, 0x100, "getContInfo", "raidctl", 42);
    std::vector<std::string> expected = {"CALL - initLog() TraceFile=" + logPath + " MaxFileSize=2000000"};
    for (int i = 1; i <= 9; ++i) {
        expected.push_back("step " + std::to_string(i));
    }
    expected.push_back("raidctl(42) ERROR:DLLFUNC getContInfo() DllErrCode=0x00000100");
    EXPECT_EQ(lines(), expected);

    // The flush closed the cycle: the next error line stands alone.
    Debug_print_err(1, 0x20, "setWriteCache", "raidctl", 43);
    EXPECT_EQ(lines().back(), "raidctl(43) ERROR:DLLFUNC setWriteCache() DllErrCode=0x00000020");
    EXPECT_EQ(lines().size(), expected.size() + 1);
}

struct DetailCase {
    const char *name;
    uint32_t code;
    uint32_t commandError;
    uint32_t argCode;
    int sysErrno;
    const char *expected;  // null: nothing written
};

class DetailLine : public ErrorTrace, public ::testing::WithParamInterface<DetailCase> {};

TEST_P(DetailLine, ChosenByTheClassBits)
{
    const DetailCase &c = GetParam();
    char dir[256];
    ASSERT_EQ(getInstallDir(sizeof dir, dir), 0);  // records "stat" as the failed call
    Debug_print_msg(1, c.code, c.commandError, c.argCode, c.sysErrno, "dll_mod", 77);
    std::vector<std::string> texts = lines();
    if (c.expected == nullptr) {
        EXPECT_TRUE(texts.empty());
        return;
    }
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), std::string("dll_mod(77) ") + c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, DetailLine,
    ::testing::Values(
        DetailCase{"System", 0x200, 0, 0, ENOENT, "ERROR:SYSTEM stat() ErrCode=2 Detail=No such file or directory"},
        DetailCase{"SystemWins", 0x2200, 5, 0, EIO, "ERROR:SYSTEM stat() ErrCode=5 Detail=Input/output error"},
        DetailCase{"Command", 0x2000, 2, 0, 5, "ERROR:IOCTL ErrCode=8192 IOC_CODE=5 IOCerr=2"},
        DetailCase{"DriverBusy", 0x1000, 0, 0, 0, "ERROR:IOCTL ErrCode=4096 IOC_CODE=0 IOCerr=0"},
        DetailCase{"Argument", 0x10, 0, 0x20000, 0, "ERROR:PARAM DLL_ARG_ERROR_CONTNO"},
        DetailCase{"OtherClass", 0x40, 0, 0, 0, nullptr}, DetailCase{"Locked", 0x4000, 0, 0x4000, 0, nullptr}),
    [](const ::testing::TestParamInfo<DetailCase> &info) { return std::string(info.param.name); });

struct ArgName {
    uint32_t code;
    const char *name;
};

TEST_F(ErrorTrace, ArgumentCodesHaveTheirMessageNames)
{
    const ArgName names[] = {
        {0x00010000, "DLL_ARG_ERROR_NO_SUCH_CONTROLLER"},
        {0x00020000, "DLL_ARG_ERROR_CONTNO"},
        {0x00040000, "DLL_ARG_ERROR_PRIORITY"},
        {0x00080000, "DLL_ARG_ERROR_GROUPNO"},
        {0x00100000, "DLL_ARG_ERROR_NULL"},
        {0x00200000, "DLL_ARG_ERROR_CONFIGLD"},
        {0x00400000, "DLL_ARG_ERROR_HDDNO"},
        {0x00800000, "DLL_ARG_ERROR_BUZZER"},
        {0x01000000, "DLL_ARG_ERROR_LOGINDEX"},
        {0x02000000, "DLL_ARG_ERROR_NVOFFSET"},
        {0x04000000, "DLL_ARG_ERROR_SIZESPEC"},
        {0x08000000, "DLL_ARG_ERROR_GLIST_PREVENTLIMIT"},
        {0x00008000, "DLL_ERROR_IOCTL_BUSY"},
    };
    for (const ArgName &entry : names) {
        EXPECT_STREQ(ArgErrCode2msg(entry.code), entry.name);
    }
    EXPECT_EQ(DLLGetLastError(), 0u);
    EXPECT_TRUE(lines().empty());
}

TEST_F(ErrorTrace, UnknownArgumentCodeIsAnInternalError)
{
    EXPECT_STREQ(ArgErrCode2msg(0x4000), "");
    EXPECT_EQ(DLLGetLastError(), 0x100u);
    ASSERT_FALSE(lines().empty());
    EXPECT_NE(lines().back().find("ERROR:DLLFUNC ArgErrCode2msg() DllErrCode=0x00000100"), std::string::npos);
}

TEST_F(ErrorTrace, DebugEchoPrintsTraceErrorAndDetailLines)
{
    ScopedEnv debug("TAV_DEBUG", "1");
    StdoutCapture capture;
    DLL_Dprintf(3, "CALL - %s() CONTno=%d\n", "getContInfo", 0);
    Debug_print_err(1, 0x00100010, "getContInfo", "raidctl", 12);
    Debug_print_msg(1, 0x10, 0, 0x00100000, 0, "raidctl", 12);
    TavDllCtlDump("RD_CONTpara", "abc", 3);  // a digit asks for no dumps
    std::string out = capture.text();
    std::regex expected(std::string("DEBUG MSG : CALL - getContInfo\\(\\) CONTno=0\n"
                                    "\\*{6} ERROR \\*{6} OS date: ") +
                        TIME_STAMP +
                        " \\*\\* OS time: \\d\\d:\\d\\d:\\d\\d \\*{5} \n"
                        "ERROR:DLLFUNC getContInfo\\(\\) DllErrCode=0x00100010\n"
                        "raidctl\\(12\\) DEBUG MSG : ERROR:PARAM DLL_ARG_ERROR_NULL\n");
    EXPECT_TRUE(std::regex_match(out, expected)) << out;
}

TEST_F(ErrorTrace, TheEleventhLineIsEchoedButNotKept)
{
    ScopedEnv debug("TAV_DEBUG", "yes");
    StdoutCapture capture;
    for (int i = 2; i <= 11; ++i) {
        DLL_Dprintf(3, "line %d\n", i);
    }
    std::string out = capture.text();
    EXPECT_NE(out.find("DEBUG MSG : line 11\n"), std::string::npos);
    Debug_print_err(1, 0x200, "op", "raidctl", 1);
    std::vector<std::string> texts = lines();
    ASSERT_EQ(texts.size(), 11u);
    EXPECT_EQ(texts[9], "line 10");
    EXPECT_EQ(texts[10], "raidctl(1) ERROR:DLLFUNC op() DllErrCode=0x00000200");
}

TEST(DetailDump, FormatOfAHexDump)
{
    ScopedEnv debug("TAV_DEBUG", "DETAILED");
    const uint8_t data[20] = {'0', '1', 'A', 'z', 0x00, 0x7F, 0xFF, ' ', 8,   9,
                              10,  11,  12,  13,  14,   15,   'x',  '.', 'y', 0};
    StdoutCapture capture;
    TavDllCtlDump("CDB", data, sizeof data);
    TavDllCtlDump("EMPTY", data, 0);
    EXPECT_EQ(capture.text(), "\n[CDB] Size=20\n" + std::string(77, '-') +
                                  "\n"
                                  "00000000: 30 31 41 7A 00 7F FF 20  08 09 0A 0B 0C 0D 0E 0F  01Az............\n"
                                  "00000010: 78 2E 79 00 " +
                                  std::string(4 * 3 + 1 + 8 * 3, ' ') +
                                  " x.y.\n"
                                  "\n"
                                  "\n[EMPTY] Size=0\n"
                                  "\n");
}

// 32 threads hold a slot each; the 33rd goes without an error word.
struct SlotRace {
    pthread_barrier_t registered;
    pthread_barrier_t checked;
    int results[33];
    uint32_t readBack[33];
};

struct SlotThreadArgs {
    SlotRace *race;
    int index;
};

void *holdSlot(void *arg)
{
    SlotThreadArgs *self = static_cast<SlotThreadArgs *>(arg);
    SlotRace *race = self->race;
    if (self->index < 32) {
        race->results[self->index] = registerDLLError();
    }
    pthread_barrier_wait(&race->registered);
    if (self->index == 32) {
        race->results[32] = registerDLLError();
    }
    DLLSetErrorCode(0x1000u + static_cast<uint32_t>(self->index));
    race->readBack[self->index] = DLLGetLastError();
    pthread_barrier_wait(&race->checked);
    return nullptr;
}

TEST(ErrorSlots, ThirtyTwoThreadsEachKeepTheirOwnWordAndTheThirtyThirdHasNone)
{
    initDLLError();
    SlotRace race{};
    pthread_barrier_init(&race.registered, nullptr, 33);
    pthread_barrier_init(&race.checked, nullptr, 33);
    std::vector<pthread_t> threads(33);
    std::vector<SlotThreadArgs> args(33);
    for (int i = 0; i < 33; ++i) {
        args[i] = SlotThreadArgs{&race, i};
        pthread_create(&threads[i], nullptr, holdSlot, &args[i]);
    }
    for (pthread_t thread : threads) {
        pthread_join(thread, nullptr);
    }
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(race.results[i], 1) << i;
        EXPECT_EQ(race.readBack[i], 0x1000u + static_cast<uint32_t>(i)) << i;
    }
    EXPECT_EQ(race.results[32], 0);
    EXPECT_EQ(race.readBack[32], 0u);
    pthread_barrier_destroy(&race.registered);
    pthread_barrier_destroy(&race.checked);
    initDLLError();
}

TEST(ErrorSlots, AThreadWithoutASlotLosesItsCodesSilently)
{
    initDLLError();
    EXPECT_EQ(DLLSetErrorCode(0x200), 0);
    EXPECT_EQ(DLLGetLastError(), 0u);
    int index = -1;
    EXPECT_EQ(findDLLErrorIndex(&index), 0);
    ASSERT_EQ(registerDLLError(), 1);
    EXPECT_EQ(findDLLErrorIndex(&index), 1);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(DLLSetErrorCode(0x200), 1);
    EXPECT_EQ(DLLGetLastError(), 0x200u);
    freeDLLError();
    EXPECT_EQ(DLLGetLastError(), 0u);
}

TEST(DebugLevel, OnlyOneToFourAreAccepted)
{
    const int expected[] = {0, 1, 1, 1, 1, 0};
    for (int level = 0; level <= 5; ++level) {
        EXPECT_EQ(DLLSetDebugLevel(level), expected[level]) << level;
    }
    EXPECT_EQ(DLLSetDebugLevel(-1), 0);
}

TEST(InstallDir, ResolvedBelowTheRootWhenThatDirectoryExists)
{
    ScratchRoot scratch;
    initDLLError();
    registerDLLError();
    char buffer[512];
    EXPECT_EQ(getInstallDir(sizeof buffer, buffer), 0);
    EXPECT_EQ(DLLGetLastError(), 0x200u);

    DLLSetErrorCode(0);
    scratch.makeDirs("/opt/morvane/tavutility");
    std::string expected = scratch.path("/opt/morvane/tavutility/");
    ASSERT_EQ(getInstallDir(sizeof buffer, buffer), 1);
    EXPECT_EQ(std::string(buffer), expected);
    {
        ScopedEnv slash("TAV_ROOT", (scratch.root() + "/").c_str());
        ASSERT_EQ(getInstallDir(sizeof buffer, buffer), 1);
        EXPECT_EQ(std::string(buffer), expected);
    }
    EXPECT_EQ(getInstallDir(static_cast<int>(expected.size()), buffer), 0) << "no room for the terminator";
    EXPECT_EQ(DLLGetLastError(), 0u);
}

TEST(DebugTime, StampWithLocalDateAndTime)
{
    char buffer[64];
    ASSERT_EQ(Debug_time(buffer, 0), buffer);
    EXPECT_TRUE(std::regex_match(
        buffer, std::regex(std::string("-----  OS: date ") + TIME_STAMP + R"( -- time: \d\d:\d\d:\d\d )")))
        << buffer;
}

TEST(DebugOnFile, WritesItsBannerAndKeepsTheFilePrivate)
{
    ScratchRoot scratch;
    initDLLError();
    registerDLLError();
    std::string path = scratch.path("/debug.log");
    ASSERT_EQ(DebugOn(path.c_str()), 1);
    ASSERT_EQ(DebugOn(path.c_str()), 1);  // appends a second banner
    std::string text = readFile(path);
    std::regex banner(std::string("============== raidctl Debug log file =================\n"
                                  "=====  OS date: ") +
                      TIME_STAMP +
                      R"( == time: \d\d:\d\d:\d\d ==\n=====  compiled date: [A-Z][a-z]{2} [ \d]\d \d{4} =====\n)"
                      "DLL version = 5\\.0\n");
    std::string one = text.substr(0, text.size() / 2);
    EXPECT_TRUE(std::regex_match(one, banner)) << text;
    EXPECT_EQ(text.substr(text.size() / 2).size(), one.size());
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    EXPECT_EQ(DebugOn(scratch.path("/missing/dir/debug.log").c_str()), 0);
    EXPECT_EQ(DLLGetLastError(), 0x200u);
}

// At most 240 characters of the name are kept: a longer name is refused, not
// cut into the name of another file.
TEST(DebugOnFile, NameLongerThanTheKeptLengthIsRefused)
{
    ScratchRoot scratch;
    initDLLError();
    registerDLLError();
    std::string directory = scratch.path("/");
    ASSERT_LT(directory.size(), 200u);
    std::string fits = directory + std::string(240 - directory.size(), 'k');
    std::string tooLong = fits + "x";
    EXPECT_EQ(DebugOn(tooLong.c_str()), 0);
    EXPECT_EQ(DLLGetLastError(), 0x200u);
    EXPECT_NE(access(fits.c_str(), F_OK), 0) << "the cut name was opened";
    EXPECT_NE(access(tooLong.c_str(), F_OK), 0);
    EXPECT_EQ(DebugOn(fits.c_str()), 1);
    EXPECT_EQ(access(fits.c_str(), F_OK), 0);
}

}  // namespace
