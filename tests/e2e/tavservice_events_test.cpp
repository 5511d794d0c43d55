// tavservice event translation: model events and injected event-log entries
// become system-log lines, read once each, across the ring's end and after a
// failed read; the log collection they trigger starts tavlog.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/stat.h>

#include "tavservice_fixture.h"

namespace {

using namespace svctest;
using Lines = std::vector<std::string>;

std::string zn5120(const std::string& systemVersion) {
    return R"({"adapters":[{"host":2,"model":"ZN5120","drives":[{"slot":0,"interface":"SAS"}]}],"system_version":")" +
           systemVersion + "\"}";
}

void writeConfs(const SimServer& server, const std::string& eventIds = "0 : 4096\n", const std::string& ptime = "1") {
    writeConf(server, "tavlog.conf", "DumpDir : " + server.path("/dumps") + "\nPtime : " + ptime + "\n");
    writeConf(server, "eventid.conf", eventIds);
}

// The event lines the service wrote ("<facility>.<level> <text>").
Lines eventLines(const SimServer& server) {
    Lines out;
    for (const auto& line : messages(server))
        if (line.find("EventID: ") != std::string::npos && line.find("EventID: 000") == std::string::npos)
            out.push_back(line);
    return out;
}

// Waits until `count` event lines are there (and a little longer, for any line too many).
Lines waitForEventLines(const SimServer& server, size_t count) {
    waitFor([&] { return eventLines(server).size() >= count; });
    return eventLines(server);
}

void inject(const SimServer& server, const std::vector<std::string>& args) {
    auto r = server.inject(args);
    ASSERT_EQ(r.status, 0) << r.err;
}

// A tavlog that notes its arguments in $TAV_ROOT/tavlog.calls.
void installTavlogStandIn(const SimServer& server) {
    std::string tavlog = server.path("/opt/morvane/tavutility/tavlog");
    unlink(tavlog.c_str());
    tavtest::writeFile(tavlog, "#!/bin/sh\necho \"$@\" >> \"$TAV_ROOT/tavlog.calls\"\n");
    chmod(tavlog.c_str(), 0755);
}

}  // namespace

TEST(TavserviceEvents, FailedRaid5MemberAndItsRebuildOntoTheHotSpare) {
    SimServer server(kSmallRaid5);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    writeConfs(server, "0 : 9999\n");
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, kStarted));
    inject(server, {"fail-drive", "0", "1"});
    Lines expected{
        "daemon.warning tavutil: Controller [0] Physical Drive [1] Failed. Drive status = 0x[20]. EventID: 04096. "
        "Detailedcode: 18fff120.",
        "daemon.err tavutil: Controller [0] Logical Drive [0] status changed to Degraded. (Status = 0x[10]). EventID: "
        "04240. Detailedcode: 24010fff.",
        "daemon.info tavutil: Controller [0] Rebuild started on Logical Drive [0]. EventID: 04432.",
        "daemon.info tavutil: Controller [0] Rebuild completed on Logical Drive [0]. EventID: 04448.",
        "daemon.info tavutil: Controller [0] Logical Drive [0] status changed from Degraded to Optimal. EventID: "
        "04272.",
    };
    EXPECT_EQ(waitForEventLines(server, expected.size()), expected);
    waitCycles(server, 2);
    EXPECT_EQ(eventLines(server), expected);  // each entry is read once
    auto show = nlohmann::json::parse(server.show());
    EXPECT_EQ(show["adapters"][0]["event_log"]["pending"], 0);
}

// One entry per formatter row, injected before the service starts, on a
// ZN5121 (message variant 3).
TEST(TavserviceEvents, InjectedEntriesOfEveryFormatter) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeConfs(server);
    writeConf(server, "evtrang.conf", "4209 : 2\n");
    struct Row {
        std::vector<std::string> entry;  // LOGCODE FORMAT CLASS fields...
        std::string line;                // "" for an entry that gives none
    };
    const std::vector<Row> rows = {
        {{"2", "0x8002", "0", "320=h:1", "322=4", "324=0xff"},
         "daemon.err tavutil: Controller [0] Physical Drive [4] was offline. Drive status = 0x[ff]. EventID: 04112. "
         "Detailedcode: 1cfff4ff."},
        {{"2", "0x8002", "0", "320=h:1", "322=4", "324=0x10"},
         "daemon.info tavutil: Controller [0] Physical Drive [4] was online. EventID: 04128."},
        {{"2", "2", "0", "320=h:1", "322=4", "324=0"},
         "daemon.info tavutil: Controller [0] Physical Drive [4] status changed to GOOD. EventID: 04144."},
        {{"2", "0x8002", "0", "320=h:72", "322=1", "324=0x20", "325=0x10"},
         "daemon.err tavutil: Controller [0] Logical Drive [1] Failed. (Status = 0x[20]). EventID: 04256. "
         "Detailedcode: 28120fff."},
        {{"2", "0x8002", "0", "320=h:72", "322=1", "324=1", "325=2"},  // 0x02 counts as optimal
         "daemon.err tavutil: Controller [0] Logical Drive [1] status changed to Degraded. (Status = 0x[1]). EventID: "
         "04240. Detailedcode: 24101fff."},
        {{"2", "0x8002", "0", "320=h:72", "322=1", "324=0", "325=7"}, ""},  // 0x07 is no LD status
        {{"2", "0x8002", "0", "320=h:73", "322=6"},
         "daemon.warning tavutil: Controller [0] Physical Drive [6] S.M.A.R.T. driver detects imminent failure. "
         "EventID: 04384. Detailedcode: 2cfff6ff."},
        {{"2", "0x8002", "0", "320=h:2", "322=3", "336=9"},
         "daemon.info tavutil: Controller [0] Physical Drive [3] Medium sector error count is changed([9]). EventID: "
         "04692."},
        {{"2", "39", "0", "80=3", "92=w:700"},
         "daemon.info tavutil: Controller [0] Physical Drive [3] Medium sector error count is changed([700]). EventID: "
         "04692."},
        {{"2", "0x8002", "0", "320=h:24", "322=5", "324=6", "344=w:0x1000", "348=w:1"},
         "daemon.warning tavutil: Controller [0] Physical Drive [5] Bad spot[LD Address: 0x100001000] detected. "
         "EventID: 04720. Detailedcode: 4cfff5ff."},
        {{"7", "176", "0", "88=w:5", "146=0x73", "156=0x11", "157=0x2"},
         "daemon.info tavutil: Controller [0] Physical Drive [5] Check condition "
         "SenseKEY=0x[03],ASC=0x[11],ASCQ=0x[02]. EventID: 04352."},
        {{"32", "3", "0", "92=0x20", "80=w:0x12345678"},
         "daemon.warning tavutil: Controller [0] Firmware panic occurred. errorcode = 0x[12345678]. EventID: 05500. "
         "Detailedcode: 30123456."},
        {{"32", "3", "0", "92=0x40", "80=w:0xabcdef01"},
         "daemon.warning tavutil: Controller [0] Hardware error occurred. errorcode = 0x[abcdef01]. EventID: 05501. "
         "Detailedcode: 34abcdef."},
        {{"32", "3", "0", "92=0x30"}, ""},
        {{"33", "0x8004", "0", "82=0xf0", "80=2", "98=6"},
         "daemon.err tavutil: Controller [0] Rebuild aborted on Logical Drive [2]. An error occurred on Physical Drive "
         "[6]. EventID: 04453. Detailedcode: 3c2ff6ff."},
        {{"33", "4", "0", "82=1", "80=1"},
         "daemon.info tavutil: Controller [0] Check Consistency started on Logical Drive [1]. EventID: 04464."},
        {{"33", "4", "0", "82=1", "80=1", "84=w:0xffffffff"},
         "daemon.info tavutil: Controller [0] Check Consistency completed on Logical Drive [1]. EventID: 04480."},
        {{"33", "0x8004", "0", "82=1", "80=1", "84=w:0x10", "88=w:2"},
         "daemon.err tavutil: Controller [0] Parity Inconsistency occurred on Logical Drive [1]. LD Address: "
         "0x[200000010]. EventID: 04560."},
        {{"33", "4", "0", "82=1", "80=1", "96=h:81"},  // r = 0 with s = 81 is an inconsistency too
         "daemon.err tavutil: Controller [0] Parity Inconsistency occurred on Logical Drive [1]. LD Address: 0x[0]. "
         "EventID: 04560."},
        {{"33", "4", "0", "82=2", "80=1"},
         "daemon.info tavutil: Controller [0] Make Parity Started on Logical Drive [1]. EventID: 04496."},
        {{"33", "4", "0", "82=2", "80=1", "84=w:0xffffffff"},
         "daemon.info tavutil: Controller [0] Make Parity completed on Logical Drive [1]. EventID: 04512."},
        {{"33", "4", "0", "82=0xf1", "80=1"},
         "daemon.info tavutil: Controller [0] Check Consistency aborted on Logical Drive [1]. EventID: 04528."},
        {{"33", "4", "0", "82=0xf2", "80=1"},
         "daemon.info tavutil: Controller [0] Make Parity aborted on Logical Drive [1]. EventID: 04544."},
        {{"33", "4", "0", "82=0xf3", "80=1"}, ""},
        {{"34", "0x8002", "0", "320=h:1", "322=2", "324=0"},
         "daemon.info tavutil: Controller [0] Physical Drive [2] status set GOOD. EventID: 04624."},
        {{"34", "2", "0", "320=h:1", "322=2", "324=0x20"},
         "daemon.info tavutil: Controller [0] Physical Drive [2] status set Failed. EventID: 04640."},
        {{"34", "0x8002", "0", "320=h:32", "322=1", "324=0"},
         "daemon.info tavutil: Controller [0] Logical Drive [1] status set Optimal. EventID: 04656."},
        {{"41", "0x8002", "0", "322=1", "325=0", "324=5", "326=7"},
         "daemon.info tavutil: Controller [0] Prevent copy started to Physical Drive[7] of Logical Drive[1]. EventID: "
         "04672."},
        {{"41", "0x8002", "0", "322=1", "325=5", "324=21"},
         "daemon.info tavutil: Controller [0] Prevent copy completed on Logical Drive[1]. EventID: 04688."},
        {{"41", "2", "0", "322=1", "325=5", "324=3"},
         "daemon.warning tavutil: Controller [0] Prevent copy aborted on Logical Drive[1]. EventID: 04704."},
        {{"99", "0", "0"}, ""},
        {{"2", "0x8002", "0", "320=h:71", "364=0x42", "376=w:1"}, ""},
        {{"2", "0x8002", "0", "320=h:71", "364=0x42", "372=0x42", "376=w:3"},
         "daemon.warning tavutil: Controller [0] memory single bit error reaches the threshold. EventID: 04209. "
         "Detailedcode: 88000042."},
        {{"2", "0x8002", "0", "320=h:71", "364=0x42", "376=w:1"}, ""},  // reported once per run
    };
    Lines expected;
    for (const Row& row : rows) {
        std::vector<std::string> args{"event", "0"};
        args.insert(args.end(), row.entry.begin(), row.entry.end());
        inject(server, args);
        if (!row.line.empty()) expected.push_back(row.line);
    }
    Service service(server, {"-d", "-t", "1"});
    EXPECT_EQ(waitForEventLines(server, expected.size()), expected);
    waitCycles(server, 1);
    EXPECT_EQ(eventLines(server), expected);
    std::string trace = tavtest::readFile(server.path("/opt/morvane/tavutility/tavservice.log"));
    EXPECT_NE(trace.find("TLOG Skip LOGCode=0x63 FormatCode=0x0 LOGClass=0x0"), std::string::npos);
    // debug mode: the command and sense bytes of a check condition follow as raw lines
    std::string log = syslogOf(server);
    EXPECT_NE(log.find("]: 0000: 2a 2a 2a 63 64 62 2a 2a    ***cdb**\n"), std::string::npos);
    EXPECT_NE(log.find("]: 0018: 2a 2a 73 6e 73 64 74 2a    **snsdt*\n"), std::string::npos);
}

// Message variants 1 and 2 (ZN5120 on a server of group 1 or another one).
TEST(TavserviceEvents, OlderMessageVariants) {
    struct Case {
        std::string systemVersion;
        Lines expected;
    };
    const Case cases[] = {
        {"SVA1000001",
         {"daemon.err tavutil: Controller [0] Firmware panic occurred. errorcode = 0x[12345678]. EventID: 04400. "
          "Detailedcode: 30123456.",
          "daemon.err tavutil: Controller [0] Physical Drive [1] Failed. Drive status = 0x[20]. EventID: 04096. "
          "Detailedcode: 18fff120.",
          "daemon.warning tavutil: Controller [0] memory single bit error occurred. Address = 0x[beef]. EventID: "
          "04208. Detailedcode: 20ffffff.",
          "daemon.err tavutil: Controller [0] Parity Inconsistency occurred on Logical Drive [1]. Address = 0x[10]. "
          "EventID: 04560.",
          "daemon.err tavutil: Controller [0] Physical Drive [5] Bad spot[address 0x1000] detected. EventID: 04720. "
          "Detailedcode: 4cfff5ff."}},
        {"OTHER",
         {"daemon.err tavutil: Controller [0] Firmware panic occurred. errorcode = 0x[12345678]. EventID: 04400. "
          "Detailedcode: 30123456.",
          "daemon.warning tavutil: Controller [0] Physical Drive [1] Failed. Drive status = 0x[20]. EventID: 04096. "
          "Detailedcode: 18fff120.",
          "daemon.err tavutil: Controller [0] Parity Inconsistency occurred on Logical Drive [1]. Address = 0x[10]. "
          "EventID: 04560.",
          "daemon.warning tavutil: Controller [0] Physical Drive [5] Bad spot[address 0x1000] detected. EventID: "
          "04720. Detailedcode: 4cfff5ff."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.systemVersion);
        SimServer server(zn5120(c.systemVersion));
        ASSERT_TRUE(server.ok()) << server.initOutput();
        writeConfs(server, "0 : 9999\n");
        inject(server, {"event", "0", "32", "3", "0", "92=0x20", "80=w:0x12345678"});
        inject(server, {"event", "0", "2", "2", "0", "320=h:1", "322=1", "324=0x20"});
        inject(server, {"event", "0", "2", "2", "0", "320=h:67", "348=w:0xbeef"});
        inject(server, {"event", "0", "33", "4", "0", "82=1", "80=1", "84=w:0x10"});
        inject(server, {"event", "0", "2", "2", "0", "320=h:24", "322=5", "324=6", "340=w:0x1000"});
        Service service(server, {"-d", "-t", "1"});
        EXPECT_EQ(waitForEventLines(server, c.expected.size()), c.expected);
    }
}

TEST(TavserviceEvents, ReadingWrapsFromTheLastEntryToTheFirst) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeConfs(server);
    inject(server, {"event-index", "0", "4094"});
    Lines expected;
    for (int drive = 0; drive < 4; ++drive) {
        inject(server, {"event", "0", "2", "0x8002", "0", "320=h:1", "322=" + std::to_string(drive), "324=0x10"});
        expected.push_back("daemon.info tavutil: Controller [0] Physical Drive [" + std::to_string(drive) +
                           "] was online. EventID: 04128.");
    }
    Service service(server, {"-d", "-t", "1"});
    EXPECT_EQ(waitForEventLines(server, 4), expected);
    waitCycles(server, 1);
    auto show = nlohmann::json::parse(server.show());
    EXPECT_EQ(show["adapters"][0]["event_log"]["index"], 2);
    EXPECT_EQ(show["adapters"][0]["event_log"]["pending"], 0);
    EXPECT_EQ(eventLines(server), expected);
}

namespace {

// Entries 0-2 of a fresh log: drives 0-2 on line; their expected lines.
Lines injectOnlineEntries(const SimServer& server) {
    Lines expected;
    for (int drive = 0; drive < 3; ++drive) {
        inject(server, {"event", "0", "2", "0x8002", "0", "320=h:1", "322=" + std::to_string(drive), "324=0x10"});
        expected.push_back("daemon.info tavutil: Controller [0] Physical Drive [" + std::to_string(drive) +
                           "] was online. EventID: 04128.");
    }
    return expected;
}

}  // namespace

// A read that fails ends the visit; the next cycle resumes there, so no entry
// is lost or reported twice.
TEST(TavserviceEvents, AFailedReadResumesInTheNextCycle) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeConfs(server);
    Lines expected = injectOnlineEntries(server);
    inject(server, {"event-read-error", "0", "1"});
    Service service(server, {"-d", "-t", "1"});
    EXPECT_EQ(waitForEventLines(server, 3), expected);
    EXPECT_EQ(countOf(syslogOf(server), "ControllCode: 7. DriverErrCode: -1. errno: 5.(Input/output error)"), 1u);
    waitCycles(server, 1);
    EXPECT_EQ(eventLines(server), expected);
}

// A consume request that fails after the entry was reported ends the visit;
// the next cycle consumes the entry without reporting it again, whether it
// was the first entry of the visit or a later one.
TEST(TavserviceEvents, AFailedConsumeDoesNotReportTheEntryTwice) {
    for (const char* index : {"0", "1"}) {
        SCOPED_TRACE(index);
        SimServer server;
        ASSERT_TRUE(server.ok());
        writeConfs(server);
        Lines expected = injectOnlineEntries(server);
        inject(server, {"event-consume-error", "0", index, "2"});
        Service service(server, {"-d", "-t", "1"});
        EXPECT_EQ(waitForEventLines(server, 3), expected);
        EXPECT_EQ(countOf(syslogOf(server), "ControllCode: 6. DriverErrCode: -1. errno: 5.(Input/output error)"), 2u);
        waitCycles(server, 2);
        EXPECT_EQ(eventLines(server), expected);
        EXPECT_EQ(nlohmann::json::parse(server.show())["adapters"][0]["event_log"]["pending"], 0);
    }
}

// tavlog is started for an event listed in eventid.conf once Ptime cycles have passed.
TEST(TavserviceEvents, LogCollectionStartsTavlogForEventsOfInterest) {
    struct Case {
        std::string eventIds, ptime;
        bool started;
    };
    const Case cases[] = {{"0 : 4096\n", "1", true}, {"0 : 4112\n", "1", false}, {"0 : 4096\n", "0", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.eventIds + " Ptime " + c.ptime);
        SimServer server;
        ASSERT_TRUE(server.ok());
        writeConfs(server, c.eventIds, c.ptime);
        installTavlogStandIn(server);
        inject(server, {"event", "0", "2", "0x8002", "0", "320=h:1", "322=1", "324=0x20"});
        Service service(server, {"-d", "-t", "1"});
        ASSERT_TRUE(logged(server, "EventID: 04096."));
        waitCycles(server, 2);
        std::string calls = tavtest::readFile(server.path("/tavlog.calls"));
        EXPECT_EQ(calls,
                  c.started ? "tav_0_fwtrclog " + server.path("/opt/morvane/tavutility/log") + " -AutomaticLog\n" : "");
    }
}

TEST(TavserviceEvents, AFailedStartOfTavlogIsReported) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeConfs(server);
    std::string tavlog = server.path("/opt/morvane/tavutility/tavlog");
    unlink(tavlog.c_str());
    inject(server, {"event", "0", "2", "0x8002", "0", "320=h:1", "322=1", "324=0x20"});
    Service service(server, {"-d", "-t", "1"});
    EXPECT_TRUE(logged(server, "tavutil: The start of tavlog failed. EventID: 04682."));
}

// An event of interest is remembered until Ptime cycles have passed: with
// Ptime 3 tavlog starts in the third processing cycle, once.
TEST(TavserviceEvents, EventOfInterestWaitsForTheCollectionPeriod) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeConfs(server, "0 : 4096\n", "3");
    installTavlogStandIn(server);
    inject(server, {"event", "0", "2", "0x8002", "0", "320=h:1", "322=1", "324=0x20"});
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(waitFor([&] { return cycles(server) >= 7; }));
    std::string trace = tavtest::readFile(server.path("/opt/morvane/tavutility/tavservice.log"));
    size_t gather = trace.find("GatherToTheClog CALL (Contno=0)");
    ASSERT_NE(gather, std::string::npos);
    EXPECT_EQ(countOf(trace.substr(0, gather), "ProcessLogs CALL"), 3u);
    EXPECT_EQ(countOf(trace, "GatherToTheClog CALL"), 1u);
    EXPECT_EQ(countOf(tavtest::readFile(server.path("/tavlog.calls")), "\n"), 1u);
}
