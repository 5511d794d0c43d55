// The driver statistics through the library and the simulator: rates of the
// commands counted per logical drive, the load generator, the totals, and
// the command's retries.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "info_fixture.h"
#include "tavctl.h"
#include "tavctl_perform.h"

namespace {

using infotest::OpenServer;

// Adapter 0: RAID 1 LDs 0 and 1; adapter 1: RAID 1 LD 0.
const char kConfig[] = R"({"adapters": [
 {"host": 2, "model": "ZN5121",
  "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"},
             {"slot": 2, "interface": "SAS"}, {"slot": 3, "interface": "SAS"}],
  "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]}, {"number": 1, "raid": 1, "members": [2, 3]}]},
 {"host": 3, "model": "ZN5120",
  "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"}],
  "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]}]}]})";

double nowSeconds()
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

class DriverStatistics : public ::testing::Test {
protected:
    DriverStatistics() : server(kConfig) {}
    void SetUp() override { ASSERT_TRUE(server.open()); }
    DrvStatistics read(int controller)
    {
        DrvStatistics s;
        memset(&s, 0xAB, sizeof s);
        EXPECT_EQ(1, getDrvstatic(controller, &s)) << std::hex << DLLGetLastError();
        return s;
    }
    OpenServer server;
};

TEST_F(DriverStatistics, LoadGeneratorRatesInRecordOrderWithTotals)
{
    ASSERT_TRUE(server.inject({"load", "0", "0", "100", "40"}));       // 8 blocks: 4 KB each
    ASSERT_TRUE(server.inject({"load", "0", "1", "10", "0", "128"}));  // 64 KB each
    DrvStatistics s = read(0);
    const uint64_t ld0[6] = {100, 40, 400, 160, 0, 0};
    const uint64_t ld1[6] = {10, 0, 640, 0, 0, 0};
    const uint64_t total[6] = {110, 40, 1040, 160, 0, 0};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(ld0[i], s.entry[1][i]) << i;
        EXPECT_EQ(ld1[i], s.entry[2][i]) << i;
        EXPECT_EQ(total[i], s.entry[0][i]) << i;
    }
    for (int e = 3; e < TAV_STAT_ENTRIES; ++e) {
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(0u, s.entry[e][i]) << e << "/" << i;
        }
    }
    EXPECT_EQ(0u, read(1).entry[0][TAV_STAT_READ_IOS]);  // another adapter's load is its own
    ASSERT_TRUE(server.inject({"load", "0", "0", "0", "0"}));
    EXPECT_EQ(10u, read(0).entry[0][TAV_STAT_READ_IOS]);
}

// Counted commands: the rate is their number over the time since the last
// reply, which lies between the two time spans measured around them.
TEST_F(DriverStatistics, CountedReadsAndWritesPerSecond)
{
    uint8_t block[512] = {};
    double t0 = nowSeconds();
    read(0);  // starts the window
    double t1 = nowSeconds();
    const int reads = 40, writes = 20;
    for (int i = 0; i < reads; ++i) {
        ASSERT_EQ(0, CmdExe_Read(0, 1, block));
    }
    for (int i = 0; i < writes; ++i) {
        ASSERT_EQ(0, CmdExe_Write(0, 1, static_cast<uint32_t>(i), block));
    }
    double t2 = nowSeconds();
    DrvStatistics s = read(0);
    double t3 = nowSeconds();
    auto within = [&](uint64_t value, double amount) {
        return value >= static_cast<uint64_t>(amount / (t3 - t0)) && value <= amount / (t2 - t1) + 1;
    };
    uint64_t ld1[6];
    memcpy(ld1, s.entry[2], sizeof ld1);
    EXPECT_TRUE(within(ld1[TAV_STAT_READ_IOS], reads)) << ld1[TAV_STAT_READ_IOS];
    EXPECT_TRUE(within(ld1[TAV_STAT_WRITE_IOS], writes)) << ld1[TAV_STAT_WRITE_IOS];
    EXPECT_TRUE(within(ld1[TAV_STAT_READ_KB], reads / 2.0)) << ld1[TAV_STAT_READ_KB];
    EXPECT_TRUE(within(ld1[TAV_STAT_WRITE_KB], writes / 2.0)) << ld1[TAV_STAT_WRITE_KB];
    EXPECT_GT(ld1[TAV_STAT_READ_IOS], 0u);
    EXPECT_EQ(0u, s.entry[1][TAV_STAT_READ_IOS]);  // LD 0 saw nothing
    EXPECT_EQ(ld1[TAV_STAT_READ_IOS], s.entry[0][TAV_STAT_READ_IOS]);
    EXPECT_EQ(0u, read(0).entry[2][TAV_STAT_READ_IOS]);  // the reply starts a new window
}

TEST_F(DriverStatistics, FourFailuresAreRetriedTheFifthEndsTheCall)
{
    ASSERT_TRUE(server.inject({"adapter-error", "0x123456", "4"}));
    read(0);
    ASSERT_TRUE(server.inject({"adapter-error", "0x123456", "5"}));
    DrvStatistics s;
    memset(&s, 0xAB, sizeof s);
    EXPECT_EQ(0, getDrvstatic(0, &s));
    EXPECT_EQ(DLL_ERROR_COMMAND, DLLGetLastError());
    EXPECT_EQ(0u, s.entry[0][0]);  // left zeroed
}

// The parameter file's failures in the error word (an opened library keeps it).
TEST_F(DriverStatistics, ParameterFileFailuresSetTheSystemError)
{
    const std::string conf = server.server.path("/opt/morvane/tavutility/conf/performance.conf");
    {
        tavtest::DescriptorLimit limit(1);  // the directory opens, the new text's file does not
        EXPECT_EQ(0, stop_AutoStatic());
        EXPECT_EQ(DLL_ERROR_SYSTEM, DLLGetLastError());
    }
    unlink(conf.c_str());
    AutoStaticPara para;
    EXPECT_EQ(1, getAutoStaticPara(&para));
    EXPECT_EQ(TAV_AUTOSTAT_INVALID, para.state);
    EXPECT_EQ(DLL_ERROR_SYSTEM, DLLGetLastError());
}

TEST_F(DriverStatistics, ArgumentsAreCheckedFirst)
{
    DLLSetErrorCode(0x1234);
    EXPECT_EQ(0, getDrvstatic(0, nullptr));
    EXPECT_EQ(0x1234u, DLLGetLastError());  // untouched
    DrvStatistics s;
    EXPECT_EQ(0, getDrvstatic(4, &s));
    EXPECT_EQ(DLL_ERROR_PARAM | DLL_ARG_ERROR_CONTNO, DLLGetLastError());
}

}  // namespace
