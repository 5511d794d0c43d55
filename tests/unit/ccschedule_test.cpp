// The consistency-check schedule file: the reader's rules over small files,
// the writer's format and its all-or-nothing rewrite, and the four public
// operations on a simulated server.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "ccschedule_text.h"
#include "info_fixture.h"
#include "tavctl.h"
#include "tavctl_testutil.h"

namespace {

using infotest::OpenServer;
using tavctltest::ScratchRoot;
using tavtest::fileExists;
using tavtest::readFile;
using tavtest::ScheduleText;
using tavtest::writeFile;

const char kConfDir[] = "/opt/morvane/tavutility/conf";
const uint64_t NONE = TAV_CCSCH_NONE;

CCScheduleTable readTable(uint32_t latestDate = 0, int *result = nullptr)
{
    CCScheduleTable table;
    memset(&table, 0xAB, sizeof table);
    int r = readCCScheduleFile(&table, latestDate);
    if (result != nullptr) {
        *result = r;
    }
    return table;
}

class ScheduleFile : public ::testing::Test {
protected:
    void SetUp() override { root.makeDirs(kConfDir); }
    void put(const std::string &text) { writeFile(root.path(tavtest::kScheduleFile), text); }
    ScratchRoot root;
};

struct ReadCase {
    const char *what;
    std::string text;
    int controller;
    int ld;
    uint64_t expected;
};

TEST_F(ScheduleFile, ReaderRulesPerLine)
{
    const std::string stray9 = "x\nx\nx\nx\nx\nx\nx\nx\nx\n";
    const std::vector<ReadCase> cases = {
        {"Sunday 05:00", ScheduleText({{"0/0", "005"}}), 0, 0, 5},
        {"Saturday 23:00", ScheduleText({{"3/7", "623"}}), 3, 7, 623},
        {"hour 24", ScheduleText({{"0/1", "024"}}), 0, 1, NONE},
        {"hour 30", ScheduleText({{"0/1", "130"}}), 0, 1, NONE},
        {"day 7", ScheduleText({{"1/2", "705"}}), 1, 2, NONE},
        {"not a digit", ScheduleText({{"1/2", "1a5"}}), 1, 2, NONE},
        {"no value", ScheduleText({}), 2, 3, NONE},
        {"eleven digits", ScheduleText({{"2/4", "10720261207"}}), 2, 4, 10720261207ull},
        {"eleven digits, hour 25", ScheduleText({{"2/4", "12520261207"}}), 2, 4, NONE},
        {"eleven characters, the last not a digit", ScheduleText({{"0/2", "3052026120:"}}), 0, 2, NONE},
        {"eleven characters, a letter in the date", ScheduleText({{"1/2", "10720a61207"}}), 1, 2, NONE},
        {"four digits", ScheduleText({{"0/0", "1050"}}), 0, 0, NONE},
        {"last line without newline", "adp0\nld0:105\nld1:207", 0, 1, NONE},
        {"last label without newline", "adp0\nld0:105\nld1:", 0, 1, NONE},
        {"the line before it still reads", "adp0\nld0:105\nld1:207", 0, 0, 105},
        {"label anywhere in the line", "adp0\nxld0:105\n", 0, 0, NONE},
        {"section head anywhere in the line", "# adp0\nld0:105\n", 0, 0, 105},
        {"service's empty last line", ScheduleText({{"3/7", "300"}}) + "\n", 3, 7, 300},
        {"eight stray lines", "adp0\nx\nx\nx\nx\nx\nx\nx\nx\nld0:105\n", 0, 0, 105},
        {"nine stray lines", "adp0\n" + stray9 + "ld0:105\n", 0, 0, NONE},
        {"strays count for the whole section", "adp0\nx\nx\nx\nx\nx\nld0:105\nx\nx\nx\nx\nld1:105\n", 0, 1, NONE},
        {"a missing drive line is skipped", "adp0\nld0:105\nld2:302\n", 0, 2, 302},
        {"the next section ends the search", "adp0\nld0:105\nadp1\nld1:302\n", 0, 1, NONE},
        {"sections in any order", "adp1\nld0:105\nadp0\nld0:302\n", 0, 0, 302},
    };
    for (const ReadCase &c : cases) {
        put(c.text);
        int result = -1;
        CCScheduleTable t = readTable(0, &result);
        EXPECT_EQ(TAV_CCSCH_DONE, result) << c.what;
        EXPECT_EQ(c.expected, t.value[c.controller][c.ld]) << c.what;
    }
}

TEST_F(ScheduleFile, MissingSectionLeavesOnlyThatControllerEmpty)
{
    std::string text = ScheduleText({{"0/0", "005"}, {"1/7", "623"}, {"2/1", "101"}, {"3/3", "10720261207"}});
    size_t from = text.find("adp2"), to = text.find("adp3");
    text.erase(from, to - from);
    put(text);
    CCScheduleTable t = readTable();
    EXPECT_EQ(5u, t.value[0][0]);
    EXPECT_EQ(623u, t.value[1][7]);
    EXPECT_EQ(10720261207ull, t.value[3][3]);
    for (int l = 0; l < 8; ++l) {
        EXPECT_EQ(NONE, t.value[2][l]) << l;
    }
    EXPECT_EQ(NONE, t.value[3][2]);
}

TEST_F(ScheduleFile, DateAfterTheLatestDateReadsAsNoSchedule)
{
    put(ScheduleText({{"0/0", "10720261207"}, {"0/1", "105"}}));
    EXPECT_EQ(10720261207ull, readTable(20261207).value[0][0]);
    EXPECT_EQ(NONE, readTable(20261206).value[0][0]);
    EXPECT_EQ(105u, readTable(20261206).value[0][1]);  // no date: kept
}

TEST(ScheduleFileCreation, MissingFileAndDirectoryAreCreatedEmpty)
{
    ScratchRoot root;
    root.makeDirs("/opt/morvane/tavutility");
    int result = -1;
    CCScheduleTable t = readTable(0, &result);
    ASSERT_EQ(TAV_CCSCH_DONE, result);
    EXPECT_EQ(NONE, t.value[0][0]);
    EXPECT_EQ(NONE, t.value[3][7]);
    struct stat st;
    ASSERT_EQ(0, stat(root.path(kConfDir).c_str(), &st));
    EXPECT_EQ(0755u, st.st_mode & 07777);
    ASSERT_TRUE(fileExists(root.path(tavtest::kScheduleFile)));
    EXPECT_EQ("", readFile(root.path(tavtest::kScheduleFile)));
}

TEST_F(ScheduleFile, WriterFormatAndRoundTrip)
{
    CCScheduleTable table;
    for (int c = 0; c < TAV_CCSCH_CONTROLLERS; ++c) {
        for (int l = 0; l < TAV_CCSCH_LDS; ++l) {
            table.value[c][l] = NONE;
        }
    }
    table.value[0][0] = 5;
    table.value[1][3] = 623;
    table.value[3][7] = 10720261207ull;
    ASSERT_EQ(TAV_CCSCH_DONE, writeCCScheduleFile(&table, 0));
    const std::string expected = ScheduleText({{"0/0", "005"}, {"1/3", "623"}, {"3/7", "10720261207"}});
    EXPECT_EQ(expected, readFile(root.path(tavtest::kScheduleFile)));
    CCScheduleTable back = readTable();
    EXPECT_EQ(0, memcmp(&table, &back, sizeof table));

    ASSERT_EQ(TAV_CCSCH_DONE, writeCCScheduleFile(&table, 1));
    EXPECT_EQ(expected + "\n", readFile(root.path(tavtest::kScheduleFile)));
    EXPECT_FALSE(fileExists(root.path(tavtest::kScheduleFile) + ".tmp"));
}

TEST_F(ScheduleFile, RewriteKeepsTheFileMode)
{
    put(ScheduleText({}));
    ASSERT_EQ(0, chmod(root.path(tavtest::kScheduleFile).c_str(), 0600));
    CCScheduleTable table = readTable();
    table.value[2][2] = 404;
    ASSERT_EQ(TAV_CCSCH_DONE, writeCCScheduleFile(&table, 0));
    struct stat st;
    ASSERT_EQ(0, stat(root.path(tavtest::kScheduleFile).c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777);
    EXPECT_EQ(404u, readTable().value[2][2]);
}

TEST_F(ScheduleFile, FailedRewriteLeavesThePreviousFileByteForByte)
{
    const std::string before = ScheduleText({{"0/0", "005"}, {"2/6", "10720261207"}});
    put(before);
    CCScheduleTable table = readTable();
    table.value[0][0] = NONE;
    {
        tavtest::DescriptorLimit limit(1);  // the directory opens, the new text's file does not
        EXPECT_EQ(TAV_CCSCH_NO_FILE, writeCCScheduleFile(&table, 0));
    }
    EXPECT_EQ(before, readFile(root.path(tavtest::kScheduleFile)));
}

TEST(DecodeValue, DayHourAndDateOfBothForms)
{
    struct Case {
        uint64_t value;
        const char *text;
        int day, hour;
        uint32_t date;
    } cases[] = {{5, "005", 0, 5, 0}, {623, "623", 6, 23, 0}, {10720261207ull, "10720261207", 1, 7, 20261207}};
    for (const Case &c : cases) {
        char text[TAV_CCSCH_VALUE_TEXT];
        uint8_t day = 99, hour = 99;
        uint32_t date = 99;
        decodeCCScheduleValue(c.value, text, &day, &hour, &date);
        EXPECT_STREQ(c.text, text);
        EXPECT_EQ(c.day, day) << c.text;
        EXPECT_EQ(c.hour, hour) << c.text;
        EXPECT_EQ(c.date, date) << c.text;
    }
}

// ---- the public operations on a simulated server ----

std::string serverFile(const OpenServer &s)
{
    return readFile(s.server.path(tavtest::kScheduleFile));
}

TEST(ScheduleOperations, SetGetAndKeepAnElevenDigitValue)
{
    OpenServer s("");
    ASSERT_TRUE(s.open());
    writeFile(s.server.path(tavtest::kScheduleFile), ScheduleText({{"0/1", "10720261207"}}));
    ASSERT_EQ(1, setCCSchedule(0, 0, 0, 5)) << std::hex << DLLGetLastError();
    EXPECT_EQ(ScheduleText({{"0/0", "005"}, {"0/1", "10720261207"}}), serverFile(s));

    struct Case {
        int ld, isSet, day, hour;
    } cases[] = {{0, 1, 0, 5}, {1, 1, 1, 7}, {2, 0, 0, 0}};
    for (const Case &c : cases) {
        uint8_t isSet = 9, day = 9, hour = 9;
        ASSERT_EQ(1, getCCSchedule(0, c.ld, &isSet, &day, &hour)) << c.ld;
        EXPECT_EQ(c.isSet, isSet) << c.ld;
        EXPECT_EQ(c.day, day) << c.ld;
        EXPECT_EQ(c.hour, hour) << c.ld;
    }
    CCScheduleTable t;
    ASSERT_EQ(1, getConfCCSchedule(&t));
    EXPECT_EQ(10720261207ull, t.value[0][1]);
}

TEST(ScheduleOperations, RefusedNumbersLeaveTheFileAlone)
{
    OpenServer s("");
    ASSERT_TRUE(s.open());
    const std::string before = ScheduleText({{"0/0", "005"}});
    writeFile(s.server.path(tavtest::kScheduleFile), before);
    uint8_t isSet, day, hour;
    const uint32_t groupError = DLL_ERROR_PARAM | DLL_ARG_ERROR_GROUPNO;
    struct Case {
        const char *what;
        std::function<int()> call;
        uint32_t word;
    } cases[] = {
        {"set LD 8", [] { return setCCSchedule(0, 8, 1, 1); }, groupError},
        {"get LD 11", [&] { return getCCSchedule(0, 11, &isSet, &day, &hour); }, groupError},
        {"delete LD 8", [] { return deleteCCSchedule(0, 8); }, groupError},
        {"delete LD 12", [] { return deleteCCSchedule(0, 12); }, groupError},
        {"set on an absent controller", [] { return setCCSchedule(1, 0, 1, 1); },
         DLL_ERROR_PARAM | DLL_ARG_ERROR_NO_SUCH_CONTROLLER},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(0, c.call()) << c.what;
        EXPECT_EQ(c.word, DLLGetLastError()) << c.what;
    }
    EXPECT_EQ(before, serverFile(s));
}

TEST(ScheduleOperations, FailedRewriteReportsASystemErrorAndKeepsTheFile)
{
    OpenServer s("");
    ASSERT_TRUE(s.open());
    const std::string before = ScheduleText({{"0/0", "005"}});
    writeFile(s.server.path(tavtest::kScheduleFile), before);
    {
        tavtest::DescriptorLimit limit(1);  // the file reads, the new text's file cannot be made
        EXPECT_EQ(0, setCCSchedule(0, 0, 3, 12));
        EXPECT_EQ(DLL_ERROR_SYSTEM, DLLGetLastError());
        EXPECT_EQ(0, deleteCCSchedule(0, 0));
        EXPECT_EQ(DLL_ERROR_SYSTEM, DLLGetLastError());
    }
    EXPECT_EQ(before, serverFile(s));
}

TEST(ScheduleOperations, DeletionIsReportedBySyslogOnGeneration1AndInTheTraceOtherwise)
{
    const std::string gen0 = R"({"adapters": [{"host": 2, "model": "ZN5120", "drives": []}]})";
    struct Case {
        const char *what;
        std::string config;
        bool syslog;
    } cases[] = {{"generation 1", "", true}, {"generation 0", gen0, false}};
    for (const Case &c : cases) {
        OpenServer s(c.config);
        ASSERT_TRUE(s.open()) << c.what;
        std::string log = s.server.path("/deletion.log");
        ASSERT_EQ(1, initLog(log.c_str(), 2000000));
        writeFile(s.server.path(tavtest::kScheduleFile), ScheduleText({{"0/3", "210"}}));
        ASSERT_EQ(1, deleteCCSchedule(0, 3)) << c.what << std::hex << DLLGetLastError();
        EXPECT_EQ(DLL_ERROR_NONE, DLLGetLastError()) << c.what;
        EXPECT_EQ(ScheduleText({}), serverFile(s)) << c.what;
        const std::string syslogText = s.server.syslog();
        const std::string traceText = readFile(log);
        if (c.syslog) {
            EXPECT_NE(std::string::npos,
                      syslogText.find("daemon.info tavservice[" + std::to_string(getpid()) +
                                      "]: tavutil: Controller [0] Logical Drive [3] The schedule of Consistency "
                                      "Check was deleted. detailed error: 0x04. EventID: 04500."))
                << syslogText;
        } else {
            EXPECT_EQ("", syslogText);
            EXPECT_NE(std::string::npos,
                      traceText.find("Controller [0] Logical Drive [3] The schedule of Consistency Check was "
                                     "deleted. detailed error: 0x04."))
                << traceText;
        }
    }
}

}  // namespace
