// LDCC, LDParity and PDRbld without a live display: starts and their
// refusals, aborts, the -Lall quiet rule, -ShowProg rows as a terminal shows
// them, and the reasons printed when there is nothing to display.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tavcli_bgop_fixture.h"
#include "tavtest.h"
#include "tavtest_screen.h"

namespace {

using bgoptest::LdRow;
using bgoptest::PdRow;
using tavtest::RunResult;
using tavtest::SimServer;

struct Case {
    std::vector<std::string> args;
    std::string expected;
};

std::string Invalid(const std::string& token) { return "Invalid input at or near token " + token + ".\n"; }

// Runs each case on a server of its own, so a start in one does not change the next.
void ExpectEachOnFreshServer(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SimServer sim(bgoptest::kServerConfig);
        ASSERT_TRUE(sim.ok()) << sim.initOutput();
        std::vector<std::string> argv{"tavcli"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        RunResult r = sim.run(argv);
        EXPECT_EQ(r.out, c.expected) << c.args[0] << " " << c.args[1] << " " << c.args[2] << " " << c.args[3];
        EXPECT_EQ(r.status, 0);
    }
}

nlohmann::json LogicalDrive(const SimServer& sim, int adapter, int ld) {
    return nlohmann::json::parse(sim.show())["adapters"][adapter]["logical_drives"][ld];
}

class BgopCommands : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.initOutput(); }
    RunResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), "tavcli");
        return sim.run(args);
    }
    std::vector<std::string> Screen(std::vector<std::string> args) {
        RunResult r = Cli(std::move(args));
        EXPECT_EQ(r.status, 0);
        return tavtest::renderScreen(r.out, true).used();
    }
    SimServer sim{bgoptest::kServerConfig};
};

TEST(BgopRefusals, LdStartRefusalsInOrder) {
    ExpectEachOnFreshServer({
        {{"-LDCC", "-Start", "-L5,4,3,2,1,0", "-a0"},
         "Start Consistency Check on Virtual Drive 0 ( Adapter 0 ) succeeded.\n"
         "Fatal error - Adapter 0-VD 1: Consistency Check cannot be done with RAID0.\n"
         "Fatal error - Adapter 0-VD 2: It has already been executing it.\n"
         "Fatal error - Adapter 0-VD 3: It has already been executing it.\n"
         "Fatal error - Adapter 0-VD 4: Rebuild or Copy Back or Copy is being executed.\n"
         "Fatal error - Adapter 0-VD 5: Make Parity is being executed.\n"},
        {{"-LDParity", "-Start", "-L1,2,4,5", "-a0"},
         "Fatal error - Adapter 0-VD 1: Make parity cannot be done with RAID0.\n"
         "Fatal error - Adapter 0-VD 2: Consistency Check is being executed.\n"
         "Fatal error - Adapter 0-VD 4: Rebuild or Copy Back or Copy is being executed.\n"
         "Fatal error - Adapter 0-VD 5: It has already been executing it.\n"},
        // an LD that is not Good ends the command: LD 3's check is refused by what it runs anyway,
        // but nothing after LD 0 is looked at
        {{"-LDParity", "-Start", "-L0,3", "-a1"}, "Fatal error - Adapter 1-LD 0: state is not GOOD.\n"},
        {{"-LDCC", "-Start", "-L1,0", "-a1,0"},
         "Start Consistency Check on Virtual Drive 0 ( Adapter 0 ) succeeded.\n"
         "Fatal error - Adapter 0-VD 1: Consistency Check cannot be done with RAID0.\n"
         "Fatal error - Adapter 1-LD 0: state is not GOOD.\n"},
    });
}

TEST(BgopRefusals, PdStartRefusalsInOrder) {
    ExpectEachOnFreshServer({
        {{"-PDRbld", "-Start", "-PhysDrv[0:7,0:6,0:4]", "-a1"},
         "Fatal error - Adapter 1-PD 4: It has already been executing it.\n"
         "Fatal error - Adapter 1-PD 6: Consistency Check is being executed.\n"
         "Fatal error - Adapter 1-PD 7: Rebuild or Copy Back cannot be executed.\n"},
        {{"-PDRbld", "-Start", "-PhysDrv[0:0,0:3,0:4,0:6]", "-a0"},
         "Fatal error - Adapter 0-PD 0: Rebuild or Copy Back cannot be executed.\n"
         "Fatal error - Adapter 0-PD 3: Rebuild or Copy Back cannot be done with RAID0.\n"
         "Fatal error - Adapter 0-PD 4: Consistency Check is being executed.\n"
         "Fatal error - Adapter 0-PD 6: Make Parity is being executed.\n"},
        // the state of the LD after the start tells a copy back (2) from a rebuild
        {{"-PDRbld", "-Start", "-PhysDrv[0:0]", "-a1"}, "Start Rebuild on Physical Drive 0 ( Adapter 1 ) succeeded.\n"},
        {{"-PDRbld", "-Start", "-PhysDrv[0:3]", "-a1"},
         "Start Copy Back on Physical Drive 3 ( Adapter 1 ) succeeded.\n"},
        // -Abort is refused after the drives were found
        {{"-PDRbld", "-Abort", "-PhysDrv[0:0]", "-a0"}, "-Abort param is not supported.\n"},
    });
}

TEST(BgopRefusals, SyntaxErrors) {
    SimServer sim(bgoptest::kServerConfig);
    ASSERT_TRUE(sim.ok());
    const Case cases[] = {
        {{"-LDCC", "-Start", "-Abort", "-L0", "-a0"}, Invalid("-Start")},
        {{"-LDCC", "-Start", "-L0"}, Invalid("-L0")},
        {{"-LDCC", "-L0", "-a0"}, Invalid("-a0")},
        {{"-LDParity", "-Stop", "-L0", "-a0"}, Invalid("-LDParity")},
        {{"-LDCC", "-ShowProg", "-L0", "-a0", "-nochk"}, Invalid("-a0")},
        {{"-PDRbld", "-Start", "-a0"}, Invalid("-a0")},
        {{"-PDRbld", "-ShowProg", "-ProgDsply", "-PhysDrv[0:0]", "-a0"}, Invalid("-ShowProg")},
        {{"-PDRbld", "-Start", "-L0", "-a0"}, Invalid("-Start")},
        {{"-PDRbld", "-Start", "-PhysDrv[0:12]", "-a1"}, Invalid("-Start")},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv{"tavcli"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        RunResult r = sim.run(argv);
        EXPECT_EQ(r.out, c.expected) << c.args[0] << " " << c.args[1];
    }
}

// With -Lall the refusals for single LDs are left out while some LD qualifies.
TEST_F(BgopCommands, LallQuietRule) {
    EXPECT_EQ(Cli({"-LDCC", "-Start", "-Lall", "-a0"}).out,
              "Start Consistency Check on Virtual Drive 0 ( Adapter 0 ) succeeded.\n");
    EXPECT_EQ(LogicalDrive(sim, 0, 0)["operation"], "consistency-check");
    // nothing startable on adapter 0 any more: every refusal is printed
    EXPECT_EQ(Cli({"-LDParity", "-Start", "-Lall", "-a0"}).out,
              "Fatal error - Adapter 0-VD 0: Consistency Check is being executed.\n"
              "Fatal error - Adapter 0-VD 1: Make parity cannot be done with RAID0.\n"
              "Fatal error - Adapter 0-VD 2: Consistency Check is being executed.\n"
              "Fatal error - Adapter 0-VD 3: Consistency Check is being executed.\n"
              "Fatal error - Adapter 0-VD 4: Rebuild or Copy Back or Copy is being executed.\n"
              "Fatal error - Adapter 0-VD 5: It has already been executing it.\n");
}

// The same for aborts: quiet while some LD runs the operation.
TEST(BgopQuiet, AbortOfEveryLd) {
    SimServer sim(bgoptest::kSmallServer);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    ASSERT_EQ(sim.run({"tavcli", "-LDCC", "-Start", "-L0", "-a0"}).status, 0);
    EXPECT_EQ(sim.run({"tavcli", "-LDCC", "-Abort", "-Lall", "-a0"}).out,
              "Abort Consistency Check on Virtual Drive 0 ( Adapter 0 ) succeeded.\n");
    EXPECT_EQ(LogicalDrive(sim, 0, 0)["operation"], "none");
    EXPECT_EQ(sim.run({"tavcli", "-LDCC", "-Abort", "-Lall", "-a0"}).out,
              "Fatal error - Adapter 0-VD 0: Consistency Check have already ended.\n"
              "Fatal error - Adapter 0-VD 1: Consistency Check have already ended.\n");
    EXPECT_EQ(sim.run({"tavcli", "-LDCC", "-ShowProg", "-Lall", "-a0"}).out,
              "Check Consistency on Adapter #0-VD #0 is not in progress.\n"
              "Check Consistency on Adapter #0-VD #1 is not in progress.\n");
}

TEST_F(BgopCommands, AbortStopsTheRunningOperationOnly) {
    ASSERT_EQ(Cli({"-LDParity", "-Start", "-L0", "-a0"}).out,
              "Start Make Parity on Virtual Drive 0 ( Adapter 0 ) succeeded.\n");
    EXPECT_EQ(Cli({"-LDCC", "-Abort", "-L0", "-a0"}).out,
              "Fatal error - Adapter 0-VD 0: Consistency Check have already ended.\n");
    EXPECT_EQ(LogicalDrive(sim, 0, 0)["operation"], "parity-creation");
    EXPECT_EQ(Cli({"-LDParity", "-Abort", "-L0,1", "-a0"}).out,
              "Abort Make Parity on Virtual Drive 0 ( Adapter 0 ) succeeded.\n"
              "Fatal error - Adapter 0-VD 1: Make Parity have already ended.\n");
    EXPECT_EQ(LogicalDrive(sim, 0, 0)["operation"], "none");
    EXPECT_EQ(Cli({"-LDParity", "-Abort", "-L0", "-a0"}).out,
              "Fatal error - Adapter 0-VD 0: Make Parity have already ended.\n");
}

// Two checks at 10 % and 57 %: 5 stars and "10"; 23 stars, "57" and one star after the "%".
TEST_F(BgopCommands, ShowProgDrawsEachRowOnce) {
    std::vector<std::string> expected{bgoptest::kCheckHeading, "", bgoptest::kLdColumns, LdRow(0, 2, 10),
                                      LdRow(0, 3, 57)};
    EXPECT_EQ(Screen({"-LDCC", "-ShowProg", "-L3,2", "-a0"}), expected);
    EXPECT_EQ(LdRow(0, 2, 10), "    0        2     *****------------------10 %-----------------------");
    EXPECT_EQ(LdRow(0, 3, 57), "    0        3     ***********************57 %*----------------------");
    // -Lall: the LDs without a check are passed over silently
    EXPECT_EQ(Screen({"-LDCC", "-ShowProg", "-Lall", "-a0"}), expected);
    EXPECT_EQ(Screen({"-LDParity", "-ShowProg", "-L5,0", "-a0"}),
              (std::vector<std::string>{"Make Parity on Adapter #0-VD #0 is not in Progress.", bgoptest::kParityHeading,
                                        "", bgoptest::kLdColumns, LdRow(0, 5, 30)}));
    EXPECT_EQ(Cli({"-LDCC", "-ShowProg", "-L0,1,4,5", "-a0"}).out,
              "Check Consistency on Adapter #0-VD #0 is not in progress.\n"
              "Check Consistency on Adapter #0-VD #1 is not in progress.\n"
              "Fatal error - Adapter 0-VD 4: Rebuild or Copy Back or Copy is being executed.\n"
              "Fatal error - Adapter 0-VD 5: Make Parity is being executed.\n");
}

TEST_F(BgopCommands, ShowProgOfRebuildingDrives) {
    EXPECT_EQ(Screen({"-PDRbld", "-ShowProg", "-PhysDrv[0:7,0:5,0:6,0:4]", "-a1"}),
              (std::vector<std::string>{bgoptest::kRebuildHeading, "", bgoptest::kPdColumns, PdRow(1, 4, " C", 64),
                                        PdRow(1, 5, " C", 64),
                                        "Fatal error - Adapter 1-PD 6: Consistency Check is being executed.",
                                        "Adapter 1-PD 7 is not in rebuild, copy back and copy process."}));
}

// A rebuild started on a drive shows as " R", a copy as " C".
TEST_F(BgopCommands, ShowProgKindOfEachDrive) {
    ASSERT_EQ(Cli({"-PDRbld", "-Start", "-PhysDrv[0:1]", "-a1"}).out,
              "Start Rebuild on Physical Drive 1 ( Adapter 1 ) succeeded.\n");
    ASSERT_EQ(sim.inject({"operation-progress", "1", "0", "20", "hold"}).status, 0);
    EXPECT_EQ(Screen({"-PDRbld", "-ShowProg", "-PhysDrv[0:0,0:2,0:4]", "-a1"}),
              (std::vector<std::string>{bgoptest::kRebuildHeading, "", bgoptest::kPdColumns, PdRow(1, 0, " R", 20),
                                        "Adapter 1-PD 2 is not in rebuild, copy back and copy process.",
                                        PdRow(1, 4, " C", 64)}));
    EXPECT_EQ(Cli({"-PDRbld", "-Start", "-PhysDrv[0:0]", "-a1"}).out,
              "Fatal error - Adapter 1-PD 0: It has already been executing it.\n");
}

// With nothing to follow, a live display prints each LD's or drive's reason and ends.
TEST_F(BgopCommands, ProgDsplyWithNothingRunningPrintsReasons) {
    EXPECT_EQ(Cli({"-LDParity", "-ProgDsply", "-Lall", "-a1"}).out,
              "Make Parity on Adapter #1-VD #0 is not in Progress.\n"
              "Make Parity on Adapter #1-VD #1 is not in Progress.\n"
              "Fatal error - Adapter 1-VD 2: Rebuild or Copy Back or Copy is being executed.\n"
              "Fatal error - Adapter 1-VD 3: Consistency Check is being executed.\n");
    EXPECT_EQ(Cli({"-PDRbld", "-ProgDsply", "-PhysDrv[0:0,0:6]", "-a1"}).out,
              "Adapter 1-PD 0 is not in rebuild, copy back and copy process.\n"
              "Fatal error - Adapter 1-PD 6: Consistency Check is being executed.\n");
}

}  // namespace
