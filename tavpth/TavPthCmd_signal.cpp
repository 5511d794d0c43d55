/* tavpth's signal handling: the handlers only note the signal (or, for a
 * crash or a run that does not get to act on it, report with write(2) and
 * end); the run acts on it between drive commands. */
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "TavPth.h"

namespace {

/* The detail of TAV0004-E: this base plus the signal number. */
const uint32_t kSignalDetail = 0xE0000000u;

/* The signal noted by the handler, acted on outside it (PthSignalCheck). */
volatile sig_atomic_t g_signal = 0;
int g_deferred = 0;
volatile sig_atomic_t g_signalInput = -1;
int g_emptyInput = -1; /* /dev/null, opened before any signal can come */

/* Seconds a noted signal may wait for the run to reach a point where it is
 * acted on (a run blocked in a read never gets there). */
const unsigned kSignalGrace = 2;

/* "TAV0004-E signal_handler() failed. detail=0xe00000NN\n" without stdio:
 * only write(2) is safe in a handler. */
void writeSignalMessage(int signo)
{
    char text[] = "TAV0004-E signal_handler() failed. detail=0x00000000\n";
    char *digits = strstr(text, "0x") + 2;
    uint32_t detail = kSignalDetail + static_cast<uint32_t>(signo);
    for (int i = 7; i >= 0; --i, detail >>= 4) {
        digits[i] = "0123456789abcdef"[detail & 0xF];
    }
    ssize_t ignored = write(STDOUT_FILENO, text, sizeof text - 1);
    (void)ignored;
}

/* The run did not reach a point where the noted signal is acted on in
 * time: it ends from here with the message written directly. */
void onSignalGraceOver(int)
{
    if (g_signal != SIGINT) {
        writeSignalMessage(g_signal);
    }
    _exit(1);
}

}  // namespace

/* Only notes the signal (and starts the grace period): the command in
 * progress may hold what reporting and exit() need (the library's error
 * registry, the trace, stdio), so the run acts on it at its next drive
 * command or when the command returns. A second signal before that ends the
 * run at once. */
void signal_handler(int signo)
{
    if (g_signal != 0) {
        onSignalGraceOver(signo);
    }
    g_signal = signo;
    if (g_signalInput >= 0 && g_emptyInput >= 0) {
        dup2(g_emptyInput, g_signalInput);
    }
    signal(SIGALRM, onSignalGraceOver);
    alarm(kSignalGrace);
}

void PthSetSignalInput(int fd)
{
    g_signalInput = fd;
    if (fd >= 0 && g_signal != 0 && g_emptyInput >= 0) {
        dup2(g_emptyInput, fd);  // the signal came while the file was being opened
    }
}

/* A segmentation fault cannot be returned from: it is reported and its
 * default action taken, so the crash stays visible to whoever ran the tool. */
void crash_handler(int signo)
{
    TavPthErr0004d(PTH_AT, "signal_handler", kSignalDetail + static_cast<uint32_t>(signo));
    signal(SIGSEGV, SIG_DFL);
    sigset_t segv;
    sigemptyset(&segv);
    sigaddset(&segv, SIGSEGV);
    sigprocmask(SIG_UNBLOCK, &segv, nullptr);
    raise(SIGSEGV);
    _exit(1);
}

/* SIGINT ends the run quietly, the others with their message; every one of
 * them ends it as a failure. */
void PthSignalCheck(void)
{
    if (g_signal == 0 || g_deferred) {
        return;
    }
    int signo = g_signal;
    if (signo == SIGINT) {
        PthTrace(PTH_AT, "TAV0004-E %s() failed. detail=0x%08x", "signal_handler",
                 kSignalDetail + static_cast<uint32_t>(signo));
    } else {
        TavPthErr0004d(PTH_AT, "signal_handler", kSignalDetail + static_cast<uint32_t>(signo));
    }
    if (initContData_done) {
        finContData();
    }
    exit(1);
}

void PthDeferSignals(int deferred)
{
    g_deferred = deferred;
    PthSignalCheck();
}

void signal_setup(void)
{
    PthTrace(PTH_AT, "CALL - %s()", "signal_setup");
    g_emptyInput = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int signals[] = {SIGINT, SIGSEGV, SIGTERM, SIGHUP};
    for (int signo : signals) {
        struct sigaction action;
        memset(&action, 0, sizeof action);
        action.sa_handler = signo == SIGSEGV ? crash_handler : signal_handler;
        sigemptyset(&action.sa_mask);
        sigaction(signo, &action, nullptr);
    }
}
