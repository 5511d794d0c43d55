// Tkbhit with standard input that is not a terminal: nothing is read (bytes
// waiting on a pipe stay there), an ended input is no key, and waiting for a
// key sleeps instead of returning at once.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "tavcli_kbhit.h"

namespace {

// Puts the read end of a pipe on standard input while alive.
class PipeOnStdin {
public:
    explicit PipeOnStdin(const char *text, bool closeWriter)
    {
        EXPECT_EQ(pipe(fds_), 0);
        EXPECT_EQ(write(fds_[1], text, strlen(text)), ssize_t(strlen(text)));
        if (closeWriter) {
            close(fds_[1]);
            fds_[1] = -1;
        }
        saved_ = dup(STDIN_FILENO);
        dup2(fds_[0], STDIN_FILENO);
    }
    ~PipeOnStdin()
    {
        dup2(saved_, STDIN_FILENO);
        close(saved_);
        close(fds_[0]);
        if (fds_[1] >= 0)
            close(fds_[1]);
    }

private:
    int fds_[2] = {-1, -1};
    int saved_ = -1;
};

long ElapsedMs(const timespec &start)
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
}

TEST(Tkbhit, InputThatIsNoTerminalGivesNoKey)
{
    for (bool ended : {false, true}) {
        PipeOnStdin input("q", ended);
        {
            Tkbhit keys;
            EXPECT_EQ(keys._kbhit(), 0) << ended;
            timespec start;
            clock_gettime(CLOCK_MONOTONIC, &start);
            EXPECT_EQ(keys.waitKey(200), 0) << ended;
            EXPECT_GE(ElapsedMs(start), 190) << "waited without sleeping";
        }
        char byte = 0;
        EXPECT_EQ(read(STDIN_FILENO, &byte, 1), 1) << "the waiting byte was consumed";
        EXPECT_EQ(byte, 'q');
    }
}

}  // namespace
