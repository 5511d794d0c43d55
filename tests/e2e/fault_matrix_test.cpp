// Every command word of every program against a simulated server whose k-th
// command (k = 1..N) meets a fault: busy to the end of the retries, a check
// condition, an adapter error, an ioctl error, or a drive pulled as the
// command arrives. Each run must end without a signal or a sanitizer report,
// fail with a message (or, when the fault did not stop it, do what a clean run
// does), leave the server's state as before or as a clean run leaves it, and
// give the terminal back as it found it.
//
// FAULT_MATRIX_N (default 2) sets N; with FAULT_MATRIX_DIR set, each word
// writes its rows of the table as markdown into DIR/<program>-<word>.md
// (scripts/fault-matrix.sh joins them).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "tavservice_fixture.h"
#include "tavtest.h"
#include "tavtest_pty.h"

namespace {

using nlohmann::json;
using tavtest::RunResult;
using tavtest::SimServer;

// Adapter 0: free drives 0-2 and 7 (SAS) and 6 (SATA), drive 3 global hot
// spare, RAID 1 LD 1 on drives 4-5, RAID 5 LD 0 on drives 8-10 (drive 9 with
// bad spots), restore candidate 0 on drive 11. Background operations stand still.
const char kServer[] = R"({"speed": 0.000001, "adapters": [{"host": 2, "model": "ZN5121",
  "drives": [
   {"slot": 0, "interface": "SAS"}, {"slot": 1, "interface": "SAS"},
   {"slot": 2, "interface": "SAS"}, {"slot": 3, "interface": "SAS"},
   {"slot": 4, "interface": "SAS"}, {"slot": 5, "interface": "SAS"},
   {"slot": 6, "interface": "SATA"}, {"slot": 7, "interface": "SAS"},
   {"slot": 8, "interface": "SAS"}, {"slot": 9, "interface": "SAS", "bad_spots": [256, 32]},
   {"slot": 10, "interface": "SAS"}, {"slot": 11, "interface": "SAS"}],
  "logical_drives": [
   {"number": 0, "raid": 5, "members": [8, 9, 10]},
   {"number": 1, "raid": 1, "members": [4, 5]}],
  "hot_spares": [3],
  "restore_candidates": [{"number": 0, "raid": 0, "members": [11]}]}]})";

constexpr int kBusyAttempts = 350;  // the control library's retries of a busy driver
constexpr const char* kPulledSlot = "4";

struct Word {
    const char* program;
    const char* word;
    std::vector<std::string> args;
    std::string input;                        // typed on standard input
    std::vector<std::vector<std::string>> setup;  // `tavsim inject` before the run
    bool terminal;                            // runs on a pseudo-terminal
};

void PrintTo(const Word& w, std::ostream* os) { *os << w.program << " " << w.word; }

// {program, word, args, input, setup, terminal}
std::vector<Word> Words() {
    const std::string out = "{root}/var/log";             // a directory of the server
    const std::string save = "{root}/var/log/sector.bin";  // a file there
    return {
        {"tavcli", "AdpAllInfo", {"-AdpAllInfo", "-a0"}, "", {}, true},
        {"tavcli", "AdpCount", {"-AdpCount"}, "", {}, true},
        {"tavcli", "AdpAutoRbld", {"-AdpAutoRbld", "-Dsbl", "-Lall", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "AdpPRSetDelay", {"-AdpPRSetDelay", "-Low", "-a0"}, "y\n", {}, true},
        {"tavcli", "CfgLDAdd", {"-CfgLDAdd", "-R1[0:0,1:1]", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "CfgSpanAdd", {"-CfgSpanAdd", "-R10", "-Array0[0:0,1:1]", "-Array1[0:2,1:7]", "-a0", "-nochk"},
         "", {}, true},
        {"tavcli", "CfgLDDel", {"-CfgLDDel", "-L1", "-a0"}, "y\n", {}, true},
        {"tavcli", "LDInfo", {"-LDInfo", "-Lall", "-a0"}, "", {}, true},
        {"tavcli", "LDSetProp", {"-LDSetProp", "-WT", "-L1", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "LDGetProp", {"-LDGetProp", "-Cache", "-Lall", "-a0"}, "", {}, true},
        {"tavcli", "LDCC", {"-LDCC", "-Start", "-L1", "-a0"}, "", {}, true},
        {"tavcli", "LDPDInfo", {"-LDPDInfo", "-a0"}, "", {}, true},
        {"tavcli", "LDGetNum", {"-LDGetNum", "-a0"}, "", {}, true},
        {"tavcli", "PDInfo", {"-PDInfo", "-PhysDrv[0:4,0:6]", "-a0"}, "", {}, true},
        {"tavcli", "PDOnline", {"-PDOnline", "-PhysDrv[0:6]", "-a0", "-nochk"}, "", {{"fail-drive", "0", "6"}}, true},
        {"tavcli", "PDOffline", {"-PDOffline", "-PhysDrv[0:5]", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "PDHSP", {"-PDHSP", "-Set", "-PhysDrv[0:2]", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "PDRbld", {"-PDRbld", "-ShowProg", "-PhysDrv[0:4]", "-a0"}, "", {}, true},
        {"tavcli", "PDGetNum", {"-PDGetNum", "-a0"}, "", {}, true},
        {"tavcli", "PDList", {"-PDList", "-a0"}, "", {}, true},
        {"tavcli", "v", {"-v"}, "", {}, true},
        {"tavcli", "h", {"-h"}, "", {}, true},
        {"tavcli", "Help", {"-Help"}, "", {}, true},
        {"tavcli", "?", {"?"}, "", {}, true},
        {"tavcli", "PDRbldPrrty", {"-PDRbldPrrty", "-Idle", "-High", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "LDParity", {"-LDParity", "-Start", "-L0", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "LDRstrDrvList", {"-LDRstrDrvList", "-a0"}, "", {}, true},
        {"tavcli", "LDRstr", {"-LDRstr", "-Rstr", "-SL0", "-a0"}, "y\n", {}, true},
        {"tavcli", "LDRstrDrvInfo", {"-LDRstrDrvInfo", "-L0", "-a0"}, "", {}, true},
        {"tavcli", "LDBadSpot", {"-LDBadSpot", "-Lall", "-a0"}, "", {}, true},
        {"tavcli", "GLPrevLimitInfo", {"-GLPrevLimitInfo", "-a0"}, "", {}, true},
        {"tavcli", "GLPrevLimitSet", {"-GLPrevLimitSet", "-PL5", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "PDLocate", {"-PDLocate", "-Active", "-PhysDrv[0:4]", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "CCSchSet", {"-CCSchSet", "-T07", "-ESU", "-L0", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "CCSchInfo", {"-CCSchInfo", "-Lall", "-a0"}, "", {}, true},
        {"tavcli", "CCSchDel", {"-CCSchDel", "-Lall", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "Pfm", {"-Pfm", "-manual", "-a0", "-Lall"}, "", {}, true},
        {"tavlog", "RaidLog", {"TAV_0_RaidLog", out}, "", {}, false},
        {"tavlog", "NvramLog", {"TAV_0_NvramLog", out}, "", {}, false},
        {"tavlog", "FWTrcLog", {"TAV_0_FWTrcLog", out}, "", {}, false},
        {"tavlog", "FWDump", {"TAV_0_FWDump", out}, "", {{"dump", "0"}}, false},
        {"tavlog", "FWDumpDirect", {"TAV_0_FWDumpDirect", out}, "", {{"dump", "0"}}, false},
        {"tavlog", "HDDInquiry", {"TAV_0_HDDInquiry_4", out}, "", {}, false},
        {"tavlog", "HDDLogSense", {"TAV_0_HDDLogSense_4", out}, "", {}, false},
        {"tavlog", "HDDLog_DSLog", {"TAV_0_HDDLog_DSLog_4", out, "-Force"}, "", {}, false},
        {"tavlog", "HDDLog_DILog", {"TAV_0_HDDLog_DILog_4", out, "-Force"}, "", {}, false},
        {"tavlog", "HDDLog_CLog", {"TAV_0_HDDLog_CLog_4", out, "-Force"}, "", {}, false},
        {"tavlog", "HDDLog_CII", {"TAV_0_HDDLog_CII_4", out, "-Force"}, "", {}, false},
        {"tavlog", "DrvLog", {"TAV_DrvLog", out}, "", {}, false},
        {"tavlog", "UtlLog", {"TAV_UtlLog", out}, "", {}, false},
        {"tavpth", "L", {"L"}, "", {}, false},
        {"tavpth", "D", {"D", "0", "4", "0", save}, "", {}, false},
        {"tavpth", "r", {"r", "0", "1", "0"}, "", {}, false},
        {"tavpth", "r64", {"r64", "0", "1", "0"}, "", {}, false},
        {"tavpth", "PDOneSectorRead", {"PDOneSectorRead", "0", "4", "100"}, "", {}, false},
        {"tavpth", "PDOneSectorWrite", {"PDOneSectorWrite", "0", "7", "100"}, "", {}, false},
        {"tavpth", "PDPrintModePage", {"PDPrintModePage", "0", "4", "8", "0", "32"}, "", {}, false},
        {"tavpth", "PDHDDCapaChange", {"PDHDDCapaChange", "0", "7", "20000"}, "", {}, false},
        {"tavpth", "LDOneSectorRead", {"LDOneSectorRead", "0", "1", "100"}, "", {}, false},
        {"tavpth", "LDOneSectorWrite", {"LDOneSectorWrite", "0", "1", "100"}, "", {}, false},
        {"tavstat", "json", {"--json"}, "", {}, false},
        {"tavstat", "prometheus", {"--prometheus"}, "", {}, false},
        {"tavstat", "check", {"--check"}, "", {}, false},
    };
}

struct Fault {
    const char* name;
    std::vector<std::string> inject;
};

std::vector<Fault> Faults() {
    return {{"busy", {"busy", std::to_string(kBusyAttempts)}},
            {"check-condition", {"check-condition", "4", "0x44", "0"}},
            {"adapter-error", {"adapter-error", "0x040047"}},
            {"ioctl-error", {"ioctl-error", "EIO"}},
            {"drive-removed", {"remove-drive-on-command", kPulledSlot}}};
}

int MatrixDepth() {
    const char* n = std::getenv("FAULT_MATRIX_N");
    int depth = n == nullptr ? 2 : std::atoi(n);
    return depth > 0 ? depth : 2;
}

// The state of the server without what counts commands or remembers them;
// the events as a set, since a pulled drive and a change may log in either order.
void StripCounters(json& j) {
    if (j.is_object()) {
        for (const char* key : {"commands", "commands_received", "recent_commands", "faults"}) j.erase(key);
        for (auto& [key, value] : j.items()) StripCounters(value);
        if (j.contains("events") && j["events"].is_array()) {
            for (json& e : j["events"]) e.erase("sequence");
            std::sort(j["events"].begin(), j["events"].end());
        }
    } else if (j.is_array()) {
        for (json& value : j) StripCounters(value);
    }
}

json State(const SimServer& sim) {
    json j = json::parse(sim.show());
    StripCounters(j);
    return j;
}

uint64_t Commands(const SimServer& sim) { return json::parse(sim.show())["adapters"][0]["commands"].get<uint64_t>(); }

struct Outcome {
    int status = -1;
    std::string output;  // standard output and error (one stream on a terminal)
    bool terminalKept = true;
};

// "{root}" in the arguments names the server's directory; in the output the
// directory is named "{root}" again, so that runs on two servers compare.
Outcome RunWord(const SimServer& sim, const Word& w) {
    Outcome o;
    std::vector<std::string> argv{w.program};
    for (const std::string& a : w.args) argv.push_back(tavtest::fillTemplate(a, {{"root", sim.root()}}));
    if (!w.terminal) {
        RunResult r = sim.run(argv, w.input);
        o.status = r.status;
        o.output = r.out + r.err;
    } else {
        tavtest::PtySession pty(sim, argv);
        if (!w.input.empty()) pty.type(w.input);
        o.status = pty.waitExit(120000);
        o.output = pty.output();
        o.terminalKept = tavtest::sameTerminalModes(pty.initialSettings(), pty.settings());
    }
    for (size_t at = o.output.find(sim.root()); at != std::string::npos; at = o.output.find(sim.root(), at))
        o.output.replace(at, sim.root().size(), "{root}");
    return o;
}

// While it lives (and is asked for), programs started from here sleep a
// hundredth of the time they ask for (libfaketime).
class FastSleeps {
public:
    explicit FastSleeps(bool on) {
        if (!on) return;
        for (const std::string& entry : svctest::fakeTime("+0 x100")) {
            size_t eq = entry.find('=');
            std::string name = entry.substr(0, eq);
            const char* old = std::getenv(name.c_str());
            saved_.push_back({name, old == nullptr ? "" : old, old != nullptr});
            setenv(name.c_str(), entry.c_str() + eq + 1, 1);
        }
    }
    ~FastSleeps() {
        for (const Saved& s : saved_)
            if (s.was)
                setenv(s.name.c_str(), s.value.c_str(), 1);
            else
                unsetenv(s.name.c_str());
    }
    FastSleeps(const FastSleeps&) = delete;
    FastSleeps& operator=(const FastSleeps&) = delete;

private:
    struct Saved {
        std::string name, value;
        bool was;
    };
    std::vector<Saved> saved_;
};

std::unique_ptr<SimServer> Prepared(const Word& w) {
    auto sim = std::make_unique<SimServer>(kServer);
    if (!sim->ok()) return nullptr;
    for (const auto& s : w.setup)
        if (sim->inject(s).status != 0) return nullptr;
    return sim;
}

void Pull(const SimServer& sim) { sim.inject({"remove-drive", "0", kPulledSlot}); }

// Lines of a run's output that report a failure.
const std::regex kFailureLine("TAV[0-9]+-E|Fatal error|error|Error|ERROR|fail|cannot|can not|not be executed|abnormal end|"
                              "ascertain|competition|UNKNOWN|CRITICAL");

// The message a run ended with: its first line reporting a failure, else its
// last line (terminal controls dropped).
std::string Message(const std::string& text) {
    std::string clean = std::regex_replace(text, std::regex("\x1b\\[[0-9;?]*[A-Za-z]|\r"), "");
    std::string last, failure;
    size_t start = 0;
    while (start < clean.size()) {
        size_t end = clean.find('\n', start);
        if (end == std::string::npos) end = clean.size();
        std::string line = clean.substr(start, end - start);
        if (line.find_first_not_of(" \t") != std::string::npos) {
            last = line;
            if (failure.empty() && std::regex_search(line, kFailureLine)) failure = line;
        }
        start = end + 1;
    }
    std::string line = failure.empty() ? last : failure;
    if (line.size() > 90) line = line.substr(0, 87) + "...";
    return line;
}

bool ReportsFailure(const std::string& text) {
    std::string clean = std::regex_replace(text, std::regex("\x1b\\[[0-9;?]*[A-Za-z]|\r"), "");
    return std::regex_search(clean, kFailureLine);
}

bool SanitizerReport(const std::string& text) {
    return text.find("AddressSanitizer") != std::string::npos || text.find("LeakSanitizer") != std::string::npos ||
           text.find("UndefinedBehaviorSanitizer") != std::string::npos ||
           text.find("runtime error:") != std::string::npos;
}

// What one word's clean run did, and the states a faulted run may leave.
struct Reference {
    Outcome clean;
    uint64_t commands = 0;  // adapter commands the clean run sent
    json before, after;     // without fault
    json pulledBefore, pulledAfter;  // with the drive pulled
};

struct Row {
    std::string fault;
    int k;
    Outcome o;
    bool reached;
    std::string state;  // "unchanged", "as clean", "DIFFERS"
    std::string verdict;
};

class FaultMatrix : public ::testing::TestWithParam<Word> {
protected:
    bool MakeReference(const Word& w, Reference* ref) {
        auto sim = Prepared(w);
        if (!sim) return false;
        ref->before = State(*sim);
        uint64_t start = Commands(*sim);
        ref->clean = RunWord(*sim, w);
        ref->commands = Commands(*sim) - start;
        ref->after = State(*sim);
        Pull(*sim);
        ref->pulledAfter = State(*sim);
        auto pulled = Prepared(w);
        if (!pulled) return false;
        Pull(*pulled);
        ref->pulledBefore = State(*pulled);
        return true;
    }

    Row RunFaulted(const Word& w, const Reference& ref, const Fault& f, int k) {
        Row row{f.name, k, {}, false, "", ""};
        auto sim = Prepared(w);
        if (!sim) return row.verdict = "FAIL: no server", row;
        if (k > 1) sim->inject({"pass", std::to_string(k - 1)});
        sim->inject(f.inject);
        uint64_t start = Commands(*sim);
        {
            // The retries of a busy driver pause between attempts: a fast clock
            // for the sleeps keeps the run short.
            FastSleeps fast(row.fault == "busy");
            row.o = RunWord(*sim, w);
        }
        row.reached = Commands(*sim) - start >= static_cast<uint64_t>(k);
        bool pulled = row.fault == "drive-removed" && row.reached;
        json state = State(*sim);
        if (state == (pulled ? ref.pulledBefore : ref.before))
            row.state = "unchanged";
        else if (state == (pulled ? ref.pulledAfter : ref.after))
            row.state = "as clean";
        else
            row.state = "DIFFERS";
        row.verdict = Judge(w, ref, row);
        return row;
    }

    static std::string Judge(const Word& w, const Reference& ref, const Row& row) {
        const Outcome& o = row.o;
        if (o.status < 0) return "FAIL: did not end";
        if (o.status >= 128) return "FAIL: signal " + std::to_string(o.status - 128);
        if (SanitizerReport(o.output)) return "FAIL: sanitizer report";
        if (!o.terminalKept) return "FAIL: terminal left changed";
        if (row.state == "DIFFERS") return "FAIL: state half changed";
        if (!row.reached) return o.status == ref.clean.status ? "pass (not reached)" : "FAIL: status changed unreached";
        if (o.status != 0) {
            if (Message(o.output).empty()) return "FAIL: no message";
            return ref.clean.status == 0 ? "pass (failed)" : "pass (failed, as clean)";
        }
        if (ref.clean.status != 0) return "FAIL: success where clean run failed";
        bool changes = ref.before != ref.after;
        if (o.output == ref.clean.output) {
            if (changes && row.state == "unchanged") return "FAIL: reports a change not made";
            return row.state == "as clean" && changes ? "pass (completed)" : "pass (absorbed)";
        }
        // The command-line tool and the log collector end with status 0 after
        // a failure they reported.
        bool statusZeroByDesign = std::string(w.program) == "tavcli" || std::string(w.program) == "tavlog";
        if (ReportsFailure(o.output) && !ReportsFailure(ref.clean.output))
            return statusZeroByDesign ? "pass (failed, status 0 by design)" : "FAIL: success status on failure";
        if (row.fault == "drive-removed") return "pass (completed, drive gone)";
        return "FAIL: success with other output";
    }
};

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '|' ? '/' : c;
    return out;
}

TEST_P(FaultMatrix, EveryFaultOnTheFirstAndLastCommands) {
    const Word& w = GetParam();
    Reference ref;
    ASSERT_TRUE(MakeReference(w, &ref)) << "server could not be prepared";
    EXPECT_LT(ref.clean.status, 128) << ref.clean.output;
    EXPECT_FALSE(SanitizerReport(ref.clean.output)) << ref.clean.output;
    std::string words;
    for (const auto& a : w.args) words += (words.empty() ? "" : " ") + a;
    std::string table;
    // The first N commands (where every program opens the library and finds
    // the adapter) and the last N (where it does its work).
    int total = static_cast<int>(ref.commands);
    std::vector<int> positions;
    for (int k = 1; k <= std::min(MatrixDepth(), total); ++k) positions.push_back(k);
    for (int k = std::max(total - MatrixDepth() + 1, MatrixDepth() + 1); k <= total; ++k) positions.push_back(k);
    if (positions.empty()) {
        table += "| " + std::string(w.program) + " | " + Escape(words) + " | - | - | " +
                 std::to_string(ref.clean.status) + " | " + Escape(Message(ref.clean.output)) +
                 " | - | - | pass (sends no adapter command) |\n";
    }
    for (const Fault& f : Faults())
        for (int k : positions) {
            Row row = RunFaulted(w, ref, f, k);
            EXPECT_EQ(row.verdict.rfind("pass", 0), 0u)
                << w.program << " " << words << ", " << f.name << " on command " << k << ": " << row.verdict
                << " (status " << row.o.status << ", clean " << ref.clean.status << ")\n"
                << row.o.output;
            table += "| " + std::string(w.program) + " | " + Escape(words) + " | " + f.name + " | " +
                     std::to_string(k) + " | " + std::to_string(row.o.status) + " | " +
                     Escape(Message(row.o.output)) + " | " + row.state + " | " +
                     (w.terminal ? (row.o.terminalKept ? "kept" : "CHANGED") : "-") + " | " + row.verdict + " |\n";
        }
    const char* dir = std::getenv("FAULT_MATRIX_DIR");
    if (dir != nullptr) {
        std::string name = std::string(w.program) + "-" + (std::string(w.word) == "?" ? "question" : w.word);
        tavtest::writeFile(std::string(dir) + "/" + name + ".md",
                           "<!-- clean: status " + std::to_string(ref.clean.status) + ", " +
                               std::to_string(ref.commands) + " commands -->\n" + table);
    }
}

std::string WordName(const ::testing::TestParamInfo<Word>& info) {
    std::string name = std::string(info.param.program) + "_" + info.param.word;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    if (name.back() == '_') name += "question";
    return name;
}

INSTANTIATE_TEST_SUITE_P(Words, FaultMatrix, ::testing::ValuesIn(Words()), WordName);

}  // namespace
