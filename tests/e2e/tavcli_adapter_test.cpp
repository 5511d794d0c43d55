// tavcli's adapter commands under the simulator: the full adapter report, the
// adapter count, automatic rebuild, the patrol-read delay and the G-list
// prevent limits; their syntax errors, the confirmation question and the
// messages of failed library calls.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "tavtest.h"

namespace {

using nlohmann::json;
using tavtest::RunResult;
using tavtest::SimServer;

const char kQuestion[] = "Is it executed?(Y/N)?\n";
const char kTraceLog[] = "/opt/morvane/tavutility/tavcli.log";
const char kLockFile[] = "/var/run/libtavctl.pid";

RunResult Tavcli(const SimServer& sim, const std::vector<std::string>& args, const std::string& input = "") {
    std::vector<std::string> argv{"tavcli"};
    argv.insert(argv.end(), args.begin(), args.end());
    return sim.run(argv, input);
}

json Adapter(const SimServer& sim, int controller) { return json::parse(sim.show())["adapters"][controller]; }

std::string Invalid(const std::string& token) { return "Invalid input at or near token " + token + ".\n"; }

std::string Repeat(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

// Whether the trace log has an entry of a module (or of the modules whose
// names begin so) carrying the text.
bool Traced(const SimServer& sim, const std::string& module, const std::string& text) {
    std::string log = tavtest::readFile(sim.path(kTraceLog));
    for (size_t at = 0; (at = log.find(" " + module, at)) != std::string::npos; ++at) {
        size_t end = log.find('\n', at);
        if (log.substr(at, end - at).find(text) != std::string::npos) return true;
    }
    return false;
}

struct SyntaxCase {
    std::vector<std::string> args;  // the command word first
    std::string token;              // the token the message names
};

// Each malformed command line names its token, changes nothing and ends
// with status 0.
void ExpectSyntaxErrors(const SimServer& sim, const std::vector<SyntaxCase>& cases) {
    std::string before = sim.show();
    for (const auto& c : cases) {
        std::string line;
        for (const auto& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        RunResult r = Tavcli(sim, c.args, "y\n");
        EXPECT_EQ(r.out, Invalid(c.token));
        EXPECT_EQ(r.status, 0);
    }
    json a = json::parse(before), b = json::parse(sim.show());
    for (size_t i = 0; i < a["adapters"].size(); ++i) {
        EXPECT_EQ(a["adapters"][i]["events"], b["adapters"][i]["events"]) << "adapter " << i;
        EXPECT_EQ(a["adapters"][i]["patrol_delay"], b["adapters"][i]["patrol_delay"]);
        EXPECT_EQ(a["adapters"][i]["glist"], b["adapters"][i]["glist"]);
    }
}

// ---- -AdpAllInfo ----

// What the report shows of one adapter, as configured.
struct Shown {
    int controller;
    bool generation1;
    std::string adapterVersion;
    std::string processorRevision;
    std::string sasAddress;
    std::string generalRevision;
    std::string bootRevision;
    std::string driverVersion;
    std::string flash1, flash2;
    int bus, slot;
    int memoryMB, cacheMB, writeCacheMB;
    std::string bank, checksums;
    std::string idle, busy;
    int weeks;
};

// The report of one adapter: the golden template filled with what it shows.
std::string Report(const Shown& s) {
    return tavtest::fillTemplate(tavtest::fixture("adpallinfo.txt"),
                                 {{"controller", std::to_string(s.controller)},
                                  {"generation", s.generation1 ? "1" : "0"},
                                  {"adapter_type", s.generation1 ? "ZN5121" : "ZN5120"},
                                  {"adapter_version", s.adapterVersion},
                                  {"processor_revision", s.processorRevision},
                                  {"sas_address", s.sasAddress},
                                  {"general_revision", s.generalRevision},
                                  {"boot_revision", s.bootRevision},
                                  {"driver_version", s.driverVersion},
                                  {"flash_1", s.flash1},
                                  {"flash_2", s.flash2},
                                  {"bus", std::to_string(s.bus)},
                                  {"slot", std::to_string(s.slot)},
                                  {"sub_device_id", s.generation1 ? "0x3034" : "0x3030"},
                                  {"memory_mb", std::to_string(s.memoryMB)},
                                  {"cache_mb", std::to_string(s.cacheMB)},
                                  {"write_cache_mb", std::to_string(s.writeCacheMB)},
                                  {"bank", s.bank},
                                  {"checksums", s.checksums},
                                  {"idle", s.idle},
                                  {"busy", s.busy},
                                  {"weeks", std::to_string(s.weeks)}});
}

// Adapter 0 is a generation-0 card with every shown value set; adapter 1
// keeps the simulator's defaults.
const char kTwoCards[] = R"({"adapters": [
  {"host": 2, "model": "ZN5120", "pci_bus": 7, "pci_slot": 1, "driver_version": "1.2.5.60",
   "priority_idle": 3, "priority_busy": 1, "patrol_delay": 2,
   "memory_bytes": 1073741824, "cache_bytes": 536870912, "write_cache_bytes": 67108864,
   "boot_revision": "B0207", "general_revision": "0520", "processor_revision": [10, 11, 12, 255],
   "adapter_version": 58, "sas_address": "5000abcdef012340", "flash_revision_1": "0520",
   "flash_revision_2": "0519", "flash_state": 34},
  {"host": 4, "model": "ZN5121", "pci_bus": 9, "patrol_delay": 3}]})";

const Shown kCard0 = {0,
                      false,
                      "3a",
                      "0a0b0cff",
                      "5000abcdef012340",
                      "0520",
                      "B0207",
                      "12560",
                      "0520",
                      "0519",
                      7,
                      1,
                      1024,
                      512,
                      64,
                      "2",
                      "#1:Check Sum NG #2:Check Sum OK",
                      "Low",
                      "High",
                      4};
const Shown kCard1 = {1,
                      true,
                      "21",
                      "01000203",
                      "500000e012345610",
                      "0410",
                      "B010502",
                      "12454",
                      "0410",
                      "0409",
                      9,
                      0,
                      512,
                      256,
                      128,
                      "1",
                      "#1:Check Sum OK #2:Check Sum OK",
                      "High",
                      "Middle",
                      8};

// The first adapter of a server with the simulator's defaults.
Shown DefaultCard() {
    Shown card = kCard1;
    card.controller = 0;
    card.bus = 3;
    card.sasAddress = "500000e012345600";
    card.weeks = 2;
    return card;
}

TEST(TavcliAdpAllInfo, ReportOfEveryListedAdapter) {
    SimServer sim(kTwoCards);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    RunResult all = Tavcli(sim, {"-AdpAllInfo", "-aALL"});
    EXPECT_EQ(all.out, Report(kCard0) + Report(kCard1));
    EXPECT_EQ(all.status, 0);

    RunResult listed = Tavcli(sim, {"adpallinfo", "-a1,0"});
    EXPECT_EQ(listed.out, Report(kCard0) + Report(kCard1)) << "ascending, whatever the order given";
    RunResult one = Tavcli(sim, {"-ADPALLINFO", "-A1"});
    EXPECT_EQ(one.out, Report(kCard1));
    EXPECT_EQ(one.status, 0);
}

// The demo's command on the default server.
TEST(TavcliAdpAllInfo, DefaultServer) {
    SimServer sim;
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    RunResult r = Tavcli(sim, {"-AdpAllInfo", "-aALL"});
    EXPECT_EQ(r.out, Report(DefaultCard()));
    EXPECT_EQ(r.status, 0);
}

TEST(TavcliAdpAllInfo, FlashStates) {
    struct {
        int state;
        const char* bank;
        const char* checksums;
    } const cases[] = {
        {0x00, "-", "#1:Check Sum NG #2:Check Sum NG"}, {0x11, "1", "#1:Check Sum OK #2:Check Sum NG"},
        {0x13, "1", "#1:Check Sum OK #2:Check Sum OK"}, {0x22, "2", "#1:Check Sum NG #2:Check Sum OK"},
        {0x23, "2", "#1:Check Sum OK #2:Check Sum OK"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        SimServer sim(R"({"adapters": [{"host": 2, "model": "ZN5121", "flash_state": )" + std::to_string(c.state) +
                      "}]}");
        ASSERT_TRUE(sim.ok()) << sim.initOutput();
        Shown card = DefaultCard();
        card.bank = c.bank;
        card.checksums = c.checksums;
        RunResult r = Tavcli(sim, {"-AdpAllInfo", "-a0"});
        EXPECT_EQ(r.out, Report(card));
    }
}

// A flash state no table knows stops the tool after the adapters before it
// were reported; the library is closed.
TEST(TavcliAdpAllInfo, AbnormalFlashStateIsFatal) {
    SimServer sim(R"({"adapters": [{"host": 2, "model": "ZN5121"},
                                   {"host": 3, "model": "ZN5121", "flash_state": 18}]})");
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    RunResult r = Tavcli(sim, {"-AdpAllInfo", "-aALL"});
    EXPECT_EQ(r.out, Report(DefaultCard()) + "Fatal error - Adapter 1: DLL information is abnormal.\n");
    EXPECT_EQ(r.status, 255);
    EXPECT_FALSE(tavtest::fileExists(sim.path(kLockFile)));
}

TEST(TavcliAdpAllInfo, SyntaxErrors) {
    SimServer sim(kTwoCards);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    ExpectSyntaxErrors(sim, {
                                {{"-AdpAllInfo"}, "-AdpAllInfo"},
                                {{"-AdpAllInfo", "-a0", "-a1"}, "-a0"},
                                {{"-AdpAllInfo", "-aALL", "-a0"}, "-aALL"},
                                {{"-AdpAllInfo", "-L0"}, "-AdpAllInfo"},
                                {{"-AdpAllInfo", "-a0", "-x"}, "-AdpAllInfo"},
                                {{"-AdpAllInfo", "-a4"}, "-AdpAllInfo"},
                                {{"-AdpAllInfo", "-a1,"}, "-AdpAllInfo"},
                                {{"-AdpAllInfo", "-a1,1"}, "-AdpAllInfo"},
                                {{"-AdpAllInfo", "-a"}, "-AdpAllInfo"},
                            });
}

TEST(TavcliAdpAllInfo, MissingAdapterIsFatal) {
    SimServer sim(kTwoCards);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    for (const std::string option : {"-a2", "-a1,3"}) {
        RunResult r = Tavcli(sim, {"-AdpAllInfo", option});
        EXPECT_EQ(r.out,
                  "Fatal error - The specified Adapter: " + option.substr(option.size() - 1) + " doesn't exist.\n");
        EXPECT_EQ(r.status, 255);
        EXPECT_FALSE(tavtest::fileExists(sim.path(kLockFile)));
    }
}

// ---- -AdpCount ----

TEST(TavcliAdpCount, CountAndRefusedOptions) {
    SimServer sim(kTwoCards);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    RunResult r = Tavcli(sim, {"-AdpCount"});
    EXPECT_EQ(r.out, "Adapter Count: 2.\n");
    EXPECT_EQ(r.status, 0);
    ExpectSyntaxErrors(sim, {
                                {{"-AdpCount", "-a0"}, "-AdpCount"},
                                {{"ADPCOUNT", "-aALL", "-x"}, "ADPCOUNT"},
                            });
}

// ---- -AdpPRSetDelay and the confirmation question ----

TEST(TavcliAdpPRSetDelay, LowOnEveryAdapterWithoutQuestion) {
    SimServer sim(kTwoCards);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    RunResult r = Tavcli(sim, {"-AdpPRSetDelay", "-Low", "-aALL", "-nochk"});
    EXPECT_EQ(r.out,
              "Adapter 0: Patrol Read Execution Delay is 8 week.\n"
              "Adapter 1: Patrol Read Execution Delay is 8 week.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Adapter(sim, 0)["patrol_delay"], 3);
    EXPECT_EQ(Adapter(sim, 1)["patrol_delay"], 3);
    EXPECT_EQ(Adapter(sim, 0)["priorities"], (json{{"idle", 3}, {"busy", 1}})) << "priorities kept";

    RunResult high = Tavcli(sim, {"-AdpPRSetDelay", "-a1", "-NoChkAnything", "-HIGH"});
    EXPECT_EQ(high.out, "Adapter 1: Patrol Read Execution Delay is 2 week.\n");
    EXPECT_EQ(Adapter(sim, 1)["patrol_delay"], 1);
    EXPECT_EQ(Adapter(sim, 0)["patrol_delay"], 3);
}

TEST(TavcliAdpPRSetDelay, SyntaxErrors) {
    SimServer sim(kTwoCards);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    ExpectSyntaxErrors(sim, {
                                {{"-AdpPRSetDelay"}, "-AdpPRSetDelay"},
                                {{"-AdpPRSetDelay", "-High", "-Low", "-a0"}, "-High"},
                                {{"-AdpPRSetDelay", "-a0"}, "-a0"},
                                {{"-AdpPRSetDelay", "-High"}, "-High"},
                                {{"-AdpPRSetDelay", "-Hi", "-a0"}, "-AdpPRSetDelay"},
                                {{"-AdpPRSetDelay", "-High", "-a0", "-L0"}, "-a0"},
                                {{"-AdpPRSetDelay", "-High", "-a0", "-a1"}, "-a0"},
                                {{"-AdpPRSetDelay", "-High", "-nochk", "-nochk", "-a0"}, "-nochk"},
                                {{"-AdpPRSetDelay", "-High", "-nock", "-a0"}, "-High"},
                                {{"-AdpPRSetDelay", "-Middle", "-a5"}, "-Middle"},
                            });
}

// Answers come from standard input: Y/y go on, N/n and the end of the input
// stop; anything else asks again.
TEST(TavcliConfirmation, AnswersFromStandardInput) {
    struct {
        std::string input;
        int questions;
        bool applied;
    } const cases[] = {
        {"y\n", 1, true},
        {"Y\n", 1, true},
        {"N\n", 1, false},
        {"n\n", 1, false},
        {"", 1, false},
        {"y", 2, false},
        {"yes\nY \n\nyn\nN\n", 5, false},
        {"x\n\ny\n", 3, true},
        {"y" + std::string(70000, ' ') + "\nn\n", 2, false},
        {"no\n", 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input.substr(0, 20));
        SimServer sim(kTwoCards);
        ASSERT_TRUE(sim.ok()) << sim.initOutput();
        RunResult r = Tavcli(sim, {"-AdpPRSetDelay", "-Middle", "-a1"}, c.input);
        std::string result = c.applied ? "Adapter 1: Patrol Read Execution Delay is 4 week.\n" : "";
        EXPECT_EQ(r.out, Repeat(kQuestion, c.questions) + result);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(Adapter(sim, 1)["patrol_delay"], c.applied ? 2 : 3);
    }
}

// A declined question sends nothing: the adapter sees the same commands as
// for a command line that stops at its syntax after the same adapter option.
TEST(TavcliConfirmation, DeclinedSendsNothing) {
    SimServer sim(kTwoCards);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    auto commands = [&] { return Adapter(sim, 0)["commands"].get<long>(); };
    long start = commands();
    ASSERT_EQ(Tavcli(sim, {"-AdpPRSetDelay", "-a0"}).out, Invalid("-a0"));
    long parseOnly = commands() - start;
    ASSERT_GT(parseOnly, 0) << "the adapter option is confirmed with the adapter";

    for (const std::vector<std::string>& args : {std::vector<std::string>{"-AdpPRSetDelay", "-Low", "-a0"},
                                                 std::vector<std::string>{"-GLPrevLimitSet", "-a0", "-ALL3"},
                                                 std::vector<std::string>{"-AdpAutoRbld", "-Dsbl", "-a0", "-Lall"}}) {
        SCOPED_TRACE(args[0]);
        long before = commands();
        RunResult r = Tavcli(sim, args, "n\n");
        EXPECT_EQ(r.out, kQuestion);
        EXPECT_EQ(commands() - before, parseOnly);
    }
    EXPECT_EQ(Adapter(sim, 0)["events"], json::array());
}

// On a terminal the typed answer is shown while it is read.
TEST(TavcliConfirmation, AnswerEchoedOnTerminal) {
    SimServer sim(kTwoCards);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    RunResult r = sim.runOnPty({"tavcli", "-AdpPRSetDelay", "-Middle", "-a1"}, "maybe\ny\n");
    EXPECT_EQ(r.out,
              "Is it executed?(Y/N)?\r\nmaybe\r\nIs it executed?(Y/N)?\r\ny\r\n"
              "Adapter 1: Patrol Read Execution Delay is 4 week.\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Adapter(sim, 1)["patrol_delay"], 2);
}

// ---- -GLPrevLimitInfo / -GLPrevLimitSet ----

const char kLimits[] = R"({"adapters": [
  {"host": 2, "model": "ZN5121", "glist_prevent_limit": 40, "glist_one_month": 9,
   "glist_half_year": 17, "glist_one_year": 25},
  {"host": 3, "model": "ZN5120"}]})";

json Limits(int prevent, int month, int half, int year) {
    return json{{"prevent_limit", prevent}, {"one_month", month}, {"half_year", half}, {"one_year", year}};
}

TEST(TavcliGList, InfoReport) {
    SimServer sim(kLimits);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    RunResult r = Tavcli(sim, {"-GLPrevLimitInfo", "-aALL"});
    EXPECT_EQ(r.out,
              "Adapter #0\n\nPreventLimit: 40\nPreventLimit OneMonth: 9\nPreventLimit HalfYear: 17\n"
              "PreventLimit OneYear: 25\n\n"
              "Adapter #1\n\nPreventLimit: 32\nPreventLimit OneMonth: 8\nPreventLimit HalfYear: 16\n"
              "PreventLimit OneYear: 24\n\n");
    EXPECT_EQ(r.status, 0);
    ExpectSyntaxErrors(sim, {
                                {{"-GLPrevLimitInfo"}, "-GLPrevLimitInfo"},
                                {{"-GLPrevLimitInfo", "-L0"}, "-L0"},
                                {{"-GLPrevLimitInfo", "-x", "-a0"}, "-x"},
                                {{"-GLPrevLimitInfo", "-a0", "-x"}, "-a0"},
                                {{"-GLPrevLimitInfo", "-a0", "-a1"}, "-a0"},
                                {{"-GLPrevLimitInfo", "-a9"}, "-GLPrevLimitInfo"},
                            });
}

TEST(TavcliGList, SetKeepsTheLimitsNotGiven) {
    SimServer sim(kLimits);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    RunResult r = Tavcli(sim, {"-GLPrevLimitSet", "-PL5", "-OM00006", "-a0", "-nochk"});
    EXPECT_EQ(r.out, "Adapter 0: PreventLimit is 5.\nAdapter 0: PreventLimit OneMonth is 6.\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Adapter(sim, 0)["glist"], Limits(5, 6, 17, 25));
    EXPECT_EQ(Adapter(sim, 1)["glist"], Limits(32, 8, 16, 24));

    // Reported in the record's order whatever the order given.
    r = Tavcli(sim, {"-GLPrevLimitSet", "-OY65535", "-a0", "-HY0"}, "y\n");
    EXPECT_EQ(r.out, std::string(kQuestion) +
                         "Adapter 0: PreventLimit HalfYear is 0.\nAdapter 0: PreventLimit OneYear is 65535.\n");
    EXPECT_EQ(Adapter(sim, 0)["glist"], Limits(5, 6, 0, 65535));

    // A keyword without digits sets its limit to 0.
    r = Tavcli(sim, {"-GLPrevLimitSet", "-PL", "-a0", "-nochk"});
    EXPECT_EQ(r.out, "Adapter 0: PreventLimit is 0.\n");
    EXPECT_EQ(Adapter(sim, 0)["glist"], Limits(0, 6, 0, 65535));
}

TEST(TavcliGList, AllLimitsOnEveryAdapter) {
    SimServer sim(kLimits);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    RunResult r = Tavcli(sim, {"-GLPrevLimitSet", "-All12", "-aALL", "-nochk"});
    std::string lines;
    for (int a = 0; a < 2; ++a) {
        std::string n = std::to_string(a);
        lines += "Adapter " + n + ": PreventLimit is 12.\nAdapter " + n + ": PreventLimit OneMonth is 12.\n" +
                 "Adapter " + n + ": PreventLimit HalfYear is 12.\nAdapter " + n + ": PreventLimit OneYear is 12.\n";
    }
    EXPECT_EQ(r.out, lines);
    EXPECT_EQ(Adapter(sim, 0)["glist"], Limits(12, 12, 12, 12));
    EXPECT_EQ(Adapter(sim, 1)["glist"], Limits(12, 12, 12, 12));
}

TEST(TavcliGList, SetSyntaxErrors) {
    SimServer sim(kLimits);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    ExpectSyntaxErrors(sim, {
                                {{"-GLPrevLimitSet"}, "-GLPrevLimitSet"},
                                {{"-GLPrevLimitSet", "-ALL5", "-PL3", "-a0"}, "-ALL5"},
                                {{"-GLPrevLimitSet", "-PL3", "-ALL5", "-a0"}, "-PL3"},
                                {{"-GLPrevLimitSet", "-PL3", "-PL4", "-a0"}, "-PL3"},
                                {{"-GLPrevLimitSet", "-PL3x", "-a0"}, "-GLPrevLimitSet"},
                                {{"-GLPrevLimitSet", "-a0", "-OM1x"}, "-a0"},
                                {{"-GLPrevLimitSet", "-a0", "-PL123456"}, "-a0"},
                                {{"-GLPrevLimitSet", "-a0", "-PL70000"}, "-a0"},
                                {{"-GLPrevLimitSet", "-a0"}, "-a0"},
                                {{"-GLPrevLimitSet", "-PL3"}, "-PL3"},
                                {{"-GLPrevLimitSet", "-PL3", "-a0", "-L0"}, "-a0"},
                                {{"-GLPrevLimitSet", "-PL3", "-a0", "-a1"}, "-a0"},
                                {{"-GLPrevLimitSet", "-a4", "-PL3"}, "-GLPrevLimitSet"},
                                {{"-GLPrevLimitSet", "-PL3", "-XY3", "-a0"}, "-PL3"},
                            });
}

// ---- -AdpAutoRbld ----

// Only adapter 1 has logical drives: 0 with auto-rebuild on, 2 with it off.
const char kDrivesOnAdapter1[] = R"({"adapters": [
  {"host": 2, "model": "ZN5121", "drives": [{"slot": 0, "interface": "SAS"}]},
  {"host": 3, "model": "ZN5121",
   "drives": [{"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"},
              {"slot": 2, "interface": "SAS"}, {"slot": 3, "interface": "SAS"}],
   "logical_drives": [{"number": 0, "raid": 1, "members": [0, 1]},
                      {"number": 2, "raid": 1, "members": [2, 3], "auto_rebuild": false}]},
  {"host": 4, "model": "ZN5120"}]})";

std::string Rebuild(int adapter, int ld, const char* state) {
    return "Adapter " + std::to_string(adapter) + ":\nVirtual drv-" + std::to_string(ld) + ":\nAutoRebuild is " +
           state + ".\n\n";
}

std::vector<bool> AutoRebuild(const SimServer& sim, int adapter) {
    std::vector<bool> states;
    json shown = Adapter(sim, adapter);
    for (const auto& ld : shown["logical_drives"]) states.push_back(ld["auto_rebuild"]);
    return states;
}

TEST(TavcliAdpAutoRbld, DisplayListsOnlyAdaptersWithDrives) {
    SimServer sim(kDrivesOnAdapter1);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    RunResult r = Tavcli(sim, {"-AdpAutoRbld", "-Dsply", "-Lall", "-aALL"}, "y\n");
    EXPECT_EQ(r.out, kQuestion + Rebuild(1, 0, "Enabled") + Rebuild(1, 2, "Disabled"));
    EXPECT_EQ(r.status, 0);

    // An explicit list of all eight counts as all; a list keeps its order.
    r = Tavcli(sim, {"-AdpAutoRbld", "-Dsply", "-L7,6,5,4,3,2,1,0", "-a1", "-nochk"});
    EXPECT_EQ(r.out, Rebuild(1, 2, "Disabled") + Rebuild(1, 0, "Enabled"));
    r = Tavcli(sim, {"-AdpAutoRbld", "-Dsply", "-L2,0", "-a1", "-nochk"});
    EXPECT_EQ(r.out, Rebuild(1, 2, "Disabled") + Rebuild(1, 0, "Enabled"));
}

TEST(TavcliAdpAutoRbld, EnableAndDisable) {
    SimServer sim(kDrivesOnAdapter1);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    RunResult r = Tavcli(sim, {"-AdpAutoRbld", "-Enbl", "-L2", "-a1", "-nochk"});
    EXPECT_EQ(r.out, Rebuild(1, 2, "Enabled"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(AutoRebuild(sim, 1), (std::vector<bool>{true, true}));

    r = Tavcli(sim, {"-AdpAutoRbld", "-aALL", "-Lall", "-Dsbl"}, "Y\n");
    EXPECT_EQ(r.out, kQuestion + Rebuild(1, 0, "Disabled") + Rebuild(1, 2, "Disabled"));
    EXPECT_EQ(AutoRebuild(sim, 1), (std::vector<bool>{false, false}));

    r = Tavcli(sim, {"-AdpAutoRbld", "-Enbl", "-Lall", "-a1"}, "N\n");
    EXPECT_EQ(r.out, kQuestion);
    EXPECT_EQ(AutoRebuild(sim, 1), (std::vector<bool>{false, false}));
}

TEST(TavcliAdpAutoRbld, AdaptersWithoutDrives) {
    SimServer sim(kDrivesOnAdapter1);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    struct {
        std::vector<std::string> args;
        std::string out;
        int status;
    } const cases[] = {
        {{"-Lall", "-a0"}, "Fatal error - Adapter 0: There is no Virtual Drive.\n", 0},
        {{"-Lall", "-a1,2"}, "Fatal error - Adapter 2: There is no Virtual Drive.\n", 0},
        {{"-L3", "-a1"}, "Fatal error - Adapter 1-The specified Virtual Drives: 3 doesn't exist.\n", 255},
        {{"-L0", "-aALL"}, "Fatal error - Adapter 0-The specified Virtual Drives: 0 doesn't exist.\n", 255},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"-AdpAutoRbld", "-Enbl", "-nochk"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.out);
        RunResult r = Tavcli(sim, args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, c.status);
    }
    EXPECT_EQ(AutoRebuild(sim, 1), (std::vector<bool>{true, false})) << "nothing changed";

    SimServer bare(R"({"adapters": [{"host": 2, "model": "ZN5121"}, {"host": 3, "model": "ZN5120"}]})");
    ASSERT_TRUE(bare.ok()) << bare.initOutput();
    RunResult r = Tavcli(bare, {"-AdpAutoRbld", "-Dsply", "-Lall", "-aALL", "-nochk"});
    EXPECT_EQ(r.out,
              "Fatal error - Adapter 0: There is no Virtual Drive.\n"
              "Fatal error - Adapter 1: There is no Virtual Drive.\n");
    EXPECT_EQ(r.status, 0);
}

TEST(TavcliAdpAutoRbld, SyntaxErrors) {
    SimServer sim(kDrivesOnAdapter1);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    ExpectSyntaxErrors(sim, {
                                {{"-AdpAutoRbld"}, "-AdpAutoRbld"},
                                {{"-AdpAutoRbld", "-Dsply", "-Enbl", "-Lall", "-a1"}, "-Dsply"},
                                {{"-AdpAutoRbld", "-Lall", "-a1"}, "-a1"},
                                {{"-AdpAutoRbld", "-Dsply", "-a1"}, "-a1"},
                                {{"-AdpAutoRbld", "-Dsply", "-Lall"}, "-Lall"},
                                {{"-AdpAutoRbld", "-Dsply", "-L9", "-a1"}, "-Dsply"},
                                {{"-AdpAutoRbld", "-Dsply", "-L1,1", "-a1"}, "-Dsply"},
                                {{"-AdpAutoRbld", "-Dsply", "-Lall", "-Lall", "-a1"}, "-Lall"},
                                {{"-AdpAutoRbld", "-Dsply", "-Lall", "-a1", "-x"}, "-a1"},
                                {{"-AdpAutoRbld", "-Display", "-Lall", "-a1"}, "-AdpAutoRbld"},
                                {{"-AdpAutoRbld", "-Dsply", "-PhysDrv[0:0]", "-Lall", "-a1"}, "-Dsply"},
                            });
}

// ---- failed library calls ----

// A fault of the adapter shows the one message that fits, once, and the
// command ends with status 0.
TEST(TavcliAdapterFaults, EachMessageOnce) {
    const std::string onAdapter = "The error was detected as an Adapter 0.\nPlease ascertain the situation.\n";
    struct {
        std::vector<std::string> fault;
        std::vector<std::string> args;
        std::string out;
    } const cases[] = {
        {{"busy", "700"}, {"-GLPrevLimitInfo", "-a0"}, "Fatal error - Internal error -0x200010001000.\n"},
        {{"check-condition", "5", "0x20", "0", "50"}, {"-AdpAllInfo", "-a0"}, onAdapter},
        {{"adapter-error", "0x030011", "50"}, {"-GLPrevLimitSet", "-PL1", "-a0", "-nochk"}, onAdapter},
        {{"check-condition", "3", "0x11", "0", "50"}, {"-AdpPRSetDelay", "-High", "-a0", "-nochk"}, onAdapter},
        {{"adapter-error", "0x040001", "50"}, {"-AdpAutoRbld", "-Dsply", "-Lall", "-a0", "-nochk"}, onAdapter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault[0] + " " + c.args[0]);
        SimServer sim;
        ASSERT_TRUE(sim.ok()) << sim.initOutput();
        ASSERT_EQ(sim.inject(c.fault).status, 0);
        RunResult r = Tavcli(sim, c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(Traced(sim, "tavcli_cmd_", c.out.substr(0, c.out.find('\n'))));
        EXPECT_EQ(Adapter(sim, 0)["patrol_delay"], 1);
    }
}

// Every handler leaves its entry in the trace log.
TEST(TavcliAdapterTrace, HandlersTraceTheirEntry) {
    SimServer sim;
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    const std::vector<std::vector<std::string>> commands = {{"-AdpAllInfo", "-a0"},
                                                            {"-AdpCount"},
                                                            {"-AdpAutoRbld", "-Dsply", "-Lall", "-a0", "-nochk"},
                                                            {"-AdpPRSetDelay", "-Low", "-a0", "-nochk"},
                                                            {"-GLPrevLimitInfo", "-a0"},
                                                            {"-GLPrevLimitSet", "-PL1", "-a0", "-nochk"}};
    const char* handlers[] = {"CliCmdExecAdpAllInfo",    "CliCmdExecAdpCount",        "CliCmdExecAdpAutoRbld",
                              "CliCmdExecAdpPRSetDelay", "CliCmdExecGLPrevLimitInfo", "CliCmdExecGLPrevLimitSet"};
    for (size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(handlers[i]);
        EXPECT_FALSE(Traced(sim, "tavcli_cmd_adp", handlers[i]));
        EXPECT_EQ(Tavcli(sim, commands[i]).status, 0);
        EXPECT_TRUE(Traced(sim, "tavcli_cmd_adp", handlers[i]));
    }
    EXPECT_TRUE(Traced(sim, "tavcli_cmd_com", "GetAdapterNo"));
    EXPECT_TRUE(Traced(sim, "tavcli_cmd_com", "getAdpLdArray"));
}

}  // namespace
