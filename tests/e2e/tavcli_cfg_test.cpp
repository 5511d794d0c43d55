// tavcli's configuration commands: RAID 0, 1, 5 and 10 creation in the
// member order given, the checks that refuse a creation before anything is
// sent, and logical-drive deletion that keeps partitioned LDs and removes the
// consistency-check schedule of every deleted LD.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ccschedule_text.h"
#include "tavcli_drive_fixture.h"

namespace {

using drivetest::Case;
using drivetest::DriveCommands;
using nlohmann::json;
using tavtest::kScheduleFile;
using tavtest::ScheduleText;

const char kLockFile[] = "/var/run/libtavccsch.pid";

std::string Invalid(const std::string& token) { return "Invalid input at or near token " + token + ".\n"; }
std::string Created(int adapter, int ld) {
    return "Adapter " + std::to_string(adapter) + ": Created Virtual drv-" + std::to_string(ld) + ".\n";
}
std::string Deleted(int adapter, int ld) {
    return "Adapter " + std::to_string(adapter) + ": Deleted Virtual drv-" + std::to_string(ld) + ".\n";
}
std::string HddCount(int adapter) {
    return "Fatal error - Adapter " + std::to_string(adapter) +
           ": The number of HDD to the RAID composition is "
           "abnormal.\n";
}
std::string CannotExecute(int adapter) {
    return "Adapter " + std::to_string(adapter) +
           ": The specified operation cannot be executed.\nPlease ascertain the situation.\n";
}
const char kLimit[] =
    "Fatal error - Adapter 0: The specified Virtual Drive number exceeds the limitation value.\nNumber that can be "
    "specified: 0-7.\n";

// 0 ZN5121 and 1 ZN5120 (generation 0): eight free drives each.
// 2 ZN5120: RAID 1 LD 0 on drives 0-1, drive 2 off line, drive 3 global hot
//   spare, restore candidate 0 on drives 4-5, drive 6 free, slot 7 empty.
std::string ServerConfig() {
    json adapters = json::array();
    for (int a = 0; a < 2; ++a) {
        json drives = json::array();
        for (int slot = 0; slot < 8; ++slot)
            drives.push_back({{"slot", slot}, {"interface", slot < 6 ? "SAS" : "SATA"}});
        adapters.push_back({{"host", 2 + a}, {"model", a == 0 ? "ZN5121" : "ZN5120"}, {"drives", drives}});
    }
    json drives = json::array();
    for (int slot = 0; slot < 7; ++slot) drives.push_back({{"slot", slot}, {"interface", "SAS"}});
    drives[2]["state"] = "alarm";
    adapters.push_back({{"host", 4},
                        {"model", "ZN5120"},
                        {"drives", drives},
                        {"logical_drives", {{{"number", 0}, {"raid", 1}, {"members", {0, 1}}}}},
                        {"hot_spares", {3}},
                        {"restore_candidates", {{{"number", 0}, {"raid", 1}, {"members", {4, 5}}}}}});
    return json{{"adapters", adapters}}.dump();
}

class ConfigCommands : public DriveCommands {
protected:
    ConfigCommands() : DriveCommands(ServerConfig().c_str()) {}

    // number, raid, members, read, write, hot-spare mode of each LD of an adapter
    json Lds(int adapter) const {
        json out = json::array();
        const json state = Show();
        for (const auto& g : state["adapters"][adapter]["logical_drives"])
            out.push_back({g["number"], g["raid"], g["members"], g["read"], g["write"], g["hot_spare_mode"]});
        return out;
    }
};

TEST_F(ConfigCommands, LdAddCreatesEachLevelInTheOrderGiven) {
    ExpectCases({
        {{"-CfgLDAdd", "-R0[0:2,0:0]", "-a0", "-nochk"}, Created(0, 0)},
        {{"-CfgLDAdd", "-R1[0:1,1:3]", "-WB", "-NORA", "-a0", "-nochk"}, Created(0, 1)},
        {{"cfgldadd", "-r5[0:6,0:4,0:5]", "-RA", "-wt", "-afterLd6", "-A0", "-NOCHK"}, Created(0, 6)},
        {{"-CfgLDAdd", "-R0[0:7]", "-a0", "-nochk"}, Created(0, 2)},  // the lowest free number
    });
    EXPECT_EQ(Lds(0), json::parse(R"([[0, 0, [2, 0], "RA", "WT", 2], [1, 1, [1, 3], "NORA", "WB", 0],
                                     [2, 0, [7], "RA", "WT", 2], [6, 5, [6, 4, 5], "RA", "WT", 0]])"));
}

TEST_F(ConfigCommands, SpanAddCreatesRaid10FromBothArraysInOrder) {
    ExpectCase(
        {{"-CfgSpanADD", "-R10", "-Array1[0:5,1:1]", "-Array0[0:0,1:3]", "-WB", "-a0", "-nochk"}, Created(0, 0)});
    ExpectCase({{"-CfgSpanAdd", "-R10", "-Array0[0:2,0:4]", "-Array1[0:6,0:7]", "-afterLd", "-a1"},
                "Is it executed?(Y/N)?\n" + Created(1, 0)},
               "y\n");
    EXPECT_EQ(Lds(0), json::parse(R"([[0, 10, [0, 3, 5, 1], "RA", "WB", 0]])"));
    EXPECT_EQ(Lds(1), json::parse(R"([[0, 10, [2, 4, 6, 7], "RA", "WT", 0]])"));
    ExpectCases({
        {{"-CfgSpanAdd", "-R10", "-Array0[0:0,1:1]", "-Array1[0:2,1:3,2:4]", "-a0", "-nochk"}, HddCount(0)},
        {{"-CfgSpanAdd", "-R10", "-Array0[0:0,1:1]", "-Array1[0:3,1:5]", "-afterLd0", "-a1", "-nochk"},
         "Fatal error - Adapter 1-VD 0: The specified Virtual Drive already exists.\n"},
    });
}

TEST_F(ConfigCommands, NumberOfDrivesPerLevelAndGeneration) {
    const std::string seven = "-R5[0:0,0:1,0:2,0:3,0:4,0:5,0:6]";
    ExpectCases({
        {{"-CfgLDAdd", "-R1[0:0,1:1,2:2]", "-a0", "-nochk"}, HddCount(0)},
        {{"-CfgLDAdd", "-R5[0:0,1:1]", "-a0", "-nochk"}, HddCount(0)},
        {{"-CfgLDAdd", seven, "-a1", "-nochk"}, HddCount(1)},
        {{"-CfgLDAdd", seven, "-a0", "-nochk"}, Created(0, 0)},
        {{"-CfgLDAdd", "-R5[0:0,0:1,0:2,0:3,0:4,0:5]", "-a1", "-nochk"}, Created(1, 0)},
    });
}

// Every refusal ends the command before the adapter is asked to change
// anything.
TEST_F(ConfigCommands, RefusalsChangeNothing) {
    json before = StateWithoutCounters();
    ExpectCases({
        {{"-CfgLDAdd", "-R1[0:6,1:2]", "-a2", "-nochk"}, "Fatal error - Adapter 2-PD 2: state is not GOOD.\n"},
        {{"-CfgLDAdd", "-R1[0:6,1:7]", "-a2", "-nochk"},
         "Fatal error - Adapter 2-The specified Physical Drive: 7 doesn't exist.\n"},
        {{"-CfgLDAdd", "-R1[0:6,1:3]", "-a2", "-nochk"}, CannotExecute(2)},
        {{"-CfgLDAdd", "-R1[0:4,1:6]", "-a2", "-nochk"}, CannotExecute(2)},
        {{"-CfgSpanAdd", "-R10", "-Array0[0:6,1:3]", "-Array1[0:4,1:5]", "-a2", "-nochk"}, CannotExecute(2)},
        {{"-CfgLDAdd", "-R1[0:0,1:1]", "-afterLd12", "-a0", "-nochk"}, kLimit},
        {{"-CfgLDAdd", "-R1[0:0,1:1]", "-afterLd9", "-a0", "-nochk"}, kLimit},
        {{"-CfgLDAdd", "-R0[0:6]", "-afterLd", "-a2", "-nochk"},
         "Fatal error - Adapter 2-VD 0: The specified Virtual Drive already exists.\n"},
        {{"-CfgLDAdd", "-R1[0:0,1:1]", "-aALL"}, Invalid("-R1[0:0,1:1]")},
        {{"-CfgLDAdd", "-R1[0:0,1:1]", "-a0,1"}, Invalid("-R1[0:0,1:1]")},
        {{"-CfgLDAdd", "-R2[0:0]", "-a0"}, Invalid("-CfgLDAdd")},
        {{"-CfgLDAdd", "-R1", "-a0"}, Invalid("-CfgLDAdd")},
        {{"-CfgLDAdd", "-R1[0:0,1:1]", "-WT", "-WB", "-a0"}, Invalid("-WT")},
        {{"-CfgLDAdd", "-R1[0:0,1:1]", "-afterLdx", "-a0"}, Invalid("-R1[0:0,1:1]")},
        {{"-CfgLDAdd", "-R1[0:0,1:1]", "-Array0[0:2]", "-a0"}, Invalid("-R1[0:0,1:1]")},
        {{"-CfgLDAdd", "-R1[0:0,1:1]"}, Invalid("-R1[0:0,1:1]")},
        {{"-CfgSpanAdd", "-R1", "-Array0[0:0,1:1]", "-Array1[0:2,1:3]", "-a0"}, Invalid("-CfgSpanAdd")},
        {{"-CfgSpanAdd", "-R10", "-Array0[0:0,1:1]", "-Array0[0:2,1:3]", "-a0"}, Invalid("-Array0[0:0,1:1]")},
        {{"-CfgSpanAdd", "-R10", "-Array0[0:0,1:1]", "-Array2[0:2,1:3]", "-a0"}, Invalid("-Array0[0:0,1:1]")},
        {{"-CfgSpanAdd", "-R10", "-Array0[0:0,1:1]", "-a0"}, Invalid("-a0")},
    });
    EXPECT_EQ(StateWithoutCounters(), before);
}

// A creation asks before it reads anything: a declined answer costs the
// adapter what a run ending at a syntax error after the same options costs.
TEST_F(ConfigCommands, DeclinedCreationSendsNothing) {
    json before = StateWithoutCounters();
    const std::vector<std::vector<std::string>> commands = {
        {"-CfgLDAdd", "-R1[0:0,1:1]", "-a0"},
        {"-CfgSpanAdd", "-R10", "-Array0[0:0,1:1]", "-Array1[0:2,1:3]", "-a0"},
    };
    for (const auto& args : commands) {
        int start = Commands(0);
        std::vector<std::string> wrong = args;
        wrong.push_back("-x");
        Tavcli(wrong);
        int baseline = Commands(0) - start;
        start = Commands(0);
        ExpectCase({args, "Is it executed?(Y/N)?\n"}, "n\n");
        EXPECT_EQ(Commands(0) - start, baseline) << args[0];
    }
    EXPECT_EQ(StateWithoutCounters(), before);
}

// Every LD number 0-7 taken by a single-drive RAID 0 LD.
class ConfigCommandsWithoutAFreeLdNumber : public DriveCommands {
protected:
    ConfigCommandsWithoutAFreeLdNumber() : DriveCommands(Config().c_str()) {}

    static std::string Config() {
        json drives = json::array();
        json lds = json::array();
        for (int i = 0; i < 8; ++i) {
            drives.push_back({{"slot", i}, {"interface", "SAS"}});
            lds.push_back({{"number", i}, {"raid", 0}, {"members", {i}}});
        }
        return json{{"adapters", {{{"host", 2}, {"model", "ZN5121"}, {"drives", drives}, {"logical_drives", lds}}}}}
            .dump();
    }
};

TEST_F(ConfigCommandsWithoutAFreeLdNumber, CreationEndsBeforeTheDrivesAreLookedAt) {
    json before = StateWithoutCounters();
    const std::string full = "Fatal error - Adapter 0: A Virtual Drive cannot be made any further.\n";
    ExpectCases({
        {{"-CfgLDAdd", "-R0[0:0]", "-a0", "-nochk"}, full},
        {{"-CfgSpanAdd", "-R10", "-Array0[0:0,0:1]", "-Array1[0:2,0:3]", "-a0", "-nochk"}, full},
    });
    EXPECT_EQ(StateWithoutCounters(), before);
}

// A failing commit is sent again, four times in all. When every attempt
// fails the change stays staged in the adapter (it cannot withdraw it): the
// command says so after the failure, and the next configuration change
// carries it out.
TEST_F(ConfigCommands, FailedCommitIsRetriedAndAChangeLeftStagedIsReported) {
    const std::string failed = "The error was detected as an Adapter 0.\nPlease ascertain the situation.\n";
    auto staged = [](const char* change, int ld) {
        return "Adapter 0: The " + std::string(change) + " of Virtual drv-" + std::to_string(ld) +
               " is staged in the adapter and will be carried out by the next configuration change.\n";
    };
    auto pending = [&] { return Show()["adapters"][0]["pending_changes"]; };
    struct Step {
        int failingCommits;
        Case run;
        const char* pendingAfter;
    };
    const Step steps[] = {
        {3, {{"-CfgLDAdd", "-R1[0:0,1:1]", "-a0", "-nochk"}, Created(0, 0)}, "[]"},
        {4,
         {{"-CfgSpanAdd", "-R10", "-Array0[0:2,1:3]", "-Array1[0:4,1:5]", "-a0", "-nochk"},
          failed + staged("creation", 1)},
         R"([{"number": 1, "change": "create"}])"},
        {4,
         {{"-CfgLDDel", "-L0", "-a0", "-nochk"}, failed + staged("deletion", 0)},
         R"([{"number": 0, "change": "delete"}, {"number": 1, "change": "create"}])"},
        {0, {{"-CfgLDAdd", "-R0[0:6]", "-afterLd2", "-a0", "-nochk"}, Created(0, 2)}, "[]"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(drivetest::Joined(step.run.args));
        if (step.failingCommits > 0) {
            ASSERT_EQ(sim.inject({"commit-error", "0", std::to_string(step.failingCommits)}).status, 0);
        }
        ExpectCase(step.run);
        EXPECT_EQ(Show()["adapters"][0]["failing_commits"], 0) << "every attempt reached the adapter";
        EXPECT_EQ(pending(), json::parse(step.pendingAfter));
    }
    // the staged deletion and creation were carried out with the last command
    EXPECT_EQ(Lds(0), json::parse(R"([[1, 10, [2, 3, 4, 5], "RA", "WT", 0], [2, 0, [6], "RA", "WT", 2]])"));
}

// ---- deletion ----

class DeleteCommands : public DriveCommands {
protected:
    DeleteCommands()
        : DriveCommands(R"({"adapters": [{"host": 2, "model": "ZN5121",
            "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"},
                       {"slot": 2, "interface": "SAS"}, {"slot": 3, "interface": "SAS"},
                       {"slot": 4, "interface": "SAS"}],
            "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]},
                               {"number": 1, "raid": 1, "members": [2, 3]},
                               {"number": 2, "raid": 0, "members": [4]}]}]})") {}

    std::string File() const { return tavtest::readFile(sim.path(kScheduleFile)); }
    json Numbers() const {
        json out = json::array();
        const json state = Show();
        for (const auto& g : state["adapters"][0]["logical_drives"]) out.push_back(g["number"]);
        return out;
    }
    void Partition(int ld, bool clear = false) const {
        std::vector<std::string> args = {"partition", "0", std::to_string(ld)};
        if (clear) args.push_back("clear");
        tavtest::RunResult r = sim.inject(args);
        ASSERT_EQ(r.status, 0) << r.err;
    }
};

TEST_F(DeleteCommands, PartitionedLdIsKeptAndEachDeletedLdLosesItsSchedule) {
    tavtest::writeFile(sim.path(kScheduleFile), ScheduleText({{"0/0", "105"}, {"0/1", "10720261207"}}));
    Partition(0);
    ExpectCase({{"-CfgLDDel", "-L1,0,2", "-a0"},
                "Adapter 0-VD 1\nAdapter 0-VD 0: Valid partition exist on it.\nAdapter 0-VD 2\n"
                "Is the delete executed?(Y/N)?\n"
                "Valid partition exist on Adapter 0-VD 0. At first, delete all partition by OS tool.\n" +
                    Deleted(0, 1) + "Adapter 0-VD 1: Deleted the check consistency schedule.\n" + Deleted(0, 2)},
               "y\n");
    EXPECT_EQ(Numbers(), json::parse("[0]"));
    EXPECT_EQ(File(), ScheduleText({{"0/0", "105"}}));

    Partition(0, true);
    ExpectCase({{"-CfgLDDel", "-Lall", "-aALL", "-nochk"},
                Deleted(0, 0) + "Adapter 0-VD 0: Deleted the check consistency schedule.\n"});
    EXPECT_EQ(Numbers(), json::array());
    EXPECT_EQ(File(), ScheduleText({}));
}

// The LD is gone even when its schedule cannot be cleaned up; the command
// ends there and the schedule stays.
TEST_F(DeleteCommands, ScheduleLockHeldElsewhereEndsAfterTheDeletion) {
    const std::string before = ScheduleText({{"0/0", "105"}, {"0/1", "203"}});
    tavtest::writeFile(sim.path(kScheduleFile), before);
    int fd = open(sim.path(kLockFile).c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    ExpectCase({{"-CfgLDDel", "-L0,1", "-a0", "-nochk"},
                Deleted(0, 0) +
                    "Fatal error - The competition with another application occurred.\nPlease execute it after "
                    "opening the interval.\n"});
    close(fd);
    EXPECT_EQ(Numbers(), json::parse("[1, 2]"));
    EXPECT_EQ(File(), before);
}

TEST_F(DeleteCommands, DeclinedDeletionChangesNothing) {
    const std::string before = ScheduleText({{"0/0", "105"}});
    tavtest::writeFile(sim.path(kScheduleFile), before);
    json state = StateWithoutCounters();
    ExpectCase({{"-CfgLDDel", "-L0", "-a0"}, "Adapter 0-VD 0\nIs the delete executed?(Y/N)?\n"}, "n\n");
    ExpectCase({{"-CfgLDDel", "-L0,5", "-a0"},
                "Adapter 0-VD 0\nAdapter 0-VD 5: The specified Virtual Drive doesn't exist.\n"
                "Is the delete executed?(Y/N)?\n"},
               "N\n");
    EXPECT_EQ(StateWithoutCounters(), state);
    EXPECT_EQ(File(), before);
}

}  // namespace
