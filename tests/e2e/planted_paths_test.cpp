// Every file the suite writes, with something planted where it would go: a
// symbolic link to another file (or directory), a dangling link, a hard link
// to another file, a FIFO. The program must neither follow nor write through
// the plant, nor hang on it: the other file keeps its bytes and mode, the
// dangling link's target is never created, nothing lands in the directory a
// link points at, and every run ends by itself.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <functional>

#include "perform_text.h"
#include "tavservice_fixture.h"

namespace {

using namespace svctest;

enum class Plant { Link, Dangling, HardLink, Fifo };

const char* nameOf(Plant p) {
    switch (p) {
    case Plant::Link: return "link";
    case Plant::Dangling: return "dangling link";
    case Plant::HardLink: return "hard link";
    default: return "FIFO";
    }
}

const char kVictimText[] = "another file's bytes\n";
constexpr mode_t kVictimMode = 0640;
constexpr int kKilledByTimeout = 128 + SIGKILL;

// One way into a path: what to plant where, and the run that writes there.
struct Scene {
    const char* what;
    const char* at;                                                  // the planted path below the root
    bool directory;                                                  // the program expects a directory there
    std::function<void(const SimServer&, const std::string&)> prepare;  // before planting
    std::function<bool(const SimServer&, const std::string&)> run;      // false when the program hung
};

bool emptyDirectory(const std::string& path) {
    DIR* d = opendir(path.c_str());
    if (d == nullptr) return false;
    int entries = 0;
    while (dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) ++entries;
    closedir(d);
    return entries == 0;
}

// A program under the simulator in the working directory WORK, killed when it
// has not ended after 20 seconds; false then. Its output goes nowhere, so a
// program left blocked cannot hold the test up either.
bool runBounded(const SimServer& server, const std::string& work, const std::vector<std::string>& argv) {
    std::string command = "cd '" + work + "' && exec timeout -s KILL 20 '" + tavtest::tavsimPath() + "' run '" +
                          server.root() + "' --";
    for (const auto& a : argv) command += " '" + a + "'";
    return tavtest::runCommand({"sh", "-c", command + " >/dev/null 2>&1"}).status != kKilledByTimeout;
}

std::function<bool(const SimServer&, const std::string&)> program(std::vector<std::string> argv) {
    return [argv](const SimServer& server, const std::string& work) {
        std::vector<std::string> full = argv;
        full[0] = server.path("/opt/morvane/tavutility/" + argv[0]);
        for (auto& a : full)
            if (a.rfind("-f@", 0) == 0) a = "-f" + work + "/" + a.substr(3);
        for (auto& a : full)
            if (a.rfind("@", 0) == 0) a = work + "/" + a.substr(1);
        return runBounded(server, work, full);
    };
}

// The service in the foreground until it reports its start-up done.
bool serviceStarts(const SimServer& server, const std::string&) {
    Service service(server, {"-d", "-t", "1"});
    return logged(server, kStarted);
}

void dumpConfs(const SimServer& server, const std::string&) {
    writeConf(server, "tavlog.conf", "DumpDir : " + server.path("/dumps") + "\nPtime : 1\n");
    writeConf(server, "eventid.conf", "0 : 9999\n");
    ASSERT_EQ(server.inject({"dump", "0", "1000"}).status, 0);
}

void idleRequest(const SimServer& server, const std::string&) {
    tavtest::writeFile(server.path("/opt/morvane/tavutility/conf/performance.conf"), tavtest::kIdlePerformanceText);
}

const std::vector<std::string> kPfmAuto = {"tavcli", "-Pfm", "-auto", "-a0", "-L0", "-txt", "-int0010", "-freq6",
                                           "-f@stats.txt"};
const std::vector<std::string> kCCSchSet = {"tavcli", "-CCSchSet", "-T07", "-ESU", "-L0", "-a0", "-nochk"};

const std::vector<Scene>& scenes() {
    static const std::vector<Scene> all = {
        {"tavcli trace log", "/opt/morvane/tavutility/tavcli.log", false, nullptr,
         program({"tavcli", "-LDInfo", "-L0", "-a0"})},
        {"schedule file", "/opt/morvane/tavutility/conf/ccschedule.conf", false, nullptr, program(kCCSchSet)},
        {"schedule file's old temporary name", "/opt/morvane/tavutility/conf/ccschedule.conf.tmp", false, nullptr,
         program(kCCSchSet)},
        {"statistics request", "/opt/morvane/tavutility/conf/performance.conf", false, nullptr, program(kPfmAuto)},
        {"statistics request's old temporary name", "/opt/morvane/tavutility/conf/performance.conf.tmp", false,
         idleRequest, program(kPfmAuto)},
        {"-Pfm -f output file", "/work/stats.txt", false, idleRequest, program(kPfmAuto)},
        {"tavpth mode-page file", "/work/Cnt0Dev3.txt", false, nullptr,
         program({"tavpth", "PDPrintModePage", "0", "3", "7F", "00", "20"})},
        {"tavpth D output file", "/work/sector.bin", false, nullptr,
         program({"tavpth", "D", "0", "0", "7", "@sector.bin"})},
        {"DumpDir", "/dumps", true, dumpConfs, serviceStarts},
        {"dump controller directory", "/dumps/contno0", true,
         [](const SimServer& s, const std::string& w) {
             dumpConfs(s, w);
             mkdir(s.path("/dumps").c_str(), 0755);
         },
         serviceStarts},
        {"first dump", "/dumps/contno0/dump0", false,
         [](const SimServer& s, const std::string& w) {
             dumpConfs(s, w);
             tavtest::runCommand({"mkdir", "-p", s.path("/dumps/contno0")});
         },
         serviceStarts},
        {"later dump", "/dumps/contno0/dump", false,
         [](const SimServer& s, const std::string& w) {
             dumpConfs(s, w);
             tavtest::runCommand({"mkdir", "-p", s.path("/dumps/contno0")});
             tavtest::writeFile(s.path("/dumps/contno0/dump0"), "first dump\n");
         },
         serviceStarts},
        {"tavlog.conf read by the service", "/opt/morvane/tavutility/conf/tavlog.conf", false, nullptr,
         serviceStarts},
        {"tavlog.conf read by tavlog", "/opt/morvane/tavutility/conf/tavlog.conf", false,
         [](const SimServer&, const std::string& w) { mkdir((w + "/out").c_str(), 0755); },
         program({"tavlog", "TAV_0_RaidLog", "@out"})},
        {"eventid.conf read by the service", "/opt/morvane/tavutility/conf/eventid.conf", false, nullptr,
         serviceStarts},
    };
    return all;
}

class PlantedPaths : public ::testing::TestWithParam<Plant> {};

TEST_P(PlantedPaths, NeitherFollowedNorWrittenThroughNorWaitedOn) {
    const Plant plant = GetParam();
    for (const Scene& scene : scenes()) {
        if (plant == Plant::HardLink && scene.directory) continue;  // no hard links to directories
        SCOPED_TRACE(std::string(scene.what) + " <- " + nameOf(plant));
        SimServer server;
        ASSERT_TRUE(server.ok());
        const std::string work = server.path("/work");
        ASSERT_EQ(mkdir(work.c_str(), 0755), 0);
        if (scene.prepare) scene.prepare(server, work);
        const std::string at = server.path(scene.at);
        unlink(at.c_str());
        const std::string victim = server.path("/victim.txt"), victimDir = server.path("/victim-dir");
        const std::string absent = server.path("/created-through-a-link");
        tavtest::writeFile(victim, kVictimText);
        ASSERT_EQ(chmod(victim.c_str(), kVictimMode), 0);
        ASSERT_EQ(mkdir(victimDir.c_str(), 0750), 0);
        switch (plant) {
        case Plant::Link: ASSERT_EQ(symlink((scene.directory ? victimDir : victim).c_str(), at.c_str()), 0); break;
        case Plant::Dangling: ASSERT_EQ(symlink(absent.c_str(), at.c_str()), 0); break;
        case Plant::HardLink: ASSERT_EQ(link(victim.c_str(), at.c_str()), 0); break;
        case Plant::Fifo: ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); break;
        }

        EXPECT_TRUE(scene.run(server, work)) << "the program hung";

        EXPECT_EQ(tavtest::readFile(victim), kVictimText);
        struct stat st;
        ASSERT_EQ(stat(victim.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, kVictimMode);
        EXPECT_TRUE(emptyDirectory(victimDir));
        EXPECT_FALSE(tavtest::fileExists(absent));
        const std::string requestFile = server.path("/opt/morvane/tavutility/conf/performance.conf");
        struct stat request;
        if (lstat(requestFile.c_str(), &request) == 0 && S_ISREG(request.st_mode)) {
            EXPECT_EQ(tavtest::readFile(requestFile).find(victim), std::string::npos)
                << "a request names the link's target";
        }
        struct stat planted;
        bool present = lstat(at.c_str(), &planted) == 0;
        if (plant == Plant::Link || plant == Plant::Dangling) {
            EXPECT_TRUE(present && S_ISLNK(planted.st_mode)) << "the link was replaced or removed";
        }
        if (plant == Plant::Fifo) {
            EXPECT_TRUE(present && S_ISFIFO(planted.st_mode)) << "the FIFO was replaced or removed";
        }
        std::cout << "[ outcome  ] " << scene.what << " <- " << nameOf(plant)
                  << (present ? (plant == Plant::HardLink && planted.st_nlink == 1 ? ": replaced by a new file"
                                                                                    : ": left in place")
                              : ": removed")
                  << "\n";
    }
}

INSTANTIATE_TEST_SUITE_P(Plants, PlantedPaths,
                         ::testing::Values(Plant::Link, Plant::Dangling, Plant::HardLink, Plant::Fifo),
                         [](const ::testing::TestParamInfo<Plant>& info) {
                             std::string name = nameOf(info.param);
                             for (auto& c : name)
                                 if (c == ' ') c = '_';
                             return name;
                         });

}  // namespace
