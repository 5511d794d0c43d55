// tavcli's pre-check and confirmation question (ComChk), linked from
// tavcli_core: the target lines of every check kind, the question,
// the answers read from standard input and a failed status read.

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tavcli.h"
#include "tavctl_testutil.h"
#include "tavtest.h"

namespace {

using tavctltest::StdoutCapture;
using tavtest::SimServer;

// Adapter 0: drive 0 good, 1 off line, 2 and 3 the members of LD 1, 4 a
// global hot spare, 5-6 the members of LD 0; no drive in slot 7; restore
// candidate 1. Adapter 1: one drive, no LD.
const char kServer[] = R"({"adapters": [
  {"host": 2, "model": "ZN5121",
   "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS", "state": "alarm"},
              {"slot": 2, "interface": "SAS"}, {"slot": 3, "interface": "SAS"},
              {"slot": 4, "interface": "SAS"}, {"slot": 5, "interface": "SAS"},
              {"slot": 6, "interface": "SAS"}, {"slot": 8, "interface": "SAS"}, {"slot": 9, "interface": "SAS"}],
   "logical_drives": [{"number": 0, "raid": 1, "members": [5, 6]}, {"number": 1, "raid": 1, "members": [2, 3]}],
   "hot_spares": [4],
   "restore_candidates": [{"number": 1, "raid": 1, "members": [8, 9]}]},
  {"host": 3, "model": "ZN5120", "drives": [{"slot": 0, "interface": "SATA"}]}]})";

std::vector<uint8_t> List(std::vector<int> numbers, size_t count)
{
    std::vector<uint8_t> list(count, CLI_EMPTY_SLOT);
    for (size_t i = 0; i < numbers.size(); ++i)
        list[i] = uint8_t(numbers[i]);
    return list;
}

class TavcliComChk : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.ok()) << sim.initOutput();
        sim.activate();
        ASSERT_EQ(initContData(1), 1);
        savedStdin = dup(STDIN_FILENO);
    }
    void TearDown() override
    {
        dup2(savedStdin, STDIN_FILENO);
        close(savedStdin);
        clearerr(stdin);
        finContData();
    }

    // Standard input that holds the answers, then ends.
    void Answers(const std::string &text)
    {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        ASSERT_EQ(write(fds[1], text.data(), text.size()), ssize_t(text.size()));
        close(fds[1]);
        dup2(fds[0], STDIN_FILENO);
        close(fds[0]);
        clearerr(stdin);
    }

    // Runs ComChk answering "y": its result and what it printed.
    int Check(std::vector<int> adapters, std::vector<int> pds, std::vector<int> lds, int kind, int quiet,
              std::string *out, const std::string &answers = "y\n")
    {
        Answers(answers);
        std::vector<uint8_t> a = List(adapters, CLI_ADAPTER_SLOTS), p = List(pds, CLI_PD_SLOTS),
                             l = List(lds, CLI_LD_SLOTS);
        StdoutCapture capture;
        int result = ComChk(a.data(), p.data(), l.data(), kind, quiet);
        *out = capture.text();
        return result;
    }

    SimServer sim{kServer};
    int savedStdin = -1;
};

struct KindCase {
    std::vector<int> adapters, pds, lds;
    int kind;
    int quiet;
    std::string out;
};

TEST_F(TavcliComChk, TargetLinesAndQuestionOfEveryKind)
{
    const KindCase cases[] = {
        {{0}, {}, {}, CLI_CHK_PLAIN, 0, "Is it executed?(Y/N)?\n"},
        {{0},
         {0, 1, 7},
         {},
         CLI_CHK_PD_ONLINE,
         0,
         "Adapter 0-PD 0: It is already the setting.\nAdapter 0-PD 1\n"
         "Adapter 0-PD 7: The specified Physical Drive doesn't exist.\nIs the online executed?(Y/N)?\n"},
        {{0, 1},
         {1, 0},
         {},
         CLI_CHK_PD_OFFLINE,
         0,
         "Adapter 0-PD 1: It is already the setting.\nAdapter 0-PD 0\nAdapter 1-PD 1: The specified Physical "
         "Drive doesn't exist.\nAdapter 1-PD 0\nIs the offline executed?(Y/N)?\n"},
        {{0},
         {4, 0, 7},
         {},
         CLI_CHK_HSP_REMOVE,
         0,
         "Adapter 0-PD 4\nAdapter 0-PD 0: It is already the setting.\n"
         "Adapter 0-PD 7: The specified Physical Drive doesn't exist.\n"
         "Is the removing of Hot Spare executed?(Y/N)?\n"},
        {{0, 1}, {}, {1}, CLI_CHK_RESTORE_DELETE, 0, "Adapter 0-VD 1\nIs the delete executed?(Y/N)?\n"},
        {{0},
         {},
         {2},
         CLI_CHK_RESTORE_DELETE,
         0,
         "Adapter 0-VD 2: The specified Virtual Drive doesn't exist.\nIs the delete executed?(Y/N)?\n"},
        {{0},
         {},
         {1, 5, 0},
         CLI_CHK_LD_DELETE,
         0,
         "Adapter 0-VD 1\nAdapter 0-VD 5: The specified Virtual Drive doesn't exist.\nAdapter 0-VD 0\n"
         "Is the delete executed?(Y/N)?\n"},
        // With all LDs, undefined ones are passed over and an adapter without
        // any is reported at once, or with the quiet flag only when none is left.
        {{0, 1},
         {},
         {0, 1, 2, 3, 4, 5, 6, 7},
         CLI_CHK_LD_DELETE,
         0,
         "Fatal error - Adapter 1: There is no Virtual Drive.\nAdapter 0-VD 0\nAdapter 0-VD 1\n"
         "Is the delete executed?(Y/N)?\n"},
        {{0, 1},
         {},
         {0, 1, 2, 3, 4, 5, 6, 7},
         CLI_CHK_LD_DELETE,
         1,
         "Adapter 0-VD 0\nAdapter 0-VD 1\nIs the delete executed?(Y/N)?\n"},
        {{1},
         {},
         {0, 1, 2, 3, 4, 5, 6, 7},
         CLI_CHK_LD_DELETE,
         1,
         "Fatal error - Adapter 1: There is no Virtual Drive.\nIs the delete executed?(Y/N)?\n"},
        {{1},
         {},
         {0},
         CLI_CHK_LD_DELETE,
         1,
         "Adapter 1-VD 0: The specified Virtual Drive doesn't exist.\nIs the delete executed?(Y/N)?\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.out);
        std::string out;
        EXPECT_EQ(Check(c.adapters, c.pds, c.lds, c.kind, c.quiet, &out), 1);
        EXPECT_EQ(out, c.out);
    }
}

// An LD whose block 0 carries a partition table is shown as such.
TEST_F(TavcliComChk, PartitionTableOnAnLd)
{
    uint8_t block[512] = {};
    block[446 + 4] = 0x83;  // the type of the first partition entry
    ASSERT_EQ(CmdExe_Write(0, 1, 0, block), 0);
    std::string out;
    EXPECT_EQ(Check({0}, {}, {0, 1}, CLI_CHK_LD_DELETE, 0, &out), 1);
    EXPECT_EQ(out, "Adapter 0-VD 0\nAdapter 0-VD 1: Valid partition exist on it.\nIs the delete executed?(Y/N)?\n");

    // A signature outside the table is no partition table.
    memset(block, 0, sizeof block);
    block[510] = 0x55;
    block[511] = 0xAA;
    block[445] = 1;
    ASSERT_EQ(CmdExe_Write(0, 1, 0, block), 0);
    EXPECT_EQ(Check({0}, {}, {1}, CLI_CHK_LD_DELETE, 0, &out), 1);
    EXPECT_EQ(out, "Adapter 0-VD 1\nIs the delete executed?(Y/N)?\n");
}

struct AnswerCase {
    std::string input;
    int questions;
    int result;
};

TEST_F(TavcliComChk, Answers)
{
    const AnswerCase cases[] = {
        {"y\n", 1, 1}, {"Y\n", 1, 1}, {"n\n", 1, 0},        {"N\n", 1, 0},
        {"", 1, 0},    {"Y", 2, 0},   {"\nyes\ny\n", 3, 1}, {"nn\nN \nn\n", 3, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        std::string out;
        errno = 0;
        int result = Check({0}, {}, {}, CLI_CHK_PLAIN, 0, &out, c.input);
        EXPECT_EQ(result, c.result);
        if (result == 0) {
            EXPECT_EQ(errno, ECANCELED);
        }
        std::string questions;
        for (int i = 0; i < c.questions; ++i)
            questions += "Is it executed?(Y/N)?\n";
        EXPECT_EQ(out, questions);
    }
}

// A failed status read is reported for its adapter and nothing is asked.
TEST_F(TavcliComChk, FailedStatusReadAsksNothing)
{
    ASSERT_EQ(sim.inject({"check-condition", "5", "0x20", "0", "100"}).status, 0);
    for (int kind :
         {CLI_CHK_LD_DELETE, CLI_CHK_PD_ONLINE, CLI_CHK_PD_OFFLINE, CLI_CHK_HSP_REMOVE, CLI_CHK_RESTORE_DELETE}) {
        SCOPED_TRACE(kind);
        std::string out;
        EXPECT_EQ(Check({0}, {0}, {0}, kind, 0, &out), 0);
        EXPECT_EQ(out, "The error was detected as an Adapter 0.\nPlease ascertain the situation.\n");
    }
}

}  // namespace
