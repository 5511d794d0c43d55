// The exclusive lock file under interleaving processes (tavtest_lockrace.h
// stops a child at the library's flock on the lock file).
#include <sys/file.h>

#include <gtest/gtest.h>

#include <string>

#include "tavctl.h"
#include "tavctl_testutil.h"
#include "tavtest.h"
#include "tavtest_lockrace.h"

using tavctltest::ScratchRoot;
using tavtest::lockrace::Child;
using tavtest::lockrace::receiveByte;
using tavtest::lockrace::sendByte;

namespace {

// Exit statuses of an exclusive start-up.
const int REFUSED_AS_LOCKED = 0;
const int GOT_THE_LOCK = 1;
const int OTHER_FAILURE = 2;

int exclusiveStartUp()
{
    if (initContData(1) == 1) {
        return GOT_THE_LOCK;
    }
    return DLLGetLastError() == 0x4000u ? REFUSED_AS_LOCKED : OTHER_FAILURE;
}

void armStop(int operation, bool after, int toParent, int fromParent)
{
    tavtest::lockrace::armStop("/var/run/libtavctl.pid", operation, after, toParent, fromParent);
}

// Takes the lock, reports the outcome ('1' held, '0' not), then holds it
// until told 'q' and closes the library.
int holdUntilTold(int toParent, int fromParent)
{
    int outcome = exclusiveStartUp();
    sendByte(toParent, outcome == GOT_THE_LOCK ? '1' : '0');
    if (outcome != GOT_THE_LOCK) {
        return outcome;
    }
    receiveByte(fromParent);
    return finContData() == 1 ? GOT_THE_LOCK : OTHER_FAILURE;
}

class LockRace : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratch.makeDirs("/var/run");
        scratch.makeDirs("/proc/scsi/tavdrv");
        lockPath = scratch.path("/var/run/libtavctl.pid");
    }

    // A third process asking for exclusive use while the holder runs.
    static int thirdUser()
    {
        Child third([](int, int) { return exclusiveStartUp(); });
        return third.wait();
    }

    bool lockIsHeld() const { return tavctltest::lockIsHeld(lockPath); }

    ScratchRoot scratch;
    std::string lockPath;
};

// A creates the file, B opens it and locks it first: A is refused and
// leaves B's file in place, so a third user is refused too.
TEST_F(LockRace, CreatorThatLosesTheLockLeavesTheHoldersFile)
{
    Child creator([](int up, int down) {
        armStop(LOCK_EX, false, up, down);
        return exclusiveStartUp();
    });
    ASSERT_EQ(creator.receive(), 's');
    ASSERT_TRUE(tavtest::fileExists(lockPath));
    Child holder(holdUntilTold);
    ASSERT_EQ(holder.receive(), '1');
    creator.send('g');
    EXPECT_EQ(creator.wait(), REFUSED_AS_LOCKED);
    EXPECT_TRUE(tavtest::fileExists(lockPath)) << "the refused creator removed the holder's file";
    EXPECT_TRUE(lockIsHeld());
    EXPECT_EQ(thirdUser(), REFUSED_AS_LOCKED);
    holder.send('q');
    EXPECT_EQ(holder.wait(), GOT_THE_LOCK);
}

// W opens the holder's file, the holder closes and removes it, then W's
// flock succeeds on the removed file: W must take the lock anew on a file
// the path names, so a third user is refused.
TEST_F(LockRace, LockOnARemovedFileIsTakenAgain)
{
    Child holder(holdUntilTold);
    ASSERT_EQ(holder.receive(), '1');
    Child waiter([](int up, int down) {
        armStop(LOCK_EX, false, up, down);
        return holdUntilTold(up, down);
    });
    ASSERT_EQ(waiter.receive(), 's');
    holder.send('q');
    EXPECT_EQ(holder.wait(), GOT_THE_LOCK);
    waiter.send('g');
    ASSERT_EQ(waiter.receive(), '1');
    EXPECT_TRUE(lockIsHeld()) << "the waiter holds a file that the path no longer names";
    EXPECT_EQ(thirdUser(), REFUSED_AS_LOCKED);
    waiter.send('q');
    EXPECT_EQ(waiter.wait(), GOT_THE_LOCK);
    EXPECT_FALSE(tavtest::fileExists(lockPath));
}

// The holder stops right after its unlock in finContData while W takes the
// lock: the file W holds must still be named by the path afterwards.
TEST_F(LockRace, HolderRemovesItsFileBeforeUnlocking)
{
    Child holder([](int up, int down) {
        armStop(LOCK_UN, true, up, down);
        return holdUntilTold(up, down);
    });
    ASSERT_EQ(holder.receive(), '1');
    holder.send('q');
    ASSERT_EQ(holder.receive(), 's');
    Child waiter(holdUntilTold);
    ASSERT_EQ(waiter.receive(), '1');
    holder.send('g');
    EXPECT_EQ(holder.wait(), GOT_THE_LOCK);
    EXPECT_TRUE(lockIsHeld()) << "the holder removed the file the waiter holds";
    EXPECT_EQ(thirdUser(), REFUSED_AS_LOCKED);
    waiter.send('q');
    EXPECT_EQ(waiter.wait(), GOT_THE_LOCK);
}

}  // namespace
