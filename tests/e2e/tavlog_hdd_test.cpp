// tavlog's drive logs under the simulator's drive model: identification,
// log-sense pages, internal logs with their refusals, spinning a stopped
// drive up and down again, and the per-drive lock.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tavlog_fixture.h"
#include "tavtest.h"

namespace {

using tavlogtest::filesMatching;
using tavtest::RunResult;
using tavtest::SimServer;

const char kDrives[] = R"({"adapters":[{"host":2,"model":"ZN5121","drives":[
  {"slot":0,"interface":"SAS","vendor":"FUJITSU","product":"MBA3073RC","revision":"0104","serial":"F00000000001"},
  {"slot":1,"interface":"SAS","vendor":"FUJITSU","product":"MBA3073RC","revision":"0105","serial":"F00000000002","state":"alarm"},
  {"slot":2,"interface":"SAS","vendor":"FUJITSU","product":"MAX3073RC","revision":"0105","serial":"F00000000003"},
  {"slot":3,"interface":"SAS","vendor":"SEAGATE","product":"ST373455SS","revision":"0002","serial":"S00000000004"},
  {"slot":4,"interface":"SAS","vendor":"MORVANE","product":"MBB2147RC","revision":"0104","serial":"B00000000005"},
  {"slot":5,"interface":"SAS","vendor":"TOSHIBA","product":"MBF2300RC","revision":"0109","serial":"T00000000006"}]}]})";

std::string hddFailure(const std::string& cause) {
    return "TAV1005-E The error occurred while gathering the log.\nTAV1006-E Log type : HDD internal Log\n"
           "TAV1007-E Error code : 1117\n" +
           cause;
}

class TavlogHdd : public ::testing::Test {
protected:
    TavlogHdd() : server_(kDrives) {}
    void SetUp() override { ASSERT_TRUE(server_.ok()) << server_.initOutput(); }
    RunResult tavlog(const std::vector<std::string>& args) const {
        std::vector<std::string> argv = {"tavlog"};
        argv.insert(argv.end(), args.begin(), args.end());
        return server_.run(argv);
    }
    nlohmann::json driveModel(int slot) const {
        nlohmann::json shown = nlohmann::json::parse(server_.show());
        for (const auto& d : shown["adapters"][0]["drives"])
            if (d["slot"] == slot) return d["drive_model"];
        return nullptr;
    }
    size_t startStops(int slot) const {
        size_t n = 0;
        nlohmann::json model = driveModel(slot);
        for (const auto& c : model["recent_commands"]) n += c == "0x1B";
        return n;
    }
    SimServer server_;
};

TEST_F(TavlogHdd, InquiryFileNamesTheDrive) {
    RunResult r = tavlog({"TAV_0_HDDInquiry_5", server_.root()});
    ASSERT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.out, "TAV1000-I HDD internal Log Get Success\n");
    auto files = filesMatching(server_.root(), "[0-9]{14}_TAV_0_HDDInquiry_5");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(tavtest::readFile(server_.root() + "/" + files[0]),
              "Vendor ID         : TOSHIBA \nProduct ID        : MBF2300RC       \n"
              "Product Revision  : 0109\nSerial No.        : T00000000006\n");
}

TEST_F(TavlogHdd, RefusalsOfTheInternalLogs) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"TAV_0_HDDLog_DSLog_5"}, 0, "TAV1014-E Specified HDD status is Good. (Adapter number = 0, HDD number = 5)\n"},
        {{"TAV_0_HDDLog_CII_4", "-Force"},
         0,
         "TAV1011-E Specified HDD VenderID is not supported. (Adapter number = 0, HDD number = 4)\n"},
        {{"TAV_0_HDDLog_CLog_2", "-Force"},
         0,
         "TAV1012-E Specified HDD ProductID is not supported. (Adapter number = 0, HDD number = 2)\n"},
        {{"TAV_0_HDDLog_DSLog_0", "-Force"},
         0,
         "TAV1013-E Specified HDD ProductRev is not supported. (Adapter number = 0, HDD number = 0)\n"},
        {{"TAV_0_HDDLog_DSLog_3", "-Force"},
         0,
         hddFailure("HDD vendor to support is Fujitsu or Morvane or Toshiba.\n")},
        {{"TAV_0_HDDInquiry_3"}, 0, hddFailure("HDD vendor to support is Fujitsu or Morvane or Toshiba.\n")},
        {{"TAV_0_HDDLog_DSLog_1"}, 1, "TAV1000-I HDD internal Log Get Success\n"},
        {{"TAV_0_HDDLog_CLog_5", "-Force"}, 1, "TAV1000-I HDD internal Log Get Success\n"},
        {{"TAV_0_HDDLogSense_4"}, 1, "TAV1000-I HDD internal Log Get Success\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {c.args[0], server_.root()};
        args.insert(args.end(), c.args.begin() + 1, c.args.end());
        RunResult r = tavlog(args);
        EXPECT_EQ(r.status, c.status) << c.args[0];
        EXPECT_EQ(r.out, c.out) << c.args[0];
    }
    EXPECT_EQ(filesMatching(server_.root(), "[0-9]{14}_TAV_0_HDD.*").size(), 3u) << "no file for a refusal";
}

TEST_F(TavlogHdd, InternalLogIsReadInPiecesAndPrintedAsLines) {
    RunResult r = tavlog({"TAV_0_HDDLog_DILog_1", server_.root()});
    ASSERT_EQ(r.status, 1) << r.out;
    auto files = filesMatching(server_.root(), "[0-9]{14}_TAV_0_HDDLog_DILog_1");
    ASSERT_EQ(files.size(), 1u);
    std::string text = tavtest::readFile(server_.root() + "/" + files[0]);
    // 0x18000 bytes and the 4-byte head: 0x10000 then 0x8004, one header.
    EXPECT_EQ(text.find("<Drive Internal Log>\n00000000: 02018000"), 0u);
    EXPECT_EQ(text.find("<Drive"), text.rfind("<Drive"));
    const std::string last = "\n00018000: ";
    size_t at = text.find(last);
    ASSERT_NE(at, std::string::npos);
    std::string line = text.substr(at + 1);
    ASSERT_EQ(line.size(), 10u + 32u + 1u + 16u + 1u);
    EXPECT_EQ(line.substr(18, 24), std::string(24, ' ')) << "four bytes, then blanks";
    EXPECT_EQ(line.substr(43, 16).find_first_not_of(' ', 4), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 0x1800 + 1);
}

TEST_F(TavlogHdd, LogSensePagesEachUnderTheirHeader) {
    RunResult r = tavlog({"TAV_0_HDDLogSense_5", server_.root()});
    ASSERT_EQ(r.status, 1) << r.out;
    auto files = filesMatching(server_.root(), "[0-9]{14}_TAV_0_HDDLogSense_5");
    ASSERT_EQ(files.size(), 1u);
    std::string text = tavtest::readFile(server_.root() + "/" + files[0]);
    EXPECT_EQ(text.find("<Page00>\n00000000: 000000070002030d2f3132           ......../12     \n<Page02>\n"), 0u);
    for (const char* page : {"<Page03>\n00000000: ", "<Page0d>\n", "<Page2f>\n", "<Page31>\n", "<Page32>\n"})
        EXPECT_NE(text.find(page), std::string::npos) << page;
}

TEST_F(TavlogHdd, StoppedDriveIsStartedAndStoppedAgainARunningOneLeftRunning) {
    ASSERT_EQ(server_.inject({"drive-stop", "0", "5"}).status, 0);
    RunResult r = tavlog({"TAV_0_HDDLogSense_5", server_.root()});
    ASSERT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(driveModel(5)["stopped"], true);
    EXPECT_EQ(startStops(5), 2u);
    EXPECT_FALSE(tavtest::fileExists(server_.path("/var/run/.tavlogC0H5.lock")));

    r = tavlog({"TAV_0_HDDInquiry_1", server_.root()});
    ASSERT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(driveModel(1)["stopped"], false);
    EXPECT_EQ(startStops(1), 0u);
}

// A running drive whose TEST UNIT READY meets another check condition than
// NOT READY is not taken for stopped: the collection fails and the drive is
// neither started nor stopped.
TEST_F(TavlogHdd, OtherCheckConditionOnTestUnitReadyFailsAndLeavesTheDriveRunning) {
    auto adapterCommands = [&] { return nlohmann::json::parse(server_.show())["adapters"][0]["commands"].get<int>(); };
    int before = adapterCommands();
    ASSERT_EQ(tavlog({"TAV_0_HDDInquiry_1", server_.root()}).status, 1);
    int sent = adapterCommands() - before;
    ASSERT_EQ(driveModel(1)["recent_commands"].back(), "0x00") << "TEST UNIT READY comes last";
    ASSERT_EQ(server_.inject({"pass", std::to_string(sent - 1)}).status, 0);
    ASSERT_EQ(server_.inject({"check-condition", "4", "0x44", "0"}).status, 0);
    RunResult r = tavlog({"TAV_0_HDDInquiry_1", server_.root()});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("TAV1005-E"), std::string::npos) << r.out;
    EXPECT_EQ(driveModel(1)["stopped"], false);
    EXPECT_EQ(startStops(1), 0u);
}

// A collection that fails after the spin-up still stops the drive: here the
// output file exists already (names taken for the coming minute).
TEST_F(TavlogHdd, FailingCollectionStillStopsTheDrive) {
    ASSERT_EQ(server_.inject({"drive-stop", "0", "1"}).status, 0);
    const std::string dir = server_.path("/taken");
    mkdir(dir.c_str(), 0755);
    time_t now = time(nullptr);
    for (int s = -1; s < 60; ++s)
        tavtest::writeFile(dir + "/" + tavlogtest::stamp(now + s) + "_TAV_0_HDDLog_DSLog_1", "theirs");
    RunResult r = tavlog({"TAV_0_HDDLog_DSLog_1", dir});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "TAV1002-E It has already started.\n");
    EXPECT_EQ(driveModel(1)["stopped"], true);
    EXPECT_EQ(startStops(1), 2u);
    EXPECT_EQ(tavtest::readFile(dir + "/" + tavlogtest::stamp(now) + "_TAV_0_HDDLog_DSLog_1"), "theirs");
}

// Every signal that ends the run (SIGTERM, SIGINT, SIGHUP, SIGQUIT) at
// whatever moment of a collection from a stopped drive: the drive ends
// stopped and its lock file gone (a signal before the spin-up ends the run as
// it is; one after it is answered by stopping the drive).
TEST_F(TavlogHdd, TerminatedCollectionLeavesTheDriveStopped) {
    const std::string lock = server_.path("/var/run/.tavlogC0H1.lock");
    const int signals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};
    for (int round = 0; round < 16; ++round) {
        int sig = signals[round % 4];
        ASSERT_EQ(server_.inject({"drive-stop", "0", "1"}).status, 0);
        std::vector<std::string> argv = {
            tavtest::tavsimPath(),   "run", server_.root(), "--", "tavlog", "TAV_0_HDDLog_DILog_1",
            server_.path("/var/lib")};
        pid_t pid = fork();
        if (pid == 0) {
            std::vector<char*> cargv;
            for (auto& a : argv) cargv.push_back(a.data());
            cargv.push_back(nullptr);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            execv(cargv[0], cargv.data());
            _exit(127);
        }
        ASSERT_GT(pid, 0);
        for (int i = 0; i < 100000 && !tavtest::fileExists(lock); ++i) {
        }
        kill(pid, sig);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_EQ(driveModel(1)["stopped"], true) << "round " << round << " signal " << sig;
        EXPECT_FALSE(tavtest::fileExists(lock)) << "round " << round << " signal " << sig;
        unlink(lock.c_str());
    }
}

TEST_F(TavlogHdd, HeldDriveLockRefusesASecondCollector) {
    const std::string lock = server_.path("/var/run/.tavlogC0H5.lock");
    int fd = open(lock.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    for (bool stopped : {false, true}) {
        if (stopped) {
            ASSERT_EQ(server_.inject({"drive-stop", "0", "5"}).status, 0);
        }
        RunResult r = tavlog({"TAV_0_HDDLogSense_5", server_.root()});
        EXPECT_EQ(r.status, 0) << stopped;
        EXPECT_EQ(r.out, "TAV1002-E It has already started.\n") << stopped;
        EXPECT_EQ(startStops(5), 0u) << "the drive is left alone";
    }
    EXPECT_TRUE(tavtest::fileExists(lock)) << "another collector's lock file stays";
    close(fd);
    EXPECT_TRUE(filesMatching(server_.root(), "[0-9]{14}_TAV_0_HDDLogSense_5").empty());
}

TEST_F(TavlogHdd, DriveErrorsAreReportedWithTheirSense) {
    ASSERT_EQ(server_.inject({"drive-check-condition", "0", "5", "3", "0x11", "0"}).status, 0);
    RunResult r = tavlog({"TAV_0_HDDInquiry_5", server_.root()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              hddFailure("Cause of the error is check condition. (Sense key = 0x03, ASC = 0x11, ASCQ = 0x00 )\n"));
    ASSERT_EQ(server_.inject({"drive-busy", "0", "5", "3"}).status, 0);
    r = tavlog({"TAV_0_HDDInquiry_5", server_.root()});
    EXPECT_EQ(r.status, 1) << "busy answers are retried: " << r.out;
    EXPECT_EQ(driveModel(5)["busy_remaining"], 0);
}

}  // namespace
