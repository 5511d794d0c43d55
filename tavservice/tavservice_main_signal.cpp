// Signals and the one way out of the service.
//
// SIGINT, SIGTERM, SIGHUP and SIGQUIT only note the request; the main loop (or a sleep of the
// start-up) then reports it and ends the service, so the cleanup never runs
// in the middle of a library call. SIGSEGV cleans up at once and then takes
// its default action, so that a supervisor sees the crash.
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

#include "tavservice.h"

namespace {

volatile sig_atomic_t g_stopSignal = 0;

void ReportSignal(int signo)
{
    Trace_Logging2(5, __FILE__, __LINE__, "SignalHandler", 0, 0, 0, signo);
    ServiceLog(PRI_INFO, "tavutil: exiting on signal %d. tavservice was stopped. EventID: 04768.", signo);
}

void StopHandler(int signo)
{
    g_stopSignal = signo;
}

void CrashHandler(int signo)
{
    ReportSignal(signo);
    ReleaseResources();
    signal(signo, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signo);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signo);
    _exit(128 + signo);
}

void Install(int signo, void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a sleep ends early on a stop request
    sigaction(signo, &action, nullptr);
}

}  // namespace

void InstallSignalHandlers(void)
{
    Install(SIGINT, StopHandler);
    Install(SIGTERM, StopHandler);
    // A hang-up or quit would otherwise end the daemon without its report,
    // leaving its pid file behind: they stop it the same orderly way.
    Install(SIGHUP, StopHandler);
    Install(SIGQUIT, StopHandler);
    Install(SIGSEGV, CrashHandler);
}

int StopRequested(void)
{
    return g_stopSignal != 0;
}

void HandleStopRequest(void)
{
    if (g_stopSignal == 0) {
        return;
    }
    ReportSignal(g_stopSignal);
    die();
}

void ServiceSleep(unsigned seconds)
{
    struct timespec left {
        static_cast<time_t>(seconds), 0
    };
    while (g_stopSignal == 0 && nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void ReleaseResources(void)
{
    if (tavbase::LockHeld(&PidLock)) {
        remove_pid(PidLock.path);
    }
    if (Fd >= 0) {
        close(Fd);
        Fd = -1;
    }
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    signal(SIGSEGV, SIG_DFL);
    FreeConfigs(&Configs);
    finContData();
}

void die(void)
{
    ReleaseResources();
    exit(0);
}
