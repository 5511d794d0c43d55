// Tkbhit with standard input that is not a terminal: a byte waiting on a
// pipe is a key and is consumed; an empty pipe, an ended one and /dev/null
// give no key, and nothing ever blocks; waiting for a key sleeps instead of
// returning at once when no byte can come.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "tavcli_kbhit.h"

namespace {

// Puts a descriptor on standard input while alive and takes it back.
class OnStdin {
public:
    explicit OnStdin(int fd) : saved_(dup(STDIN_FILENO)) { EXPECT_GE(dup2(fd, STDIN_FILENO), 0); }
    ~OnStdin()
    {
        dup2(saved_, STDIN_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

// A pipe holding the text; the writing end stays open unless closeWriter.
struct Pipe {
    Pipe(const char *text, bool closeWriter)
    {
        EXPECT_EQ(pipe(fds), 0);
        EXPECT_EQ(write(fds[1], text, strlen(text)), ssize_t(strlen(text)));
        if (closeWriter) {
            close(fds[1]);
            fds[1] = -1;
        }
    }
    ~Pipe()
    {
        close(fds[0]);
        if (fds[1] >= 0)
            close(fds[1]);
    }
    int fds[2] = {-1, -1};
};

long ElapsedMs(const timespec &start)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
}

TEST(Tkbhit, ByteWaitingOnAPipeIsOneKey)
{
    for (bool ended : {false, true}) {
        Pipe input("qw", ended);
        OnStdin redirect(input.fds[0]);
        Tkbhit keys;
        EXPECT_EQ(keys._kbhit(), 1) << ended;
        // one byte per key: the second is still there for the next look
        char byte = 0;
        EXPECT_EQ(read(STDIN_FILENO, &byte, 1), 1) << ended;
        EXPECT_EQ(byte, 'w') << ended;
        timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        EXPECT_EQ(keys._kbhit(), 0) << ended;
        EXPECT_LT(ElapsedMs(start), 150) << "a look for a key waited";
    }
}

TEST(Tkbhit, WaitKeyTakesAPipedByte)
{
    Pipe input("k", false);
    OnStdin redirect(input.fds[0]);
    Tkbhit keys;
    EXPECT_EQ(keys.waitKey(5000), 1);
    EXPECT_EQ(keys._kbhit(), 0) << "the byte was taken by waitKey";
}

TEST(Tkbhit, NoByteGivesNoKeyAndWaitingSleeps)
{
    int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(devNull, 0);
    struct Case {
        const char *name;
        int fd;
    };
    Pipe empty("", false);
    Pipe ended("", true);
    for (const Case &c : {Case{"empty pipe", empty.fds[0]}, Case{"ended pipe", ended.fds[0]}, Case{"/dev/null", devNull}}) {
        OnStdin redirect(c.fd);
        Tkbhit keys;
        timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        EXPECT_EQ(keys._kbhit(), 0) << c.name;
        EXPECT_LT(ElapsedMs(start), 150) << c.name << ": a look for a key waited";
        clock_gettime(CLOCK_MONOTONIC, &start);
        EXPECT_EQ(keys.waitKey(200), 0) << c.name;
        EXPECT_GE(ElapsedMs(start), 190) << c.name << ": waited without sleeping";
    }
    close(devNull);
}

}  // namespace
