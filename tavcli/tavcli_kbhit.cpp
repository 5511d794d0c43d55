/* Tkbhit: single-key, non-blocking reads from standard input, and the
 * signal handlers that restore the terminal when SIGINT, SIGTERM or SIGHUP
 * end the process while single-key mode is on. */
#include "tavcli_kbhit.h"

#include <errno.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include "tavcli.h"

/* What a signal puts back: the settings the tool found at start, or, when
 * the frame applied none, those found by the outermost key poll. */
static struct termios g_restore;
static volatile sig_atomic_t g_restoreSet = 0;
static int g_depth = 0;

static const int kRestoreSignals[3] = {SIGINT, SIGTERM, SIGHUP};

/* Async-signal-safe: tcsetattr, signal and raise only. */
static void RestoreAndDie(int sig)
{
    if (g_restoreSet) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_restore);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

Tkbhit::Tkbhit() : found_(), working_(), terminal_(0), previous_()
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    terminal_ = tcgetattr(STDIN_FILENO, &found_) == 0;
    if (!terminal_) {
        return;
    }
    if (g_depth++ == 0) {
        g_restore = term_set_flg == 1 ? old_term_set : found_;
        g_restoreSet = 1;
        struct sigaction action = {};
        action.sa_handler = RestoreAndDie;
        sigemptyset(&action.sa_mask);
        for (int i = 0; i < 3; ++i) {
            sigaction(kRestoreSignals[i], &action, &previous_[i]);
        }
    }
    working_ = found_;
    working_.c_lflag &= ~(tcflag_t)(ICANON | ECHO | ISIG);
    working_.c_cc[VMIN] = 0;
    working_.c_cc[VTIME] = 0;
    apply(&working_);
}

Tkbhit::~Tkbhit()
{
    if (!terminal_) {
        return;
    }
    apply(&found_);
    if (--g_depth == 0) {
        for (int i = 0; i < 3; ++i) {
            sigaction(kRestoreSignals[i], &previous_[i], NULL);
        }
        g_restoreSet = 0;
    }
}

void Tkbhit::apply(const struct termios *settings)
{
    tcsetattr(STDIN_FILENO, TCSANOW, settings);
}

/* Standard input that is not a terminal (a pipe, a file, /dev/null): a
 * byte that can be read at once is a key; end of input is not. The poll
 * keeps the read from waiting for a writer that has not written. */
static int ReadWaitingByte()
{
    struct pollfd input = {STDIN_FILENO, POLLIN, 0};
    int ready;
    do {
        ready = poll(&input, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0 || !(input.revents & POLLIN)) {
        return 0;
    }
    unsigned char key;
    ssize_t got;
    do {
        got = read(STDIN_FILENO, &key, 1);
    } while (got < 0 && errno == EINTR);
    return got == 1;
}

int Tkbhit::_kbhit()
{
    if (!terminal_) {
        return ReadWaitingByte();
    }
    unsigned char key;
    working_.c_cc[VMIN] = 0;
    apply(&working_);
    ssize_t got = read(STDIN_FILENO, &key, 1);
    working_.c_cc[VMIN] = 1;
    apply(&working_);
    return got == 1;
}

static void SleepMilliseconds(int milliseconds)
{
    struct timespec left = {milliseconds / 1000, (long)(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

int Tkbhit::waitKey(int milliseconds)
{
    struct pollfd input = {STDIN_FILENO, POLLIN, 0};
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    if (poll(&input, 1, milliseconds) > 0) {
        if (_kbhit()) {
            return 1;
        }
        /* Readable without a byte: a hung-up terminal, or input at its
         * end. Sleep the rest instead of polling again at once. */
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long spent = (now.tv_sec - start.tv_sec) * 1000L + (now.tv_nsec - start.tv_nsec) / 1000000L;
        if (spent < milliseconds) {
            SleepMilliseconds(milliseconds - (int)spent);
        }
    }
    return 0;
}
