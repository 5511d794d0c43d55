// The service's schedule lock and pid file under interleaving processes
// (tavtest_lockrace.h stops a child at its flock on the lock file).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

#include "../unit/tavctl_testutil.h"
#include "tavservice.h"
#include "tavtest_lockrace.h"

namespace {

using tavtest::lockrace::Child;

const char kScheduleLock[] = "/var/run/libtavccsch.pid";
const int kHeld = 1;
const int kRefused = 0;

// Takes the schedule lock, reports it ('1' held, '0' not) and, when held,
// keeps it until told, then releases it.
int holdScheduleLock(int up, int down)
{
    int held = get_mutex_CCSch() == 0;
    tavtest::lockrace::sendByte(up, held ? '1' : '0');
    if (!held) {
        return kRefused;
    }
    tavtest::lockrace::receiveByte(down);
    del_mutex_CCSch();
    return kHeld;
}

class ServiceLocks : public ::testing::Test {
protected:
    void SetUp() override { scratch.makeDirs("/var/run"); }
    tavctltest::ScratchRoot scratch;
};

// W opens the holder's file, the holder removes it and unlocks, then W's
// flock succeeds on the removed file. W must take the lock anew on the file
// the path names, so that a third taker is refused while W holds it.
TEST_F(ServiceLocks, ScheduleLockOnARemovedFileIsTakenAgain)
{
    Child holder(holdScheduleLock);
    ASSERT_EQ(holder.receive(), '1');
    Child waiter([](int up, int down) {
        tavtest::lockrace::armStop(kScheduleLock, LOCK_EX, false, up, down);
        return holdScheduleLock(up, down);
    });
    ASSERT_EQ(waiter.receive(), 's');
    holder.send('q');
    EXPECT_EQ(holder.wait(), kHeld);
    waiter.send('g');
    ASSERT_EQ(waiter.receive(), '1');
    Child third(holdScheduleLock);
    char thirdOutcome = third.receive();
    if (thirdOutcome == '1') {
        third.send('q');
    }
    EXPECT_EQ(thirdOutcome, '0') << "two processes hold the schedule lock";
    third.wait();
    waiter.send('q');
    EXPECT_EQ(waiter.wait(), kHeld);
    EXPECT_FALSE(tavtest::fileExists(scratch.path(kScheduleLock)));
}

// Links, hard links and FIFOs at the lock path: refused at once, their
// targets neither created, nor changed, nor given the lock file's mode.
TEST_F(ServiceLocks, PlantsAtTheScheduleLockAreRefusedUntouched)
{
    std::string lock = scratch.path(kScheduleLock);
    std::string target = scratch.path("/target");
    struct Plant {
        const char *name;
        std::function<int()> make;
    };
    const Plant plants[] = {
        {"symbolic link", [&] { return symlink(target.c_str(), lock.c_str()); }},
        {"dangling link", [&] { return symlink((target + ".none").c_str(), lock.c_str()); }},
        {"hard link", [&] { return link(target.c_str(), lock.c_str()); }},
        {"FIFO", [&] { return mkfifo(lock.c_str(), 0644); }},
    };
    for (const Plant &plant : plants) {
        SCOPED_TRACE(plant.name);
        tavtest::writeFile(target, "root's file\n");
        ASSERT_EQ(chmod(target.c_str(), 0644), 0);
        ASSERT_EQ(plant.make(), 0);
        Child taker([](int, int) { return get_mutex_CCSch() == 0 ? kHeld : kRefused; });
        EXPECT_EQ(taker.wait(), kRefused);
        struct stat st;
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0644u);
        EXPECT_EQ(tavtest::readFile(target), "root's file\n");
        EXPECT_FALSE(tavtest::fileExists(target + ".none"));
        unlink(lock.c_str());
    }
}

}  // namespace
