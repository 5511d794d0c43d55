// tavcli's consistency-check schedule commands on the four-adapter server of
// the drive tests (both generations, two adapters without LDs): setting,
// listing and deleting schedules, the confirmation listings, the schedule
// lock held by another process, and questions declined.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ccschedule_text.h"
#include "tavcli_drive_fixture.h"

namespace {

using drivetest::Case;
using drivetest::DriveCommands;
using tavtest::kScheduleFile;
using tavtest::ScheduleText;

const char kLockFile[] = "/var/run/libtavccsch.pid";
const char kCompetition[] =
    "Fatal error - The competition with another application occurred.\nPlease execute it after opening the "
    "interval.\n";
const char kSetQuestion[] = "Is the setting of the check consistency schedule executed?(Y/N)?\n";
const char kDeleteQuestion[] = "Is the deletion of the check consistency schedule executed?(Y/N)?\n";

std::string Invalid(const std::string& token) { return "Invalid input at or near token " + token + ".\n"; }

std::string SetDone(int adapter, int ld) {
    return "Adapter " + std::to_string(adapter) + "-VD " + std::to_string(ld) +
           ": The setting of the check consistency schedule succeeded.\n";
}

std::string DeleteDone(int adapter, int ld) {
    return "Adapter " + std::to_string(adapter) + "-VD " + std::to_string(ld) +
           ": The deletion of the check consistency schedule succeeded.\n";
}

std::string Every(int adapter, int ld, const std::string& day, const std::string& hour) {
    return "Adapter " + std::to_string(adapter) + "-VD " + std::to_string(ld) + ": Every " + day + " - " + hour +
           ":00\n";
}

class ScheduleCommands : public DriveCommands {
protected:
    explicit ScheduleCommands(const char* config = drivetest::kServerConfig) : DriveCommands(config) {}
    std::string File() const { return tavtest::readFile(sim.path(kScheduleFile)); }
    void PutFile(const std::string& text) const { tavtest::writeFile(sim.path(kScheduleFile), text); }
};

TEST_F(ScheduleCommands, SetOnBothGenerationsAndShowEverySchedule) {
    ExpectCases({
        {{"-CCSchSet", "-T07", "-ESU", "-L0", "-a0", "-nochk"}, SetDone(0, 0)},
        {{"ccschset", "-t23", "-es", "-Lall", "-a1", "-NOCHK"}, SetDone(1, 0) + SetDone(1, 1)},
    });
    EXPECT_EQ(File(), ScheduleText({{"0/0", "007"}, {"1/0", "623"}, {"1/1", "623"}}));
    ExpectCase({{"-CCSchInfo", "-Lall", "-aALL"},
                "Check Consistency Schedule Information\n" + Every(0, 0, "Sunday", "07") +
                    "Adapter 0-VD 1: None\nAdapter 0-VD 2: None\n" + Every(1, 0, "Saturday", "23") +
                    Every(1, 1, "Saturday", "23")});
    EXPECT_FALSE(tavtest::fileExists(sim.path(kLockFile)));  // created and removed by each call
}

TEST_F(ScheduleCommands, EveryDayKeywordAndItsName) {
    const struct {
        const char* option;
        const char* name;
        const char* value;
    } days[] = {{"-EM", "Monday", "100"},    {"-ET", "Tuesday", "200"}, {"-EW", "Wednesday", "300"},
                {"-ETH", "Thursday", "400"}, {"-EF", "Friday", "500"},  {"-ES", "Saturday", "600"},
                {"-ESU", "Sunday", "000"}};
    for (const auto& d : days) {
        SCOPED_TRACE(d.option);
        ExpectCase({{"-CCSchSet", "-T00", d.option, "-L1", "-a0", "-nochk"}, SetDone(0, 1)});
        EXPECT_EQ(File(), ScheduleText({{"0/1", d.value}}));
        ExpectCase(
            {{"-CCSchInfo", "-L1", "-a0"}, "Check Consistency Schedule Information\n" + Every(0, 1, d.name, "00")});
    }
}

TEST_F(ScheduleCommands, SyntaxErrorsChangeNothing) {
    ExpectCases({
        {{"-CCSchSet", "-T24", "-EM", "-L0", "-a0", "-nochk"}, Invalid("-CCSchSet")},
        {{"-CCSchSet", "-EM", "-T7", "-L0", "-a0", "-nochk"}, Invalid("-EM")},
        {{"-CCSchSet", "-T10", "-ESUN", "-L0", "-a0", "-nochk"}, Invalid("-T10")},
        {{"-CCSchSet", "-T10", "-EM", "-EF", "-L0", "-a0"}, Invalid("-EM")},
        {{"-CCSchSet", "-T10", "-T11", "-EM", "-L0", "-a0"}, Invalid("-T10")},
        {{"-CCSchSet", "-EM", "-L0", "-a0", "-nochk"}, Invalid("-nochk")},
        {{"-CCSchSet", "-T10", "-EM", "-L8", "-a0"}, Invalid("-EM")},
        {{"-CCSchInfo", "-L0", "-a0", "-nochk"}, Invalid("-a0")},
        {{"-CCSchInfo", "-L0"}, Invalid("-L0")},
        {{"-CCSchDel", "-T10", "-L0", "-a0"}, Invalid("-CCSchDel")},
        {{"-CCSchDel", "-a0"}, Invalid("-a0")},
    });
    EXPECT_FALSE(tavtest::fileExists(sim.path(kScheduleFile)));
}

TEST_F(ScheduleCommands, SetListsTheDrivesAsGivenThenSetsThemInAscendingOrder) {
    ExpectCase({{"-CCSchSet", "-T05", "-EM", "-L2,0", "-a0"},
                Every(0, 2, "Monday", "05") + Every(0, 0, "Monday", "05") + kSetQuestion + kSetQuestion +
                    SetDone(0, 0) + SetDone(0, 2)},
               "yes\ny\n");
    EXPECT_EQ(File(), ScheduleText({{"0/0", "105"}, {"0/2", "105"}}));
}

TEST_F(ScheduleCommands, DeleteListsSchedulesThenEndsAtTheFirstDriveWithout) {
    PutFile(ScheduleText({{"0/0", "007"}, {"0/2", "10720261207"}, {"1/1", "314"}}));
    ExpectCase({{"-CCSchDel", "-L1,0,2", "-a0"},
                "Adapter 0-VD 1: The check consistency schedule is not set.\n" + Every(0, 0, "Sunday", "07") +
                    Every(0, 2, "Monday", "07") + kDeleteQuestion + DeleteDone(0, 0) +
                    "Fatal error - Adapter 0-VD 1: The check consistency schedule is not set.\n"},
               "y\n");
    EXPECT_EQ(File(), ScheduleText({{"0/2", "10720261207"}, {"1/1", "314"}}));
    // generation 1 reports the deletion in the system log, generation 0 only in the trace
    ExpectCase({{"-CCSchDel", "-L1", "-a1", "-nochk"}, DeleteDone(1, 1)});
    ExpectCase({{"-CCSchDel", "-L2", "-a0", "-nochk"}, DeleteDone(0, 2)});
    EXPECT_EQ(File(), ScheduleText({}));
    std::string syslog = sim.syslog();
    EXPECT_NE(syslog.find("tavutil: Controller [0] Logical Drive [0] The schedule of Consistency Check was deleted. "
                          "detailed error: 0x04. EventID: 04500."),
              std::string::npos)
        << syslog;
    EXPECT_EQ(syslog.find("Controller [1]"), std::string::npos) << syslog;
    std::string trace = tavtest::readFile(sim.path("/opt/morvane/tavutility/tavcli.log"));
    EXPECT_NE(trace.find("Controller [1] Logical Drive [1] The schedule of Consistency Check was deleted. detailed "
                         "error: 0x04."),
              std::string::npos);
}

TEST_F(ScheduleCommands, AdaptersWithoutLds) {
    ExpectCases({
        // -aALL -Lall passes adapters 2 and 3 over without a word
        {{"-CCSchDel", "-Lall", "-aALL", "-nochk"},
         "Fatal error - Adapter 0-VD 0: The check consistency schedule is not set.\n"},
        {{"-CCSchInfo", "-Lall", "-a2"}, "Fatal error - Adapter 2: There is no Virtual Drive.\n"},
        {{"-CCSchSet", "-T01", "-EM", "-Lall", "-a0,2", "-nochk"},
         "Fatal error - Adapter 2: There is no Virtual Drive.\n"},
        {{"-CCSchInfo", "-L3", "-a0"}, "Fatal error - Adapter 0-The specified Virtual Drives: 3 doesn't exist.\n", 255},
    });
    // the listing passes the adapter over and goes on; the execution then ends there
    ExpectCase(
        {{"-CCSchSet", "-T01", "-EM", "-Lall", "-a1,2"},
         "Fatal error - Adapter 2: There is no Virtual Drive.\n" + Every(1, 0, "Monday", "01") +
             Every(1, 1, "Monday", "01") + kSetQuestion + "Fatal error - Adapter 2: There is no Virtual Drive.\n"},
        "y\n");
    EXPECT_EQ(File(), "");  // read (and so created empty) by the first command only
}

TEST_F(ScheduleCommands, LockHeldElsewhereEndsEachCommandBeforeTheFile) {
    const std::string before = ScheduleText({{"0/1", "209"}});
    PutFile(before);
    int fd = open(sim.path(kLockFile).c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    ExpectCases({
        {{"-CCSchSet", "-T07", "-ESU", "-L0", "-a0", "-nochk"}, kCompetition},
        {{"-CCSchInfo", "-L1", "-a0"}, std::string("Check Consistency Schedule Information\n") + kCompetition},
        {{"-CCSchDel", "-L1", "-a0", "-nochk"}, kCompetition},
        {{"-CCSchDel", "-L1", "-a0"}, kCompetition},  // the listing reads under the lock too
    });
    close(fd);
    EXPECT_EQ(File(), before);
    EXPECT_TRUE(tavtest::fileExists(sim.path(kLockFile)));  // not ours to remove
}

TEST_F(ScheduleCommands, DeclinedQuestionsChangeNothing) {
    const std::string before = ScheduleText({{"0/1", "209"}});
    PutFile(before);
    ExpectCase({{"-CCSchSet", "-T07", "-ESU", "-L0", "-a0"}, Every(0, 0, "Sunday", "07") + kSetQuestion}, "n\n");
    ExpectCase({{"-CCSchDel", "-L1", "-a0"}, Every(0, 1, "Tuesday", "09") + kDeleteQuestion}, "N\n");
    ExpectCase({{"-CCSchDel", "-L1", "-a0"}, Every(0, 1, "Tuesday", "09") + kDeleteQuestion}, "");
    EXPECT_EQ(File(), before);
    EXPECT_FALSE(tavtest::fileExists(sim.path(kLockFile)));
}

// RAID 0 cannot be checked: the listing says so and goes on, the execution
// ends at it after the drives before it were set.
class ScheduleCommandsWithRaid0 : public ScheduleCommands {
protected:
    ScheduleCommandsWithRaid0()
        : ScheduleCommands(R"({"adapters": [{"host": 2, "model": "ZN5121",
            "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"},
                       {"slot": 2, "interface": "SAS"}],
            "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]},
                               {"number": 1, "raid": 0, "members": [2]}]}]})") {}
};

TEST_F(ScheduleCommandsWithRaid0, RefusedInTheListingAndEndsTheExecution) {
    const std::string raid0 = "Fatal error - Adapter 0-VD 1: Consistency Check cannot be done with RAID0.\n";
    ExpectCase({{"-CCSchSet", "-T12", "-EW", "-L1,0", "-a0"},
                raid0 + Every(0, 0, "Wednesday", "12") + kSetQuestion + SetDone(0, 0) + raid0},
               "y\n");
    EXPECT_EQ(File(), ScheduleText({{"0/0", "312"}}));
}

}  // namespace
