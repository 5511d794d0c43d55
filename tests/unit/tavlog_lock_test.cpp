// tavlog's per-drive lock under interleaving collectors (tavtest_lockrace.h
// stops a collector at its flock on the drive's lock file).
#include <gtest/gtest.h>

#include <sys/file.h>

#include <string>

#include "tavctl.h"
#include "tavlog.h"
#include "tavlog_hdd.h"
#include "tavtest.h"
#include "tavtest_lockrace.h"

namespace {

using tavtest::lockrace::Child;

const char kDriveLock[] = "/var/run/.tavlogC0H1.lock";

// A collector of drive 1: spins it up when it is stopped (holding the drive
// lock), reports '1' when it now holds the lock and '0' otherwise, waits to be
// told, then spins down and releases.
int collector(int up, int down)
{
    if (!initContData(0)) {
        return 2;
    }
    CONTno = 0;
    HDDno = 1;
    int lockFd = -1;
    int on = MotorOn(&lockFd);
    tavtest::lockrace::sendByte(up, on && lockFd >= 0 ? '1' : '0');
    tavtest::lockrace::receiveByte(down);
    if (lockFd >= 0) {
        MotorOff(lockFd);
    }
    finContData();
    return on ? 1 : 0;
}

// A finds drive 1 stopped and spins it up under the lock. B finds it running
// and opens the lock file to check it, but is held before its flock. A stops
// the drive and releases; C finds the drive stopped and spins it up under a
// new lock file. B's check then goes on: it must not count the removed file
// as free and must never remove C's live lock file.
TEST(TavlogDriveLock, AReleaseNeverRemovesAnotherRunsLiveLockFile)
{
    tavtest::SimServer server;
    ASSERT_TRUE(server.ok());
    ASSERT_EQ(server.inject({"drive-stop", "0", "1"}).status, 0);
    server.activate();
    std::string lockPath = server.path(kDriveLock);

    Child first(collector);
    ASSERT_EQ(first.receive(), '1');
    Child checker([](int up, int down) {
        tavtest::lockrace::armStop(kDriveLock, LOCK_EX, false, up, down);
        return collector(up, down);
    });
    ASSERT_EQ(checker.receive(), 's');
    first.send('q');
    EXPECT_EQ(first.wait(), 1);
    Child third(collector);
    ASSERT_EQ(third.receive(), '1');
    ASSERT_TRUE(tavtest::fileExists(lockPath));
    checker.send('g');
    char checked = checker.receive();
    checker.send('q');
    checker.wait();
    EXPECT_EQ(checked, '0');
    EXPECT_TRUE(tavtest::fileExists(lockPath)) << "a check removed the lock file of the run that holds the drive";
    third.send('q');
    EXPECT_EQ(third.wait(), 1);
    EXPECT_FALSE(tavtest::fileExists(lockPath));
}

}  // namespace
