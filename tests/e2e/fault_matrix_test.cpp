// Every command word of every program against a simulated server whose k-th
// command meets a fault: busy to the end of the retries, a check condition,
// an adapter error, an ioctl error, or a drive pulled as the command arrives;
// k runs over the first N commands (where a program opens the library and
// finds its adapter) and the last N (where it does its work). Each run must
// end without a signal or a sanitizer report, fail with a message (or, when
// the fault did not stop it, do what a clean run does), leave the server's
// state as before or as a clean run leaves it, and give the terminal back as
// it found it. The service's start-up meets the same faults on its first N
// commands.
//
// FAULT_MATRIX_N (default 2) sets N; with FAULT_MATRIX_DIR set, each word
// writes its rows of the table as markdown into DIR/<program>-<word>.md
// (scripts/fault-matrix.sh joins them).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
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
   {"slot": 4, "interface": "SAS", "vendor": "FUJITSU", "product": "MBA3073RC", "revision": "0104"}, {"slot": 5, "interface": "SAS"},
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
        {"tavcli", "AdpAutoRbld", {"-AdpAutoRbld", "-Dsbl", "-L1", "-a0", "-nochk"}, "", {}, true},
        {"tavcli", "AdpPRSetDelay", {"-AdpPRSetDelay", "-Low", "-a0", "-nochk"}, "", {}, true},
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
        {"tavlog", "FWDump", {"TAV_0_FWDump", out}, "", {}, false},
        {"tavlog", "FWDumpDirect", {"TAV_0_FWDumpDirect", out}, "", {{"dump", "0", "1000", "1"}}, false},
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

// The state of the server without what counts or logs commands: the command
// counters, the recent commands, the faults still queued, the adapter's
// event log and its counters (a settings page rewritten with the values it
// had logs an event; a pulled drive and a change log in either order) and its
// clock (the service sets it from the wall clock).
void StripCounters(json& j) {
    if (j.is_object()) {
        for (const char* key : {"commands", "commands_received", "recent_commands", "faults", "events", "event_log", "clock"}) j.erase(key);
        for (auto& [key, value] : j.items()) StripCounters(value);
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

// Changes the working directory while it lives.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& dir) : saved_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (saved_ < 0 || chdir(dir.c_str()) != 0) ADD_FAILURE() << "cannot enter " << dir;
    }
    ~WorkingDirectory() {
        if (saved_ < 0) return;
        if (fchdir(saved_) != 0) ADD_FAILURE() << "cannot return to the working directory";
        close(saved_);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    int saved_;
};

// "{root}" in the arguments names the server's directory; in the output the
// directory is named "{root}" again, so that runs on two servers compare.
Outcome RunWord(const SimServer& sim, const Word& w) {
    Outcome o;
    // Files a program writes into its working directory stay with the server.
    WorkingDirectory here(sim.root());
    std::vector<std::string> argv{w.program};
    for (const std::string& a : w.args) argv.push_back(tavtest::fillTemplate(a, {{"root", sim.root()}}));
    if (!w.terminal) {
        RunResult r = sim.run(argv, w.input);
        o.status = r.status;
        o.output = r.out + r.err;
    } else {
        tavtest::PtySession pty(sim, argv);
        if (!w.input.empty() && pty.waitForScreen("(Y/N)?", 60000)) pty.type(w.input);
        o.status = pty.waitExit(120000);
        o.output = pty.output();
        o.terminalKept = tavtest::sameTerminalModes(pty.initialSettings(), pty.settings());
    }
    for (size_t at = o.output.find(sim.root()); at != std::string::npos; at = o.output.find(sim.root(), at))
        o.output.replace(at, sim.root().size(), "{root}");
    // Times of day, and the typed answer (echoed or not, as it meets the
    // terminal before or after the program turns echo on), say nothing.
    o.output = std::regex_replace(o.output, std::regex("[0-9]{2}(:[0-9]{2})+"), "<time>");
    if (!w.input.empty())
        o.output = std::regex_replace(o.output, std::regex("(^|\n)" + w.input.substr(0, w.input.size() - 1) + "\r\n"), "$1");
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
// "fail" but not tavstat's JSON field "predictive_failure", which is a value, not a report.
const std::regex kFailureLine("TAV[0-9]+-E|Fatal error|error was|[Ee]rror:|ERROR|fail(?!ure\":)|cannot|can not|"
                              "not be executed|abnormal end|ascertain|competition|UNKNOWN|CRITICAL|WARNING");

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

std::vector<std::string> FailureLines(const std::string& text) {
    std::string plain = std::regex_replace(text, std::regex("\x1b\\[[0-9;?]*[A-Za-z]|\r"), "");
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < plain.size()) {
        size_t end = plain.find('\n', start);
        if (end == std::string::npos) end = plain.size();
        std::string line = plain.substr(start, end - start);
        if (std::regex_search(line, kFailureLine)) lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Whether the output reports a failure that the clean run's output does not.
bool ReportsNewFailure(const std::string& text, const std::string& clean) {
    std::vector<std::string> known = FailureLines(clean);
    for (const std::string& line : FailureLines(text))
        if (std::find(known.begin(), known.end(), line) == known.end()) return true;
    return false;
}

// Run statuses are 128 + the signal for a program a signal ended; the
// programs' own statuses stay below 129 or are 255.
bool KilledBySignal(int status) { return status > 128 && status <= 128 + 64; }

bool SanitizerReport(const std::string& text) {
    return text.find("AddressSanitizer") != std::string::npos || text.find("LeakSanitizer") != std::string::npos ||
           text.find("UndefinedBehaviorSanitizer") != std::string::npos ||
           text.find("runtime error:") != std::string::npos;
}

// What one word's clean run did, and the states a faulted run may leave.
// A configuration change is staged in the adapter, then committed; when the
// commit fails the staged change stays (the adapter has no way to withdraw
// it) and a later commit carries it out. Known, and told apart from other
// differences.
bool OnlyStagedChangeLeft(json state, const json& before) {
    for (json& adapter : state["adapters"]) adapter["pending_changes"] = json::array();
    return state == before;
}

struct Reference {
    Outcome clean;
    uint64_t commands = 0;  // adapter commands the clean run sent
    json before, after;     // without fault
    // With the drive pulled: before the run, after a clean run, and a clean
    // run after the pull (a change may land either side of the pull).
    json pulledBefore, pulledAfter, pulledFirst;
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
        auto sim = Prepared(w), pulled = Prepared(w);
        if (!sim || !pulled) return false;
        ref->before = State(*sim);
        uint64_t start = Commands(*sim);
        ref->clean = RunWord(*sim, w);
        ref->commands = Commands(*sim) - start;
        ref->after = State(*sim);
        Pull(*sim);
        ref->pulledAfter = State(*sim);
        Pull(*pulled);
        ref->pulledBefore = State(*pulled);
        RunWord(*pulled, w);
        ref->pulledFirst = State(*pulled);
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
        else if (state == (pulled ? ref.pulledAfter : ref.after) || (pulled && state == ref.pulledFirst))
            row.state = "as clean";
        else if (OnlyStagedChangeLeft(state, pulled ? ref.pulledBefore : ref.before))
            row.state = "staged change left";
        else
            row.state = "DIFFERS";
        row.verdict = Judge(w, ref, row);
        return row;
    }

    // A run reached by the fault either ends otherwise than the clean run did
    // (and says why), or ends as it (the fault absorbed, or reported by a
    // program whose status does not tell failures).
    static std::string Judge(const Word& w, const Reference& ref, const Row& row) {
        const Outcome& o = row.o;
        if (o.status < 0) return "FAIL: did not end";
        if (KilledBySignal(o.status)) return "FAIL: signal " + std::to_string(o.status - 128);
        if (SanitizerReport(o.output)) return "FAIL: sanitizer report";
        if (!o.terminalKept) return "FAIL: terminal left changed";
        if (row.state == "staged change left") return "KNOWN: staged change left pending";
        if (row.state == "DIFFERS") return "FAIL: state half changed";
        if (!row.reached) return o.status == ref.clean.status ? "pass (not reached)" : "FAIL: status changed unreached";
        int success = std::string(w.program) == "tavlog" ? 1 : 0;  // the collector exits 1 with its log
        if (o.status != ref.clean.status) {
            if (o.status == success) return "FAIL: success where clean run failed";
            return Message(o.output).empty() ? "FAIL: no message" : "pass (failed)";
        }
        bool cleanFailed = ref.clean.status != success;
        bool changes = ref.before != ref.after;
        if (o.output == ref.clean.output) {
            if (changes && row.state == "unchanged") return "FAIL: reports a change not made";
            return row.state == "as clean" && changes ? "pass (completed)" : "pass (absorbed)";
        }
        // The command-line tool ends with status 0 after a failure it reported,
        // and so does the maintenance tool's log listing (L goes on to the next drive).
        bool statusZero = std::string(w.program) == "tavcli" || std::string(w.word) == "L";
        if (ReportsNewFailure(o.output, ref.clean.output)) {
            if (cleanFailed) return "pass (failed, as clean)";
            return statusZero ? "pass (failed, status 0 by design)" : "FAIL: success status on failure";
        }
        if (row.fault == "drive-removed") return "pass (completed, drive gone)";
        // L lists the drives whose silent check passes: one that fails it is left out.
        if (std::string(w.word) == "L") return "pass (drive left out, by design)";
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
    EXPECT_FALSE(KilledBySignal(ref.clean.status)) << ref.clean.output;
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
            EXPECT_TRUE(row.verdict.rfind("pass", 0) == 0 || row.verdict.rfind("KNOWN", 0) == 0)
                << w.program << " " << words << ", " << f.name << " on command " << k << ": " << row.verdict
                << " (status " << row.o.status << ", clean " << ref.clean.status << ")\n"
                << row.o.output << "\n--- clean run ---\n"
                << ref.clean.output;
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

namespace {

// The service's start-up (foreground, sleeps sped up): each fault on each of
// its first N commands either stops the start with a failure status, or the
// service starts; neither crashes nor half changes the server.
struct StartUp {
    int status = -1;      // -1: it started and runs
    std::string messages;  // the system log and the service's trace
    json state;
};

StartUp StartService(const SimServer& sim) {
    StartUp s;
    svctest::Service service(sim, {"-d", "-t", "60"}, svctest::fakeTime("+0 x1000"));
    svctest::waitFor([&] {
        return service.waitExit(0) != -1 || svctest::countOf(svctest::syslogOf(sim), svctest::kStarted) > 0;
    });
    s.status = service.waitExit(0);
    service.stop();
    s.messages = svctest::syslogOf(sim) + tavtest::readFile(sim.path("/opt/morvane/tavutility/tavservice.log"));
    s.state = State(sim);
    return s;
}

// The server's state after `steps` on a fresh server.
json StateAfter(const std::vector<std::function<void(const SimServer&)>>& steps) {
    SimServer sim(kServer);
    if (!sim.ok()) return json();
    for (const auto& step : steps) step(sim);
    return State(sim);
}

TEST(FaultMatrixService, StartUpMeetsEveryFaultOnItsFirstCommands) {
    auto start = [](const SimServer& sim) {
        StartUp s = StartService(sim);
        EXPECT_EQ(s.status, -1) << "the service does not start on a clean server\n" << s.messages;
    };
    // Without and with the drive pulled (before or after the start).
    std::vector<json> untouched[2] = {{StateAfter({})}, {StateAfter({Pull})}};
    std::vector<json> started[2] = {{StateAfter({start})}, {StateAfter({start, Pull}), StateAfter({Pull, start})}};
    auto among = [](const json& state, const std::vector<json>& states) {
        return std::find(states.begin(), states.end(), state) != states.end();
    };
    std::string table;
    for (const Fault& f : Faults())
        for (int k = 1; k <= MatrixDepth(); ++k) {
            SimServer sim(kServer);
            ASSERT_TRUE(sim.ok()) << sim.initOutput();
            if (k > 1) sim.inject({"pass", std::to_string(k - 1)});
            sim.inject(f.inject);
            int pulled = std::string(f.name) == "drive-removed" ? 1 : 0;
            StartUp run = StartService(sim);
            // A running service goes on acting on the adapter (a degraded
            // logical drive included), so only a start that failed is held
            // to the states above.
            std::string state = among(run.state, started[pulled])     ? "as clean"
                                : among(run.state, untouched[pulled]) ? "unchanged"
                                : run.status == -1                    ? "service at work"
                                                                      : "DIFFERS";
            // The trace names a failed start-up step ("failed initContData" ...).
            std::smatch step;
            std::string message = std::regex_search(run.messages, step, std::regex("failed [A-Za-z]+ - error code - 0x[0-9a-f]+"))
                                      ? step.str()
                                      : Message(run.messages);
            std::string verdict = run.status == -1 ? "pass (started)" : "pass (failed)";
            if (KilledBySignal(run.status))
                verdict = "FAIL: signal " + std::to_string(run.status - 128);
            else if (SanitizerReport(run.messages))
                verdict = "FAIL: sanitizer report";
            else if (run.status == 0)
                verdict = "FAIL: stopped with status 0";
            else if (run.status != -1 && FailureLines(run.messages).empty())
                verdict = "FAIL: no message";
            else if (state == "DIFFERS")
                verdict = "FAIL: state half changed";
            EXPECT_EQ(verdict.rfind("pass", 0), 0u) << f.name << " on command " << k << ": " << verdict << "\n"
                                                    << run.messages;
            table += "| tavservice | -d -t 60 (start-up) | " + std::string(f.name) + " | " + std::to_string(k) + " | " +
                     (run.status == -1 ? std::string("running") : std::to_string(run.status)) + " | " +
                     Escape(message) + " | " + state + " | - | " + verdict + " |\n";
        }
    const char* dir = std::getenv("FAULT_MATRIX_DIR");
    if (dir != nullptr) tavtest::writeFile(std::string(dir) + "/tavservice-startup.md", table);
}

}  // namespace
