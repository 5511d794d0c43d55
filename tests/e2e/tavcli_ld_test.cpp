// tavcli's logical-drive commands on a simulated server of four adapters:
// the LD information block and the LD walk, cache policies, LDs with their
// drives, bad-spot addresses by drive tables (generation 0) and by LD tables,
// and the restorable LDs: listing, information, restore and deletion.
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
using drivetest::kLds;
using drivetest::Ld;
using drivetest::LdBlock;
using tavtest::RunResult;

class LdCommands : public DriveCommands {};

std::string InfoHeading(int adapter) {
    return "Adapter " + std::to_string(adapter) + " -- Virtual Drive Information:\n\n";
}

std::string Invalid(const std::string& token) { return "Invalid input at or near token " + token + ".\n"; }

// ---- LDInfo and the LD walk ----

// Adapters without LDs are skipped silently with -aALL -Lall; RAID 1 of four
// drives shows as RAID10; copy, copy back, rebuild and check show as such.
TEST_F(LdCommands, InfoShowsEveryLdOfEveryAdapter) {
    std::string expected;
    int adapter = -1;
    for (const auto& row : kLds) {
        if (row.adapter != adapter) expected += InfoHeading(adapter = row.adapter);
        expected += LdBlock(row);
    }
    ExpectCase({{"-LDInfo", "-Lall", "-aALL"}, expected});
}

TEST_F(LdCommands, InfoWalksTheSelectedLdsInAscendingOrder) {
    ExpectCases({
        {{"-LDInfo", "-L2,0", "-a0"}, InfoHeading(0) + LdBlock(Ld(0, 0)) + LdBlock(Ld(0, 2))},
        {{"-LDInfo", "-l1,", "-A1,0"}, InfoHeading(0) + LdBlock(Ld(0, 1)) + InfoHeading(1) + LdBlock(Ld(1, 1))},
        // a full explicit list counts as all: LD 2 missing on adapter 1 is passed over
        {{"-LDInfo", "-L7,6,5,4,3,2,1,0", "-a1"}, InfoHeading(1) + LdBlock(Ld(1, 0)) + LdBlock(Ld(1, 1))},
    });
}

TEST_F(LdCommands, InfoOfMissingLdsEndsTheCommand) {
    ExpectCases({
        {{"-LDInfo", "-Lall", "-a2"}, "Fatal error - Adapter 2: There is no Virtual Drive.\n"},
        {{"-LDInfo", "-Lall", "-a0,2"}, "Fatal error - Adapter 2: There is no Virtual Drive.\n"},
        {{"-LDInfo", "-L3", "-a0"}, "Fatal error - Adapter 0-The specified Virtual Drives: 3 doesn't exist.\n", 255},
        {{"-LDInfo", "-L0", "-aALL"}, "Fatal error - Adapter 2-The specified Virtual Drives: 0 doesn't exist.\n", 255},
        {{"-LDInfo", "-L8", "-a0"}, Invalid("-LDInfo")},
        {{"-LDInfo", "-PhysDrv[0:0]", "-a0"}, Invalid("-LDInfo")},
        {{"-LDInfo", "-a0"}, Invalid("-a0")},
    });
}

TEST_F(LdCommands, GetNumCountsTheLdsOfEachAdapter) {
    ExpectCases({
        {{"-LDGetNum", "-aALL"},
         "Number of Virtual drives configured on adapter 0: 3.\nNumber of Virtual drives configured on adapter 1: 2.\n"
         "Number of Virtual drives configured on adapter 2: 0.\nNumber of Virtual drives configured on adapter 3: "
         "0.\n"},
        {{"-LDGetNum", "-a1", "-L0"}, Invalid("-LDGetNum")},
    });
}

// ---- cache policies ----

TEST_F(LdCommands, GetPropShowsTheCachePolicies) {
    ExpectCases({
        {{"-LDGetProp", "-Cache", "-Lall", "-aALL"},
         "Adapter 0-VD 0: Cache Policy: WriteBack, ReadAhead.\nAdapter 0-VD 1: Cache Policy: WriteThrough, "
         "ReadAheadNone.\nAdapter 0-VD 2: Cache Policy: WriteBack, ReadAhead.\n"
         "Adapter 1-VD 0: Cache Policy: WriteBack, ReadAhead.\nAdapter 1-VD 1: Cache Policy: WriteBack, ReadAhead.\n"},
        {{"-LDGetProp", "-Caches", "-L0", "-a0"}, Invalid("-LDGetProp")},
        {{"-LDGetProp", "-L0", "-a0"}, Invalid("-a0")},
    });
}

TEST_F(LdCommands, SetPropChangesWriteThenReadPolicy) {
    ExpectCase(
        {{"-LDSetProp", "-RA", "-WB", "-L1", "-a0"},
         "Is it executed?(Y/N)?\nAdapter 0-VD 1: WriteCache is Enabled.\nAdapter 0-VD 1: ReadCache is Enabled.\n"},
        "y\n");
    ExpectCase({{"-LDSetProp", "-WT", "-Lall", "-a1", "-nochk"},
                "Adapter 1-VD 0: WriteCache is Disabled.\nAdapter 1-VD 1: WriteCache is Disabled.\n"});
    ExpectCase({{"-LDSetProp", "-NORA", "-L0", "-a0", "-nochk"}, "Adapter 0-VD 0: ReadCache is Disabled.\n"});

    nlohmann::json state = Show();
    const struct {
        int adapter, ld;
        const char *read, *write;
    } expected[] = {
        {0, 0, "NORA", "WB"}, {0, 1, "RA", "WB"}, {0, 2, "RA", "WB"}, {1, 0, "RA", "WT"}, {1, 1, "RA", "WT"}};
    for (const auto& e : expected) {
        const auto& ld = state["adapters"][e.adapter]["logical_drives"][e.ld];
        EXPECT_EQ(ld["read"], e.read) << e.adapter << ":" << e.ld;
        EXPECT_EQ(ld["write"], e.write) << e.adapter << ":" << e.ld;
    }
    ExpectCase({{"-LDGetProp", "-Cache", "-L1", "-a0,1"},
                "Adapter 0-VD 1: Cache Policy: WriteBack, ReadAhead.\n"
                "Adapter 1-VD 1: Cache Policy: WriteThrough, ReadAhead.\n"});
}

TEST_F(LdCommands, SetPropSyntaxErrorsChangeNothing) {
    nlohmann::json before = StateWithoutCounters();
    ExpectCases({
        {{"-LDSetProp", "-WB", "-WT", "-L0", "-a0"}, Invalid("-WB")},
        {{"-LDSetProp", "-RA", "-NORA", "-L0", "-a0"}, Invalid("-RA")},
        {{"-LDSetProp", "-L0", "-a0", "-nochk"}, Invalid("-nochk")},
        {{"-LDSetProp", "-WB", "-L0", "-Cache", "-a0"}, Invalid("-L0")},
    });
    EXPECT_EQ(StateWithoutCounters(), before);
}

// ---- LDs with their drives ----

TEST_F(LdCommands, LdPdInfoShowsEachAdapterWithItsLdsAndDrives) {
    nlohmann::json state = Show();
    std::string expected = "Fatal error - Adapter 3: There is no Virtual Drive & Physical Drive.\n";
    const int ldCounts[] = {3, 2, 0};
    for (int adapter = 0; adapter < 3; ++adapter) {
        expected += "Adapter #" + std::to_string(adapter) +
                    "\n\nNumber of Virtual Disks: " + std::to_string(ldCounts[adapter]) + "\n";
        for (const auto& row : kLds)
            if (row.adapter == adapter) expected += LdBlock(row);
        for (const auto& row : kDrives)
            if (row.adapter == adapter) expected += DriveBlock(row, state, true);
    }
    ExpectCase({{"-LDPDInfo", "-aALL"}, expected});
    ExpectCases({
        {{"-LDPDInfo", "-a3,2"}, "Fatal error - Adapter 3: There is no Virtual Drive & Physical Drive.\n"},
        {{"-LDPDInfo", "-L0", "-a0"}, Invalid("-LDPDInfo")},
    });
}

// ---- bad spots ----

// Generation 1 reads the LD's own table in its order; generation 0 merges the
// member drives' tables into one ascending list without repeats.
TEST_F(LdCommands, BadSpotsByLdTableAndByDriveTables) {
    ExpectCase({{"-LDBadSpot", "-Lall", "-aALL"},
                "Adapter #0\n\nVirtual Drive: 0\nBad Spot None.\n\nVirtual Drive: 1\nLBA Information\n"
                "========================\n#0 : 0x000000123456789A\n#1 : 0x0000000000000010\n\n"
                "Virtual Drive: 2\nBad Spot None.\n\n"
                "Adapter #1\n\nVirtual Drive: 0\nBad Spot None.\n\nVirtual Drive: 1\nLBA Information\n"
                "========================\n#0 : 0x00000010\n#1 : 0x00000030\n#2 : 0x00000500\n"});
    ExpectCases({
        {{"-LDBadSpot", "-L0", "-a0", "-x"}, Invalid("-L0")},
        {{"-LDBadSpot", "-Lall", "-a2"}, "Fatal error - Adapter 2: There is no Virtual Drive.\n"},
    });
}

// ---- restorable LDs ----

TEST_F(LdCommands, RestoreListShowsTheCandidatesOfEachAdapter) {
    std::string expected;
    for (int adapter = 0; adapter < 4; ++adapter) {
        expected += "Adapter #" + std::to_string(adapter) +
                    "\n\nNumber of Candidate Restore: " + (adapter == 1 ? "2" : "0") +
                    "\n\nVirtual Drive State\n====================\n";
        for (int ld = 0; ld < 8; ++ld) {
            const char* text = adapter == 1 && ld == 0 ? "Good" : adapter == 1 && ld == 1 ? "Warning0" : "Nonexist";
            expected += "# " + std::to_string(ld) + " : " + text + "\n";
        }
        expected += "\n";
    }
    ExpectCases({
        {{"-LDRstrDrvList", "-aALL"}, expected},
        {{"-LDRstrDrvList", "-a0", "-L0"}, Invalid("-a0")},
        {{"-LDRstrDrvList"}, Invalid("-LDRstrDrvList")},
    });
}

TEST_F(LdCommands, RestoreInfoShowsTheCandidateAndItsDrives) {
    nlohmann::json state = Show();
    std::string expected =
        "Adapter #1\n\nNumber of Physical Drive: 2\n\nVirtual Disk:          0\nRAID Level:            RAID1\n"
        "Size:                  2147MB\nStripe Size:           128kB\nNumber of Drives:      2\n"
        "Hot Spare Mode:        Global\nAuto Rebuild:          Enabled\nRebuild State:         Not Needed\n"
        "Maintenance State:     No Operation\nOperation Progress:    0%\nRead Cache:            NORA\n"
        "Write Cache:           WB\n\n" +
        DriveBlock(Drive(1, 6), state, true) + DriveBlock(Drive(1, 7), state, true);
    ExpectCases({
        {{"-LDRstrDrvInfo", "-L0", "-a1"}, expected},
        {{"-LDRstrDrvInfo", "-L2", "-a1"}, "Fatal error - Adapter 1-The specified Virtual Drives: 2 doesn't exist.\n"},
        {{"-LDRstrDrvInfo", "-Lall", "-a1"}, Invalid("-LDRstrDrvInfo")},
        {{"-LDRstrDrvInfo", "-L0,1", "-a1"}, Invalid("-LDRstrDrvInfo")},
        {{"-LDRstrDrvInfo", "-L0", "-aALL"}, Invalid("-L0")},
        {{"-LDRstrDrvInfo", "-L0", "-a0,1"}, Invalid("-L0")},
    });
}

// Without -DL the candidate becomes the lowest free LD; the message names the
// candidate. The candidate's own cache policies stay unless -RCache/-WCache.
TEST_F(LdCommands, RestoreIntoTheLowestFreeLd) {
    ExpectCase({{"-LDRstr", "-Rstr", "-SL0", "-a1"}, "Is it executed?(Y/N)?\nAdapter 1: Restored Virtual drv-0.\n"},
               "y\n");
    drivetest::LdRow restored = {1, 2,      1, 2147,   "Good", 2, "Global", "Enabled", "Not Needed", "No Operation",
                                 0, "None", 0, "NORA", "WB"};
    ExpectCase({{"-LDInfo", "-L2", "-a1"}, InfoHeading(1) + LdBlock(restored)});

    nlohmann::json a = Show()["adapters"][1];
    ASSERT_EQ(a["logical_drives"].size(), 3u);
    EXPECT_EQ(a["logical_drives"][2]["number"], 2);
    EXPECT_EQ(a["logical_drives"][2]["members"], nlohmann::json::array({6, 7}));
    ASSERT_EQ(a["restore_candidates"].size(), 1u);
    EXPECT_EQ(a["restore_candidates"][0]["number"], 1);
    RunResult list = Tavcli({"-LDRstrDrvList", "-a1"});
    EXPECT_EQ(list.out.rfind("Adapter #1\n\nNumber of Candidate Restore: 1\n", 0), 0u) << list.out;
}

TEST_F(LdCommands, RestoreIntoANamedLdWithCachesOn) {
    ExpectCase({{"-LDRstr", "-Rstr", "-SL0", "-DL5", "-RCache", "-WCache", "-a1", "-nochk"},
                "Adapter 1: Restored Virtual drv-0.\n"});
    nlohmann::json lds = Show()["adapters"][1]["logical_drives"];
    ASSERT_EQ(lds.size(), 3u);
    EXPECT_EQ(lds[2]["number"], 5);
    EXPECT_EQ(lds[2]["read"], "RA");
    EXPECT_EQ(lds[2]["write"], "WB");
}

TEST_F(LdCommands, DeleteListsTheCandidateFirst) {
    ExpectCase({{"-LDRstr", "-Del", "-SL1", "-a1"},
                "Adapter 1-VD 1\nIs the delete executed?(Y/N)?\nAdapter 1: Deleted Virtual drv-1.\n"},
               "Y\n");
    nlohmann::json a = Show()["adapters"][1];
    ASSERT_EQ(a["restore_candidates"].size(), 1u);
    EXPECT_EQ(a["restore_candidates"][0]["number"], 0);
    EXPECT_EQ(a["logical_drives"].size(), 2u);
}

TEST_F(LdCommands, RefusedRestoresChangeNothing) {
    const char kLimit[] =
        "Fatal error - Adapter 1: The specified Virtual Drive number exceeds the limitation value.\n"
        "Number that can be specified: 0-7.\n";
    nlohmann::json before = StateWithoutCounters();
    ExpectCases({
        {{"-LDRstr", "-Rstr", "-SL3", "-a1", "-nochk"},
         "Fatal error - Adapter 1-The specified Virtual Drives: 3 doesn't exist.\n"},
        {{"-LDRstr", "-Rstr", "-SL1", "-a1", "-nochk"}, "Fatal error - Adapter 1-LD 1: state is not GOOD.\n"},
        {{"-LDRstr", "-Rstr", "-SL0", "-DL", "-a1", "-nochk"}, kLimit},
        {{"-LDRstr", "-Del", "-SL0", "-DL", "-a1", "-nochk"}, kLimit},
        {{"-LDRstr", "-Rstr", "-SL", "-a1"}, kLimit},
        {{"-LDRstr", "-Rstr", "-SL0", "-aALL"}, Invalid("-SL0")},
        {{"-LDRstr", "-Rstr", "-SL0", "-a0,1"}, Invalid("-SL0")},
        {{"-LDRstr", "-Rstr", "-L0", "-a1"}, Invalid("-Rstr")},
        {{"-LDRstr", "-Rstr", "-Del", "-SL0", "-a1"}, Invalid("-Rstr")},
        {{"-LDRstr", "-SL0", "-a1"}, Invalid("-a1")},
    });
    EXPECT_EQ(StateWithoutCounters(), before);
}

// A declined question sends nothing: the restore asks before reading
// anything, so the adapter answers what a run ending at a syntax error after
// the same options costs; the deletion lists its candidate first.
TEST_F(LdCommands, DeclinedQuestionsSendNothing) {
    nlohmann::json before = StateWithoutCounters();
    int start = Commands(1);
    Tavcli({"-LDRstr", "-Rstr", "-SL0", "-a1", "-x"});
    int baselineCost = Commands(1) - start;
    start = Commands(1);
    ExpectCase({{"-LDRstr", "-Rstr", "-SL0", "-a1"}, "Is it executed?(Y/N)?\n"}, "n\n");
    EXPECT_EQ(Commands(1) - start, baselineCost);

    start = Commands(0);
    Tavcli({"-LDSetProp", "-WT", "-L0", "-a0", "-x"});
    baselineCost = Commands(0) - start;
    start = Commands(0);
    ExpectCase({{"-LDSetProp", "-WT", "-L0", "-a0"}, "Is it executed?(Y/N)?\n"}, "N\n");
    EXPECT_EQ(Commands(0) - start, baselineCost);

    ExpectCase({{"-LDRstr", "-Del", "-SL0", "-a1"}, "Adapter 1-VD 0\nIs the delete executed?(Y/N)?\n"}, "n\n");
    EXPECT_EQ(StateWithoutCounters(), before);
}

// ---- servers of other shapes ----

// Two adapters, neither with an LD.
class LdCommandsWithoutLds : public DriveCommands {
protected:
    LdCommandsWithoutLds()
        : DriveCommands(R"({"adapters": [{"host": 2, "model": "ZN5121", "drives": [{"slot": 0, "interface": "SAS"}]},
                                         {"host": 3, "model": "ZN5120"}]})") {}
};

TEST_F(LdCommandsWithoutLds, EveryAdapterIsReportedOnce) {
    const std::string noLd =
        "Fatal error - Adapter 0: There is no Virtual Drive.\nFatal error - Adapter 1: There is no Virtual Drive.\n";
    ExpectCases({
        {{"-LDInfo", "-Lall", "-aALL"}, noLd},
        {{"-LDGetProp", "-Cache", "-Lall", "-aALL"}, noLd},
        {{"-LDBadSpot", "-Lall", "-aALL"}, noLd},
        {{"-LDInfo", "-Lall", "-a1,0"}, "Fatal error - Adapter 0: There is no Virtual Drive.\n"},
    });
}

// A generation 0 adapter takes no RAID 5 of more than six drives: such a
// candidate can only be deleted.
class LdCommandsOnGeneration0 : public DriveCommands {
protected:
    LdCommandsOnGeneration0()
        : DriveCommands(R"({"adapters": [{"host": 2, "model": "ZN5120",
            "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"},
                       {"slot": 2, "interface": "SAS"}, {"slot": 3, "interface": "SAS"},
                       {"slot": 4, "interface": "SATA"}, {"slot": 5, "interface": "SATA"},
                       {"slot": 6, "interface": "SATA"}],
            "restore_candidates": [{"number": 3, "raid": 5, "members": [0, 1, 2, 3, 4, 5, 6]}]}]})") {}
};

TEST_F(LdCommandsOnGeneration0, LargeRaid5CandidateIsRefusedButCanBeDeleted) {
    nlohmann::json before = StateWithoutCounters();
    ExpectCase({{"-LDRstr", "-Rstr", "-SL3", "-a0", "-nochk"},
                "Fatal error - Adapter 0: The number of HDD to the RAID composition is abnormal.\n"});
    EXPECT_EQ(StateWithoutCounters(), before);

    ExpectCase({{"-LDRstr", "-Del", "-SL3", "-a0", "-nochk"}, "Adapter 0: Deleted Virtual drv-3.\n"});
    EXPECT_EQ(Show()["adapters"][0]["restore_candidates"], nlohmann::json::array());
}

// Every LD number 0-7 taken by a single-drive RAID 0 LD, and one candidate.
class LdCommandsWithoutAFreeLdNumber : public DriveCommands {
protected:
    LdCommandsWithoutAFreeLdNumber() : DriveCommands(Config().c_str()) {}

    static std::string Config() {
        nlohmann::json drives = nlohmann::json::array();
        nlohmann::json lds = nlohmann::json::array();
        for (int i = 0; i < 10; ++i) drives.push_back({{"slot", i}, {"interface", "SAS"}});
        for (int i = 0; i < 8; ++i) lds.push_back({{"number", i}, {"raid", 0}, {"members", {i}}});
        nlohmann::json adapter = {{"host", 2},
                                  {"model", "ZN5121"},
                                  {"drives", drives},
                                  {"logical_drives", lds},
                                  {"restore_candidates", {{{"number", 0}, {"raid", 1}, {"members", {8, 9}}}}}};
        return nlohmann::json{{"adapters", {adapter}}}.dump();
    }
};

// A single-drive RAID 0 has no stripe.
TEST_F(LdCommandsWithoutAFreeLdNumber, SingleDriveRaid0ShowsNoStripe) {
    drivetest::LdRow raid0 = {0, 3,      0, 2147, "Good", 1, "Global", "Enabled", "Not Needed", "No Operation",
                              0, "None", 0, "RA", "WB"};
    std::string expected = LdBlock(raid0);
    expected.replace(expected.find("128kB"), 5, "None");
    ExpectCase({{"-LDInfo", "-L3", "-a0"}, InfoHeading(0) + expected});
}

// Without a free LD number the library is asked with none and refuses.
TEST_F(LdCommandsWithoutAFreeLdNumber, RestoreIsRefusedByTheLibrary) {
    nlohmann::json before = StateWithoutCounters();
    ExpectCase({{"-LDRstr", "-Rstr", "-SL0", "-a0", "-nochk"}, "Fatal error - Internal error -0x100000080010.\n"});
    EXPECT_EQ(StateWithoutCounters(), before);
}

}  // namespace
