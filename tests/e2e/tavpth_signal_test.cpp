// tavpth under signals: the handler only notes the signal, so a signal at any
// moment ends the run without hanging, and a stripe write is never left with
// one half written.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

#include "tavpth_tool_fixture.h"

namespace {

using pthtest::Bytes;

class Signals : public pthtest::Tool {};

// The signal comes right after the first half was sent (when its pass-through
// lock file is removed): the second half is written all the same, then the
// run ends as the signal asks.
TEST_F(Signals, StripeWriteInterruptedBetweenItsHalvesIsFinished) {
    for (int signo : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signo);
        SetMedia(4, 0x100, Bytes(0x200 * 512, 0));
        tavtest::RunResult r =
            sim.runWithFault("unlink,unlinkat", sim.path("/var/run/.libtavpth.lock"),
                             "signal=" + std::to_string(signo) + ":when=1", {"tavpth", "w", "0", "0", "0x100", "3"});
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_EQ(Media(4, 0x100, 256), Bytes(0x20000, 0x5A)) << "one half of the stripe was left unwritten";
        char detail[64];
        std::snprintf(detail, sizeof detail, "TAV0004-E signal_handler() failed. detail=0x%08x\n",
                      0xE0000000u + static_cast<unsigned>(signo));
        EXPECT_EQ(r.out.find(detail) != std::string::npos, signo != SIGINT) << r.out;
        EXPECT_NE(TraceLog().find(std::string(detail, std::strlen(detail) - 1)), std::string::npos);
    }
}

// SIGTERM at random moments of a run that reads every drive's log pages:
// every run ends within a bound. (A handler that called exit() hung when the
// signal came while the library held its error registry.)
TEST_F(Signals, SigtermAtAnyMomentNeverHangs) {
    const std::string program = sim.path("/opt/morvane/tavutility/tavpth");
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> delayUs(0, 40000);
    int hung = 0;
    for (int run = 0; run < 250 && hung == 0; ++run) {
        pid_t pid = fork();
        if (pid == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl(tavtest::tavsimPath().c_str(), "tavsim", "run", sim.root().c_str(), "--", program.c_str(), "L",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        kill(pid, SIGTERM);
        int status = 0;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                ++hung;
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    EXPECT_EQ(hung, 0);
}

}  // namespace
