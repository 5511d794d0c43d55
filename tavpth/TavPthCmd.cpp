/* tavpth: the service engineer's drive tool. Start-up, the command table,
 * the command-line history line and signal handling. */
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "TavPth.h"
#include "tavbase/access.h"

namespace {

struct PthCommand {
    char word[41];
    int minArgs; /* program name and command word included */
    int maxArgs;
    PthHandler handler;
    int noArgs; /* the handler takes no arguments */
};

const PthCommand functbl[] = {
    {"L", 2, 2, TavPrintLogsense, 1},
    {"F", 3, 3, TavFirmwareUpdate, 0},
    {"P", 3, 3, TavFixAnyPassThrough, 0},
    {"E", 3, 3, TavPDHDDMediaErrorSet, 0},
    {"N", 3, 3, TavPDHDDErrorInjectionSet, 0},
    {"R", 3, 3, TavLDOneOneStripeRead, 0},
    {"W", 3, 3, TavLDOneOneStripeWrite, 0},
    {"D", 6, 6, TavPDOneSectorReadDump, 0},
    {"r", 5, 5, TavLDOneOneStripeRead2, 0},
    {"w", 6, 6, TavLDOneOneStripeWrite2, 0},
    {"ANY", 3, 3, TavFreAnyPassThrough, 0},
    {"PDOneSectorRead", 5, 5, TavPDOneSectorRead, 0},
    {"PDPrintModePage", 7, 7, TavPDPrintModePage, 0},
    {"PDOneSectorWrite", 5, 5, TavPDOneSectorWrite, 0},
    {"PDHDDCapaChange", 5, 5, TavPDHDDCapaChange, 0},
    {"LDOneSectorRead", 5, 5, TavLDOneSectorRead, 0},
    {"LDOneSectorWrite", 5, 5, TavLDOneSectorWrite, 0},
    {"N5", 3, 3, TavPDHDDErrorInjectionSet5, 0},
    {"r64", 5, 5, TavLDOneOneStripeRead264, 0},
    {"w64", 6, 6, TavLDOneOneStripeWrite264, 0},
    {"e", 3, 3, TavPDHDDMediaErrorSet_SATA, 0},
    {"A", 3, 3, TavPDHDDErrorInjectionSet_SATA, 0},
};

const uint32_t kSignalDetail = 0xE0000000u;

const PthCommand *findCommand(const char *word)
{
    for (const PthCommand &command : functbl) {
        if (strcmp(command.word, word) == 0) {
            return &command;
        }
    }
    return nullptr;
}

/* Runs one command on an initialised library; 0 success, 1 failure. */
int runCommand(const PthCommand &command, int argc, char **argv)
{
    if (!initContData(0)) {
        TavPthErr0004d(PTH_AT, "initContData", DLLGetLastError());
        TavPthErr0002(PTH_AT);
        return 1;
    }
    int status = 1;
    uint8_t count = 0;
    int driverErrno = getDiscoveryErrno();
    if (!getContNum(&count) || count == 0) {
        TavPthErr0003(PTH_AT);
        char cause[160];
        if (count == 0 && tavbase::DriverAccessRefused(driverErrno, cause, sizeof cause)) {
            TavPthCause(PTH_AT, cause);
        }
        TavPthErr0002(PTH_AT);
    } else if (command.handler(command.noArgs ? 0 : argc, command.noArgs ? nullptr : argv)) {
        status = 0;
    }
    PthSignalCheck();
    finContData();
    return status;
}

}  // namespace

void HistoryLog(int argc, char **argv)
{
    char path[PATH_MAX];
    if (argc < 1 || realpath(argv[0], path) == nullptr) {
        return;
    }
    char record[PTH_PATH_SIZE];
    size_t used = static_cast<size_t>(snprintf(record, sizeof record, "%s", path));
    for (int i = 1; i < argc && used < sizeof record - 1; ++i) {
        int length = snprintf(record + used, sizeof record - used, " %s", argv[i]);
        if (length < 0) {
            break;
        }
        used += static_cast<size_t>(length);
    }
    dumpLog(nullptr, 0, record, nullptr, 0);
}

namespace {

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

int main(int argc, char **argv)
{
    initLog(PTH_LOG_NAME, PTH_LOG_SIZE);
    HistoryLog(argc, argv);
    signal_setup();
    const PthCommand *command = argc >= 2 ? findCommand(argv[1]) : nullptr;
    if (command == nullptr || argc < command->minArgs || argc > command->maxArgs) {
        TavPthErr0000(PTH_AT);
        return 1;
    }
    return runCommand(*command, argc, argv);
}
