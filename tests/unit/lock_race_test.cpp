// The exclusive lock file under interleaving processes. This test program
// puts its own flock() in front of the C library's, so that a child can be
// stopped right before or after the library's flock on the lock file while
// other processes go ahead; the steps are ordered through pipes.
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tavctl.h"
#include "tavctl_testutil.h"
#include "tavtest.h"

using tavctltest::ScratchRoot;

namespace {

const int STEP_TIMEOUT_MS = 20000;
const unsigned CHILD_ALARM_SECONDS = 60;

// One byte from fd, or 0 when nothing came within the step timeout.
char receiveByte(int fd)
{
    struct pollfd p = {fd, POLLIN, 0};
    char c = 0;
    if (poll(&p, 1, STEP_TIMEOUT_MS) != 1 || read(fd, &c, 1) != 1) {
        return 0;
    }
    return c;
}

void sendByte(int fd, char c)
{
    ssize_t ignored = write(fd, &c, 1);
    (void)ignored;
}

// Where the armed flock() stops, in the child that armed it.
struct FlockStop {
    bool armed = false;
    int operation = 0;   // LOCK_EX or LOCK_UN
    bool after = false;  // stop after the real call instead of before it
    int toParent = -1;
    int fromParent = -1;
};
FlockStop g_stop;

bool namesLockFile(int fd)
{
    char link[64], target[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link, target, sizeof target - 1);
    if (length < 0) {
        return false;
    }
    target[length] = '\0';
    const char *root = getenv("TAV_ROOT");
    std::string lockPath = std::string(root != nullptr ? root : "") + "/var/run/libtavctl.pid";
    return strncmp(target, lockPath.c_str(), lockPath.size()) == 0;  // also "... (deleted)"
}

// Tells the parent that the stop is reached and waits for its go.
void stopHere()
{
    sendByte(g_stop.toParent, 's');
    receiveByte(g_stop.fromParent);
}

}  // namespace

extern "C" int flock(int fd, int operation)
{
    using FlockFn = int (*)(int, int);
    static FlockFn real = reinterpret_cast<FlockFn>(dlsym(RTLD_NEXT, "flock"));
    bool hit = g_stop.armed && (operation & ~LOCK_NB) == g_stop.operation && namesLockFile(fd);
    if (hit) {
        g_stop.armed = false;
        if (!g_stop.after) {
            stopHere();
        }
    }
    int result = real(fd, operation);
    int savedErrno = errno;
    if (hit && g_stop.after) {
        stopHere();
    }
    errno = savedErrno;
    return result;
}

namespace {

// A forked process running one step function; talks to the test through
// two pipes and is bounded by an alarm.
class Child {
public:
    // body(toParent, fromParent) returns the exit status.
    explicit Child(const std::function<int(int, int)> &body)
    {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            alarm(CHILD_ALARM_SECONDS);
            close(up[0]);
            close(down[1]);
            _exit(body(up[1], down[0]));
        }
        close(up[1]);
        close(down[0]);
        fromChild_ = up[0];
        toChild_ = down[1];
    }
    ~Child()
    {
        if (pid_ > 0 && status_ < -1) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(fromChild_);
        close(toChild_);
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    char receive() const { return receiveByte(fromChild_); }
    void send(char c) const { sendByte(toChild_, c); }
    // The child's exit status, or -1 when it did not exit normally.
    int wait()
    {
        int status = 0;
        waitpid(pid_, &status, 0);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

private:
    pid_t pid_ = -1;
    int fromChild_ = -1;
    int toChild_ = -1;
    int status_ = -2;
};

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
    g_stop.operation = operation;
    g_stop.after = after;
    g_stop.toParent = toParent;
    g_stop.fromParent = fromParent;
    g_stop.armed = true;
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
