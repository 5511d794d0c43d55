// tavservice firmware dumps (at start, after a micro-reboot, an incomplete
// dump reported by the event log) and the adapter clock.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <signal.h>
#include <sys/stat.h>

#include "tavservice_fixture.h"

namespace {

using namespace svctest;

void writeConfs(const SimServer& server, const std::string& dumpDir) {
    writeConf(server, "tavlog.conf", "DumpDir : " + dumpDir + "\nPtime : 1\n");
    writeConf(server, "eventid.conf", "0 : 9999\n");
}

void inject(const SimServer& server, const std::vector<std::string>& args) {
    auto r = server.inject(args);
    ASSERT_EQ(r.status, 0) << r.err;
}

// The bytes the simulated adapter serves for dump data and memory at `base`.
std::string pattern(uint32_t base, uint32_t length) {
    std::string out(length, '\0');
    for (uint32_t i = 0; i < length; ++i) out[i] = static_cast<char>(((base + i) >> 9) ^ (base + i));
    return out;
}

off_t sizeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// The system-log lines about dumps.
std::vector<std::string> dumpLines(const SimServer& server) {
    std::vector<std::string> out;
    for (const auto& line : messages(server))
        if (line.find("Dump") != std::string::npos) out.push_back(line);
    return out;
}

const char kCreated[] = "tavutil: Controller [0] Dump file was created. EventID: 00268.";

}  // namespace

// The first dump lands in dump0, every later one replaces dump; a size of
// 1000 bytes gives a file of two whole blocks.
TEST(TavserviceDump, DumpAtStartGoesToDump0ThenDump) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    std::string dir = server.path("/dumps");
    writeConfs(server, dir);
    inject(server, {"dump", "0", "1000"});
    {
        Service service(server, {"-d", "-t", "1"});
        ASSERT_TRUE(logged(server, kStarted));
    }
    EXPECT_EQ(countOf(syslogOf(server), kCreated), 1u);
    EXPECT_EQ(tavtest::readFile(dir + "/contno0/dump0"), pattern(0, 1024));
    EXPECT_FALSE(tavtest::fileExists(dir + "/contno0/dump"));
    struct stat st;
    ASSERT_EQ(stat((dir + "/contno0").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);  // searchable: the dumps in it are 0644
    inject(server, {"dump", "0", "1536"});
    {
        Service service(server, {"-d", "-t", "1"});
        ASSERT_TRUE(logged(server, kStarted, 2));
    }
    EXPECT_EQ(countOf(syslogOf(server), kCreated), 2u);
    EXPECT_EQ(sizeOf(dir + "/contno0/dump0"), 1024);
    EXPECT_EQ(tavtest::readFile(dir + "/contno0/dump"), pattern(0, 1536));
}

// A copy cut short (here by the service's file size limit, which ends the
// service in the middle of a write) leaves the previous dump whole under its
// name; the next collection replaces it whole.
TEST(TavserviceDump, CopyCutShortKeepsThePreviousDump) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    std::string dir = server.path("/dumps");
    writeConfs(server, dir);
    tavtest::runCommand({"mkdir", "-p", dir + "/contno0"});
    tavtest::writeFile(dir + "/contno0/dump0", "first dump\n");
    tavtest::writeFile(dir + "/contno0/dump", "previous dump\n");
    inject(server, {"dump", "0", "1048576"});
    auto cut = tavtest::runCommand({"timeout", "-s", "KILL", "60", "prlimit", "--fsize=524288", tavtest::tavsimPath(),
                                    "run", server.root(), "--", server.path("/opt/morvane/tavutility/tavservice"),
                                    "-d", "-t", "1"});
    EXPECT_NE(cut.status, 128 + SIGKILL) << "the service was to end at the size limit";
    EXPECT_TRUE(tavtest::readFile(dir + "/contno0/dump") == "previous dump\n")
        << "dump holds " << sizeOf(dir + "/contno0/dump") << " bytes";
    EXPECT_EQ(countOf(syslogOf(server), kCreated), 0u);
    {
        Service service(server, {"-d", "-t", "1"});
        ASSERT_TRUE(logged(server, kCreated));
    }
    EXPECT_TRUE(tavtest::readFile(dir + "/contno0/dump") == pattern(0, 1048576))
        << "dump holds " << sizeOf(dir + "/contno0/dump") << " bytes";
    EXPECT_EQ(tavtest::runCommand({"ls", "-A", dir + "/contno0"}).out, "dump\ndump0\n");
}

TEST(TavserviceDump, DumpStatusDecidesWhatHappens) {
    struct Case {
        const char* status;
        std::string line;  // "" for no message
    };
    const Case cases[] = {
        {"0", ""},
        {"2", ""},
        {"5", "daemon.err tavutil: Controller [0] Dump status is invalid. EventID: 00260. Detailedcode: 14ffffff."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        SimServer server;
        ASSERT_TRUE(server.ok());
        writeConfs(server, server.path("/dumps"));
        inject(server, {"dump", "0", "1000", c.status});
        Service service(server, {"-d", "-t", "1"});
        ASSERT_TRUE(logged(server, kStarted));
        EXPECT_EQ(dumpLines(server), c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
        EXPECT_FALSE(tavtest::fileExists(server.path("/dumps")));
    }
}

TEST(TavserviceDump, DumpDirectoryThatIsAFileFailsEveryCollection) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    std::string file = server.path("/dumps");
    tavtest::writeFile(file, "not a directory");
    writeConfs(server, file);
    inject(server, {"dump", "0", "1000"});
    inject(server, {"event", "0", "35", "0", "0", "238=2"});
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, kStarted));
    // the start-up dump, then the incomplete dump in each cycle: the entry stays until it can be saved
    EXPECT_TRUE(logged(server, "tavutil: Controller [0] Dump file was not created. EventID: 00269.", 3));
    auto show = nlohmann::json::parse(server.show());
    EXPECT_EQ(show["adapters"][0]["event_log"]["pending"], 1);
    EXPECT_EQ(tavtest::readFile(file), "not a directory");
}

// An incomplete dump reported by the event log is saved whole (2 MiB) in dump1.
TEST(TavserviceDump, IncompleteDumpFromTheEventLog) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    std::string dir = server.path("/dumps");
    writeConfs(server, dir);
    inject(server, {"event", "0", "35", "0", "0", "238=2"});
    inject(server, {"event", "0", "35", "0", "0", "238=1"});  // no dump announced
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, kCreated));
    EXPECT_EQ(tavtest::readFile(dir + "/contno0/dump1"), pattern(0, 0x200000));
    ASSERT_TRUE(
        waitFor([&] { return nlohmann::json::parse(server.show())["adapters"][0]["event_log"]["pending"] == 0; }));
    EXPECT_EQ(countOf(syslogOf(server), kCreated), 1u);
}

// A micro-reboot announced by the driver: 1 MiB of firmware memory from 0x1800000 (ZN5121).
TEST(TavserviceDump, MicroRebootDumpCopiesTheMemoryWindow) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    std::string dir = server.path("/dumps");
    writeConfs(server, dir);
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, kStarted));
    inject(server, {"micro-reboot", "0"});
    ASSERT_TRUE(logged(server, kCreated));
    EXPECT_EQ(tavtest::readFile(dir + "/contno0/dump0"), pattern(0x1800000, 0x100000));
}

// The clock is set at start from the local time.
TEST(TavserviceDump, ClockIsSetAtStart) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeConfs(server, server.path("/dumps"));
    EXPECT_TRUE(nlohmann::json::parse(server.show())["adapters"][0]["clock"].is_null());
    auto env = fakeTime("@2025-03-04 05:06:07");
    env.push_back("TZ=UTC");
    Service service(server, {"-d", "-t", "1"}, env);
    ASSERT_TRUE(logged(server, kStarted));
    std::string clock = nlohmann::json::parse(server.show())["adapters"][0]["clock"];
    EXPECT_EQ(clock.substr(0, 16), "2025-03-04 05:06") << clock;
    EXPECT_EQ(countOf(syslogOf(server), "EventID: 04760."), 0u);
}

// The clock is set again once the poll intervals of the processing cycles
// add up to more than four hours: with 60-second ticks, in the 241st cycle.
TEST(TavserviceDump, ClockIsSetAgainAfterFourHours) {
    SimServer server;
    ASSERT_TRUE(server.ok());
    writeConfs(server, server.path("/dumps"));
    Service service(server, {"-d", "-t", "60"}, fakeTime("+0 x20000"));
    ASSERT_TRUE(logged(server, kStarted));
    auto driverInfo = [&] {
        return nlohmann::json::parse(server.show())["adapters"][0]["driver_info_requests"].get<int>();
    };
    ASSERT_TRUE(waitFor([&] { return driverInfo() >= 245; }, 120));
    std::string trace = tavtest::readFile(server.path("/opt/morvane/tavutility/tavservice.log"));
    size_t first = trace.find("SetTraidClock CALL");
    size_t second = trace.find("SetTraidClock CALL", first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(trace.find("SetTraidClock CALL", second + 1), std::string::npos);
    EXPECT_EQ(countOf(trace.substr(0, second), "ProcessLogs CALL"), 241u);
}

// Message variant 1 (a ZN5120 in a server of group 1) leaves the controller
// out of the dump messages and changes their priorities.
TEST(TavserviceDump, MessageVariant1) {
    struct Case {
        std::vector<std::string> dump;
        bool dumpDirIsFile;
        std::string line;
    };
    const Case cases[] = {
        {{"dump", "0", "512"}, false, "daemon.info tavutil: Dump file was created. EventID: 00268."},
        {{"dump", "0", "512", "3"},
         false,
         "daemon.err tavutil: Dump status is invalid. EventID: 00260. Detailedcode: 14ffffff."},
        {{"dump", "0", "512"}, true, "daemon.info tavutil: Dump file was not created. EventID: 00269."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        SimServer server(R"({"adapters":[{"host":2,"model":"ZN5120","drives":[{"slot":0,"interface":"SAS"}]}]})");
        ASSERT_TRUE(server.ok()) << server.initOutput();
        std::string dir = server.path("/dumps");
        if (c.dumpDirIsFile) tavtest::writeFile(dir, "file");
        writeConfs(server, dir);
        inject(server, c.dump);
        Service service(server, {"-d", "-t", "1"});
        ASSERT_TRUE(logged(server, kStarted));
        EXPECT_EQ(dumpLines(server), std::vector<std::string>{c.line});
    }
}

// On a generation-0 adapter (model code 8) the window starts at 0xF00000 and
// is read by address.
TEST(TavserviceDump, MicroRebootDumpOfAGeneration0Adapter) {
    SimServer server(R"({"adapters":[{"host":2,"model":"ZN5120","drives":[{"slot":0,"interface":"SAS"}]}],
                         "system_version":"OTHER"})");
    ASSERT_TRUE(server.ok()) << server.initOutput();
    std::string dir = server.path("/dumps");
    writeConfs(server, dir);
    inject(server, {"micro-reboot", "0"});
    Service service(server, {"-d", "-t", "1"});
    ASSERT_TRUE(logged(server, kCreated));
    EXPECT_EQ(tavtest::readFile(dir + "/contno0/dump0"), pattern(0xF00000, 0x100000));
}
