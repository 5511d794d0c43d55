// The command channel against the simulated adapter: record filling, length
// limits, busy retries, check conditions, adapter errors, request layouts
// and the fixed command builders.
#include <errno.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "tavctl.h"
#include "tavctl_internal.h"
#include "tavctl_testutil.h"
#include "tavtest.h"

using tavtest::SimServer;

namespace {

// One adapter with a RAID 1 logical drive 0, served by the given driver.
std::string serverWithDriver(const std::string &version)
{
    return R"({"adapters": [{"host": 2, "model": "ZN5121", "driver_version": ")" + version +
           R"(", "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"}],
              "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]}]}]})";
}

class Channel : public ::testing::Test {
protected:
    explicit Channel(const std::string &config = std::string()) : server(config) {}
    void SetUp() override
    {
        ASSERT_TRUE(server.ok()) << server.initOutput();
        server.activate();
        ASSERT_EQ(initContData(0), 1);
        ASSERT_EQ(ContCnt, 1);
    }
    void TearDown() override { finContData(); }

    uint64_t commandsReceived() const
    {
        return nlohmann::json::parse(server.show())["adapters"][0]["commands"].get<uint64_t>();
    }

    // An INQUIRY record for the adapter, lengths as given.
    void inquiry(SDllLinuxCmd *cmd, uint8_t *data, int lengthIn, int lengthOut) const
    {
        Linux_InitCMD(cmd, 0, data, lengthIn, lengthOut);
        const uint8_t cdb[6] = {0x12, 0, 0, 0, 0xFF, 0};
        memcpy(cmd->cdb, cdb, sizeof cdb);
        cmd->cdbLength = sizeof cdb;
    }

    // An INQUIRY of 255 bytes into `data`.
    uint32_t sendInquiry(uint8_t **detail = nullptr)
    {
        inquiry(&cmd, data, 0, sizeof data);
        return Linux_CmdExe(0, &cmd, detail);
    }

    void inject(const std::vector<std::string> &fault) const
    {
        tavtest::RunResult r = server.inject(fault);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }

    SimServer server;
    SDllLinuxCmd cmd;
    uint8_t data[255];
};

TEST(CommandRecord, InitClearsTheRecordAndSkipsTargetIdSeven)
{
    struct Case {
        int target;
        uint32_t stored;
    };
    const Case cases[] = {{0, 0}, {6, 6}, {7, 8}, {0x0E, 0x0F}, {0x17, 0x18}, {0x16, 0x16}};
    static SDllLinuxCmd cmd;
    uint8_t data[4];
    for (const Case &c : cases) {
        memset(&cmd, 0xAA, sizeof cmd);
        Linux_InitCMD(&cmd, c.target, data, 12, 34);
        EXPECT_EQ(cmd.target, c.stored) << c.target;
        EXPECT_EQ(cmd.data, data);
        EXPECT_EQ(cmd.lengthIn, 12u);
        EXPECT_EQ(cmd.lengthOut, 34u);
        EXPECT_EQ(cmd.cdbLength, 0);
        EXPECT_EQ(cmd.cdb[15], 0);
        EXPECT_EQ(cmd.area[TAV_AREA_SIZE - 1], 0);
    }
}

TEST(CommandRecord, CloseWithoutOpenSucceeds)
{
    EXPECT_EQ(Linux_Close(), 1);
    EXPECT_EQ(Linux_Close(), 1);
}

TEST_F(Channel, LengthsUpTo65536AreSentAndLargerOnesRefusedUnsent)
{
    static uint8_t outgoing[65537];
    uint64_t before = commandsReceived();
    inquiry(&cmd, outgoing, 65536, 255);
    EXPECT_NE(Linux_CmdExe(0, &cmd, nullptr), CMDEXE_SIZE_ERROR);
    EXPECT_EQ(commandsReceived(), before + 1);

    const int refused[][2] = {{65537, 255}, {0, 65537}};
    for (const auto &lengths : refused) {
        inquiry(&cmd, outgoing, lengths[0], lengths[1]);
        EXPECT_EQ(Linux_CmdExe(0, &cmd, nullptr), CMDEXE_SIZE_ERROR);
        EXPECT_EQ(DLLGetLastError(), 0x04000010u);
    }
    EXPECT_EQ(commandsReceived(), before + 1) << "a refused command reached the adapter";
}

TEST_F(Channel, BusyAnswersAreRetriedUntilTheDriverTakesTheCommand)
{
    inject({"busy", "3"});
    uint64_t before = commandsReceived();
    EXPECT_EQ(sendInquiry(), CMDEXE_OK);
    EXPECT_EQ(DLLGetLastError(), 0u);
    EXPECT_EQ(commandsReceived(), before + 4);
}

TEST_F(Channel, ADriverBusyThroughAll350AttemptsGives0x8100)
{
    inject({"busy", "350"});
    uint64_t before = commandsReceived();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sendInquiry(), CMDEXE_DRIVER_BUSY);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(DLLGetLastError(), 0x1000u);
    EXPECT_EQ(commandsReceived(), before + 350);
    EXPECT_GE(seconds, 1.7);
    EXPECT_EQ(cmd.lengthIn & 0xFF000000u, 0u) << "the layout flag stays in the length word";
}

TEST_F(Channel, ACheckConditionLeavesTheSenseDataBehindTheDetailPointer)
{
    inject({"check-condition", "5", "0x24", "0x01"});
    memset(data, 0xEE, sizeof data);
    uint8_t *detail = nullptr;
    EXPECT_EQ(sendInquiry(&detail), CMDEXE_SENSE);
    EXPECT_EQ(DLLGetLastError(), 0x2000u);
    ASSERT_NE(detail, nullptr);
    EXPECT_EQ(detail[2] & 0x0F, 5);
    EXPECT_EQ(detail[12], 0x24);
    EXPECT_EQ(detail[13], 0x01);
    for (int i = 48; i < 256; ++i) {
        ASSERT_EQ(detail[i], 0) << "sense byte " << i << " beyond the 48 copied";
    }
    EXPECT_EQ(0, memcmp(data, cmd.area, sizeof data)) << "the caller's buffer misses the answer";
    EXPECT_EQ(0, memcmp(data, detail, 48));
}

TEST_F(Channel, AnAdapterErrorRecordBecomesEightHexDigits)
{
    inject({"adapter-error", "0x123456"});
    uint8_t *detail = nullptr;
    EXPECT_EQ(sendInquiry(&detail), CMDEXE_ADAPTER_ERROR);
    EXPECT_EQ(DLLGetLastError(), 0x2000u);
    ASSERT_NE(detail, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char *>(detail), "00120056");
}

// What a failed command echoes with TAV_DEBUG set: its call line, the error
// line and detail line (check condition and adapter error only), then the
// lines that describe the answer.
struct FailureTrace {
    const char *name;
    std::vector<std::string> fault;
    uint32_t result;
    const char *expected;  // regular expression of the whole echo
};

const char ERROR_LINES[] = R"(\*{6} ERROR \*{6} OS date: \d{4}/\d\d/\d\d \*\* OS time: \d\d:\d\d:\d\d \*{5} \n)"
                           R"(ERROR:DLLFUNC Linux_CmdExe\(\) DllErrCode=0x00002000\n)";

class ChannelFailureTrace : public Channel, public ::testing::WithParamInterface<FailureTrace> {};

TEST_P(ChannelFailureTrace, EchoesTheFailureInOrder)
{
    const FailureTrace &c = GetParam();
    inject(c.fault);
    tavctltest::ScopedEnv debug("TAV_DEBUG", "1");
    tavctltest::StdoutCapture capture;
    EXPECT_EQ(sendInquiry(), c.result);
    std::string out = capture.text();
    std::string expected = R"(DEBUG MSG : CALL - Linux_CmdExe\(\) CONTno=0 inlen=0 outlen=255\n)";
    expected += c.result == CMDEXE_DRIVER_BUSY ? "" : ERROR_LINES;
    EXPECT_TRUE(std::regex_match(out, std::regex(expected + c.expected))) << out;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ChannelFailureTrace,
    ::testing::Values(
        FailureTrace{"CheckCondition",
                     {"check-condition", "5", "0x24", "0x01"},
                     CMDEXE_SENSE,
                     R"(raidctl\(\d+\) DEBUG MSG : ERROR:IOCTL ErrCode=8192 IOC_CODE=5 IOCerr=\d+\n)"
                     R"(DEBUG MSG : ERROR:IOCTL CONTno=0 HostBbyte=0x[0-9A-F]{2} CmdSts=0x02 RtnCode=0x00000200\n)"
                     R"(DEBUG MSG : ERROR:IOCTL SENSE KEY=0x05 ASC=0x24 ASCQ=0x01\n)"},
        FailureTrace{"AdapterError",
                     {"adapter-error", "0x123456"},
                     CMDEXE_ADAPTER_ERROR,
                     R"(raidctl\(\d+\) DEBUG MSG : ERROR:IOCTL ErrCode=8192 IOC_CODE=5 IOCerr=\d+\n)"
                     R"(DEBUG MSG : ERROR:IOCTL CONTno=0 CmdSts=0x[0-9A-F]{2} RtnCode=0x00007F00\n)"},
        FailureTrace{"IoctlErrno",
                     {"ioctl-error", "EINVAL"},
                     CMDEXE_ADAPTER_ERROR,
                     R"(raidctl\(\d+\) DEBUG MSG : ERROR:IOCTL ErrCode=8192 IOC_CODE=22 IOCerr=\d+\n)"
                     R"(DEBUG MSG : ERROR:IOCTL CONTno=0 CmdSts=0x[0-9A-F]{2} RtnCode=0x00007F00\n)"},
        FailureTrace{"DriverBusy",
                     {"busy", "350"},
                     CMDEXE_DRIVER_BUSY,
                     R"(DEBUG MSG : ERROR:IOCTL CmdSts=0x[0-9A-F]{2} RtnCode=0x00008100\n)"}),
    [](const ::testing::TestParamInfo<FailureTrace> &info) { return std::string(info.param.name); });

TEST_F(Channel, BuildersReturnTheMiddleByteOfTheResult)
{
    uint8_t buffer[512];
    EXPECT_EQ(CmdExe_Inquiry(0, 0, buffer), 0);
    inject({"check-condition", "5", "0x20", "0"});
    EXPECT_EQ(CmdExe_Inquiry(0, 0, buffer), 0x02);
    inject({"adapter-error", "1"});
    EXPECT_EQ(CmdExe_ModeSense(0, 0, 0x3F, buffer), 0x7F);
    inject({"busy", "350"});
    EXPECT_EQ(CmdExe_ReadBuffer(0, 0, 1, buffer), 0x81);
    EXPECT_EQ(CmdExe_ReadBuffer2(0, 0, 1, 1, buffer, 65537, 0), 0x01);
}

TEST_F(Channel, ReadBufferAddressesTheAdapterWhateverTheTarget)
{
    uint8_t viaZero[256], viaFive[256];
    ASSERT_EQ(CmdExe_ReadBuffer(0, 0, 1, viaZero), 0);
    EXPECT_EQ(CmdExe_ReadBuffer(0, 5, 1, viaFive), 0);  // logical drive 5 does not exist
    EXPECT_EQ(0, memcmp(viaZero, viaFive, sizeof viaZero));
}

TEST_F(Channel, SizedBuildersRefuseABufferSmallerThanTheTransfer)
{
    const uint8_t fill = 0xA5;
    uint8_t buffer[512];
    memset(buffer, fill, sizeof buffer);
    const uint32_t sizeError = DLL_ERROR_PARAM | DLL_ARG_ERROR_SIZESPEC;
    EXPECT_EQ(CmdExe_InquirySized(0, 0, buffer, 254), CMDEXE_REFUSED);
    EXPECT_EQ(DLLGetLastError(), sizeError);
    EXPECT_EQ(CmdExe_ModeSenseSized(0, 0, 0x3F, buffer, 254), CMDEXE_REFUSED);
    EXPECT_EQ(CmdExe_ReadSized(0, 0, buffer, 511), CMDEXE_REFUSED);
    for (uint8_t byte : buffer) {
        ASSERT_EQ(byte, fill) << "a refused read wrote into the buffer";
    }
    EXPECT_EQ(CmdExe_WriteSized(0, 0, 0, buffer, 511), CMDEXE_REFUSED);
    uint8_t read[512];
    ASSERT_EQ(CmdExe_ReadSized(0, 0, read, sizeof read), 0);
    EXPECT_NE(read[0], fill) << "a refused write reached the drive";

    DLLSetErrorCode(DLL_ERROR_NONE);
    EXPECT_EQ(CmdExe_InquirySized(0, 0, buffer, 255), 0);
    EXPECT_NE(buffer[8], fill);
    EXPECT_EQ(DLLGetLastError(), 0u);
}

// The request layout follows the driver version: data written through one
// layout and read back must arrive unshifted.
class ChannelLayout : public Channel, public ::testing::WithParamInterface<const char *> {
protected:
    ChannelLayout() : Channel(serverWithDriver(GetParam())) {}
};

TEST_P(ChannelLayout, WriteAndReadBackASectorOfALogicalDrive)
{
    uint8_t written[512], read[512];
    for (int i = 0; i < 512; ++i) {
        written[i] = static_cast<uint8_t>(i * 7 + 3);
    }
    ASSERT_EQ(CmdExe_Write(0, 0, 0, written), 0);
    ASSERT_EQ(CmdExe_Read(0, 0, read), 0);
    EXPECT_EQ(0, memcmp(written, read, sizeof read));
}

INSTANTIATE_TEST_SUITE_P(DriverVersions, ChannelLayout,
                         ::testing::Values("1.2.4.54", "1.2.4.53", "1.2.3.54", "1.2.3.53", "1.2.5.0", "1.2.2.99"));

}  // namespace
