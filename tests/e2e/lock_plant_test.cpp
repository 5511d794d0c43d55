// Symbolic links, hard links and FIFOs planted at the lock files of the
// programs: never followed, never given the lock file's mode, never hung on.
// The program refuses (or goes on without the lock where that is its way)
// and the planted target stays as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tavtest.h"

namespace {

using tavtest::RunResult;
using tavtest::SimServer;

const char kBound[] = "30";  // seconds a run may take before it counts as hung

struct LockCase {
    const char *lockFile;  // below the server's root
    std::vector<std::string> argv;
    bool stopDrive1;  // the drive log needs a stopped drive to take its lock
};

void PrintTo(const LockCase &c, std::ostream *os) { *os << c.lockFile; }

struct Plant {
    const char *name;
    std::function<int(const std::string &target, const std::string &at)> make;
};

const Plant kPlants[] = {
    {"symbolic link", [](const std::string &t, const std::string &at) { return symlink(t.c_str(), at.c_str()); }},
    {"dangling link",
     [](const std::string &t, const std::string &at) { return symlink((t + ".none").c_str(), at.c_str()); }},
    {"hard link", [](const std::string &t, const std::string &at) { return link(t.c_str(), at.c_str()); }},
    {"FIFO", [](const std::string &, const std::string &at) { return mkfifo(at.c_str(), 0644); }},
};

class LockPlant : public ::testing::TestWithParam<LockCase> {};

TEST_P(LockPlant, IsNeitherFollowedNorHungOn) {
    const LockCase &c = GetParam();
    for (const Plant &plant : kPlants) {
        SCOPED_TRACE(plant.name);
        SimServer server;
        ASSERT_TRUE(server.ok());
        if (c.stopDrive1) {
            ASSERT_EQ(server.inject({"drive-stop", "0", "1"}).status, 0);
        }
        std::string target = server.path("/target");
        std::string at = server.path(c.lockFile);
        tavtest::writeFile(target, "root's file\n");
        ASSERT_EQ(chmod(target.c_str(), 0644), 0);
        ASSERT_EQ(plant.make(target, at), 0);
        std::vector<std::string> argv{"timeout",
                                      kBound,
                                      tavtest::tavsimPath(),
                                      "run",
                                      server.root(),
                                      "--",
                                      server.path("/opt/morvane/tavutility/" + c.argv[0])};
        argv.insert(argv.end(), c.argv.begin() + 1, c.argv.end());
        RunResult r = tavtest::runCommand(argv);
        EXPECT_NE(r.status, 124) << "hung on the planted " << plant.name;
        struct stat st;
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0644u) << r.out;
        EXPECT_EQ(tavtest::readFile(target), "root's file\n") << r.out;
        EXPECT_FALSE(tavtest::fileExists(target + ".none")) << r.out;
        struct stat planted;
        EXPECT_EQ(lstat(at.c_str(), &planted), 0) << "the plant was removed: " << r.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Locks, LockPlant,
    ::testing::Values(
        LockCase{"/var/run/libtavctl.pid", {"tavcli", "-AdpCount"}, false},
        LockCase{"/var/run/libtavccsch.pid", {"tavcli", "-CCSchSet", "-T07", "-ESU", "-L0", "-a0", "-nochk"}, false},
        LockCase{"/var/run/.libtavpth.lock", {"tavpth", "PDOneSectorRead", "0", "1", "0"}, false},
        LockCase{"/var/run/.tavlogC0H1.lock", {"tavlog", "TAV_0_HDDInquiry_1", "/tmp"}, true}),
    [](const ::testing::TestParamInfo<LockCase> &info) {
        std::string name = info.param.argv[0] + "_" + std::to_string(info.index);
        return name;
    });

}  // namespace
