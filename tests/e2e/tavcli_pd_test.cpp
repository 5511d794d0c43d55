// tavcli's physical-drive commands on a simulated server of four adapters:
// the drive information block, listing and counting, the locate LED, hot
// spares, on line and off line, the rebuild priority, their syntax errors and
// what declined confirmations leave behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tavcli_drive_fixture.h"

namespace {

using drivetest::Case;
using drivetest::Drive;
using drivetest::DriveBlock;
using drivetest::DriveCommands;
using drivetest::kDrives;
using tavtest::RunResult;

class PdCommands : public DriveCommands {};

std::string Heading(int adapter) {
    return "Adapter " + std::to_string(adapter) + " -- Physical Drive Information:\n\n";
}

// ---- information ----

// Every class, state, link speed, SMART and bad-spot text, the assignment
// texts and the cut vendor and product names, on both card types; the adapter
// without drives is reported first and dropped.
TEST_F(PdCommands, ListShowsEveryDriveOfEveryAdapter) {
    nlohmann::json state = Show();
    std::string expected = "Fatal error - Adapter 3: There is no Physical Drive.\n";
    int adapter = -1;
    for (const auto& row : kDrives) {
        if (row.adapter != adapter) expected += Heading(adapter = row.adapter);
        expected += DriveBlock(row, state, false);
    }
    ExpectCase({{"-PDList", "-aALL"}, expected});
}

TEST_F(PdCommands, ListOfAnAdapterWithoutDrivesEndsThere) {
    ExpectCase({{"-PDList", "-a2,3"}, "Fatal error - Adapter 3: There is no Physical Drive.\n"});
    ExpectCase({{"-PDList", "-a3,2"}, "Fatal error - Adapter 3: There is no Physical Drive.\n"});
}

TEST_F(PdCommands, InfoShowsTheListedDrivesInAscendingOrder) {
    nlohmann::json state = Show();
    std::string expected = Heading(0) + DriveBlock(Drive(0, 1), state, false) + DriveBlock(Drive(0, 3), state, false) +
                           Heading(1) + DriveBlock(Drive(1, 1), state, false) + DriveBlock(Drive(1, 3), state, false);
    ExpectCase({{"-PDInfo", "-PhysDrv[0:3,0:1]", "-a1,0"}, expected});
}

// Nothing is shown when one listed drive is absent; the message names the
// first absent drive in list order.
TEST_F(PdCommands, InfoNamingAnAbsentDriveShowsNothing) {
    ExpectCases({
        {{"-PDInfo", "-PhysDrv[0:1,0:0,0:5]", "-a2"},
         "Fatal error - Adapter 2-The specified Physical Drive: 5 doesn't exist.\n"},
        {{"-PDInfo", "-PhysDrv[0:0]", "-a0,3"},
         "Fatal error - Adapter 3-The specified Physical Drive: 0 doesn't exist.\n"},
    });
}

TEST_F(PdCommands, GetNumCountsTheDrivesOfEachAdapter) {
    ExpectCase({{"-PDGetNum", "-aALL"},
                "Number of Physical drives on adapter 0: 8.\nNumber of Physical drives on adapter 1: 8.\n"
                "Number of Physical drives on adapter 2: 2.\nNumber of Physical drives on adapter 3: 0.\n"});
}

// On the default server a failed member of the RAID 5 LD 0 is served by the
// global hot spare 3, which becomes a spare in use.
class PdCommandsOnDefaultServer : public DriveCommands {
protected:
    PdCommandsOnDefaultServer() : DriveCommands("") {}
};

TEST_F(PdCommandsOnDefaultServer, MemberServedByASpareShowsTheSpare) {
    ASSERT_EQ(sim.inject({"fail-drive", "0", "0"}).status, 0);
    nlohmann::json state = Show();
    const drivetest::DriveRow failed = {
        0, 0, "MORVANE", "MBB2147RC      ", "0-S3", "Member Use", "Alarm0", "3.0Gbps", "None", "None", 0};
    const drivetest::DriveRow spare = {
        0, 3, "MORVANE", "MBB2147RC      ", "-", "Spare Use", "Good", "3.0Gbps", "None", "None", 0};
    ExpectCase({{"-PDInfo", "-PhysDrv[0:3,0:0]", "-a0"},
                Heading(0) + DriveBlock(failed, state, false) + DriveBlock(spare, state, false)});
}

// A drive whose class no table knows ends PDInfo and PDList after the drives
// before it, and stops the tool in LDPDInfo.
class PdCommandsWithAnUnknownClass : public DriveCommands {
protected:
    PdCommandsWithAnUnknownClass()
        : DriveCommands(R"({"adapters": [{"host": 2, "model": "ZN5121",
            "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"},
                       {"slot": 2, "interface": "SAS", "class": 9}, {"slot": 3, "interface": "SAS"}],
            "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]}]}]})") {}
};

TEST_F(PdCommandsWithAnUnknownClass, EndsTheCommandOrStopsTheTool) {
    nlohmann::json state = Show();
    const drivetest::DriveRow d0 = {
        0, 0, "MORVANE", "MBB2147RC      ", "0-D0", "Member Use", "Good", "3.0Gbps", "None", "None", 0};
    drivetest::DriveRow d1 = d0;
    d1.pd = 1;
    d1.assign = "0-D1";
    const drivetest::LdRow ld = {0, 0,      1, 2147, "Good", 2, "Global", "Enabled", "Not Needed", "No Operation",
                                 0, "None", 0, "RA", "WB"};
    const std::string abnormal = "Fatal error - Adapter 0: DLL information is abnormal.\n";
    ExpectCases({
        {{"-PDInfo", "-PhysDrv[0:3,0:2,0:1]", "-a0"}, Heading(0) + DriveBlock(d1, state, false) + abnormal},
        {{"-PDList", "-a0"}, Heading(0) + DriveBlock(d0, state, false) + DriveBlock(d1, state, false) + abnormal},
        {{"-LDPDInfo", "-a0"},
         "Adapter #0\n\nNumber of Virtual Disks: 1\n" + drivetest::LdBlock(ld) + DriveBlock(d0, state, true) +
             DriveBlock(d1, state, true) + abnormal,
         255},
    });
}

// Refusals are kept in the trace log, except a drive that is already off line.
TEST_F(PdCommands, RefusalsAreTracedButAnOfflineDriveIsNot) {
    const struct {
        std::vector<std::string> args;
        std::string message;
        bool traced;
    } cases[] = {
        {{"-PDOnline", "-PhysDrv[0:1]", "-a2", "-nochk"},
         "Fatal error - Adapter 2-Physical Drive 1: It is already the setting.",
         true},
        {{"-PDOffline", "-PhysDrv[0:2]", "-a0", "-nochk"},
         "Fatal error - Adapter 0-Physical Drive 2: It is already the setting.",
         false},
        {{"-PDHSP", "-Set", "-PhysDrv[0:2]", "-a0", "-nochk"},
         "Fatal error - Adapter 0-PD 2: state is not GOOD.",
         true},
        {{"-PDHSP", "-Rmv", "-PhysDrv[0:0]", "-a0", "-nochk"},
         "Fatal error - Adapter 0-Physical Drive 0: It is already the setting.",
         true},
        {{"-PDLocate", "-Active", "-PhysDrv[0:5]", "-a2"},
         "Fatal error - Adapter 2-The specified Physical Drive: 5 doesn't exist.",
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(drivetest::Joined(c.args));
        ExpectCase({c.args, c.message + "\n"});
        std::string log = tavtest::readFile(sim.path("/opt/morvane/tavutility/tavcli.log"));
        EXPECT_EQ(log.find(c.message) != std::string::npos, c.traced);
    }
}

// ---- syntax ----

TEST_F(PdCommands, SyntaxErrorsNameTheirToken) {
    const struct {
        std::vector<std::string> args;
        std::string token;
    } cases[] = {
        {{"-PDInfo", "-a0"}, "-a0"},                                              // drive list missing
        {{"-PDInfo", "-PhysDrv[0:1]", "-Cache", "-a0"}, "-PhysDrv[0:1]"},         // fits nothing
        {{"-PDInfo", "-PhysDrv[0:1]x", "-a0"}, "-PDInfo"},                        // rejected by the parser
        {{"-PDInfo", "-PhysDrv[0:1]", "-PhysDrv[0:2]", "-a0"}, "-PhysDrv[0:1]"},  // given twice
        {{"-PDList", "-a0", "-L0"}, "-a0"},                                       // the first option
        {{"-PDList", "-L0", "-a0"}, "-L0"},
        {{"-PDList"}, "-PDList"},
        {{"-PDGetNum", "-a0", "-nochk"}, "-PDGetNum"},  // the command word
        {{"-PDLocate", "-Active", "-Passive", "-PhysDrv[0:1]", "-a0"}, "-Active"},
        {{"-PDLocate", "-PhysDrv[0:1]", "-a0"}, "-a0"},
        {{"-PDHSP", "-Set", "-PhysDrv[1]", "-a0"}, "-Set"},
        {{"-PDHSP", "-Rmv", "-Set", "-PhysDrv[0:1]", "-a0"}, "-Rmv"},
        {{"-PDOnline", "-PhysDrv[0:1]", "-a0", "-nochk", "-nochk"}, "-nochk"},
        {{"-PDOffline", "-PhysDrv[0:1]", "-Set", "-a0"}, "-PhysDrv[0:1]"},
        {{"-PDRbldPrrty", "-Idle", "-a0", "-High", "-x"}, "-PDRbldPrrty"},
        {{"-PDRbldPrrty", "-Idle", "-a0"}, "-a0"},  // priority missing
        {{"-PDRbldPrrty", "-High", "-a0"}, "-a0"},  // period missing
        {{"-PDRbldPrrty", "-Idle", "-Busy", "-Low", "-a0"}, "-Idle"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(drivetest::Joined(c.args));
        ExpectCase({c.args, "Invalid input at or near token " + c.token + ".\n"});
    }
}

// ---- locate LED ----

TEST_F(PdCommands, LocateSwitchesTheLedOfEveryListedDrive) {
    ExpectCase({{"-PDLocate", "-Active", "-PhysDrv[0:3,0:1]", "-a0,1"},
                "Physical Drive 1 ( Adapter 0 ) LED is Active.\nPhysical Drive 3 ( Adapter 0 ) LED is Active.\n"
                "Physical Drive 1 ( Adapter 1 ) LED is Active.\nPhysical Drive 3 ( Adapter 1 ) LED is Active.\n"});
    nlohmann::json state = Show();
    for (int adapter : {0, 1})
        for (int pd : {0, 1, 2, 3}) {
            SCOPED_TRACE(std::to_string(adapter) + ":" + std::to_string(pd));
            EXPECT_EQ(drivetest::SimDrive(state, adapter, pd)["led"], pd % 2 ? 0x30 : 0);
        }

    ExpectCase(
        {{"-PDLocate", "-Passive", "-PhysDrv[0:1]", "-a1"}, "Physical Drive 1 ( Adapter 1 ) LED is not Active.\n"});
    EXPECT_EQ(drivetest::SimDrive(Show(), 1, 1)["led"], 0);
}

TEST_F(PdCommands, LocateOfAnAbsentDriveChangesNoLed) {
    nlohmann::json before = StateWithoutCounters();
    ExpectCase({{"-PDLocate", "-Active", "-PhysDrv[0:0,0:4]", "-a2"},
                "Fatal error - Adapter 2-The specified Physical Drive: 4 doesn't exist.\n"});
    EXPECT_EQ(StateWithoutCounters(), before);
}

// ---- hot spares ----

TEST_F(PdCommands, HotSpareAssignmentSkipsUnsuitableDrives) {
    ExpectCase({{"-PDHSP", "-Set", "-PhysDrv[0:7,0:2,0:6]", "-a0"},
                "Is it executed?(Y/N)?\nFatal error - Adapter 0-PD 2: state is not GOOD.\n"
                "Fatal error - Adapter 0-Physical Drive 6: It is already the setting.\n"
                "Adapter 0: Physical Drive 7 was set to the Hot Spare.\n"},
               "y\n");

    nlohmann::json state = Show();
    EXPECT_EQ(state["adapters"][0]["hot_spares"], nlohmann::json::array({6, 7}));
    EXPECT_EQ(drivetest::SimDrive(state, 0, 7)["class"], 3);
    drivetest::DriveRow spare = Drive(0, 7);
    spare.driveClass = "Spare No Use";
    ExpectCase({{"-PDInfo", "-PhysDrv[0:7]", "-a0"}, Heading(0) + DriveBlock(spare, state, false)});
}

// The library refuses a member drive: the command ends there.
TEST_F(PdCommands, HotSpareRefusedByTheLibraryChangesNothing) {
    nlohmann::json before = StateWithoutCounters();
    ExpectCase({{"-PDHSP", "-Set", "-PhysDrv[0:0,0:7]", "-a0", "-nochk"},
                "Adapter 0: The specified operation cannot be executed.\nPlease ascertain the situation.\n"});
    EXPECT_EQ(StateWithoutCounters(), before);
}

TEST_F(PdCommands, HotSpareRemovalListsTheDrivesFirst) {
    ExpectCase({{"-PDHSP", "-Rmv", "-PhysDrv[0:6,0:0]", "-a0"},
                "Adapter 0-PD 0: It is already the setting.\nAdapter 0-PD 6\n"
                "Is the removing of Hot Spare executed?(Y/N)?\n"
                "Fatal error - Adapter 0-Physical Drive 0: It is already the setting.\n"
                "Adapter 0: Physical Drive 6 was removed to the Hot Spare.\n"},
               "Y\n");
    nlohmann::json state = Show();
    EXPECT_EQ(state["adapters"][0]["hot_spares"], nlohmann::json::array());
    EXPECT_EQ(drivetest::SimDrive(state, 0, 6)["class"], 4);
}

// ---- on line and off line ----

TEST_F(PdCommands, OfflineThenOnlineRoundTrip) {
    nlohmann::json state = Show();
    ExpectCase({{"-PDOffline", "-PhysDrv[0:0]", "-a2"},
                "Adapter 2-PD 0\nIs the offline executed?(Y/N)?\n"
                "Physical Drive 0 ( Adapter 2 ) state changed to OffLine.\n"},
               "y\n");
    EXPECT_EQ(drivetest::SimDrive(Show(), 2, 0)["state"], 0x20);
    ExpectCase({{"-PDList", "-a2"},
                Heading(2) + DriveBlock(Drive(2, 0), state, false, "Alarm0") + DriveBlock(Drive(2, 1), state, false)});

    ExpectCase({{"-PDOffline", "-PhysDrv[0:0]", "-a2", "-nochk"},
                "Fatal error - Adapter 2-Physical Drive 0: It is already the setting.\n"});

    ExpectCase({{"-PDOnline", "-PhysDrv[0:1,0:0]", "-a2"},
                "Adapter 2-PD 0\nAdapter 2-PD 1: It is already the setting.\n"
                "Is the online executed?(Y/N)?\nIs the online executed?(Y/N)?\n"
                "Is the online executed?(Y/N)?\nIs the online executed?(Y/N)?\n"
                "Physical Drive 0 ( Adapter 2 ) state changed to OnLine.\n"
                "Fatal error - Adapter 2-Physical Drive 1: It is already the setting.\n"},
               "yes\n\nY \ny\n");
    EXPECT_EQ(drivetest::SimDrive(Show(), 2, 0)["state"], 0);
    ExpectCase({{"-PDList", "-a2"},
                Heading(2) + DriveBlock(Drive(2, 0), state, false) + DriveBlock(Drive(2, 1), state, false)});
}

// An off-line member degrades its RAID 1 LD.
TEST_F(PdCommands, OfflineMemberDegradesItsLd) {
    ExpectCase({{"-PDOffline", "-PhysDrv[0:3]", "-a0", "-nochk"},
                "Physical Drive 3 ( Adapter 0 ) state changed to OffLine.\n"});
    nlohmann::json state = Show();
    EXPECT_EQ(drivetest::SimDrive(state, 0, 3)["state"], 0x20);
    EXPECT_EQ(state["adapters"][0]["logical_drives"][1]["state"], 0x10);
    RunResult info = Tavcli({"-LDInfo", "-L1", "-a0"});
    EXPECT_NE(info.out.find("\nState:                 Warning0\n"), std::string::npos) << info.out;
}

// ---- rebuild priority ----

TEST_F(PdCommands, RebuildPrioritySetsOnePeriodOfEachListedAdapter) {
    ExpectCase({{"-PDRbldPrrty", "-Busy", "-Low", "-a0", "-nochk"},
                "Adapter 0: The priority of Rebuild in BUSY state was made Low.\n"});
    ExpectCase({{"-PDRbldPrrty", "-middle", "-IDLE", "-a1,2"},
                "Is it executed?(Y/N)?\nAdapter 1: The priority of Rebuild in IDLE state was made Middle.\n"
                "Adapter 2: The priority of Rebuild in IDLE state was made Middle.\n"},
               "y\n");
    nlohmann::json state = Show();
    EXPECT_EQ(state["adapters"][0]["priorities"], (nlohmann::json{{"idle", 1}, {"busy", 3}}));
    EXPECT_EQ(state["adapters"][1]["priorities"], (nlohmann::json{{"idle", 2}, {"busy", 2}}));
    EXPECT_EQ(state["adapters"][2]["priorities"], (nlohmann::json{{"idle", 2}, {"busy", 2}}));
    EXPECT_EQ(state["adapters"][3]["priorities"], (nlohmann::json{{"idle", 1}, {"busy", 2}}));
}

// ---- declined confirmations ----

// A declined question ends the command without a word and without a change:
// the adapter answered exactly the commands of a run that stops at a syntax
// error after the same targets (kind 0), or of a drive count (the listing of
// the on-line and off-line questions reads the status once).
TEST_F(PdCommands, DeclinedQuestionsSendNothing) {
    const struct {
        std::vector<std::string> args;
        std::string printed;
        std::vector<std::string> baseline;
    } cases[] = {
        {{"-PDHSP", "-Set", "-PhysDrv[0:0]", "-a2"},
         "Is it executed?(Y/N)?\n",
         {"-PDHSP", "-Set", "-PhysDrv[0:0]", "-a2", "-x"}},
        {{"-PDRbldPrrty", "-Idle", "-Low", "-a2"},
         "Is it executed?(Y/N)?\n",
         {"-PDRbldPrrty", "-Idle", "-Low", "-a2", "-a2"}},
        {{"-PDOffline", "-PhysDrv[0:0]", "-a2"},
         "Adapter 2-PD 0\nIs the offline executed?(Y/N)?\n",
         {"-PDGetNum", "-a2"}},
        {{"-PDOnline", "-PhysDrv[0:0]", "-a2"},
         "Adapter 2-PD 0: It is already the setting.\nIs the online executed?(Y/N)?\n",
         {"-PDGetNum", "-a2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(drivetest::Joined(c.args));
        int start = Commands(2);
        RunResult baseline = Tavcli(c.baseline);
        int baselineCost = Commands(2) - start;
        nlohmann::json before = StateWithoutCounters();

        start = Commands(2);
        ExpectCase({c.args, c.printed}, "n\n");
        EXPECT_EQ(Commands(2) - start, baselineCost) << baseline.out;
        EXPECT_EQ(StateWithoutCounters(), before);
    }
}

TEST_F(PdCommands, DeclinedHotSpareRemovalKeepsTheSpare) {
    nlohmann::json before = StateWithoutCounters();
    ExpectCase(
        {{"-PDHSP", "-Rmv", "-PhysDrv[0:6]", "-a0"}, "Adapter 0-PD 6\nIs the removing of Hot Spare executed?(Y/N)?\n"},
        "N\n");
    EXPECT_EQ(StateWithoutCounters(), before);
}

}  // namespace
