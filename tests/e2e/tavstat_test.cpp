// tavstat against simulated servers in every state the simulator reaches:
// the JSON checked against its schema, the metrics by promtool and a strict
// parser, the check's exit status and summary line.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tavtest.h"

namespace {

using nlohmann::json;
using tavtest::RunResult;
using tavtest::SimServer;

// The documented fields of the JSON document: name -> type, "?" marks a
// field that may be null; "*" a field that only some objects carry.
const std::map<std::string, std::string> kAdapterFields = {{"adapter", "number"},
                                                           {"status", "string"},
                                                           {"model", "string"},
                                                           {"pci_bus", "number"},
                                                           {"pci_device", "number"},
                                                           {"driver_version", "string"},
                                                           {"firmware_revision", "string"},
                                                           {"boot_revision", "string"},
                                                           {"flash_revision_bank1", "string"},
                                                           {"flash_revision_bank2", "string"},
                                                           {"sas_address", "string"},
                                                           {"memory_mb", "number"},
                                                           {"cache_mb", "number"},
                                                           {"write_cache_mb", "number"},
                                                           {"rebuild_priority_idle", "string"},
                                                           {"rebuild_priority_busy", "string"},
                                                           {"patrol_read_delay_weeks", "number"},
                                                           {"logical_drives", "array"},
                                                           {"physical_drives", "array"}};
const std::map<std::string, std::string> kLdFields = {
    {"number", "number"},           {"raid_level", "string"},       {"state", "string"},
    {"state_code", "number"},       {"size_mb", "number"},          {"stripe_blocks", "number"},
    {"read_policy", "string"},      {"write_policy", "string"},     {"hot_spare_mode", "string"},
    {"auto_rebuild", "boolean"},    {"members", "array"},           {"operation", "string"},
    {"progress_percent", "number"}, {"operation_errors", "number"}, {"data_lost", "boolean"}};
const std::map<std::string, std::string> kMemberFields = {{"slot", "number"}, {"state_code", "number"}};
const std::map<std::string, std::string> kPdFields = {
    {"slot", "number"}, {"state", "string"}, {"state_code", "number"}, {"present", "boolean"}};
const std::map<std::string, std::string> kPresentPdFields = {
    {"vendor", "string"},       {"product", "string"},     {"revision", "string"},       {"serial", "string"},
    {"size_mb", "number"},      {"class", "string"},       {"class_code", "number"},     {"logical_drive", "number?"},
    {"link_speed", "string"},   {"smart_trip", "boolean"}, {"bad_spot_state", "string"}, {"bad_spot_count", "number"},
    {"media_errors", "number"}, {"health", "object"}};
// The drive's own health: the status always, the readings when it was read.
const std::map<std::string, std::string> kHealthFields = {{"status", "string"}};
const std::map<std::string, std::string> kHealthReadFields = {
    {"temperature_celsius", "number?"},      {"temperature_max_celsius", "number?"},
    {"predictive_failure", "boolean"},       {"uncorrected_read_errors", "number?"},
    {"uncorrected_write_errors", "number?"}, {"reallocated_sectors", "number?"},
    {"pending_sectors", "number?"},          {"offline_uncorrectable_sectors", "number?"}};
const std::vector<std::string> kHealthStates = {"read", "stopped", "busy", "error"};

const std::vector<std::string> kLdStates = {"Good",       "Attention1", "Attention2", "Attention3", "Attention4",
                                            "Attention5", "Attention6", "Warning0",   "Warning1",   "Warning2",
                                            "Warning3",   "Warning4",   "Warning5",   "Warning6",   "Alarm0",
                                            "Alarm1",     "Alarm2",     "Alarm3",     "Alarm4"};
const std::vector<std::string> kPdStates = {
    "Good",   "Attention1", "Attention2", "Attention3", "Attention4", "Attention5", "Attention6", "Alarm0",
    "Alarm1", "Alarm2",     "Alarm3",     "Alarm4",     "Alarm5",     "Alarm6",     "Alarm7",     "Not Supported"};

bool hasType(const json &v, const std::string &type) {
    if (type.back() == '?') {
        return v.is_null() || hasType(v, type.substr(0, type.size() - 1));
    }
    return (type == "number" && v.is_number_unsigned()) || (type == "string" && v.is_string()) ||
           (type == "boolean" && v.is_boolean()) || (type == "array" && v.is_array()) ||
           (type == "object" && v.is_object());
}

// Every field present with its type, and no field the schema does not know.
::testing::AssertionResult matches(const json &object,
                                   std::vector<const std::map<std::string, std::string> *> schemas) {
    if (!object.is_object()) {
        return ::testing::AssertionFailure() << "not an object: " << object.dump();
    }
    size_t known = 0;
    for (const auto *schema : schemas) {
        for (const auto &[name, type] : *schema) {
            if (!object.contains(name) || !hasType(object[name], type)) {
                return ::testing::AssertionFailure() << name << " missing or not " << type << ": " << object.dump();
            }
            ++known;
        }
    }
    if (known != object.size()) {
        return ::testing::AssertionFailure() << "unknown fields in " << object.dump();
    }
    return ::testing::AssertionSuccess();
}

bool among(const std::vector<std::string> &values, const std::string &v) {
    return std::find(values.begin(), values.end(), v) != values.end();
}

// The whole document against the schema and the documented state values.
::testing::AssertionResult validDocument(const json &doc) {
    if (!doc.is_object() || doc.value("library", "") != "ok" || !doc["adapters"].is_array()) {
        return ::testing::AssertionFailure() << doc.dump();
    }
    for (const json &a : doc["adapters"]) {
        if (a.value("status", "") != "ok") {
            continue;
        }
        auto r = matches(a, {&kAdapterFields});
        for (const json &ld : a["logical_drives"]) {
            if (r) r = matches(ld, {&kLdFields});
            for (const json &m : ld["members"]) {
                if (r) r = matches(m, {&kMemberFields});
            }
            if (r && !among(kLdStates, ld["state"])) r = ::testing::AssertionFailure() << ld.dump();
        }
        for (const json &pd : a["physical_drives"]) {
            if (r)
                r = pd.value("present", false) ? matches(pd, {&kPdFields, &kPresentPdFields})
                                               : matches(pd, {&kPdFields});
            if (r && !among(kPdStates, pd["state"])) r = ::testing::AssertionFailure() << pd.dump();
            if (r && pd.contains("health")) {
                const json &h = pd["health"];
                r = h.value("status", "") == "read" ? matches(h, {&kHealthFields, &kHealthReadFields})
                                                    : matches(h, {&kHealthFields});
                if (r && !among(kHealthStates, h["status"])) r = ::testing::AssertionFailure() << h.dump();
            }
        }
        if (!r) return r;
    }
    return ::testing::AssertionSuccess();
}

// Strict reading of the text exposition format: HELP and TYPE before each
// family's samples, one family block each, every sample well formed. Returns
// "name{labels}" -> value.
::testing::AssertionResult parseMetrics(const std::string &text, std::map<std::string, double> *samples) {
    static const std::regex help(R"(# HELP ([a-z_]+) \S.*)");
    static const std::regex type(R"(# TYPE ([a-z_]+) (gauge|counter))");
    static const std::regex sample(
        R"(([a-z_]+)(\{([a-z_]+="([^"\\]|\\.)*")(,[a-z_]+="([^"\\]|\\.)*")*\})? (-?[0-9]+(\.[0-9]+)?))");
    std::istringstream in(text);
    std::string line, family, typed;
    std::vector<std::string> seen;
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_match(line, m, help)) {
            family = m[1];
            if (among(seen, family)) return ::testing::AssertionFailure() << "family twice: " << family;
            seen.push_back(family);
        } else if (std::regex_match(line, m, type)) {
            if (m[1] != family) return ::testing::AssertionFailure() << "TYPE without HELP: " << line;
            typed = family;
            if (m[2] == "counter" && family.size() < 6) return ::testing::AssertionFailure() << line;
        } else if (std::regex_match(line, m, sample)) {
            if (m[1] != typed) return ::testing::AssertionFailure() << "sample outside its family: " << line;
            std::string key = line.substr(0, line.rfind(' '));
            if (samples->count(key)) return ::testing::AssertionFailure() << "sample twice: " << line;
            (*samples)[key] = std::stod(line.substr(line.rfind(' ') + 1));
        } else {
            return ::testing::AssertionFailure() << "malformed line: " << line;
        }
    }
    return ::testing::AssertionSuccess();
}

std::string tavstat() { return tavtest::binDir() + "/tavstat"; }

// Six drives, RAID 5 on 0-2 and RAID 1 on 4-5; drive 3 a global hot spare
// where asked; bad spots on drive 5 where asked.
std::string serverConfig(bool hotSpare, bool badSpots) {
    return std::string(R"({"adapters":[{"host":2,"model":"ZN5121","drives":[
        {"slot":0,"interface":"SAS","serial":"SER0"},{"slot":1,"interface":"SAS"},{"slot":2,"interface":"SAS"},
        {"slot":3,"interface":"SAS"},{"slot":4,"interface":"SATA"},
        {"slot":5,"interface":"SATA")") +
           (badSpots ? R"(,"bad_spots":[100,200,300])" : "") + R"(}],
      "logical_drives":[{"number":0,"raid":5,"members":[0,1,2]},{"number":1,"raid":1,"members":[4,5]}],
      "hot_spares":)" +
           (hotSpare ? "[3]" : "[]") + "}]}";
}

struct Scenario {
    const char *name;
    bool hotSpare;
    bool badSpots;
    std::vector<std::vector<std::string>> faults;
    int checkStatus;
    const char *summary;  // the whole line up to the performance data
    // Expected samples (name{labels} -> value).
    std::map<std::string, double> metrics;
};

const std::vector<Scenario> &scenarios() {
    static const std::vector<Scenario> list = {
        {"good",
         false,
         false,
         {},
         0,
         "TAVRAID OK - 1 adapter(s), 2 virtual drive(s), 6 physical drive(s) optimal",
         {{R"(tav_logical_drive_state{adapter="0",logical_drive="0",raid_level="RAID5",state="Good"})", 0},
          {R"(tav_physical_drive_health{adapter="0",physical_drive="1"})", 0},
          {R"(tav_adapter_up{adapter="0"})", 1}}},
        {"degraded",
         false,
         false,
         {{"fail-drive", "0", "1"}},
         2,
         "TAVRAID CRITICAL - Adapter 0-VD 0 Warning0, Adapter 0-PD 1 Alarm0",
         {{R"(tav_logical_drive_state{adapter="0",logical_drive="0",raid_level="RAID5",state="Warning0"})", 16},
          {R"(tav_logical_drive_health{adapter="0",logical_drive="0"})", 1},
          {R"(tav_physical_drive_state{adapter="0",physical_drive="1",state="Alarm0"})", 32},
          {R"(tav_physical_drive_health{adapter="0",physical_drive="1"})", 2}}},
        {"rebuilding",
         true,
         false,
         {{"fail-drive", "0", "1"}, {"operation-progress", "0", "0", "50", "hold"}},
         2,
         "TAVRAID CRITICAL - Adapter 0-VD 0 Warning1 (rebuild 50%), Adapter 0-PD 1 Alarm0",
         {{R"(tav_logical_drive_operation_progress_ratio{adapter="0",logical_drive="0",operation="rebuild"})", 0.50},
          {R"(tav_logical_drive_health{adapter="0",logical_drive="0"})", 1}}},
        {"failed",
         false,
         false,
         {{"fail-drive", "0", "4"}, {"fail-drive", "0", "5"}},
         2,
         "TAVRAID CRITICAL - Adapter 0-VD 1 Alarm0, Adapter 0-PD 4 Alarm0, Adapter 0-PD 5 Alarm0",
         {{R"(tav_logical_drive_health{adapter="0",logical_drive="1"})", 2}}},
        {"removed",
         false,
         false,
         {{"remove-drive", "0", "4"}},
         1,
         "TAVRAID WARNING - Adapter 0-VD 1 Warning0, Adapter 0-PD 4 Not Supported",
         {{R"(tav_physical_drive_state{adapter="0",physical_drive="4",state="Not Supported"})", 128},
          {R"(tav_physical_drive_health{adapter="0",physical_drive="4"})", 1}}},
        {"media errors",
         false,
         true,
         {},
         1,
         "TAVRAID WARNING - Adapter 0-PD 5 Good (3 media errors)",
         {{R"(tav_physical_drive_media_errors_total{adapter="0",physical_drive="5"})", 3},
          {R"(tav_physical_drive_health{adapter="0",physical_drive="5"})", 1}}},
    };
    return list;
}

class TavstatScenario : public ::testing::TestWithParam<Scenario> {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok()) << server.initOutput();
        for (const auto &fault : GetParam().faults) {
            RunResult r = server.inject(fault);
            ASSERT_EQ(0, r.status) << r.out << r.err;
        }
    }
    SimServer server{serverConfig(GetParam().hotSpare, GetParam().badSpots)};
};

TEST_P(TavstatScenario, JsonFollowsTheSchemaAndCarriesTheState) {
    RunResult r = server.run({tavstat(), "--json"});
    ASSERT_EQ(0, r.status) << r.err;
    json doc = json::parse(r.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << r.out;
    ASSERT_TRUE(validDocument(doc));
    const json &a = doc["adapters"][0];
    EXPECT_EQ("ZN5121", a["model"]);
    ASSERT_EQ(2u, a["logical_drives"].size());
    ASSERT_EQ(6u, a["physical_drives"].size());
    EXPECT_EQ("SER0", a["physical_drives"][0]["serial"]);
    // The JSON's states agree with the simulator's.
    json show = json::parse(server.show())["adapters"][0];
    for (const json &ld : a["logical_drives"]) {
        int n = ld["number"];
        EXPECT_EQ(show["logical_drives"][n]["state"].get<int>(), ld["state_code"].get<int>()) << ld.dump();
    }
}

TEST_P(TavstatScenario, MetricsPassPromtoolAndCarryTheValues) {
    RunResult r = server.run({tavstat(), "--prometheus"});
    ASSERT_EQ(0, r.status) << r.err;
    std::map<std::string, double> samples;
    ASSERT_TRUE(parseMetrics(r.out, &samples)) << r.out;
    for (const auto &[key, value] : GetParam().metrics) {
        ASSERT_TRUE(samples.count(key)) << key << "\n" << r.out;
        EXPECT_DOUBLE_EQ(value, samples[key]) << key;
    }
    std::string file = server.path("/metrics.prom");
    tavtest::writeFile(file, r.out);
    RunResult check = tavtest::runCommand({"promtool", "check", "metrics"}, r.out);
    if (check.status == 127) {
        GTEST_SKIP() << "promtool is not installed; the strict parser above checked the text";
    }
    EXPECT_EQ(0, check.status) << check.out << check.err;
}

TEST_P(TavstatScenario, CheckExitStatusAndSummary) {
    RunResult r = server.run({tavstat(), "--check"});
    EXPECT_EQ(GetParam().checkStatus, r.status);
    EXPECT_EQ(std::string(GetParam().summary), r.out.substr(0, r.out.find(" | "))) << r.out;
    EXPECT_EQ(1, std::count(r.out.begin(), r.out.end(), '\n'));
}

INSTANTIATE_TEST_SUITE_P(States, TavstatScenario, ::testing::ValuesIn(scenarios()),
                         [](const ::testing::TestParamInfo<Scenario> &info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

}  // namespace

namespace {

// Four adapters with 12 drives and 8 logical drives each.
std::string fullServerConfig() {
    std::string adapters;
    for (int a = 0; a < 4; ++a) {
        std::string drives, lds;
        for (int s = 0; s < 12; ++s) {
            drives += std::string(s ? "," : "") + R"({"slot":)" + std::to_string(s) + R"(,"interface":"SAS"})";
        }
        for (int n = 0; n < 8; ++n) {
            std::string members =
                n < 4 ? std::to_string(2 * n) + "," + std::to_string(2 * n + 1) : std::to_string(n + 4);
            lds += std::string(n ? "," : "") + R"({"number":)" + std::to_string(n) + R"(,"raid":)" +
                   (n < 4 ? "1" : "0") + R"(,"members":[)" + members + "]}";
        }
        adapters += std::string(a ? "," : "") + R"({"host":)" + std::to_string(a + 2) +
                    R"(,"model":"ZN5121","drives":[)" + drives + R"(],"logical_drives":[)" + lds + "]}";
    }
    return R"({"adapters":[)" + adapters + "]}";
}

uint64_t totalCommands(const SimServer &server) {
    uint64_t total = 0;
    json show = json::parse(server.show());
    for (const json &a : show["adapters"]) {
        total += a["commands"].get<uint64_t>();
    }
    return total;
}

// Commands that reach the adapters while argv runs.
uint64_t commandsOf(const SimServer &server, const std::vector<std::string> &argv) {
    uint64_t before = totalCommands(server);
    RunResult r = server.run(argv);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    return totalCommands(server) - before;
}

// tavstat reads each adapter once: its count grows with the adapters, not
// with the records, and stays far below the text listings'.
TEST(Tavstat, CommandsSentStayOneReadingPerAdapter) {
    SimServer one;
    SimServer four(fullServerConfig());
    ASSERT_TRUE(one.ok() && four.ok()) << one.initOutput() << four.initOutput();
    uint64_t oneStat = commandsOf(one, {tavstat(), "--json", "--no-health"});
    uint64_t oneCli =
        commandsOf(one, {"tavcli", "-PDList", "-aALL"}) + commandsOf(one, {"tavcli", "-LDInfo", "-Lall", "-aALL"});
    uint64_t fourStat = commandsOf(four, {tavstat(), "--json", "--no-health"});
    uint64_t fourCli =
        commandsOf(four, {"tavcli", "-PDList", "-aALL"}) + commandsOf(four, {"tavcli", "-LDInfo", "-Lall", "-aALL"});
    std::cout << "commands: default server tavstat " << oneStat << ", tavcli " << oneCli
              << "; four full adapters tavstat " << fourStat << ", tavcli " << fourCli << std::endl;
    // Default: common status, 2 groups, 12 drive slots, 5 member groups, page
    // 0x3E, restore status; controller parameters and two setting pages.
    EXPECT_EQ(1u + 2 + 12 + 5 + 1 + 1 + 3, oneStat);
    // Full adapter: 8 groups, 12 drive slots, 12 member groups.
    EXPECT_EQ(4 * (1u + 8 + 12 + 12 + 1 + 1 + 3), fourStat);
    EXPECT_LT(fourStat * 20, fourCli);
    // The --check and metrics modes read the same way.
    EXPECT_EQ(oneStat, commandsOf(one, {tavstat(), "--prometheus", "--no-health"}));
    // Health adds one LOG SENSE (all pages) per drive the suite takes for SAS
    // (the default server's eight drives all carry the vendor "MORVANE"), in
    // the first run as in the next.
    for (int run = 0; run < 2; ++run) {
        EXPECT_EQ(oneStat + 8, commandsOf(one, {tavstat(), "--prometheus"}));
        EXPECT_EQ(fourStat + 48, commandsOf(four, {tavstat(), "--prometheus"}));
    }
}

TEST(Tavstat, AdapterFailureIsUnknownAndReportedInEveryFormat) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    ASSERT_EQ(0, server.inject({"adapter-error", "0x040047", "8"}).status);
    RunResult check = server.run({tavstat(), "--check"});
    EXPECT_EQ(3, check.status);
    EXPECT_EQ(0u, check.out.rfind("TAVRAID UNKNOWN - Adapter 0 unreadable (error 0x", 0)) << check.out;

    ASSERT_EQ(0, server.inject({"adapter-error", "0x040047", "8"}).status);
    RunResult j = server.run({tavstat(), "--json"});
    EXPECT_EQ(2, j.status);
    json doc = json::parse(j.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << j.out;
    EXPECT_EQ("error", doc["adapters"][0]["status"]);
    EXPECT_TRUE(doc["adapters"][0]["error_code"].is_string());

    ASSERT_EQ(0, server.inject({"adapter-error", "0x040047", "8"}).status);
    RunResult m = server.run({tavstat(), "--prometheus"});
    EXPECT_EQ(2, m.status);
    std::map<std::string, double> samples;
    ASSERT_TRUE(parseMetrics(m.out, &samples)) << m.out;
    EXPECT_EQ(0, samples[R"(tav_adapter_up{adapter="0"})"]);
    EXPECT_EQ(1, samples["tav_library_up"]);
}

TEST(Tavstat, NoAdapterIsUnknown) {
    std::string empty = testing::TempDir() + "tavstat-empty-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(&empty[0]));
    RunResult r = tavtest::runCommand({tavstat(), "--check"}, "", {"TAV_ROOT=" + empty});
    EXPECT_EQ(3, r.status);
    EXPECT_EQ("TAVRAID UNKNOWN - no adapter found\n", r.out);
    rmdir(empty.c_str());
}

// A user who is not root cannot open the driver: told so in every format,
// never reported as a server without adapters.
TEST(Tavstat, UserWhoIsNotRootIsToldSo) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    auto asNobody = [&](const char* mode) {
        return server.run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", tavstat(), mode});
    };
    RunResult check = asNobody("--check");
    EXPECT_EQ(3, check.status);
    EXPECT_EQ(0u, check.out.rfind("TAVRAID UNKNOWN - must run as root (", 0)) << check.out;

    RunResult j = asNobody("--json");
    EXPECT_EQ(2, j.status);
    json doc = json::parse(j.out, nullptr, false);
    ASSERT_FALSE(doc.is_discarded()) << j.out;
    EXPECT_EQ("error", doc["library"]);
    EXPECT_EQ(0u, doc.value("reason", "").rfind("must run as root (", 0)) << j.out;
    EXPECT_TRUE(doc["adapters"].empty());

    RunResult m = asNobody("--prometheus");
    EXPECT_EQ(2, m.status);
    std::map<std::string, double> samples;
    ASSERT_TRUE(parseMetrics(m.out, &samples)) << m.out;
    EXPECT_EQ(0, samples["tav_library_up"]);
}

TEST(Tavstat, RunsBesideTheExclusiveUserAndLeavesNoLock) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    std::string lock = server.path("/var/run/libtavctl.pid");
    int fd = open(lock.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, flock(fd, LOCK_EX | LOCK_NB));
    RunResult r = server.run({"tavstat", "--check"});  // linked into the simulated installation
    EXPECT_EQ(0, r.status) << r.out;
    close(fd);
    unlink(lock.c_str());
    server.run({tavstat(), "--json"});
    EXPECT_FALSE(tavtest::fileExists(lock));
}

TEST(Tavstat, OutputFileIsReplacedWholeThroughATemporaryFile) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    std::string dir = server.path("/textfile");
    ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
    std::string file = dir + "/tavstat.prom";
    tavtest::writeFile(file, "old\n");
    RunResult r = server.run({tavstat(), "--prometheus", "--output", file});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.out);
    RunResult direct = server.run({tavstat(), "--prometheus"});
    EXPECT_EQ(direct.out, tavtest::readFile(file));
    struct stat st;
    ASSERT_EQ(0, stat(file.c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 0777);
    RunResult listing = tavtest::runCommand({"ls", "-A", dir});
    EXPECT_EQ("tavstat.prom\n", listing.out);

    // A directory that cannot be written: the old file stays, status 1.
    std::string missing = dir + "/no/such/tavstat.prom";
    RunResult bad = server.run({tavstat(), "--prometheus", "--output", missing});
    EXPECT_EQ(1, bad.status);
    EXPECT_NE(std::string::npos, bad.err.find("tavstat: cannot create a temporary file for " + missing)) << bad.err;
}

// A run killed while it writes (here by its file size limit) leaves its
// temporary file; the next run removes it along with writing the file.
TEST(Tavstat, NextRunRemovesTheTemporaryFileOfAKilledRun) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    std::string dir = server.path("/textfile");
    ASSERT_EQ(0, mkdir(dir.c_str(), 0755));
    std::string file = dir + "/tavstat.prom";
    tavtest::writeFile(file, "old\n");
    // Without health readings, whose simulated drives write state files of
    // their own, the first file the run writes is its temporary one.
    RunResult killed =
        server.run({"/usr/bin/prlimit", "--fsize=16", tavstat(), "--no-health", "--prometheus", "--output", file});
    ASSERT_EQ(128 + SIGXFSZ, killed.status) << killed.err;
    EXPECT_EQ("old\n", tavtest::readFile(file));
    ASSERT_NE("tavstat.prom\n", tavtest::runCommand({"ls", "-A", dir}).out);  // the killed run's leftover
    RunResult r = server.run({tavstat(), "--prometheus", "--output", file});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ("tavstat.prom\n", tavtest::runCommand({"ls", "-A", dir}).out);
    EXPECT_NE("old\n", tavtest::readFile(file));
}

TEST(Tavstat, VersionPrintsTheSuiteVersion) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    RunResult r = server.run({tavstat(), "--version"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("tavstat 5.0\n", r.out);
    EXPECT_EQ("", r.err);
}

TEST(Tavstat, InvalidArgumentsPrintTheUsageWithStatus3) {
    SimServer server;
    ASSERT_TRUE(server.ok()) << server.initOutput();
    const std::vector<std::vector<std::string>> cases = {{},
                                                         {"--json", "--check"},
                                                         {"--json", "--output", "x"},
                                                         {"--prometheus", "--output"},
                                                         {"--prometheus", "--output", "a", "--output", "b"},
                                                         {"--xml"},
                                                         {"--json", "--temperature-warning", "50"},
                                                         {"--check", "--temperature-critical", "hot"},
                                                         {"--summary", "--temperature-warning", "70"},
                                                         {"--summary", "--check"},
                                                         {"--version", "--json"}};
    for (const auto &args : cases) {
        std::vector<std::string> argv = {tavstat()};
        argv.insert(argv.end(), args.begin(), args.end());
        RunResult r = server.run(argv);
        EXPECT_EQ(3, r.status) << argv.size();
        EXPECT_EQ(0u, r.err.rfind("Usage: tavstat", 0)) << r.err;
        EXPECT_EQ("", r.out);
    }
}

}  // namespace
