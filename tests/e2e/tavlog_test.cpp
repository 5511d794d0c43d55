// tavlog under the simulator: arguments and keywords, the adapter, driver
// and utility collectors, saved dumps and the automatic trace rotation.
#include <gtest/gtest.h>

#include <time.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tavlog_fixture.h"
#include "tavtest.h"

namespace {

using tavlogtest::filesMatching;
using tavlogtest::memoryBytes;
using tavlogtest::windowBytes;
using tavtest::RunResult;
using tavtest::SimServer;

const char* kParam = "TAV1001-E The parameter is incorrect.\n";
const char* kAnyEntry = "(?!\\.{1,2}$).+";  // every name but "." and ".."

class Tavlog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server_.ok()) << server_.initOutput();
        out_ = server_.path("/out");
        mkdir(out_.c_str(), 0755);
    }
    // Runs tavlog from the server's root, so relative directories name its entries.
    RunResult tavlog(std::vector<std::string> args) const {
        std::vector<std::string> argv = {"sh", "-c", "cd \"$0\" && exec \"$0\"/opt/morvane/tavutility/tavlog \"$@\"",
                                         server_.root()};
        argv.insert(argv.end(), args.begin(), args.end());
        return server_.run(argv);
    }
    void writeConf(const std::string& text) const {
        tavtest::writeFile(server_.path("/opt/morvane/tavutility/conf/tavlog.conf"), text);
    }
    SimServer server_;
    std::string out_;
};

TEST_F(Tavlog, ArgumentsAndKeywords) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string output;  // the whole standard output
    };
    const std::string wrong = std::string(kParam) + "A command line argument is wrong.\n";
    const std::vector<Case> cases = {
        {{"-h", "out"}, 0, wrong},
        {{"tav_0_nvramlog"}, 0, wrong},
        {{"tav_0_nvramlog", "out", "-Force", "-AutomaticLog", "x"}, 0, wrong},
        {{"0_nvramlog", "out"}, 0, wrong},
        {{"TAV_0_BogusLog", "out"}, 0, std::string(kParam) + "tav_0_boguslog is unknown command.\n"},
        {{"TAV_NvramLog", "out"}, 0, std::string(kParam) + "tav_nvramlog is unknown command.\n"},
        {{"TAV_0_HDDInquiry_x", "out"}, 0, wrong},
        {{"TAV_0_NvramLog", "out", "-AutomaticLog"},
         0,
         std::string(kParam) + "When appointed -AutomaticLog to gather only F/W trace log.(clog)\n"},
        {{"TAV_3_NvramLog", "out"}, 0, "TAV1004-E Morvane Raid Controller is not found.\n"},
        {{"TAV_0_HDDInquiry_9", "out"},
         0,
         "TAV1005-E The error occurred while gathering the log.\nTAV1006-E Log type : HDD internal Log\n"
         "TAV1007-E Error code : 1117\nphysics drive of number 9 is unconnected.\n"},
        {{"TAV_0_NvramLog", "missing"}, 0, std::string(kParam) + "missing is not found or not directory.\n"},
        {{"TAV_0_NVRAMLOG", "out"}, 1, "TAV1000-I NVRAM Log Get Success\n"},
        {{"tav_0_nvramlogx", ".", "-Force", "-Other"}, 1, "TAV1000-I NVRAM Log Get Success\n"},
    };
    for (const Case& c : cases) {
        RunResult r = tavlog(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0];
        EXPECT_EQ(r.out, c.output) << c.args[0];
    }
    EXPECT_EQ(filesMatching(out_, "[0-9]{14}_TAV_0_NvramLog").size(), 1u);
    EXPECT_EQ(filesMatching(server_.root(), "[0-9]{14}_TAV_0_NvramLog").size(), 1u);
    EXPECT_FALSE(tavtest::fileExists(server_.path("/missing")));
}

TEST_F(Tavlog, UsageStatesTheExitStatusAndTheTraceLogRecordsTheRun) {
    RunResult r = tavlog({"-h"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.find("tavlog TAV_<ControllerNo>_RaidLog <LogFilePath> [-AutomaticLog]\n"), 0u);
    EXPECT_NE(r.out.find("tavlog TAV_<ControllerNo>_HDDLog_CII_<HddNo> <LogFilePath> [-AutomaticLog] [-Force]\n"
                         "tavlog TAV_DrvLog <LogFilePath> [-AutomaticLog]\n"
                         "tavlog TAV_UtlLog <LogFilePath> [-AutomaticLog]\n"
                         "\n    Morvane RAID Adapter Log Collect Tool Ver 5.0\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("1 when the log was collected, 0 when it was not"), std::string::npos);

    EXPECT_EQ(tavlog({"TAV_0_NvramLog", "out"}).status, 1);
    std::string trace = tavtest::readFile(server_.path("/opt/morvane/tavutility/tavlog.log"));
    EXPECT_NE(trace.find("tavlog TAV_0_NvramLog out"), std::string::npos);
    EXPECT_NE(trace.find("WriteBlockLog CALL (Contno=0, Hddno=*, LogType=0x20)"), std::string::npos);
    EXPECT_NE(trace.find("TAV1000-I NVRAM Log Get Success"), std::string::npos);
}

TEST_F(Tavlog, BlockLogsHoldWhatTheAdapterHolds) {
    ASSERT_EQ(tavlog({"TAV_0_NvramLog", "out"}).status, 1);
    ASSERT_EQ(tavlog({"TAV_0_FWTrcLog", "out"}).status, 1);
    auto nvram = filesMatching(out_, "[0-9]{14}_TAV_0_NvramLog");
    auto trace = filesMatching(out_, "[0-9]{14}_TAV_0_FWTrcLog");
    ASSERT_EQ(nvram.size(), 1u);
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_TRUE(tavtest::readFile(out_ + "/" + nvram[0]) == memoryBytes(2, 8, 0, 32768));
    // Generation 1: the trace area at 0x1700000.
    EXPECT_TRUE(tavtest::readFile(out_ + "/" + trace[0]) == windowBytes(0, 0x1700000, 131072));
}

TEST(TavlogGeneration0, FirmwareTraceComesFromTheLowerArea) {
    std::string config = "{\"adapters\":[{\"host\":5,\"model\":\"ZN5120\",\"generation\":0,\"drives\":[]}]}";
    SimServer server(config);
    ASSERT_TRUE(server.ok()) << server.initOutput();
    RunResult r = server.run({"tavlog", "TAV_0_FWTrcLog", server.root()});
    ASSERT_EQ(r.status, 1) << r.out;
    auto trace = filesMatching(server.root(), "[0-9]{14}_TAV_0_FWTrcLog");
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_TRUE(tavtest::readFile(server.root() + "/" + trace[0]) == windowBytes(0, 0xC00000, 131072));
}

TEST_F(Tavlog, DriverTraceIsTheStatusByteAndTheDataAfterTheHeader) {
    RunResult r = tavlog({"TAV_DrvLog", "out"});
    ASSERT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.out, "TAV1000-I RAID Driver Log Get Success\n");
    std::string log = tavtest::readFile(out_ + "/TAV_DrvLog");
    EXPECT_TRUE(log == std::string(1, '\0') + memoryBytes(2, 0xC0, 16, 32752));
    // the fixed name is replaced by the next collection, leaving nothing beside it
    tavtest::writeFile(out_ + "/TAV_DrvLog", "an older trace");
    r = tavlog({"TAV_DrvLog", "out"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.out, "TAV1000-I RAID Driver Log Get Success\n");
    EXPECT_TRUE(tavtest::readFile(out_ + "/TAV_DrvLog") == log);
    EXPECT_EQ(filesMatching(out_, kAnyEntry), std::vector<std::string>({"TAV_DrvLog"}));
}

// What stands under the fixed name and is not a regular file is refused and
// kept; a collection that fails keeps the old trace whole. Nothing is left
// beside it either way.
TEST_F(Tavlog, DriverTraceReplacesOnlyARegularFileAndOnlyWhenCollected) {
    const std::string name = out_ + "/TAV_DrvLog";
    const std::string victim = server_.path("/victim");
    tavtest::writeFile(victim, "keep");
    struct Case {
        const char* what;
        std::function<void()> make;
        std::string errorLine;
    };
    const Case cases[] = {
        {"link", [&] { ASSERT_EQ(symlink(victim.c_str(), name.c_str()), 0); }, "TAV1007-E Error code : 40\n"},
        {"directory", [&] { ASSERT_EQ(mkdir(name.c_str(), 0755), 0); }, "TAV1007-E Error code : 22\n"},
        {"fifo", [&] { ASSERT_EQ(mkfifo(name.c_str(), 0600), 0); }, "TAV1007-E Error code : 22\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        struct stat before;
        ASSERT_EQ(lstat(name.c_str(), &before), 0);
        RunResult r = tavlog({"TAV_DrvLog", "out"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "TAV1005-E The error occurred while gathering the log.\nTAV1006-E Log type : RAID Driver\n" +
                             c.errorLine);
        struct stat after;
        ASSERT_EQ(lstat(name.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(filesMatching(out_, kAnyEntry), std::vector<std::string>({"TAV_DrvLog"}));
        remove(name.c_str());
    }
    EXPECT_EQ(tavtest::readFile(victim), "keep");

    // The driver's trace command, the run's last, fails: the old trace stays.
    auto commands = [&] { return nlohmann::json::parse(server_.show())["adapters"][0]["commands"].get<int>(); };
    int start = commands();
    ASSERT_EQ(tavlog({"TAV_DrvLog", "out"}).status, 1);
    int perRun = commands() - start;
    tavtest::writeFile(name, "an older trace");
    ASSERT_EQ(server_.inject({"pass", std::to_string(perRun - 1)}).status, 0);
    ASSERT_EQ(server_.inject({"check-condition", "4", "0x44", "0"}).status, 0);
    RunResult r = tavlog({"TAV_DrvLog", "out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Cause of the error is check condition. (Sense key = 0x04, ASC = 0x44, ASCQ = 0x00 )"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(tavtest::readFile(name), "an older trace");
    EXPECT_EQ(filesMatching(out_, kAnyEntry), std::vector<std::string>({"TAV_DrvLog"}));
}

// A user who is not root finds no controller: the message as it stands,
// then the line that says why.
TEST_F(Tavlog, UserWhoIsNotRootIsToldWhyNoControllerIsFound) {
    RunResult r = server_.run({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                               tavtest::binDir() + "/tavlog", "TAV_0_NvramLog", out_});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("TAV1004-E Morvane Raid Controller is not found.\nCause: must run as root (", 0), 0u)
        << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - 3), ").\n") << r.out;
}

TEST(TavlogDriver, OldDriverIsRefused) {
    SimServer server("{\"adapters\":[{\"host\":2,\"model\":\"ZN5121\",\"driver_version\":\"1.2.2.54\"}]}");
    ASSERT_TRUE(server.ok()) << server.initOutput();
    RunResult r = server.run({"tavlog", "TAV_DrvLog", server.root()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "TAV1009-E Command is not support. (Adapter number = 0, HDD number = *)\n");
}

TEST_F(Tavlog, EventLogIsTheAdaptersRing) {
    ASSERT_EQ(server_.inject({"event", "0", "2", "0x8002", "0", "320=h:1", "322=1", "324=0x20"}).status, 0);
    RunResult r = tavlog({"TAV_0_RaidLog", "out"});
    ASSERT_EQ(r.status, 1) << r.out;
    auto log = filesMatching(out_, "[0-9]{14}_TAV_0_RaidLog");
    ASSERT_EQ(log.size(), 1u);
    std::string ring = tavtest::readFile(server_.path("/var/lib/tavsim/eventlog-c0"));
    std::string got = tavtest::readFile(out_ + "/" + log[0]);
    ASSERT_EQ(got.size(), 4096u * 512u);
    EXPECT_TRUE(got == ring.substr(ring.size() - got.size()));
    EXPECT_EQ(got.substr(20, 2), std::string("\0\x02", 2)) << "the injected entry leads";
}

// A read that fails midway: the cause with its sense, and the blocks read so
// far kept under a name that says the log is incomplete.
TEST_F(Tavlog, FailedReadKeepsThePartAsIncomplete) {
    ASSERT_EQ(server_.inject({"event-read-error", "0", "10"}).status, 0);
    RunResult r = tavlog({"TAV_0_RaidLog", "out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "TAV1005-E The error occurred while gathering the log.\nTAV1006-E Log type : RAID Log\n"
              "TAV1007-E Error code : 1117\n"
              "Cause of the error is check condition. (Sense key = 0x04, ASC = 0x44, ASCQ = 0x00 )\n");
    EXPECT_TRUE(filesMatching(out_, "[0-9]{14}_TAV_0_RaidLog").empty());
    auto partial = filesMatching(out_, "[0-9]{14}_TAV_0_RaidLogIncomplete");
    ASSERT_EQ(partial.size(), 1u);
    EXPECT_EQ(tavtest::readFile(out_ + "/" + partial[0]).size(), 10u * 512u);

    ASSERT_EQ(server_.inject({"event-read-error", "0", "0"}).status, 0);
    r = tavlog({"TAV_0_RaidLog", "."});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(filesMatching(server_.root(), ".*RaidLog.*").empty()) << "an empty file is removed";
}

// An older partial log already holds the "Incomplete" name (one for every
// second the run may take): the new partial log still never keeps the
// normal name, and is the one found under the "Incomplete" name afterwards.
TEST_F(Tavlog, PartialLogNeverKeepsTheNormalNameWhenAnIncompleteOneExists) {
    time_t now = time(nullptr);
    for (int s = 0; s < 30; ++s) {
        time_t at = now + s;
        struct tm t;
        localtime_r(&at, &t);
        char name[64];
        strftime(name, sizeof name, "%Y%m%d%H%M%S_TAV_0_RaidLogIncomplete", &t);
        tavtest::writeFile(out_ + "/" + name, "older partial log\n");
    }
    ASSERT_EQ(server_.inject({"event-read-error", "0", "10"}).status, 0);
    RunResult r = tavlog({"TAV_0_RaidLog", "out"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(filesMatching(out_, "[0-9]{14}_TAV_0_RaidLog").empty());
    size_t replaced = 0;
    for (const auto& name : filesMatching(out_, "[0-9]{14}_TAV_0_RaidLogIncomplete"))
        replaced += tavtest::readFile(out_ + "/" + name).size() == 10u * 512u;
    EXPECT_EQ(replaced, 1u);
    EXPECT_EQ(filesMatching(out_, ".*tmp.*").size(), 0u);
}

TEST_F(Tavlog, DirectDumpsFromFlashAndWorkingMemory) {
    ASSERT_EQ(server_.inject({"dump", "0", "1000", "1"}).status, 0);
    RunResult r = tavlog({"TAV_0_FWDumpDirect", "out"});
    ASSERT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.out,
              "TAV1000-I RAID Firmware Dump Log Get Success\nTAV1000-I BOOT Firmware Temporary Dump Log Get Success\n");
    auto flash = filesMatching(out_, "[0-9]{14}_TAV_0_RaidFWDump");
    auto memory = filesMatching(out_, "[0-9]{14}_TAV_0_TempMemDump");
    ASSERT_EQ(flash.size(), 1u);
    ASSERT_EQ(memory.size(), 1u);
    EXPECT_TRUE(tavtest::readFile(out_ + "/" + flash[0]) == windowBytes(0, 0, 1024)) << "1000 bytes: two blocks";
    EXPECT_TRUE(tavtest::readFile(out_ + "/" + memory[0]) == windowBytes(0, 0x1800000, 1048576));

    ASSERT_EQ(server_.inject({"dump", "0", "1000", "0"}).status, 0);
    r = tavlog({"TAV_0_FWDumpDirect", "."});
    ASSERT_EQ(r.status, 1) << r.out;
    auto incomplete = filesMatching(server_.root(), "[0-9]{14}_TAV_0_RaidFWDumpIncomplete");
    ASSERT_EQ(incomplete.size(), 1u);
    EXPECT_TRUE(tavtest::readFile(server_.root() + "/" + incomplete[0]) == windowBytes(0, 0, 4096 * 512));
}

TEST_F(Tavlog, SavedDumpsAreCopiedAndMissingOnesReported) {
    RunResult r = tavlog({"TAV_0_FWDump", "out"});
    EXPECT_EQ(r.status, 0) << "no DumpDir";
    const std::string dumps = server_.path("/dumps");
    writeConf("# DumpDir: /nowhere\nDumpDir: " + dumps + "\n");
    r = tavlog({"TAV_0_FWDump", "out"});
    EXPECT_EQ(r.status, 0);
    mkdir(dumps.c_str(), 0755);
    mkdir((dumps + "/contno0").c_str(), 0755);
    std::string dump(200000, '\0');
    for (size_t i = 0; i < dump.size(); ++i) dump[i] = static_cast<char>(i * 7 + i / 300);
    tavtest::writeFile(dumps + "/contno0/dump0", dump);
    tavtest::writeFile(dumps + "/contno0/dump1", "");
    r = tavlog({"TAV_0_FWDump", "out"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "TAV1001-I RAID there is not dump file.\nTAV1001-I RAID there is not dump file.\n"
              "TAV1000-I Firmware Dump Log Get Success\n");
    auto oldest = filesMatching(out_, "[0-9]{14}_TAV_0_FWDumpOldest");
    ASSERT_EQ(oldest.size(), 1u);
    EXPECT_TRUE(tavtest::readFile(out_ + "/" + oldest[0]) == dump);
    EXPECT_EQ(filesMatching(out_, ".*FWDump(|Incomplete)").size(), 0u);
}

TEST_F(Tavlog, UtilityTracesAreCopiedUpToTwenty) {
    const std::string install = server_.path("/opt/morvane/tavutility");
    tavtest::writeFile(install + "/tavcli.log", "cli trace\n");
    tavtest::writeFile(install + "/tavpth.log", "");
    tavtest::writeFile(install + "/other.log", "not ours\n");
    ASSERT_EQ(symlink("/etc/hostname", (install + "/tavlink.log").c_str()), 0);
    RunResult r = tavlog({"TAV_UtlLog", "out"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(tavtest::readFile(out_ + "/tavcli.log"), "cli trace\n");
    EXPECT_TRUE(tavtest::fileExists(out_ + "/tavlog.log"));
    EXPECT_FALSE(tavtest::fileExists(out_ + "/tavpth.log"));
    EXPECT_FALSE(tavtest::fileExists(out_ + "/other.log"));
    EXPECT_FALSE(tavtest::fileExists(out_ + "/tavlink.log"));

    r = tavlog({"TAV_UtlLog", install});
    EXPECT_EQ(r.out, std::string(kParam) + "A command line argument is wrong.\n");

    for (int i = 0; i < 19; ++i) tavtest::writeFile(install + "/tav" + std::to_string(i) + ".log", "x\n");
    mkdir(server_.path("/out2").c_str(), 0755);
    r = tavlog({"TAV_UtlLog", "out2"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "TAV1015-E The number of files that can be copied is exceeded.\n");
    EXPECT_TRUE(filesMatching(server_.path("/out2"), ".*").size() == 2u) << "only . and ..";
}

// Automatic runs: the directory is made (enterable), success and failure go
// to the system log, and the oldest stamped traces make room.
TEST_F(Tavlog, AutomaticTraceRunRotatesTheOldestStampedTraces) {
    writeConf("MaxAreaSizeForClog: 1\n");
    const std::string dir = server_.path("/autolog");
    RunResult r = tavlog({"tav_0_fwtrclog", "autolog", "-AutomaticLog"});
    ASSERT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.out, "");
    struct stat st;
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_NE(server_.syslog().find("daemon.info tavlog["), std::string::npos);
    EXPECT_NE(server_.syslog().find("tavutil: F/W Trace Log Get complete Success. EventID: 04681."), std::string::npos);
    auto first = filesMatching(dir, "[0-9]{14}_TAV_0_FWTrcLog");
    ASSERT_EQ(first.size(), 1u);
    // Runs within one second would name the same file: the earlier one is
    // given an older stamp.
    auto age = [&](const std::string& stampText) {
        for (const std::string& name :
             filesMatching(dir, "20[3-9][0-9]{11}_TAV_0_FWTrcLog|202[5-9][0-9]{10}_TAV_0_FWTrcLog"))
            rename((dir + "/" + name).c_str(), (dir + "/" + stampText + "_TAV_0_FWTrcLog").c_str());
    };
    age("20230101000000");

    // 4096 + this run's 128 KiB + old traces of 128 KiB each must fit 1 MiB.
    const std::string piece(131072, 'x');
    const std::vector<std::string> old = {"20200101000003_TAV_0_FWTrcLog", "20200101000001_TAV_1_FWTrcLog",
                                          "20200101000002_TAV_0_FWTrcLog", "19990101000000_TAV_0_FWTrcLog",
                                          "20210101000000_TAV_0_FWTrcLog", "20220101000000_TAV_0_FWTrcLog"};
    for (const std::string& name : old) tavtest::writeFile(dir + "/" + name, piece);
    tavtest::writeFile(dir + "/notes.txt", std::string(100000, 'n'));
    ASSERT_EQ(symlink((dir + "/notes.txt").c_str(), (dir + "/10000101000000_TAV_0_FWTrcLog").c_str()), 0);
    r = tavlog({"tav_0_fwtrclog", "autolog", "-AutomaticLog"});
    ASSERT_EQ(r.status, 1) << r.out;
    // 4096 + 100000 + 2 x 131072 new + k old <= 1 MiB: k = 5, the oldest goes.
    EXPECT_FALSE(tavtest::fileExists(dir + "/19990101000000_TAV_0_FWTrcLog"));
    EXPECT_TRUE(tavtest::fileExists(dir + "/20200101000001_TAV_1_FWTrcLog"));
    EXPECT_TRUE(tavtest::fileExists(dir + "/notes.txt"));
    EXPECT_EQ(lstat((dir + "/10000101000000_TAV_0_FWTrcLog").c_str(), &st), 0);
    EXPECT_EQ(filesMatching(dir, "[0-9]{14}_TAV_0_FWTrcLog").size(), 7u);

    age("20240101000000");
    writeConf("MaxAreaSizeForClog: 0x1\n");
    tavtest::writeFile(dir + "/notes.txt", std::string(1100000, 'n'));
    r = tavlog({"tav_0_fwtrclog", "autolog", "-AutomaticLog"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(server_.syslog().find("tavutil: The F/W Trace Log error occurred when the tavlog was executed. "
                                    "Error code: 39. EventID: 04676. Detailedcode: 14ffffff."),
              std::string::npos);
    EXPECT_TRUE(tavtest::fileExists(dir + "/notes.txt"));
    // notes.txt alone exceeds the limit: no removal could help, so every
    // older trace is kept
    for (const std::string& name : old) {
        if (name != "19990101000000_TAV_0_FWTrcLog") {
            EXPECT_TRUE(tavtest::fileExists(dir + "/" + name)) << name;
        }
    }
    EXPECT_TRUE(tavtest::fileExists(dir + "/20230101000000_TAV_0_FWTrcLog"));
    EXPECT_TRUE(tavtest::fileExists(dir + "/20240101000000_TAV_0_FWTrcLog"));
    EXPECT_EQ(filesMatching(dir, "[0-9]{14}_TAV_[0-9]_FWTrcLog").size(), 9u) << "the older traces, this run's and the link";
}

}  // namespace
