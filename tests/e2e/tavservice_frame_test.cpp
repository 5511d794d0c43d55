// tavservice start-up, daemon, pid file, signals and the configuration it
// reports, under the simulator.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <functional>

#include "tavservice_fixture.h"

namespace {

using namespace svctest;

const char kStopped15[] = "daemon.info tavutil: exiting on signal 15. tavservice was stopped. EventID: 04768.";

// A process id that no process has: a child that has been reaped.
int deadPid() {
    pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

void writeGoodConf(const SimServer& server) {
    writeConf(server, "tavlog.conf", "DumpDir : " + server.path("/dumps") + "\nPtime : 1\n");
    writeConf(server, "eventid.conf", "0 : 4096\n");
}

}  // namespace

TEST(TavserviceFrame, ForegroundDebugModeStartsAndStopsOnSigterm) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeGoodConf(server);
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, kStarted)) << syslogOf(server);
    EXPECT_FALSE(tavtest::fileExists(server.path("/var/run/tavservice.pid")));
    kill(service.pid(), SIGTERM);
    EXPECT_EQ(service.waitExit(), 0);
    auto lines = messages(server);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), kStopped15);
    EXPECT_EQ(countOf(syslogOf(server), "EventID: 00065."), 0u) << syslogOf(server);
    std::string trace = tavtest::readFile(server.path("/opt/morvane/tavutility/tavservice.log"));
    EXPECT_NE(trace.find("Oslog_ver:03 Model:10 DrvVer:1.2.4.54"), std::string::npos);
    EXPECT_NE(trace.find("SignalHandler CALL (Signo=15)"), std::string::npos);
}

TEST(TavserviceFrame, DaemonWritesItsPidFileAndRemovesItOnSigint) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeGoodConf(server);
    Service service(server, {"-t", "1"});
    EXPECT_EQ(service.waitExit(), 0);  // the launching process returns at once
    int daemon = service.daemonPid();
    ASSERT_TRUE(alive(daemon));
    ASSERT_TRUE(logged(server, kStarted));
    EXPECT_EQ(tavtest::readFile(server.path("/var/run/tavservice.pid")), std::to_string(daemon) + "\n");
    EXPECT_NE(syslogOf(server).find("tavservice[" + std::to_string(daemon) + "]: " + kStarted), std::string::npos);
    kill(daemon, SIGINT);
    ASSERT_TRUE(logged(server, "exiting on signal 2. tavservice was stopped. EventID: 04768."));
    EXPECT_TRUE(waitFor([&] { return !tavtest::fileExists(server.path("/var/run/tavservice.pid")); }));
}

// A hang-up or quit stops the daemon as SIGTERM does: reported, pid file removed.
TEST(TavserviceFrame, HangupAndQuitStopTheDaemonInOrder) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeGoodConf(server);
    for (int sig : {SIGHUP, SIGQUIT}) {
        SCOPED_TRACE(sig);
        size_t before = countOf(syslogOf(server), kStarted);
        Service service(server, {"-t", "1"});
        ASSERT_TRUE(logged(server, kStarted, before + 1)) << syslogOf(server);
        int daemon = service.daemonPid();
        kill(daemon, sig);
        EXPECT_TRUE(
            logged(server, "exiting on signal " + std::to_string(sig) + ". tavservice was stopped. EventID: 04768."));
        EXPECT_TRUE(waitFor([&] { return !tavtest::fileExists(server.path("/var/run/tavservice.pid")); }));
    }
}

// The starting process returns only once the daemon has written its pid
// file, so a supervisor reading the file right after the start finds the
// daemon (several starts: a daemon that writes it after its parent
// has gone still wins that race now and then).
TEST(TavserviceFrame, PidFileIsInPlaceWhenTheStartingProcessReturns) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeGoodConf(server);
    const std::string pidFile = server.path("/var/run/tavservice.pid");
    for (int start = 0; start < 5; ++start) {
        SCOPED_TRACE(start);
        tavtest::RunResult launch = server.run({"tavservice", "-t", "1"});
        int daemon = pidFromFile(server);
        bool inPlace = alive(daemon);
        EXPECT_EQ(launch.status, 0);
        EXPECT_TRUE(inPlace) << "pid file: '" << tavtest::readFile(pidFile) << "'";
        if (!inPlace) {  // still stop the daemon that wrote it late
            waitFor([&] { return alive(pidFromFile(server)); }, 10);
            daemon = pidFromFile(server);
        }
        ASSERT_TRUE(alive(daemon));
        kill(daemon, SIGTERM);
        ASSERT_TRUE(waitFor([&] { return !tavtest::fileExists(pidFile); }));
    }
}

// A wrong option or a missing -t value: the wrong option named once, the
// usage, status 2, and neither a daemon nor a report nor a pid file.
TEST(TavserviceFrame, UnknownOptionPrintsTheUsageAndStartsNothing) {
    struct Case {
        std::vector<std::string> args;
        const char* complaint;
    };
    const Case cases[] = {
        {{"--version"}, "tavservice: invalid option '--version'\n"},
        {{"-x"}, "tavservice: invalid option -- 'x'\n"},
        {{"-d", "-v"}, "tavservice: invalid option -- 'v'\n"},
        {{"-t"}, "tavservice: option requires an argument -- 't'\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.complaint);
        SimServer server;
        ASSERT_TRUE(server.ok());
        writeGoodConf(server);
        Service service(server, c.args);
        EXPECT_EQ(service.waitExit(10), 2);
        EXPECT_EQ(tavtest::readFile(server.root() + "/../service.out"),
                  std::string(c.complaint) + "usage: tavservice [-d] [-t N]\n");
        EXPECT_EQ(syslogOf(server), "");
        EXPECT_FALSE(tavtest::fileExists(server.path("/var/run/tavservice.pid")));
    }
}

TEST(TavserviceFrame, RunningInstanceBlocksASecondStart) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeGoodConf(server);
    Service first(server, {"-t", "1"});
    int daemon = first.daemonPid();
    ASSERT_TRUE(logged(server, kStarted));
    Service second(server, {"-t", "1"});
    EXPECT_EQ(second.waitExit(), 0);
    ASSERT_TRUE(logged(server, "daemon.info tavservice[", 1));
    ASSERT_TRUE(logged(server, "tavutil: tavservice was already running. EventID: 04766."));
    EXPECT_EQ(countOf(syslogOf(server), kStarted), 1u);
    EXPECT_TRUE(alive(daemon));
    EXPECT_EQ(pidFromFile(server), daemon);
}

// A pid file left behind by a process that no longer exists does not block
// the start; the file is rewritten whole, even when the old number was longer.
TEST(TavserviceFrame, StalePidFileIsReplacedAndTruncated) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeGoodConf(server);
    for (const std::string& stale : {std::to_string(deadPid()) + "\n", std::string("99999999\n")}) {
        SCOPED_TRACE(stale);
        tavtest::writeFile(server.path("/var/run/tavservice.pid"), stale);
        size_t startedBefore = countOf(syslogOf(server), kStarted);
        Service service(server, {"-t", "1"});
        ASSERT_TRUE(logged(server, kStarted, startedBefore + 1)) << syslogOf(server);
        int daemon = pidFromFile(server);
        EXPECT_TRUE(alive(daemon));
        EXPECT_EQ(tavtest::readFile(server.path("/var/run/tavservice.pid")), std::to_string(daemon) + "\n");
        service.daemonPid();
        kill(daemon, SIGTERM);
        ASSERT_TRUE(waitFor([&] { return !tavtest::fileExists(server.path("/var/run/tavservice.pid")); }));
    }
    EXPECT_EQ(countOf(syslogOf(server), "EventID: 04766."), 0u);
}

// A segmentation fault cleans up and reports like a stop, then ends with the
// signal so that the crash stays visible.
TEST(TavserviceFrame, SegmentationFaultEndsWithTheSignal) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeGoodConf(server);
    Service foreground(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, kStarted));
    kill(foreground.pid(), SIGSEGV);
    EXPECT_EQ(foreground.waitExit(), 128 + SIGSEGV);
    EXPECT_TRUE(logged(server, "tavutil: exiting on signal 11. tavservice was stopped. EventID: 04768."));

    Service daemonized(server, {"-t", "1"});
    int daemon = daemonized.daemonPid();
    ASSERT_TRUE(logged(server, kStarted, 2));
    kill(daemon, SIGSEGV);
    EXPECT_TRUE(logged(server, "exiting on signal 11.", 2));
    EXPECT_TRUE(waitFor([&] { return !tavtest::fileExists(server.path("/var/run/tavservice.pid")); }));
}

TEST(TavserviceFrame, StartFailsWithoutTheDriversProcDirectory) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    ASSERT_EQ(tavtest::runCommand({"rm", "-r", server.path("/proc/scsi/tavdrv")}).status, 0);
    Service service(server, {"-t", "1"});
    EXPECT_EQ(service.waitExit(), 255);
    EXPECT_EQ(messages(server),
              std::vector<std::string>{
                  "daemon.err tavutil: tavservice was stopped : failed to get controller information. EventID: 00021. "
                  "Detailedcode: 00ffffff."});
    EXPECT_FALSE(tavtest::fileExists(server.path("/var/run/tavservice.pid")));
}

// Started by a user who is not root the service finds no adapter: it ends
// with 255 as before and says why in the system log.
TEST(TavserviceFrame, StartByAUserWhoIsNotRootSaysWhyItStops) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    // let the user reach the server and its captured system log
    ASSERT_EQ(chmod((server.root() + "/..").c_str(), 0755), 0);
    ASSERT_EQ(chmod(server.path("/var/log").c_str(), 0777), 0);
    tavtest::RunResult r = server.run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                       tavtest::binDir() + "/tavservice", "-d"});
    EXPECT_EQ(r.status, 255);
    std::vector<std::string> logged = messages(server);
    ASSERT_EQ(logged.size(), 1u) << r.out << r.err;
    EXPECT_EQ(logged[0].rfind("daemon.err tavutil: tavservice was stopped : must run as root (", 0), 0u) << logged[0];
    EXPECT_NE(logged[0].find("). EventID: 04772."), std::string::npos) << logged[0];
    EXPECT_FALSE(tavtest::fileExists(server.path("/var/run/tavservice.pid")));
}

// Each missing configuration part is reported once, in a fixed order, and the
// service goes on.
TEST(TavserviceFrame, MissingConfigurationKeysAreReportedAndTheServiceRuns) {
    SimServer server("", tavtest::Conf::Empty);
    ASSERT_TRUE(server.ok());
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, kStarted));
    std::string conf = server.path("/opt/morvane/tavutility/conf/");
    std::vector<std::string> expected{
        "daemon.warning tavutil: tavservice failed to access configuration keys. " + conf +
            "tavlog.conf : Ptime. EventID: 00065.",
        "daemon.warning tavutil: tavservice failed to access configuration keys. " + conf +
            "tavlog.conf : DumpDir. EventID: 00065.",
        "daemon.warning tavutil: tavservice failed to access configuration keys. " + conf +
            "eventid.conf : 0. EventID: 00065.",
    };
    auto lines = messages(server);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3), expected);
}

// -t sets the tick in either mode; out of range it becomes 60, 0 becomes 1.
TEST(TavserviceFrame, IntervalFromTheOptions) {
    struct Case {
        std::vector<std::string> args;
        const char* trace;
    };
    const Case cases[] = {
        {{"-d"}, "PollInterval=1 DebugMode=1"},
        {{"-d", "-t", "5"}, "PollInterval=5 DebugMode=1"},
        {{"-d", "-t", "0"}, "PollInterval=1 DebugMode=1"},
        {{"-d", "-t", "61"}, "PollInterval=60 DebugMode=1"},
        {{"-d", "-t", "-3"}, "PollInterval=60 DebugMode=1"},
        {{"-t", "7"}, "PollInterval=7 DebugMode=0"},
        {{}, "PollInterval=60 DebugMode=0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trace);
        SimServer server;
        ASSERT_TRUE(server.ok());
        writeGoodConf(server);
        Service service(server, c.args);
        if (c.args.empty() || c.args[0] != "-d") service.daemonPid();
        ASSERT_TRUE(logged(server, kStarted));
        std::string trace = tavtest::readFile(server.path("/opt/morvane/tavutility/tavservice.log"));
        EXPECT_NE(trace.find(c.trace), std::string::npos);
    }
}

// An adapter that answers no command: the library cannot start and neither can the service.
TEST(TavserviceFrame, StartFailsWhenTheAdapterDoesNotAnswer) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeGoodConf(server);
    ASSERT_EQ(server.inject({"ioctl-error", "ENXIO", "100000"}).status, 0);
    Service service(server, {"-t", "1"});
    EXPECT_EQ(service.waitExit(), 255);
    EXPECT_EQ(countOf(syslogOf(server), kStarted), 0u);
    EXPECT_FALSE(tavtest::fileExists(server.path("/var/run/tavservice.pid")));
    std::string trace = tavtest::readFile(server.path("/opt/morvane/tavutility/tavservice.log"));
    EXPECT_NE(trace.find("failed getOslogver - error code - 0x"), std::string::npos);
}

// The only supported controller never answers the status request: after ten
// rounds (their 30-second pauses sped up) the service reports it and stops.
// Controller 0 carries a card type the library takes and the service does not
// monitor, so the library itself starts.
TEST(TavserviceFrame, StartFailsWhenNoSupportedControllerAnswers) {
    SimServer server(R"({"adapters":[{"host":2,"model":"ZN5121"},{"host":3,"model":"ZN5121"}]})");
    ASSERT_TRUE(server.ok()) << server.initOutput();
    writeGoodConf(server);
    std::string proc = server.path("/proc/scsi/tavdrv/2");
    std::string text = tavtest::readFile(proc);
    text.replace(text.find("card type : ZN5121"), 18, "card type : ZN5121X");
    tavtest::writeFile(proc, text);
    ASSERT_EQ(server.inject({"--adapter", "1", "ioctl-error", "EIO", "100000"}).status, 0);
    Service service(server, {"-t", "1"}, fakeTime("+0 x1000"));
    EXPECT_EQ(service.waitExit(), 0);
    ASSERT_TRUE(logged(server,
                       "tavutil: tavservice was stopped : failed to get controller information. EventID: 00021. "
                       "Detailedcode: 01ffffff."));
    EXPECT_TRUE(waitFor([&] { return !tavtest::fileExists(server.path("/var/run/tavservice.pid")); }));
    EXPECT_EQ(countOf(syslogOf(server), kStarted), 0u);
    std::string trace = tavtest::readFile(server.path("/opt/morvane/tavutility/tavservice.log"));
    EXPECT_EQ(countOf(trace, "getContInfo CALL RTNCode=FALSE"), 10u);  // one status request per round
}

namespace {

// The pid of the daemon that logged the latest start.
int startedPid(const SimServer& server) {
    std::string log = syslogOf(server);
    size_t at = log.rfind(std::string("]: ") + kStarted);  // the latest start
    size_t open = at == std::string::npos ? std::string::npos : log.rfind('[', at);
    return open == std::string::npos ? 0 : std::atoi(log.c_str() + open + 1);
}

}  // namespace

// The daemon holds its pid file locked while it runs, so a start that finds
// it locked reports the running instance even before that one has written
// its number.
TEST(TavserviceFrame, PidFileStaysLockedAndALockedEmptyOneBlocksAStart) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeGoodConf(server);
    std::string pidPath = server.path("/var/run/tavservice.pid");
    {
        Service first(server, {"-t", "1"});
        int daemon = first.daemonPid();
        ASSERT_TRUE(logged(server, kStarted));
        int probe = open(pidPath.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(probe, 0);
        EXPECT_NE(flock(probe, LOCK_EX | LOCK_NB), 0) << "the running daemon does not hold its pid file";
        close(probe);
        kill(daemon, SIGTERM);
        ASSERT_TRUE(waitFor([&] { return !tavtest::fileExists(pidPath); }));
    }
    int starting = open(pidPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);  // locked, nothing written yet
    ASSERT_GE(starting, 0);
    ASSERT_EQ(flock(starting, LOCK_EX | LOCK_NB), 0);
    Service second(server, {"-t", "1"});
    EXPECT_EQ(second.waitExit(), 0);
    EXPECT_TRUE(logged(server, "tavutil: tavservice was already running. EventID: 04766."));
    EXPECT_EQ(countOf(syslogOf(server), kStarted), 1u) << syslogOf(server);
    EXPECT_TRUE(tavtest::fileExists(pidPath)) << "the refused start removed the running instance's pid file";
    close(starting);
}

// Links, hard links and FIFOs at the pid path: the daemon neither follows
// nor writes through them, nor hangs; it runs without a pid file.
TEST(TavserviceFrame, PlantsAtThePidPathAreNotFollowed) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeGoodConf(server);
    std::string pidPath = server.path("/var/run/tavservice.pid");
    std::string target = server.path("/target");
    const std::vector<std::pair<std::string, std::function<int()>>> plants = {
        {"symbolic link", [&] { return symlink(target.c_str(), pidPath.c_str()); }},
        {"dangling link", [&] { return symlink((target + ".none").c_str(), pidPath.c_str()); }},
        {"hard link", [&] { return link(target.c_str(), pidPath.c_str()); }},
        {"FIFO", [&] { return mkfifo(pidPath.c_str(), 0600); }},
    };
    for (const auto& [name, plant] : plants) {
        SCOPED_TRACE(name);
        tavtest::writeFile(target, "root's file\n");
        ASSERT_EQ(chmod(target.c_str(), 0600), 0);
        ASSERT_EQ(plant(), 0);
        size_t before = countOf(syslogOf(server), kStarted);
        Service service(server, {"-t", "1"});
        ASSERT_TRUE(logged(server, kStarted, before + 1)) << syslogOf(server);
        int daemon = startedPid(server);
        struct stat st;
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u);
        EXPECT_EQ(tavtest::readFile(target), "root's file\n");
        EXPECT_FALSE(tavtest::fileExists(target + ".none"));
        if (alive(daemon)) kill(daemon, SIGTERM);
        EXPECT_TRUE(waitFor([&] { return !alive(daemon); }));
        unlink(pidPath.c_str());
    }
}
