// tavstat's reading of the drives' own health against simulated drives:
// values in every format, the check's thresholds, drives that must not be
// started, a pass-through lock held by another program, drives that refuse
// the log page of all pages, and the one-screen summary.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "tavtest.h"

namespace {

using nlohmann::json;
using tavtest::RunResult;
using tavtest::SimServer;

// Drives 0-2 SAS, 3-4 SATA (vendor "ATA", as the suite tells them); RAID 5
// on 0-2, RAID 1 on 3-4.
const char kConfig[] = R"({"adapters":[{"host":2,"model":"ZN5121","drives":[
    {"slot":0,"interface":"SAS","temperature":40},
    {"slot":1,"interface":"SAS","temperature":41},
    {"slot":2,"interface":"SAS","temperature":42,"uncorrected_read_errors":7,"uncorrected_write_errors":4},
    {"slot":3,"interface":"SATA","vendor":"ATA","temperature":33,"temperature_max":49,"reallocated_sectors":6},
    {"slot":4,"interface":"SATA","vendor":"ATA","temperature":34}],
  "logical_drives":[{"number":0,"raid":5,"members":[0,1,2]},{"number":1,"raid":1,"members":[3,4]}]}]})";

std::string tavstat() { return tavtest::binDir() + "/tavstat"; }

json driveJson(const json &doc, int slot) {
    for (const json &pd : doc["adapters"][0]["physical_drives"]) {
        if (pd["slot"] == slot) return pd;
    }
    return json();
}

json runJson(const SimServer &server, std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {tavstat(), "--json"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    RunResult r = server.run(argv);
    EXPECT_EQ(0, r.status) << r.err;
    return json::parse(r.out, nullptr, false);
}

json driveModel(const SimServer &server, int slot) {
    json shown = json::parse(server.show());
    for (const json &d : shown["adapters"][0]["drives"]) {
        if (d["slot"] == slot) return d["drive_model"];
    }
    return json();
}

struct Case {
    const char *name;
    std::vector<std::vector<std::string>> faults;
    std::vector<std::string> options;  // of --check
    int status;
    const char *line;  // up to the performance data
    std::map<std::string, double> metrics;
};

class HealthValues : public ::testing::TestWithParam<Case> {};

TEST_P(HealthValues, ReadInEveryFormat) {
    SimServer server(kConfig);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    for (const auto &f : GetParam().faults) {
        RunResult r = server.inject(f);
        ASSERT_EQ(0, r.status) << r.err;
    }
    std::vector<std::string> check = {tavstat(), "--check"};
    check.insert(check.end(), GetParam().options.begin(), GetParam().options.end());
    RunResult c = server.run(check);
    EXPECT_EQ(GetParam().status, c.status);
    EXPECT_EQ(GetParam().line, c.out.substr(0, c.out.find(" | "))) << c.out;

    RunResult m = server.run({tavstat(), "--prometheus"});
    ASSERT_EQ(0, m.status) << m.err;
    for (const auto &[sample, value] : GetParam().metrics) {
        std::string wanted = sample + " " + std::to_string(static_cast<int>(value)) + "\n";
        EXPECT_NE(std::string::npos, m.out.find(wanted)) << wanted << m.out;
    }
}

const Case kCases[] = {
    {"healthy",
     {},
     {},
     0,
     "TAVRAID OK - 1 adapter(s), 2 virtual drive(s), 5 physical drive(s) optimal",
     {{R"(tav_physical_drive_temperature_celsius{adapter="0",physical_drive="2"})", 42},
      {R"(tav_physical_drive_temperature_celsius{adapter="0",physical_drive="3"})", 33},
      {R"(tav_physical_drive_temperature_max_celsius{adapter="0",physical_drive="3"})", 49},
      {R"(tav_physical_drive_predictive_failure{adapter="0",physical_drive="0"})", 0},
      {R"(tav_physical_drive_reallocated_sectors{adapter="0",physical_drive="3"})", 6},
      {R"(tav_physical_drive_health_read{adapter="0",physical_drive="4",reason="read"})", 1}}},
    {"warm and hot",
     {{"drive-temperature", "0", "0", "55"}, {"drive-temperature", "0", "4", "65", "70"}},
     {},
     2,
     "TAVRAID CRITICAL - Adapter 0-PD 0 temperature 55C, Adapter 0-PD 4 temperature 65C",
     {{R"(tav_physical_drive_temperature_celsius{adapter="0",physical_drive="4"})", 65},
      {R"(tav_physical_drive_temperature_max_celsius{adapter="0",physical_drive="4"})", 70}}},
    {"thresholds given",
     {},
     {"--temperature-warning", "41", "--temperature-critical", "42"},
     2,
     "TAVRAID CRITICAL - Adapter 0-PD 1 temperature 41C, Adapter 0-PD 2 temperature 42C",
     {}},
    {"failure predicted",
     {{"predict-failure", "0", "1"}, {"predict-failure", "0", "3"}},
     {},
     1,
     "TAVRAID WARNING - Adapter 0-PD 1 predictive failure, Adapter 0-PD 3 predictive failure",
     {{R"(tav_physical_drive_predictive_failure{adapter="0",physical_drive="1"})", 1},
      {R"(tav_physical_drive_predictive_failure{adapter="0",physical_drive="3"})", 1},
      {R"(tav_physical_drive_predictive_failure{adapter="0",physical_drive="4"})", 0}}},
    {"prediction withdrawn",
     {{"predict-failure", "0", "1"}, {"predict-failure", "0", "1", "off"}},
     {},
     0,
     "TAVRAID OK - 1 adapter(s), 2 virtual drive(s), 5 physical drive(s) optimal",
     {{R"(tav_physical_drive_predictive_failure{adapter="0",physical_drive="1"})", 0}}},
    {"sectors",
     {{"drive-sectors", "0", "4", "1", "2", "3"}},
     {},
     0,
     "TAVRAID OK - 1 adapter(s), 2 virtual drive(s), 5 physical drive(s) optimal",
     {{R"(tav_physical_drive_reallocated_sectors{adapter="0",physical_drive="4"})", 1},
      {R"(tav_physical_drive_pending_sectors{adapter="0",physical_drive="4"})", 2},
      {R"(tav_physical_drive_offline_uncorrectable_sectors{adapter="0",physical_drive="4"})", 3}}},
};

INSTANTIATE_TEST_SUITE_P(Drives, HealthValues, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &info) {
                             std::string name = info.param.name;
                             for (char &ch : name)
                                 if (ch == ' ') ch = '_';
                             return name;
                         });

// SAS drives: one LOG SENSE of all pages a run gives both counters, the
// temperature and the prediction; each run reads the drive as it is now.
TEST(TavstatHealth, SasDrivesGetOneCommandForAllTheirHealth) {
    SimServer server(kConfig);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    json h = driveJson(runJson(server), 2)["health"];
    EXPECT_EQ("read", h["status"]);
    EXPECT_EQ(42, h["temperature_celsius"]);
    EXPECT_EQ(7, h["uncorrected_read_errors"]);
    EXPECT_EQ(4, h["uncorrected_write_errors"]);
    EXPECT_TRUE(h["reallocated_sectors"].is_null()) << "a SATA attribute";
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(json::array({"0x4D"}), driveModel(server, slot)["recent_commands"]) << slot;
    }

    ASSERT_EQ(0, server.inject({"drive-errors", "0", "2", "8", "5"}).status);
    ASSERT_EQ(0, server.inject({"drive-temperature", "0", "2", "50"}).status);
    h = driveJson(runJson(server), 2)["health"];
    EXPECT_EQ(8, h["uncorrected_read_errors"]);
    EXPECT_EQ(5, h["uncorrected_write_errors"]);
    EXPECT_EQ(50, h["temperature_celsius"]);

    ASSERT_EQ(0, server.inject({"remove-drive", "0", "2"}).status);
    runJson(server);
    ASSERT_EQ(0, server.inject({"insert-drive", "0", "2", R"({"interface":"SAS","serial":"NEW1"})"}).status);
    h = driveJson(runJson(server), 2)["health"];
    EXPECT_EQ(0, h["uncorrected_read_errors"]);
    EXPECT_EQ(0, h["uncorrected_write_errors"]) << "not the old drive's count";
}

// A drive that refuses the page of all pages is asked the informational
// exceptions page alone: temperature and prediction, no counters, and the
// scrape is complete. Stopped, it still gets only the first command.
TEST(TavstatHealth, DriveRefusingAllPagesIsAskedItsInformationalExceptions) {
    SimServer server(R"({"adapters":[{"host":2,"model":"ZN5121","drives":[
        {"slot":0,"interface":"SAS","temperature":40,"uncorrected_read_errors":3},
        {"slot":1,"interface":"SAS","temperature":44,"uncorrected_read_errors":3,"log_all_pages":false},
        {"slot":2,"interface":"SAS","log_all_pages":false}],
      "logical_drives":[{"number":0,"raid":5,"members":[0,1,2]}]}]})");
    ASSERT_TRUE(server.ok()) << server.initOutput();
    ASSERT_EQ(0, server.inject({"predict-failure", "0", "1"}).status);
    ASSERT_EQ(0, server.inject({"drive-stop", "0", "2"}).status);
    json doc = runJson(server);
    json h = driveJson(doc, 1)["health"];
    EXPECT_EQ("read", h["status"]);
    EXPECT_EQ(44, h["temperature_celsius"]);
    EXPECT_TRUE(h["predictive_failure"]);
    EXPECT_TRUE(h["uncorrected_read_errors"].is_null()) << h;
    EXPECT_TRUE(h["uncorrected_write_errors"].is_null()) << h;
    EXPECT_EQ(json::array({"0x4D", "0x4D"}), driveModel(server, 1)["recent_commands"]);
    EXPECT_EQ(3, driveJson(doc, 0)["health"]["uncorrected_read_errors"]);
    EXPECT_EQ(json({{"status", "stopped"}}), driveJson(doc, 2)["health"]);
    EXPECT_EQ(json::array({"0x4D"}), driveModel(server, 2)["recent_commands"]);

    RunResult c = server.run({tavstat(), "--check"});
    EXPECT_EQ(1, c.status) << c.out;
    EXPECT_EQ("TAVRAID WARNING - Adapter 0-PD 1 predictive failure", c.out.substr(0, c.out.find(" | ")));
}

// A stopped drive gets one command, which it refuses without starting; the
// scrape stays complete and the drive stays stopped.
TEST(TavstatHealth, StoppedDrivesAreLeftStopped) {
    SimServer server(kConfig);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    ASSERT_EQ(0, server.inject({"drive-stop", "0", "1"}).status);
    ASSERT_EQ(0, server.inject({"drive-stop", "0", "3"}).status);
    json doc = runJson(server);
    EXPECT_EQ(json({{"status", "stopped"}}), driveJson(doc, 1)["health"]);
    EXPECT_EQ(json({{"status", "stopped"}}), driveJson(doc, 3)["health"]);
    EXPECT_EQ("read", driveJson(doc, 0)["health"]["status"]);
    json sas = driveModel(server, 1), sata = driveModel(server, 3);
    EXPECT_EQ(json::array({"0x4D"}), sas["recent_commands"]);
    EXPECT_EQ(json::array({"ata 0xB0", "ata-data 0xB0"}), sata["recent_commands"]) << "one exchange";
    EXPECT_TRUE(sas["stopped"]);
    EXPECT_TRUE(sata["stopped"]);

    RunResult m = server.run({tavstat(), "--prometheus"});
    EXPECT_EQ(0, m.status);
    EXPECT_NE(std::string::npos,
              m.out.find("tav_physical_drive_health_read{adapter=\"0\",physical_drive=\"1\",reason=\"stopped\"} 0\n"));
    EXPECT_EQ(std::string::npos,
              m.out.find("tav_physical_drive_temperature_celsius{adapter=\"0\",physical_drive=\"1\"}"));
    RunResult c = server.run({tavstat(), "--check"});
    EXPECT_EQ(0, c.status) << c.out;
}

// While another program holds the pass-through lock, every drive is "busy",
// the wait is bounded well under a second and the scrape does not fail.
TEST(TavstatHealth, TakenPassThroughLockMakesDrivesBusyNotTheScrapeFail) {
    SimServer server(kConfig);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    std::string lock = server.path("/var/run/.libtavpth.lock");
    int fd = open(lock.c_str(), O_CREAT | O_RDWR, 0700);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, flock(fd, LOCK_EX | LOCK_NB));
    uint64_t before = driveModel(server, 0)["commands_received"];
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    RunResult r = server.run({tavstat(), "--prometheus"});
    clock_gettime(CLOCK_MONOTONIC, &end);
    flock(fd, LOCK_UN);
    close(fd);
    unlink(lock.c_str());
    EXPECT_EQ(0, r.status) << r.err;
    for (int slot = 0; slot < 5; ++slot) {
        std::string sample = "tav_physical_drive_health_read{adapter=\"0\",physical_drive=\"" + std::to_string(slot) +
                             "\",reason=\"busy\"} 0\n";
        EXPECT_NE(std::string::npos, r.out.find(sample)) << sample << r.out;
    }
    EXPECT_EQ(before, driveModel(server, 0)["commands_received"].get<uint64_t>());
    double seconds = (end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    EXPECT_LT(seconds, 1.5) << "the waits are bounded for the whole run";
    EXPECT_EQ("read", driveJson(runJson(server), 0)["health"]["status"]) << "once the lock is free";
}

// A health command that fails is a reading not made: the scrape still
// writes everything and says so by its status; the check cannot vouch for
// the drive. Drive 0 refuses both of its commands in each of the three runs.
TEST(TavstatHealth, FailedReadingIsAnErrorNotAValue) {
    SimServer server(kConfig);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    const std::vector<std::vector<std::string>> faults = {{"drive-check-condition", "0", "0", "5", "0x24", "0", "6"},
                                                          {"drive-busy", "0", "3", "3"}};
    for (const auto &f : faults) {
        ASSERT_EQ(0, server.inject(f).status);
    }
    RunResult j = server.run({tavstat(), "--json"});
    EXPECT_EQ(2, j.status);
    json doc = json::parse(j.out, nullptr, false);
    EXPECT_EQ(json({{"status", "error"}}), driveJson(doc, 0)["health"]);
    EXPECT_EQ(json({{"status", "error"}}), driveJson(doc, 3)["health"]) << "a drive answering busy";
    EXPECT_EQ("read", driveJson(doc, 1)["health"]["status"]);
    RunResult m = server.run({tavstat(), "--prometheus"});
    EXPECT_EQ(2, m.status);
    EXPECT_NE(std::string::npos,
              m.out.find("tav_physical_drive_health_read{adapter=\"0\",physical_drive=\"0\",reason=\"error\"} 0\n"));
    RunResult c = server.run({tavstat(), "--check"});
    EXPECT_EQ(3, c.status);
    EXPECT_EQ("TAVRAID UNKNOWN - Adapter 0-PD 0 health unreadable, Adapter 0-PD 3 health unreadable",
              c.out.substr(0, c.out.find(" | ")));
}

// --no-health: no drive command, no health in any format.
TEST(TavstatHealth, NoHealthSendsNothingToTheDrives) {
    SimServer server(kConfig);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    json doc = runJson(server, {"--no-health"});
    EXPECT_FALSE(driveJson(doc, 0).contains("health"));
    RunResult m = server.run({tavstat(), "--prometheus", "--no-health"});
    EXPECT_EQ(std::string::npos, m.out.find("tav_physical_drive_temperature")) << m.out;
    EXPECT_EQ(std::string::npos, m.out.find("tav_physical_drive_health_read")) << m.out;
    for (int slot = 0; slot < 5; ++slot) {
        EXPECT_EQ(0u, driveModel(server, slot)["commands_received"].get<uint64_t>()) << slot;
    }
}

// A degraded server on one screen, compared whole with its golden file.
TEST(TavstatSummary, DegradedServerMatchesTheGoldenFile) {
    SimServer server(R"({"adapters":[{"host":2,"model":"ZN5121","drives":[
        {"slot":0,"interface":"SAS","temperature":38},
        {"slot":1,"interface":"SAS","temperature":39},
        {"slot":2,"interface":"SAS","temperature":57},
        {"slot":3,"interface":"SAS","product":"MBB2300RC","blocks":8388608},
        {"slot":4,"interface":"SATA","vendor":"ATA","temperature":31},
        {"slot":5,"interface":"SATA","vendor":"ATA","predict_failure":true},
        {"slot":6,"interface":"SAS"},
        {"slot":7,"interface":"SAS"}],
      "logical_drives":[{"number":0,"raid":5,"members":[0,1,2]},{"number":1,"raid":1,"members":[4,5]}],
      "hot_spares":[3]},
      {"host":3,"model":"ZN5120","drives":[{"slot":0,"interface":"SAS"},{"slot":1,"interface":"SAS"}],
      "logical_drives":[{"number":0,"raid":1,"members":[0,1]}]}]})");
    ASSERT_TRUE(server.ok()) << server.initOutput();
    const std::vector<std::vector<std::string>> faults = {{"fail-drive", "0", "4"},
                                                          {"operation-progress", "0", "1", "40", "hold"},
                                                          {"fail-drive", "0", "1"},
                                                          {"drive-stop", "0", "6"},
                                                          {"remove-drive", "0", "7"}};
    for (const auto &f : faults) {
        RunResult r = server.inject(f);
        ASSERT_EQ(0, r.status) << r.err;
    }
    RunResult r = server.run({tavstat(), "--summary"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ(tavtest::fixture("tavstat_summary_degraded.txt"), r.out);
    EXPECT_EQ(std::string::npos, r.out.find('\033')) << "no escape sequence off a terminal";

    // On a terminal the status word is shown in colour.
    RunResult pty = server.runOnPty({"tavstat", "--summary"}, "");
    EXPECT_NE(std::string::npos, pty.out.find("Health: \033[1m\033[31mCRITICAL\033[0m -")) << pty.out;
}

}  // namespace
