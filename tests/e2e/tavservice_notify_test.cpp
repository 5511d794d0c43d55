// tavservice event notification through whole service runs: the program's
// arguments and environment for real events, the priority filter, a hanging
// program killed while the service keeps its cycle (and the events that find
// the queue full dropped and counted), a run that ends during a log
// collection, a missing or failing program reported once.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tavservice_fixture.h"

namespace {

using namespace svctest;
using Lines = std::vector<std::string>;

const char kStartedNotice[] = "00016|info|tavutil: tavservice was started. EventID: 00016.";
// The failed RAID 5 member and the rebuild onto the hot spare, as the program gets them.
const Lines kFailureAndRebuild = {
    "04096|warning|tavutil: Controller [0] Physical Drive [1] Failed. Drive status = 0x[20]. EventID: 04096. "
    "Detailedcode: 18fff120.",
    "04240|err|tavutil: Controller [0] Logical Drive [0] status changed to Degraded. (Status = 0x[10]). EventID: "
    "04240. Detailedcode: 24010fff.",
    "04432|info|tavutil: Controller [0] Rebuild started on Logical Drive [0]. EventID: 04432.",
    "04448|info|tavutil: Controller [0] Rebuild completed on Logical Drive [0]. EventID: 04448.",
    "04272|info|tavutil: Controller [0] Logical Drive [0] status changed from Degraded to Optimal. EventID: 04272.",
};
const char kLastEvent[] = "EventID: 04272.";

std::string program(const SimServer& server) { return server.path("/notify"); }

void installProgram(const SimServer& server, const std::string& body) {
    tavtest::writeFile(program(server), "#!/bin/sh\n" + body);
    chmod(program(server).c_str(), 0755);
}

// A program that notes its arguments and environment, one line each per run.
void installRecorder(const SimServer& server) {
    installProgram(server,
                   "printf '%s|%s|%s|%s\\n' \"$#\" \"$1\" \"$2\" \"$3\" >> \"$TAV_ROOT/args\"\n"
                   "printf '%s|%s|%s\\n' \"$TAV_EVENT_ID\" \"$TAV_EVENT_PRIORITY\" \"$TAV_EVENT_MESSAGE\" >> "
                   "\"$TAV_ROOT/env\"\n");
}

void configure(const SimServer& server, const std::string& notifyConf) {
    writeConf(server, "tavlog.conf", "DumpDir : " + server.path("/dumps") + "\nPtime : 0\n");
    writeConf(server, "eventid.conf", "0 : 9999\n");
    writeConf(server, "notify.conf", notifyConf);
}

Lines linesOf(const std::string& text) {
    Lines out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// A process that runs (not gone, not a zombie waiting for its parent).
bool running(int pid) {
    std::string stat = tavtest::readFile("/proc/" + std::to_string(pid) + "/stat");
    size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

}  // namespace

TEST(TavserviceNotify, ArgumentsAndEnvironmentForAFailedDriveAndItsRebuild) {
    SimServer server(kSmallRaid5);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    configure(server, "Program : " + program(server) + "\nMinPriority : info\n");
    installRecorder(server);
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, kStarted));
    ASSERT_EQ(server.inject({"fail-drive", "0", "1"}).status, 0);
    ASSERT_TRUE(logged(server, kLastEvent));

    Lines expected{kStartedNotice};
    expected.insert(expected.end(), kFailureAndRebuild.begin(), kFailureAndRebuild.end());
    ASSERT_TRUE(waitFor([&] { return linesOf(tavtest::readFile(server.path("/env"))).size() >= expected.size(); }));
    EXPECT_EQ(linesOf(tavtest::readFile(server.path("/env"))), expected);
    Lines args;
    for (const auto& line : expected) args.push_back("3|" + line);
    EXPECT_EQ(linesOf(tavtest::readFile(server.path("/args"))), args);
    // Each run's exit status is traced (once the service has reaped the last one).
    EXPECT_TRUE(waitFor([&] { return countOf(serviceTrace(server), "/notify exit status 0") == expected.size(); }, 10))
        << serviceTrace(server);
}

TEST(TavserviceNotify, OnlyEventsAtOrAboveTheConfiguredPriority) {
    const std::pair<const char*, Lines> rows[] = {
        {"err", {kFailureAndRebuild[1]}},
        {"warning", {kFailureAndRebuild[0], kFailureAndRebuild[1]}},
    };
    for (const auto& [priority, expected] : rows) {
        SCOPED_TRACE(priority);
        SimServer server(kSmallRaid5);
        ASSERT_TRUE(server.ok()) << server.initOutput();
        configure(server, "Program : " + program(server) + "\nMinPriority : " + priority + "\n");
        installRecorder(server);
        Service service(server, {"-d", "-t", "1"});
        ASSERT_TRUE(logged(server, kStarted));
        ASSERT_EQ(server.inject({"fail-drive", "0", "1"}).status, 0);
        ASSERT_TRUE(logged(server, kLastEvent));
        waitCycles(server, 2);
        EXPECT_EQ(linesOf(tavtest::readFile(server.path("/env"))), expected);
    }
}

// The first run (for the start message) hangs; the failed drive's five events
// arrive while it runs: one waits in the queue of one, four are dropped. Each
// hanging run is killed, with the child it started, after the time limit,
// while the processing cycles go on.
TEST(TavserviceNotify, HangingProgramIsKilledWhileTheServiceKeepsItsCycle) {
    SimServer server(kSmallRaid5);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    configure(server, "Program : " + program(server) + "\nMinPriority : info\nTimeout : 4\nQueueSize : 1\n");
    installProgram(server, "sleep 600 &\necho $! >> \"$TAV_ROOT/pids\"\necho $$ >> \"$TAV_ROOT/pids\"\nwait\n");
    ASSERT_EQ(server.inject({"fail-drive", "0", "1"}).status, 0);  // read in the first cycle
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, kStarted));
    ASSERT_TRUE(logged(server, kLastEvent));

    const std::string startedSecond = "notify: event 04096: " + program(server) + " started";
    const std::string killedSecond = "notify: event 04096: " + program(server) + " killed after the time limit of 4 s";
    ASSERT_TRUE(waitFor([&] { return countOf(serviceTrace(server), startedSecond) == 1; }));
    size_t cyclesBefore = cycles(server);
    ASSERT_TRUE(waitFor([&] { return countOf(serviceTrace(server), killedSecond) == 1; }));
    EXPECT_GE(cycles(server) - cyclesBefore, 1u) << "no processing cycle while the program ran";

    std::string text = serviceTrace(server);
    EXPECT_EQ(countOf(text, "notify: event 00016: " + program(server) + " killed after the time limit of 4 s"), 1u);
    EXPECT_EQ(countOf(text, "notify: queue full (1 events): event 04240 dropped"), 1u);
    EXPECT_EQ(countOf(text, "notify: 4 event(s) dropped while the queue was full (4 in all)"), 1u);
    EXPECT_EQ(countOf(text, " started (pid "), 2u);

    Lines pids = linesOf(tavtest::readFile(server.path("/pids")));
    EXPECT_EQ(pids.size(), 4u);  // two runs, each with its child
    for (const auto& pid : pids) EXPECT_TRUE(waitFor([&] { return !running(std::stoi(pid)); }, 5)) << pid;
    // Two runs killed, one report.
    EXPECT_EQ(countOf(syslogOf(server), "tavservice: notification program " + program(server) + " failed"), 1u);
}

// A log collection (tavlog) starts while a run for the failed drive is going
// on: the service waits for tavlog, not for the notification program, and
// still reaps and traces that run.
TEST(TavserviceNotify, RunEndingWhileTheServiceWaitsForTavlog) {
    SimServer server(kSmallRaid5);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    configure(server, "Program : " + program(server) + "\nMinPriority : warning\n");
    writeConf(server, "tavlog.conf", "DumpDir : " + server.path("/dumps") + "\nPtime : 1\n");
    writeConf(server, "eventid.conf", "0 : 4096\n");
    installProgram(server, "sleep 1\necho \"notify $1\" >> \"$TAV_ROOT/order\"\n");
    std::string tavlog = server.path("/opt/morvane/tavutility/tavlog");
    unlink(tavlog.c_str());
    tavtest::writeFile(tavlog, "#!/bin/sh\nsleep 3\necho tavlog >> \"$TAV_ROOT/order\"\n");
    chmod(tavlog.c_str(), 0755);
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, kStarted));
    ASSERT_EQ(server.inject({"fail-drive", "0", "1"}).status, 0);
    ASSERT_TRUE(waitFor([&] { return linesOf(tavtest::readFile(server.path("/order"))).size() >= 3; }));
    EXPECT_EQ(linesOf(tavtest::readFile(server.path("/order"))), (Lines{"notify 04096", "tavlog", "notify 04240"}));
    EXPECT_TRUE(waitFor([&] { return countOf(serviceTrace(server), "/notify exit status 0") == 2; }, 10));
}

TEST(TavserviceNotify, MissingOrFailingProgramIsReportedOnce) {
    struct Row {
        const char* name;
        const char* body;    // nullptr: no program at all
        std::string report;  // after the program path
        std::string traced;  // once per event
    };
    const Row rows[] = {
        {"missing", nullptr, " cannot be run (No such file or directory): events are not notified", "not notified"},
        {"failing", "exit 3\n", " failed for event 00016 (exit status 3); later failures are traced only",
         "/notify exit status 3"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimServer server(kSmallRaid5);
        ASSERT_TRUE(server.ok()) << server.initOutput();
        configure(server, "Program : " + program(server) + "\nMinPriority : info\n");
        if (row.body != nullptr) installProgram(server, row.body);
        Service service(server, {"-d", "-t", "1"});
        ASSERT_TRUE(logged(server, kStarted));
        waitCycles(server, 1);
        ASSERT_EQ(server.inject({"fail-drive", "0", "1"}).status, 0);  // events of a later cycle
        ASSERT_TRUE(logged(server, kLastEvent));
        waitCycles(server, 2);
        EXPECT_EQ(countOf(syslogOf(server), "tavservice: notification program " + program(server) + row.report), 1u);
        EXPECT_EQ(countOf(syslogOf(server), "tavservice: notification program"), 1u);
        EXPECT_EQ(countOf(serviceTrace(server), row.traced), 1 + kFailureAndRebuild.size());
    }
}
