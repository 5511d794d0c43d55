// The lock-file helper's shared and waiting modes, which no lock of the
// suite uses yet (the exclusive, non-waiting mode is tested through each
// program's lock).
#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "../unit/tavctl_testutil.h"
#include "tavbase/lock.h"
#include "tavtest_lockrace.h"

namespace {

using tavbase::LockFile;
using tavtest::lockrace::Child;

class LockHelper : public ::testing::Test {
protected:
    std::string path() const { return scratch.path("/lock"); }
    tavctltest::ScratchRoot scratch;
};

// Shared holders coexist and keep an exclusive taker out; only the last
// shared holder to leave removes the file.
TEST_F(LockHelper, SharedHoldersCoexistAndTheLastRemovesTheFile)
{
    LockFile first, exclusive;
    ASSERT_EQ(tavbase::LockTake(&first, path().c_str(), 0600, tavbase::kLockShared, nullptr), 1);
    std::string lockPath = path();
    Child other([&](int up, int down) {
        LockFile mine;
        int held = tavbase::LockTake(&mine, lockPath.c_str(), 0600, tavbase::kLockShared, nullptr);
        tavtest::lockrace::sendByte(up, held ? '1' : '0');
        tavtest::lockrace::receiveByte(down);
        tavbase::LockRelease(&mine, 1, nullptr);
        return held;
    });
    ASSERT_EQ(other.receive(), '1');
    const char *call = nullptr;
    EXPECT_EQ(tavbase::LockTake(&exclusive, path().c_str(), 0600, tavbase::kLockExclusive, &call), 0);
    EXPECT_EQ(errno, EWOULDBLOCK);
    other.send('q');
    EXPECT_EQ(other.wait(), 1);
    EXPECT_TRUE(tavtest::fileExists(path())) << "a shared holder removed the file another still holds";
    EXPECT_EQ(tavbase::LockRelease(&first, 1, nullptr), 1);
    EXPECT_FALSE(tavtest::fileExists(path()));
}

// A waiting taker blocks until the holder lets go, then holds the file the
// path names.
TEST_F(LockHelper, AWaitingTakerGetsTheLockWhenItIsReleased)
{
    std::string lockPath = path();
    Child holder([&](int up, int down) {
        LockFile mine;
        int held = tavbase::LockTake(&mine, lockPath.c_str(), 0600, tavbase::kLockExclusive, nullptr);
        tavtest::lockrace::sendByte(up, held ? '1' : '0');
        tavtest::lockrace::receiveByte(down);
        usleep(200000);
        tavbase::LockRelease(&mine, 1, nullptr);
        return held;
    });
    ASSERT_EQ(holder.receive(), '1');
    holder.send('g');
    LockFile waiter;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(tavbase::LockTake(&waiter, path().c_str(), 0600, tavbase::kLockWait, nullptr), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_EQ(holder.wait(), 1);
    struct stat named, held;
    ASSERT_EQ(stat(path().c_str(), &named), 0);
    ASSERT_EQ(fstat(waiter.fd, &held), 0);
    EXPECT_EQ(named.st_ino, held.st_ino) << "the waiter holds the removed file";
    EXPECT_EQ(tavbase::LockRelease(&waiter, 1, nullptr), 1);
}

}  // namespace
