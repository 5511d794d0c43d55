// The pass-through frame and the typed entry points against the simulated
// drives: argument checks, the completion mapping, the lock file, and the
// operation codes the typed commands place or check.
#include <errno.h>
#include <string.h>

#include <functional>
#include <string>

#include "tavpth_fixture.h"

using namespace tavpthtest;

namespace {

class Frame : public PassThrough {};

TEST_F(Frame, InquiryOfAWrappedRequestPlacesItsCodeAndReturnsTheDrivesIdentity)
{
    PassThroughInfo info = wrapped(1, true, {0x00, 0, 0, 0, 48, 0});
    info.cdb[0] = 0;
    uint8_t data[48] = {};
    uint32_t length = sizeof data;
    Outcome o = run([&](uint8_t *r, uint32_t *rl) { return TavPasInquiry(&info, data, &length, r, rl); });
    ASSERT_EQ(o.code, TAVPAS_OK);
    EXPECT_EQ(info.cdb[0], 0xBB);
    EXPECT_EQ(info.cdb[2], 0x12);
    EXPECT_EQ(info.cdbLength, 8u);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data + 8), 8), "MORVANE ");
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data + 16), 9), "MBB2147RC");
    EXPECT_EQ(o.result[0], 0) << "the result buffer is untouched on success";
    EXPECT_FALSE(lockFileExists());
}

TEST_F(Frame, ArgumentErrorsGiveTheirDetailCodeAndFreeTheLock)
{
    struct Case {
        const char *name;
        bool info, lengthPointer, data;
        uint32_t length, resultSize;
        uint8_t direction;
        uint8_t detail;  // 0: nothing written
    };
    const Case cases[] = {
        {"request missing", false, true, true, 4, 260, 1, 1},
        {"length pointer missing", true, false, true, 4, 260, 1, 3},
        {"data missing with a length", true, true, false, 4, 260, 1, 2},
        {"result length 0", true, true, true, 4, 0, 1, 0},
        {"direction 2 on SCSI", true, true, true, 4, 260, 2, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PassThroughInfo info = wrapped(0, true, {0x12, 0, 0, 0, 4, 0});
        info.direction = c.direction;
        uint8_t data[4];
        uint32_t length = c.length;
        Outcome o = run(
            [&](uint8_t *r, uint32_t *rl) {
                return TavPasAnyCommand(c.info ? &info : nullptr, c.data ? data : nullptr,
                                        c.lengthPointer ? &length : nullptr, r, rl);
            },
            c.resultSize);
        EXPECT_EQ(o.code, TAVPAS_PARAM_ERROR);
        if (c.detail != 0) {
            EXPECT_EQ(o.result[0], c.detail);
            EXPECT_EQ(o.resultLength, 1u);
        } else {
            EXPECT_EQ(o.result[0], 0);
        }
        EXPECT_FALSE(lockFileExists());
    }
    uint32_t length = 0;
    EXPECT_EQ(TavPasAnyCommand(nullptr, nullptr, &length, nullptr, nullptr), TAVPAS_PARAM_ERROR)
        << "no result buffer: refused, nothing written";
    EXPECT_EQ(driveModel(0)["commands_received"], 0) << "nothing reached the drive";
}

// A refusal for the request (1), the data buffer (2) or the length (3) puts
// its detail byte into any result buffer passed, even one whose length says
// 0, and sets the result length to 1; a missing or zero result length (5) is
// only logged. The same for the frame and the two shared checks.
TEST_F(Frame, DetailCodesReachEveryResultBufferPassed)
{
    using Check = std::function<bool(PassThroughInfo *, uint8_t *, uint32_t *, uint8_t *, uint32_t *)>;
    const std::pair<const char *, Check> checks[] = {
        {"TavPasAnyCommand",
         [](PassThroughInfo *i, uint8_t *d, uint32_t *l, uint8_t *r, uint32_t *rl) {
             return TavPasAnyCommand(i, d, l, r, rl) == TAVPAS_PARAM_ERROR;
         }},
        {"ParamCheck_DataIN",
         [](PassThroughInfo *i, uint8_t *d, uint32_t *l, uint8_t *r, uint32_t *rl) {
             return ParamCheck_DataIN(i, d, l, r, rl) == 0;
         }},
        {"ParamCheck_DataOUT",
         [](PassThroughInfo *i, uint8_t *d, uint32_t *l, uint8_t *r, uint32_t *rl) {
             return ParamCheck_DataOUT(i, d, l != nullptr ? *l : 0, r, rl) == 0;
         }},
    };
    struct Case {
        const char *name;
        bool info, data, length, resultLength;
        uint32_t resultSize;
        uint8_t detail;  // 0: nothing written, the result length unchanged
    };
    const Case cases[] = {
        {"request missing, result length 0", false, true, true, true, 0, 1},
        {"data missing, result length 0", true, false, true, true, 0, 2},
        {"length missing, result length 0", true, true, false, true, 0, 3},
        {"result length missing", true, true, true, false, 260, 0},
        {"result length 0", true, true, true, true, 0, 0},
    };
    for (const auto &check : checks) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(check.first) + ": " + c.name);
            PassThroughInfo info = wrapped(0, true, {0x12, 0, 0, 0, 4, 0});
            uint8_t data[4] = {};
            uint32_t length = sizeof data;
            uint8_t result[260] = {};
            uint32_t resultLength = c.resultSize;
            EXPECT_TRUE(check.second(c.info ? &info : nullptr, c.data ? data : nullptr, c.length ? &length : nullptr,
                                     result, c.resultLength ? &resultLength : nullptr));
            EXPECT_EQ(result[0], c.detail);
            EXPECT_EQ(resultLength, c.detail != 0 ? 1u : c.resultSize);
        }
    }
    EXPECT_FALSE(lockFileExists());
}

TEST_F(Frame, ACommandWithoutDataNeedsNoBuffer)
{
    PassThroughInfo info = wrapped(2, false, {0x00, 0, 0, 0, 0, 0});
    Outcome o = any(info, nullptr, 0);
    EXPECT_EQ(o.code, TAVPAS_OK);
    EXPECT_EQ(driveModel(2)["recent_commands"], nlohmann::json::array({"0x00"}));
}

TEST_F(Frame, ARequestOverTheControllersLimitComesBackAsALengthError)
{
    std::vector<uint8_t> data(65537);
    for (bool fromDrive : {true, false}) {
        PassThroughInfo info = wrapped(0, fromDrive, rw10(fromDrive ? 0x28 : 0x2A, 0, 128));
        Outcome o = any(info, data.data(), static_cast<uint32_t>(data.size()));
        EXPECT_EQ(o.code, TAVPAS_PARAM_ERROR);
        EXPECT_EQ(o.result[0], TAVPAS_DETAIL_LENGTH);
        EXPECT_EQ(o.resultLength, 1u);
    }
}

TEST_F(Frame, ACheckConditionCopiesTheSenseCutToTheResultBuffer)
{
    struct Case {
        uint32_t resultSize, copied;
    };
    for (Case c : {Case{8, 8}, Case{18, 18}, Case{256, 256}, Case{260, 256}}) {
        SCOPED_TRACE(c.resultSize);
        inject({"drive-check-condition", "0", "1", "3", "0x11", "0"});
        PassThroughInfo info = wrapped(1, true, {0x12, 0, 0, 0, 48, 0});
        uint8_t data[48];
        uint32_t length = sizeof data;
        Outcome o =
            run([&](uint8_t *r, uint32_t *rl) { return TavPasInquiry(&info, data, &length, r, rl); }, c.resultSize);
        ASSERT_EQ(o.code, TAVPAS_CHECK_CONDITION);
        EXPECT_EQ(info.status, 2);
        EXPECT_EQ(o.resultLength, c.copied);
        EXPECT_EQ(o.result[0], 0x70);
        EXPECT_EQ(o.result[2] & 0x0F, 3);
        if (c.copied > 13) {
            EXPECT_EQ(o.result[12], 0x11);
            EXPECT_EQ(o.result[13], 0x00);
        }
        if (c.copied <= 12) {
            EXPECT_EQ(o.result[12], 0) << "nothing past the result length";
        }
        EXPECT_EQ(o.result[TAVPAS_RESULT_SIZE], 0xEE);
    }
}

TEST_F(Frame, BusyAndSilentDrivesAndUnsupportedDevices)
{
    uint8_t data[48];
    inject({"drive-busy", "0", "3"});
    PassThroughInfo info = wrapped(3, true, {0x12, 0, 0, 0, 48, 0});
    Outcome busy = any(info, data, sizeof data);
    EXPECT_EQ(busy.code, TAVPAS_BUSY);
    EXPECT_EQ(info.status, 8);

    inject({"drive-clear", "0", "3"});
    inject({"drive-hang", "0", "3"});
    Outcome silent = any(info, data, sizeof data);
    EXPECT_EQ(silent.code, TAVPAS_COMMAND_ERROR);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(silent.result.data()), silent.resultLength), strerror(EIO));

    Outcome kept = run([&](uint8_t *r, uint32_t *rl) {
        memcpy(r, "own text", 9);
        uint32_t length = sizeof data;
        return TavPasAnyCommand(&info, data, &length, r, rl);
    });
    EXPECT_EQ(kept.code, TAVPAS_COMMAND_ERROR);
    EXPECT_STREQ(reinterpret_cast<char *>(kept.result.data()), "own text") << "the caller's text stays";
    EXPECT_EQ(kept.resultLength, TAVPAS_RESULT_SIZE);

    PassThroughInfo other = wrapped(1, true, {0x12, 0, 0, 0, 48, 0});
    other.deviceType = 2;
    EXPECT_EQ(any(other, data, sizeof data).code, TAVPAS_NOT_SUPPORTED);
    EXPECT_FALSE(lockFileExists());
}

TEST_F(Frame, TheLibraryOpensTheControlLibraryOnlyWhenTheProgramHasNot)
{
    PassThroughInfo info = wrapped(0, false, {0x00, 0, 0, 0, 0, 0});
    ASSERT_EQ(initContData_done, 0);
    EXPECT_EQ(any(info, nullptr, 0).code, TAVPAS_OK);
    EXPECT_EQ(initContData_done, 0) << "closed again after the call";
    ASSERT_EQ(initContData(0), 1);
    EXPECT_EQ(any(info, nullptr, 0).code, TAVPAS_OK);
    EXPECT_EQ(initContData_done, 1) << "the program's own opening is kept";
    finContData();
}

TEST_F(Frame, RefusalsAreTracedUnderTheirSourceFile)
{
    ASSERT_EQ(initContData(0), 1);
    ASSERT_EQ(initLog(server.path("/trace.log").c_str(), 2000000), 1);
    PassThroughInfo info = wrapped(0, true, {0x12, 0, 0, 0, 4, 0});
    info.deviceType = 5;
    uint8_t data[4];
    any(info, data, sizeof data);
    info = wrapped(0, true, {0x12, 0, 0, 0, 4, 0});
    uint32_t zero = 0;
    run([&](uint8_t *r, uint32_t *rl) { return TavPasLogSense(&info, data, &zero, r, rl); });
    finContData();
    std::string log = tavtest::readFile(server.path("/trace.log"));
    EXPECT_NE(log.find(" tavpas_anycommand("), std::string::npos);
    EXPECT_NE(log.find(") ERROR:NOT SUPPORTED"), std::string::npos);
    EXPECT_NE(log.find(") pPassThroughInfo"), std::string::npos);
    EXPECT_NE(log.find(") CALL - ParamCheck_DataIN()"), std::string::npos);
    EXPECT_NE(log.find(") ERROR:PARAM"), std::string::npos);
}

// ---- typed entry points ----

TEST_F(Frame, ReadTypeCommandsPlaceTheirCodeAndRefuseAZeroLength)
{
    struct Case {
        const char *name;
        uint32_t (*call)(PassThroughInfo *, uint8_t *, uint32_t *, uint8_t *, uint32_t *);
        uint8_t code;
    };
    const Case cases[] = {{"inquiry", TavPasInquiry, 0x12},
                          {"log sense", TavPasLogSense, 0x4D},
                          {"mode sense", TavPasModeSense, 0x1A},
                          {"read buffer", TavPasReadBuffer, 0x3C},
                          {"read", TavPasReadExtend, 0x28},
                          {"read long", TavPasReadLong, 0x3E},
                          {"internal log", TavPasRequestInternalLog, 0xFE}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t data[16];
        for (uint32_t form : {0u, 1u}) {
            PassThroughInfo info = request(0, form, 0, 1, std::vector<uint8_t>(12, 0));
            uint32_t zero = 0;
            Outcome refused = run([&](uint8_t *r, uint32_t *rl) { return c.call(&info, data, &zero, r, rl); });
            EXPECT_EQ(refused.code, TAVPAS_PARAM_ERROR);
            EXPECT_EQ(refused.result[0], TAVPAS_DETAIL_LENGTH);
            EXPECT_EQ(info.cdb[0], 0) << "refused before the code is placed";
        }
        PassThroughInfo badForm = request(0, 7, 0, 1, std::vector<uint8_t>(12, 0));
        uint32_t length = sizeof data;
        Outcome form = run([&](uint8_t *r, uint32_t *rl) { return c.call(&badForm, data, &length, r, rl); });
        EXPECT_EQ(form.code, TAVPAS_PARAM_ERROR);
        EXPECT_EQ(form.result[0], TAVPAS_DETAIL_INFO);
        PassThroughInfo sata = request(1, 0, 6, 1, std::vector<uint8_t>(16, 0));
        Outcome wrappedSata = run([&](uint8_t *r, uint32_t *rl) { return c.call(&sata, data, &length, r, rl); });
        EXPECT_EQ(wrappedSata.code, TAVPAS_NOT_SUPPORTED);
        EXPECT_EQ(wrappedSata.result[0], TAVPAS_DETAIL_INFO);
        PassThroughInfo plain = request(0, 1, 9, 1, std::vector<uint8_t>(10, 0));
        c.call(&plain, data, &length, nullptr, nullptr);
        EXPECT_EQ(plain.cdb[0], 0) << "no result buffer: refused before the code is placed";
        uint32_t resultLength = 260;
        uint8_t result[260] = {};
        c.call(&plain, data, &length, result, &resultLength);
        EXPECT_EQ(plain.cdb[0], c.code);
    }
    EXPECT_FALSE(lockFileExists());
}

TEST_F(Frame, WriteTypeCommandsRequireTheirCodeAndSendNothingOtherwise)
{
    struct Case {
        const char *name;
        uint32_t (*call)(PassThroughInfo *, uint8_t *, uint32_t, uint8_t *, uint32_t *);
        uint8_t code;
    };
    const Case cases[] = {{"mode select", TavPasModeSelect, 0x15},
                          {"write buffer", TavPasWriteBuffer, 0x3B},
                          {"write", TavPasWriteExtend, 0x2A},
                          {"write long", TavPasWriteLong, 0x3F}};
    uint8_t data[520] = {};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        struct Form {
            uint32_t deviceType, form;
            std::vector<uint8_t> cdb;
            uint32_t code;
        };
        const Form refused[] = {
            {0, 0, {0xBB, 4, c.code}, TAVPAS_PARAM_ERROR},  // the read wrapper
            {0, 0, {0xBA, 4, uint8_t(c.code ^ 1)}, TAVPAS_PARAM_ERROR},
            {0, 1, {uint8_t(c.code ^ 1)}, TAVPAS_PARAM_ERROR},
            {0, 1, {c.code}, c.code == 0x3B ? TAVPAS_PARAM_ERROR : 0u},  // plain WRITE BUFFER: refused
            {1, 0, {0xBA, 4, c.code}, TAVPAS_NOT_SUPPORTED},
        };
        for (const Form &f : refused) {
            if (f.code == 0) {
                continue;
            }
            std::vector<uint8_t> cdb = f.cdb;
            cdb.resize(12, 0);
            PassThroughInfo info = request(f.deviceType, f.form, 4, 0, cdb);
            Outcome o = run([&](uint8_t *r, uint32_t *rl) { return c.call(&info, data, 512, r, rl); });
            EXPECT_EQ(o.code, f.code);
            EXPECT_EQ(o.result[0], TAVPAS_DETAIL_INFO);
            EXPECT_EQ(o.resultLength, 1u);
        }
        PassThroughInfo info = request(0, 0, 4, 0, {0xBA, 4, c.code, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        Outcome zero = run([&](uint8_t *r, uint32_t *rl) { return c.call(&info, data, 0, r, rl); });
        EXPECT_EQ(zero.code, TAVPAS_PARAM_ERROR);
        EXPECT_EQ(zero.result[0], TAVPAS_DETAIL_LENGTH);
    }
    EXPECT_EQ(driveModel(4)["commands_received"], 0) << "no refused request reached the drive";
}

TEST_F(Frame, SataCommandsSetTheSatFieldsAndRefuseScsiDrives)
{
    uint8_t data[512];
    uint32_t length = sizeof data;
    PassThroughInfo scsi = request(0, 1, 0, 1, std::vector<uint8_t>(16, 0));
    Outcome refused = run([&](uint8_t *r, uint32_t *rl) { return TavPasIdentifyDevice(&scsi, data, &length, r, rl); });
    EXPECT_EQ(refused.code, TAVPAS_NOT_SUPPORTED);
    EXPECT_EQ(refused.result[0], TAVPAS_DETAIL_INFO);

    PassThroughInfo info = request(1, 1, 6, 0, sat16(0x08, 0x0E, 1, 0, 0));
    info.cdb[0] = 0;
    info.transferUnit = 1;
    Outcome o = run([&](uint8_t *r, uint32_t *rl) { return TavPasIdentifyDevice(&info, data, &length, r, rl); });
    ASSERT_EQ(o.code, TAVPAS_OK) << int(o.result[2]);
    EXPECT_EQ(info.cdb[0], 0x85);
    EXPECT_EQ(info.cdb[13], 0x40);
    EXPECT_EQ(info.cdb[14], 0xEC);
    EXPECT_EQ(info.direction, 1);
    EXPECT_EQ(data[0] | data[1] << 8, 0x0040);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(data + 54), 4), "BM3A") << "model text, bytes swapped in words";
    EXPECT_EQ(data[238] & 0x04, 0x04) << "WRITE UNCORRECTABLE EXT supported";
    EXPECT_EQ(driveModel(6)["recent_commands"], nlohmann::json::array({"ata 0xEC", "ata-data 0xEC"}));

    PassThroughInfo logSense = request(1, 1, 6, 1, sat16(0x08, 0x0E, 1, 0, 0xEC));
    length = sizeof data;
    Outcome forwarded = run([&](uint8_t *r, uint32_t *rl) { return TavPasLogSense(&logSense, data, &length, r, rl); });
    EXPECT_EQ(forwarded.code, TAVPAS_OK) << "a SATA request in plain form goes through unchanged";
    EXPECT_EQ(logSense.cdb[0], 0x85);
}

}  // namespace
