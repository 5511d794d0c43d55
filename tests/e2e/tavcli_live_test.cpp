// The live progress displays on a pseudo-terminal, read back through a
// terminal emulator: a check followed to its end, displays left with a key
// (the operations go on), a display of more than 16 rows, the terminal as
// it was after a key, the end, or a signal, and standard input that is not
// a terminal.
#include <gtest/gtest.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tavcli_bgop_fixture.h"
#include "tavtest.h"
#include "tavtest_pty.h"
#include "tavtest_screen.h"

namespace {

using bgoptest::LdRow;
using bgoptest::PdRow;
using tavtest::PtySession;
using tavtest::SimServer;

constexpr int kTimeoutMs = 120000;
const char kQuitLine[] = "   Press any key to quit...";

nlohmann::json LogicalDrive(const SimServer& sim, int adapter, int ld) {
    return nlohmann::json::parse(sim.show())["adapters"][adapter]["logical_drives"][ld];
}

void ExpectTerminalAsFound(const PtySession& session) {
    struct termios now = session.settings();
    EXPECT_TRUE(tavtest::sameTerminalModes(now, session.initialSettings()))
        << std::hex << "lflag " << now.c_lflag << " was " << session.initialSettings().c_lflag;
}

std::vector<std::string> Display(const char* heading, const char* columns, std::vector<std::string> rows) {
    std::vector<std::string> screen{heading, "", columns};
    screen.insert(screen.end(), rows.begin(), rows.end());
    screen.push_back(kQuitLine);
    return screen;
}

// Both checks are held at 50 % until the display shows them, then let go
// to end: each row ends with the finished bar.
TEST(LiveDisplay, FollowsTwoChecksToTheirEnd) {
    SimServer sim(bgoptest::kSmallServer);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    ASSERT_EQ(sim.run({"tavcli", "-LDCC", "-Start", "-Lall", "-a0"}).status, 0);
    for (const char* ld : {"0", "1"}) ASSERT_EQ(sim.inject({"operation-progress", "0", ld, "50", "hold"}).status, 0);
    PtySession session(sim, {"tavcli", "-LDCC", "-ProgDsply", "-Lall", "-a0"});
    ASSERT_TRUE(session.waitForScreen(LdRow(0, 1, 50), kTimeoutMs)) << session.output();
    for (const char* ld : {"0", "1"}) ASSERT_EQ(sim.inject({"operation-progress", "0", ld, "98"}).status, 0);
    ASSERT_EQ(session.waitExit(kTimeoutMs), 0) << session.output();
    // the first row to end prints the continue line below the display
    std::vector<std::string> expected =
        Display(bgoptest::kCheckHeading, bgoptest::kLdColumns, {LdRow(0, 0, 100), LdRow(0, 1, 100)});
    expected.push_back("   Press a key to continue...");
    EXPECT_EQ(session.screen().used(), expected) << session.output();
    EXPECT_EQ(LogicalDrive(sim, 0, 0)["operation"], "none");
    EXPECT_EQ(LogicalDrive(sim, 0, 1)["operation"], "none");
    ExpectTerminalAsFound(session);
}

TEST(LiveDisplay, KeyLeavesTheChecksRunningAndAgainContinues) {
    SimServer sim(bgoptest::kServerConfig);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    std::vector<std::string> expected =
        Display(bgoptest::kCheckHeading, bgoptest::kLdColumns, {LdRow(0, 2, 10), LdRow(0, 3, 57)});
    for (int run = 0; run < 2; ++run) {
        PtySession session(sim, {"tavcli", "-LDCC", "-ProgDsply", "-L2,3", "-a0"});
        ASSERT_TRUE(session.waitForScreen(LdRow(0, 3, 57), kTimeoutMs)) << session.output();
        session.type("q");
        ASSERT_EQ(session.waitExit(kTimeoutMs), 0);
        EXPECT_EQ(session.screen().used(), expected) << session.output();
        ExpectTerminalAsFound(session);
        EXPECT_EQ(LogicalDrive(sim, 0, 2)["maintenance_state"], 1);
        EXPECT_EQ(LogicalDrive(sim, 0, 3)["maintenance_state"], 1);
    }
}

// A check held at 40 %: the display shows it and is left with a key; the
// check goes on, and a new display follows it from where it then stands.
TEST(LiveDisplay, HeldCheckIsFollowedFromWhereItStands) {
    SimServer sim(bgoptest::kSmallServer);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    ASSERT_EQ(sim.run({"tavcli", "-LDCC", "-Start", "-L0", "-a0"}).status, 0);
    ASSERT_EQ(sim.inject({"operation-progress", "0", "0", "40", "hold"}).status, 0);
    {
        PtySession session(sim, {"tavcli", "-LDCC", "-ProgDsply", "-L0", "-a0"});
        ASSERT_TRUE(session.waitForScreen(LdRow(0, 0, 40), kTimeoutMs)) << session.output();
        session.type("\n");
        ASSERT_EQ(session.waitExit(kTimeoutMs), 0);
        EXPECT_EQ(session.screen().used(), Display(bgoptest::kCheckHeading, bgoptest::kLdColumns, {LdRow(0, 0, 40)}));
        ExpectTerminalAsFound(session);
    }
    EXPECT_EQ(LogicalDrive(sim, 0, 0)["operation"], "consistency-check");
    ASSERT_EQ(sim.inject({"operation-progress", "0", "0", "96"}).status, 0);
    PtySession session(sim, {"tavcli", "-LDCC", "-ProgDsply", "-L0", "-a0"});
    ASSERT_EQ(session.waitExit(kTimeoutMs), 0) << session.output();
    EXPECT_EQ(session.screen().used(), Display(bgoptest::kCheckHeading, bgoptest::kLdColumns, {LdRow(0, 0, 100)}));
    EXPECT_EQ(LogicalDrive(sim, 0, 0)["operation"], "none");
}

TEST(LiveDisplay, RebuildRowsAndTheirReasons) {
    SimServer sim(bgoptest::kServerConfig);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    PtySession session(sim, {"tavcli", "-PDRbld", "-ProgDsply", "-PhysDrv[0:7,0:4,0:5]", "-a1"});
    ASSERT_TRUE(session.waitForScreen(PdRow(1, 5, " C", 64), kTimeoutMs)) << session.output();
    session.type(" ");
    ASSERT_EQ(session.waitExit(kTimeoutMs), 0);
    std::vector<std::string> expected{"Adapter 1-PD 7 is not in rebuild, copy back and copy process."};
    for (const std::string& line :
         Display(bgoptest::kRebuildHeading, bgoptest::kPdColumns, {PdRow(1, 4, " C", 64), PdRow(1, 5, " C", 64)}))
        expected.push_back(line);
    EXPECT_EQ(session.screen().used(), expected) << session.output();
    ExpectTerminalAsFound(session);
}

// Four adapters with eight checking LDs each: 32 rows, twice the 16 of a
// fixed table.
TEST(LiveDisplay, ThirtyTwoRows) {
    std::string config = R"({"adapters": [)";
    for (int a = 0; a < 4; ++a) {
        config +=
            std::string(a ? "," : "") + R"({"host": )" + std::to_string(a + 2) + R"(, "model": "ZN5121", "drives": [)";
        for (int d = 0; d < 8; ++d)
            config += std::string(d ? "," : "") + R"({"slot": )" + std::to_string(d) + R"(, "interface": "SAS"})";
        config += R"(], "logical_drives": [)";
        for (int ld = 0; ld < 8; ++ld)
            config += std::string(ld ? "," : "") + R"({"number": )" + std::to_string(ld) +
                      R"(, "raid": 0, "members": [)" + std::to_string(ld) + R"(], "maintenance_state": 1})";
        config += "]}";
    }
    config += "]}";
    SimServer sim(config);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    PtySession session(sim, {"tavcli", "-LDCC", "-ProgDsply", "-Lall", "-aALL"});
    ASSERT_TRUE(session.waitForScreen(kQuitLine, kTimeoutMs)) << session.output();
    session.type("x");
    ASSERT_EQ(session.waitExit(kTimeoutMs), 0);
    std::vector<std::string> rows;
    for (int a = 0; a < 4; ++a)
        for (int ld = 0; ld < 8; ++ld) rows.push_back(LdRow(a, ld, 0));
    EXPECT_EQ(session.screen().used(), Display(bgoptest::kCheckHeading, bgoptest::kLdColumns, rows));
}

// A signal ends the process while a display runs; the terminal is as it was.
TEST(LiveDisplay, SignalsRestoreTheTerminal) {
    SimServer sim(bgoptest::kServerConfig);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        PtySession session(sim, {"tavcli", "-LDCC", "-ProgDsply", "-L2", "-a0"});
        ASSERT_TRUE(session.waitForScreen(kQuitLine, kTimeoutMs)) << session.output();
        session.sendSignal(sig);
        EXPECT_EQ(session.waitExit(kTimeoutMs), 128 + sig) << sig;
        ExpectTerminalAsFound(session);
        EXPECT_EQ(LogicalDrive(sim, 0, 2)["maintenance_state"], 1);
    }
}

// Standard input at its end is no key: the display draws the operation
// (held at 100 %) to its end instead of stopping at the first look.
TEST(LiveDisplay, InputThatIsNoTerminalRunsToTheEnd) {
    SimServer sim(bgoptest::kSmallServer);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    ASSERT_EQ(sim.run({"tavcli", "-LDParity", "-Start", "-L1", "-a0"}).status, 0);
    ASSERT_EQ(sim.inject({"operation-progress", "0", "1", "100", "hold"}).status, 0);
    tavtest::RunResult r = sim.run({"tavcli", "-LDParity", "-ProgDsply", "-L1", "-a0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(tavtest::renderScreen(r.out, true).used(),
              Display(bgoptest::kParityHeading, bgoptest::kLdColumns, {LdRow(0, 1, 100)}));
    EXPECT_EQ(LogicalDrive(sim, 0, 1)["operation"], "parity-creation");
}

}  // namespace

namespace {

// A byte waiting on a piped standard input is a key press: the display
// (whose check, held at 100 %, would otherwise be drawn to its end) stops at
// its first look, and the check goes on.
TEST(LiveDisplay, ByteOnAPipeIsAKey) {
    SimServer sim(bgoptest::kSmallServer);
    ASSERT_TRUE(sim.ok()) << sim.initOutput();
    ASSERT_EQ(sim.run({"tavcli", "-LDCC", "-Start", "-L0", "-a0"}).status, 0);
    ASSERT_EQ(sim.inject({"operation-progress", "0", "0", "100", "hold"}).status, 0);
    tavtest::RunResult r = sim.run({"tavcli", "-LDCC", "-ProgDsply", "-L0", "-a0"}, "q");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(tavtest::renderScreen(r.out, true).used(),
              Display(bgoptest::kCheckHeading, bgoptest::kLdColumns, {LdRow(0, 0, 0)}))
        << r.out;
    EXPECT_EQ(LogicalDrive(sim, 0, 0)["operation"], "consistency-check");
}

}  // namespace
