// One pass-through command at a time on the machine: a second caller is
// refused at once, and the exclusion holds across the removal of the lock
// file. Processes are interleaved through pipes at the library's own flock
// calls, so every ordering is forced, never waited for.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tavpth_fixture.h"

using namespace tavpthtest;

namespace {

// A pipe pair for a parent and one child: each side writes one byte to let the
// other go on.
class Handshake {
public:
    Handshake()
    {
        EXPECT_EQ(pipe(toParent_), 0);
        EXPECT_EQ(pipe(toChild_), 0);
    }
    ~Handshake()
    {
        for (int fd : {toParent_[0], toParent_[1], toChild_[0], toChild_[1]}) {
            close(fd);
        }
    }
    void tellParent() { signal(toParent_[1]); }
    void tellChild() { signal(toChild_[1]); }
    bool waitForChild() { return wait(toParent_[0]); }
    bool waitForParent() { return wait(toChild_[0]); }

private:
    static void signal(int fd) { (void)!write(fd, "x", 1); }
    static bool wait(int fd)
    {
        char c;
        return read(fd, &c, 1) == 1;
    }
    int toParent_[2];
    int toChild_[2];
};

// Exit status of a child, or -1.
int reap(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

class Lock : public PassThrough {
protected:
    std::string lockPath() const { return server.path(TAVPAS_LOCK_PATH); }

    uint32_t inquiry(uint8_t drive, Outcome *outcome = nullptr)
    {
        PassThroughInfo info = wrapped(drive, true, {0x12, 0, 0, 0, 48, 0});
        uint8_t data[48];
        uint32_t length = sizeof data;
        Outcome o = run([&](uint8_t *r, uint32_t *rl) { return TavPasInquiry(&info, data, &length, r, rl); });
        if (outcome != nullptr) {
            *outcome = o;
        }
        return o.code;
    }
};

TEST_F(Lock, ASecondCallerIsRefusedAtOnceWhileAnotherProcessIsInsideACommand)
{
    Handshake hand;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Inside its call, with the lock taken: tell the parent, wait for it.
        g_flockSeam = FlockSeam{};
        g_flockSeam.after = [&](int, int result) {
            if (result == 0) {
                hand.tellParent();
                hand.waitForParent();
            }
        };
        _exit(static_cast<int>(inquiry(0)));
    }
    ASSERT_TRUE(hand.waitForChild());
    Outcome refused;
    EXPECT_EQ(inquiry(1, &refused), TAVPAS_LOCKED);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(refused.result.data()), refused.resultLength), "0011flock");
    EXPECT_TRUE(lockFileExists()) << "the holder's file stays";
    EXPECT_EQ(driveModel(1)["commands_received"], 0);
    hand.tellChild();
    EXPECT_EQ(reap(child), 0) << "the first caller's command completes";
    EXPECT_FALSE(lockFileExists());
    EXPECT_EQ(inquiry(1), TAVPAS_OK);
}

// A caller that opened the lock file just before its holder removed it locks
// an orphaned inode, while a third process has created and locked a new file.
// The orphaned lock must not count: the caller sees the new holder and gets 6.
TEST_F(Lock, ALockOnAFileRemovedMeanwhileDoesNotCount)
{
    Handshake hand;
    pid_t holder = -1;
    bool interleaved = false;
    g_flockSeam.before = [&](int) {
        if (interleaved) {
            return;
        }
        interleaved = true;
        // The caller holds a descriptor of the old file; it goes away and a
        // new holder takes a fresh one.
        ASSERT_EQ(unlink(lockPath().c_str()), 0);
        holder = fork();
        if (holder == 0) {
            g_seamOff = true;
            int fd = open(lockPath().c_str(), O_RDWR | O_CREAT, 0700);
            bool locked = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
            hand.tellParent();
            hand.waitForParent();
            _exit(locked ? 0 : 1);
        }
        ASSERT_TRUE(hand.waitForChild());
    };
    Outcome refused;
    uint32_t code = inquiry(2, &refused);
    g_flockSeam = FlockSeam{};
    ASSERT_GT(holder, 0);
    hand.tellChild();
    EXPECT_EQ(reap(holder), 0) << "the new holder had the lock";
    EXPECT_EQ(code, TAVPAS_LOCKED) << "two commands would have run at once";
    EXPECT_EQ(std::string(reinterpret_cast<char *>(refused.result.data()), refused.resultLength), "0011flock");
    EXPECT_EQ(driveModel(2)["commands_received"], 0);
}

// The holder removes the file while it still holds the lock, so whoever
// locks the old inode after the unlock finds the path gone and starts over.
TEST_F(Lock, TheHolderRemovesTheFileBeforeItUnlocks)
{
    int unlocks = 0;
    int removedFirst = 0;
    g_flockSeam.unlock = [&](int) {
        struct stat st;
        ++unlocks;
        removedFirst += stat(lockPath().c_str(), &st) != 0 && errno == ENOENT;
    };
    EXPECT_EQ(inquiry(0), TAVPAS_OK);
    PassThroughInfo refused = wrapped(0, true, {0x12, 0, 0, 0, 48, 0});
    refused.direction = 2;
    EXPECT_EQ(any(refused, nullptr, 0).code, TAVPAS_PARAM_ERROR);
    EXPECT_EQ(unlocks, 2);
    EXPECT_EQ(removedFirst, unlocks);
}

TEST_F(Lock, ALockFileThatCannotBeMadeIsASystemError)
{
    std::string runDir = server.path("/var/run");
    ASSERT_EQ(rename(runDir.c_str(), (runDir + ".away").c_str()), 0);
    Outcome o;
    EXPECT_EQ(inquiry(0, &o), TAVPAS_SYSTEM_ERROR);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(o.result.data()), o.resultLength), "0002open");
    ASSERT_EQ(rename((runDir + ".away").c_str(), runDir.c_str()), 0);
}

}  // namespace
