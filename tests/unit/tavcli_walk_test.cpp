// tavcli's target walker: the steps it hands to a command's action (order,
// first-of-adapter mark, the state from the status it read), the skipped
// adapters and the LD selection, an action that ends the walk, and a status
// read that fails.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tavcli.h"
#include "tavctl_testutil.h"
#include "tavtest.h"

namespace {

using tavctltest::StdoutCapture;
using tavtest::SimServer;

// Adapter 0: drive 1 off line, drives 2-3 in LD 1, 5-6 in LD 0, no drive in
// slot 7. Adapter 1: one drive, no LD.
const char kServer[] = R"({"adapters": [
  {"host": 2, "model": "ZN5121",
   "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS", "state": "alarm"},
              {"slot": 2, "interface": "SAS"}, {"slot": 3, "interface": "SAS"},
              {"slot": 5, "interface": "SAS"}, {"slot": 6, "interface": "SAS"}],
   "logical_drives": [{"number": 0, "raid": 1, "members": [5, 6]}, {"number": 1, "raid": 1, "members": [2, 3]}]},
  {"host": 3, "model": "ZN5120", "drives": [{"slot": 0, "interface": "SATA"}]}]})";

CliTargets Targets(std::vector<int> adapters, std::vector<int> lds, std::vector<int> pds)
{
    CliTargets targets;
    memset(&targets, CLI_EMPTY_SLOT, sizeof targets);
    targets.allAdapters = 0;
    targets.keepPdOrder = 0;
    for (size_t i = 0; i < adapters.size(); ++i)
        targets.adapters[i] = uint8_t(adapters[i]);
    for (size_t i = 0; i < lds.size(); ++i)
        targets.lds[i] = uint8_t(lds[i]);
    for (size_t i = 0; i < pds.size(); ++i)
        targets.pds[i] = uint8_t(pds[i]);
    return targets;
}

// What the action saw, one "adapter:target:state:first:status" item a step;
// it ends the walk at the step numbered stopAt.
struct Record {
    std::vector<std::string> steps;
    size_t stopAt = 99;
};

int Remember(const CliStep *step)
{
    Record *record = static_cast<Record *>(step->context);
    record->steps.push_back(std::to_string(step->adapter) + ":" + std::to_string(step->target) + ":" +
                            std::to_string(step->state) + ":" + std::to_string(step->firstOfAdapter) + ":" +
                            (step->status != NULL ? "S" : "-"));
    return record->steps.size() != record->stopAt;
}

class TavcliWalk : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.ok()) << sim.initOutput();
        sim.activate();
        ASSERT_EQ(initContData(1), 1);
    }
    void TearDown() override { finContData(); }

    SimServer sim{kServer};
};

struct WalkCase {
    const char *name;
    std::vector<int> adapters, lds, pds;
    int over, readStatus;
    std::vector<uint8_t> skipped;  // per adapter number; empty: none
    size_t stopAt;
    int result;
    std::vector<std::string> steps;
};

TEST_F(TavcliWalk, StepsInListOrderWithTheStatusRead)
{
    const WalkCase cases[] = {
        {"drives in the order given, state from the status",
         {0, 1},
         {},
         {3, 1, 7},
         CLI_WALK_PDS,
         1,
         {},
         99,
         1,
         {"0:3:0:1:S", "0:1:32:0:S", "0:7:255:0:S", "1:3:255:1:S", "1:1:255:0:S", "1:7:255:0:S"}},
        {"LDs without a status",
         {0},
         {1, 0, 4},
         {},
         CLI_WALK_LDS,
         0,
         {},
         99,
         1,
         {"0:1:0:1:-", "0:0:0:0:-", "0:4:0:0:-"}},
        {"LDs with the status",
         {0, 1},
         {1, 4},
         {},
         CLI_WALK_LDS,
         1,
         {},
         99,
         1,
         {"0:1:0:1:S", "0:4:255:0:S", "1:1:255:1:S", "1:4:255:0:S"}},
        {"adapters, one step each", {0, 1}, {1}, {3}, CLI_WALK_ADAPTERS, 0, {}, 99, 1, {"0:255:0:1:-", "1:255:0:1:-"}},
        {"a skipped adapter has no step", {0, 1}, {}, {0}, CLI_WALK_PDS, 1, {1, 0, 0, 0}, 99, 1, {"1:0:0:1:S"}},
        {"an action that returns 0 ends the walk",
         {0, 1},
         {},
         {0, 2},
         CLI_WALK_PDS,
         1,
         {},
         2,
         0,
         {"0:0:0:1:S", "0:2:0:0:S"}},
    };
    for (const WalkCase &c : cases) {
        SCOPED_TRACE(c.name);
        CliTargets targets = Targets(c.adapters, c.lds, c.pds);
        CliWalk walk = {c.over, c.readStatus, c.skipped.empty() ? NULL : c.skipped.data(), NULL, MOD_CMD_COM};
        Record record;
        record.stopAt = c.stopAt;
        EXPECT_EQ(CliWalkTargets(&targets, &walk, Remember, &record), c.result);
        EXPECT_EQ(record.steps, c.steps);
    }
}

TEST_F(TavcliWalk, SelectedLdsOnlyInListOrderOrAscending)
{
    CliTargets targets = Targets({0}, {1, 5, 0}, {});
    CliLdSelection selection;
    memset(&selection, 0, sizeof selection);
    memset(selection.matrix, CLI_EMPTY_SLOT, sizeof selection.matrix);
    selection.matrix[0][0] = CLI_LD_SELECTED;
    selection.matrix[0][1] = CLI_LD_SELECTED;

    Record inOrder;
    CliWalk walk = {CLI_WALK_LDS, 0, selection.skipped, selection.matrix, MOD_CMD_COM};
    EXPECT_EQ(CliWalkTargets(&targets, &walk, Remember, &inOrder), 1);
    EXPECT_EQ(inOrder.steps, (std::vector<std::string>{"0:1:0:1:-", "0:0:0:0:-"}));

    Record ascending;
    EXPECT_EQ(CliWalkSelectedLds(&targets, &selection, Remember, &ascending, MOD_CMD_COM), 1);
    EXPECT_EQ(ascending.steps, (std::vector<std::string>{"0:0:0:1:-", "0:1:0:0:-"}));
}

TEST_F(TavcliWalk, SelectionSkipsAdaptersWithoutLdUnderAllAdaptersAndAllLds)
{
    CliTargets targets = Targets({0, 1}, {0, 1, 2, 3, 4, 5, 6, 7}, {});
    targets.allAdapters = 1;
    CliLdSelection selection;
    Record record;
    {
        StdoutCapture capture;
        ASSERT_EQ(CliSelectLds(&targets, 1, &selection, MOD_CMD_LD), 1);
        EXPECT_EQ(capture.text(), "");
    }
    EXPECT_EQ(CliWalkSelectedLds(&targets, &selection, Remember, &record, MOD_CMD_LD), 1);
    EXPECT_EQ(record.steps, (std::vector<std::string>{"0:0:0:1:-", "0:1:0:0:-"}));

    // Named adapters: the one without LD ends the command.
    targets.allAdapters = 0;
    StdoutCapture capture;
    EXPECT_EQ(CliSelectLds(&targets, 1, &selection, MOD_CMD_LD), 0);
    EXPECT_EQ(capture.text(), "Fatal error - Adapter 1: There is no Virtual Drive.\n");
}

TEST_F(TavcliWalk, FailedStatusReadReportsAndEndsTheWalk)
{
    CliTargets targets = Targets({0, 2}, {}, {0});
    CliWalk walk = {CLI_WALK_PDS, 1, NULL, NULL, MOD_CMD_COM};
    Record record;
    StdoutCapture capture;
    EXPECT_EQ(CliWalkTargets(&targets, &walk, Remember, &record), 0);
    EXPECT_EQ(record.steps, (std::vector<std::string>{"0:0:0:1:S"}));
    EXPECT_NE(capture.text().find("Fatal error"), std::string::npos) << capture.text();
}

TEST_F(TavcliWalk, CallOrReportPassesSuccessAndReportsFailure)
{
    {
        StdoutCapture capture;
        EXPECT_EQ(CLI_CALL(0, MOD_CMD_COM, 1), 1);
        EXPECT_EQ(capture.text(), "");
    }
    DLL_GET_RAID_STATUS status;
    StdoutCapture capture;
    EXPECT_EQ(CLI_CALL(2, MOD_CMD_COM, getRaidStatus(2, &status)), 0);
    EXPECT_NE(capture.text().find("Fatal error"), std::string::npos) << capture.text();
}

}  // namespace
