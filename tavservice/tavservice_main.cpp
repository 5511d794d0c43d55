// tavservice: entry, start-up sequence and the main loop with its ticks and
// processing cycles.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tavbase/access.h"
#include "tavservice.h"
#include "tavservice_notify.h"

namespace {

const char kTavlogProgram[] = "/opt/morvane/tavutility/tavlog";
const char kLogDirectory[] = "/opt/morvane/tavutility/log";
constexpr int kTraceMaxSize = 2000000;
constexpr unsigned kDefaultInterval = 60;
constexpr unsigned kDebugInterval = 1;
constexpr unsigned kMaxInterval = 60;
constexpr uint32_t kClockPeriod = 14400;
constexpr int kWaitRounds = 10;
constexpr unsigned kWaitPause = 30;
constexpr int kStartFailure = -1;
constexpr int kUsageStatus = 2;
const char kUsage[] = "usage: tavservice [-d] [-t N]\n";

// Names the wrong option once: a long option ("--version") whole, otherwise
// its letter.
void ReportUsageError(int argc, char **argv)
{
    if (optopt == 't') {
        fprintf(stderr, "tavservice: option requires an argument -- 't'\n%s", kUsage);
        return;
    }
    if (optopt == '-') {
        for (int i = 1; i < argc; ++i) {
            if (strncmp(argv[i], "--", 2) == 0 && argv[i][2] != '\0') {
                fprintf(stderr, "tavservice: invalid option '%.64s'\n%s", argv[i], kUsage);
                return;
            }
        }
    }
    fprintf(stderr, "tavservice: invalid option -- '%c'\n%s", optopt, kUsage);
}

// -d: foreground debug mode with a 1-second interval. -t N: the interval in
// seconds in either mode; below 0 or above 60 it becomes 60, and 0 becomes 1
// so that the loop never spins. Anything else is a usage error: the first
// wrong option is named once, the usage follows and nothing starts.
int ParseOptions(int argc, char **argv)
{
    int option;
    int interval = -1;
    opterr = 0;
    while ((option = getopt(argc, argv, "t:d")) != -1) {
        if (option == '?') {
            ReportUsageError(argc, argv);
            return 0;
        }
        if (option == 'd') {
            DebugMode = 1;
        } else if (option == 't') {
            interval = atoi(optarg);
            if (interval < 0 || interval > static_cast<int>(kMaxInterval))
                interval = static_cast<int>(kMaxInterval);
            if (interval == 0)
                interval = 1;
        }
    }
    PollInterval = interval > 0 ? static_cast<unsigned>(interval) : (DebugMode ? kDebugInterval : kDefaultInterval);
    return 1;
}

// A start that fails because the driver refused access (a user who is not
// root finds no adapter) says why, in the trace and the system log.
void ReportRefusedDriver(void)
{
    char cause[160];
    if (ContCnt != 0 || !tavbase::DriverAccessRefused(getDiscoveryErrno(), cause, sizeof cause)) {
        return;
    }
    Trace_Text(__FILE__, __LINE__, "no adapter: %s", cause);
    ServiceLog(PRI_ERR, "tavutil: tavservice was stopped : %s. EventID: 04772.", cause);
}

int LibraryFailure(const char *what, int initialised)
{
    Trace_Logging(__FILE__, __LINE__, what, static_cast<int>(DLLGetLastError()));
    if (initialised) {
        ReportRefusedDriver();
        finContData();
    }
    return kStartFailure;
}

int OpenLibrary(void)
{
    if (!initContData(0))
        return LibraryFailure("failed initContData", 0);
    if (!getOslogver(0, &Oslog_ver))
        return LibraryFailure("failed getOslogver", 1);
    uint8_t sysPara[TAV_PARA_SIZE];
    if (!getSysPara(0, sysPara))
        return LibraryFailure("failed getSysPara", 1);
    Model = sysPara[TAV_SYSPARA_GENERATION];
    DLL_GET_CONTROLLER_INFO info;
    if (!getContInfo(0, &info))
        return LibraryFailure("failed getContInfo", 1);
    memcpy(DriverVersion, info.driverVersion, sizeof DriverVersion);
    Trace_Text(__FILE__, __LINE__, "Oslog_ver:%02x Model:%02x DrvVer:%d.%d.%d.%d", Oslog_ver, Model, DriverVersion[0],
               DriverVersion[1], DriverVersion[2], DriverVersion[3]);
    return 1;
}

// The starting process waits on this pipe until the daemon has written its
// pid file (or ended), so a supervisor that reads the pid file once the
// starting process is gone always finds it.
int ReadyPipe[2] = {-1, -1};

void CloseReadyPipe(int &fd)
{
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

// The daemon's word to the starting process: the pid file is in place.
void ReportReady(void)
{
    if (ReadyPipe[1] < 0)
        return;
    const char ready = 'R';
    ssize_t written;
    do {
        written = write(ReadyPipe[1], &ready, 1);
    } while (written < 0 && errno == EINTR);
    CloseReadyPipe(ReadyPipe[1]);
}

// The starting process: waits for the daemon's word and exits 0 with it;
// without it (the daemon ended first, e.g. a running instance refused it)
// exits with the daemon's own status.
[[noreturn]] void AwaitDaemon(pid_t daemonPid)
{
    CloseReadyPipe(ReadyPipe[1]);
    char word = 0;
    ssize_t got;
    do {
        got = read(ReadyPipe[0], &word, 1);
    } while (got < 0 && errno == EINTR);
    CloseReadyPipe(ReadyPipe[0]);
    if (got == 1)
        _exit(0);
    int status = 0;
    while (waitpid(daemonPid, &status, 0) < 0 && errno == EINTR) {
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0));
}

// What daemon(0, 0) does, with the ready pipe kept open across the fork.
int Detach(void)
{
    if (pipe2(ReadyPipe, O_CLOEXEC) != 0)
        return -1;
    pid_t child = fork();
    if (child < 0) {
        int saved = errno;
        CloseReadyPipe(ReadyPipe[0]);
        CloseReadyPipe(ReadyPipe[1]);
        errno = saved;
        return -1;
    }
    if (child > 0)
        AwaitDaemon(child);
    CloseReadyPipe(ReadyPipe[0]);
    if (setsid() < 0 || chdir("/") != 0)
        return -1;
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (null > STDERR_FILENO)
            close(null);
    }
    return 0;
}

int Daemonize(void)
{
    if (Detach() != 0) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
        ServiceLog(Oslog_ver == 1 ? PRI_ERR : PRI_INFO, "tavutil: tavservice can not created process. EventID: 04764.");
        finContData();
        return kStartFailure;
    }
    char path[4096];
    if (!Tool_ResolvePath(PidFile, path, sizeof path)) {
        ReportReady();
        return 1;
    }
    int held = lock_pid(path);
    if (held == 0 || (held > 0 && check_pid(path))) {
        ServiceLog(PRI_INFO, "tavutil: tavservice was already running. EventID: 04766.");
        tavbase::LockRelease(&PidLock, 0, nullptr);  // the file is the running instance's
        finContData();
        exit(0);
    }
    if (held > 0) {
        write_pid(path);
    }
    ReportReady();
    return 1;
}

void ReportConfiguration(void)
{
    if (ReadConfigFile(&Configs)) {
        return;
    }
    char tavlogConf[4096], eventIdConf[4096];
    Tool_ResolvePath("/opt/morvane/tavutility/conf/tavlog.conf", tavlogConf, sizeof tavlogConf);
    Tool_ResolvePath("/opt/morvane/tavutility/conf/eventid.conf", eventIdConf, sizeof eventIdConf);
    int priority = Oslog_ver == 1 ? PRI_ERR : PRI_WARNING;
    const char *text = "tavutil: tavservice failed to access configuration keys. %s : %s. EventID: 00065.";
    if (!Configs.ptimeValid)
        ServiceLog(priority, text, tavlogConf, "Ptime");
    if (!Configs.dumpDirValid)
        ServiceLog(priority, text, tavlogConf, "DumpDir");
    if (!Configs.eventIdsValid)
        ServiceLog(priority, text, eventIdConf, "0");
}

// Up to 10 rounds of system-status requests, 30 seconds apart, until every
// supported controller has answered.
int WaitForControllers(void)
{
    int supported = 0;
    for (int round = 0; round < kWaitRounds; ++round) {
        int missing = 0;
        for (int c = 0; c < TAV_MAX_CONTROLLERS; ++c) {
            if (!RaidController[c].supported || RaidController[c].statusReady)
                continue;
            uint8_t status[SYSTEM_STATUS_SIZE];
            if (GetSystemStatus(c, status) > 0)
                RaidController[c].statusReady = 1;
            else
                ++missing;
        }
        if (missing == 0)
            break;
        if (round + 1 < kWaitRounds)
            ServiceSleep(kWaitPause);
        HandleStopRequest();
    }
    int firstMissing = -1;
    for (int c = 0; c < TAV_MAX_CONTROLLERS; ++c) {
        if (!RaidController[c].supported)
            continue;
        ++supported;
        if (RaidController[c].statusReady)
            return 1;
        if (firstMissing < 0)
            firstMissing = c;
    }
    if (supported == 0)
        return 1;
    ServiceLog(PRI_ERR,
               "tavutil: tavservice was stopped : failed to get controller information. EventID: 00021. "
               "Detailedcode: %08x.",
               (static_cast<uint32_t>(firstMissing) << 24) | 0x00FFFFFFu);
    return kStartFailure;
}

int StartService(int argc, char **argv)
{
    initLog("tavservice.log", kTraceMaxSize);
    Trace_Logging2(1, __FILE__, __LINE__, "main", 0, 0, 0, 0);
    if (!ParseOptions(argc, argv))
        return kUsageStatus;
    Trace_Text(__FILE__, __LINE__, "PollInterval=%u DebugMode=%d", PollInterval, DebugMode);
    InstallSignalHandlers();
    if (ProcessLogsInit() < 0)
        return kStartFailure;
    if (OpenLibrary() < 0)
        return kStartFailure;
    if (tavservice_init() < 0) {
        finContData();
        return kStartFailure;
    }
    if (!DebugMode && Daemonize() < 0)
        return kStartFailure;
    NotifyInit();
    ReportConfiguration();
    ServiceStartSchCheck();
    prfm_call_ini();
    if (WaitForControllers() < 0) {
        ReleaseResources();
        return kStartFailure;
    }
    GetDumpAndWriteDump(RaidController, &Configs, FoundEvents);
    for (int c = 0; c < TAV_MAX_CONTROLLERS; ++c) {
        if (RaidController[c].supported)
            SetClockAndReport(c);
    }
    ServiceLog(PRI_INFO, "tavutil: tavservice was started. EventID: 00016.");
    for (uint32_t &count : CountOfWakeup)
        count = Configs.Ptime;
    return 1;
}

int HasEventOfInterest(const FoundEventList *found)
{
    for (uint32_t i = 0; i < found->count; ++i)
        for (uint32_t k = 0; k < Configs.eventIdCount; ++k)
            if (found->events[i] == Configs.eventIds[k])
                return 1;
    return 0;
}

void LogCollectionStep(int contNo)
{
    if (Configs.Ptime == 0 || !Configs.eventIdsValid)
        return;
    if (HasEventOfInterest(&FoundEvents[contNo]))
        DemandToGetClog[contNo] = 1;
    if (CountOfWakeup[contNo] > 0)
        --CountOfWakeup[contNo];
    if (CountOfWakeup[contNo] != 0)
        return;
    if (DemandToGetClog[contNo])
        GatherToTheClog(contNo);
    DemandToGetClog[contNo] = 0;
    CountOfWakeup[contNo] = Configs.Ptime;
}

void ControllerCycle(int contNo)
{
    ProcessLogs(contNo, &FoundEvents[contNo], &Configs);
    time_counter[contNo] += PollInterval;
    if (time_counter[contNo] > kClockPeriod) {
        time_counter[contNo] = 0;
        SetClockAndReport(contNo);
    }
    if (DriverVersion[2] > 2 && GetDriverInfo(&RaidController[contNo], contNo) && RaidController[contNo].dumpPending) {
        MicroRebootDump(contNo, &Configs);
    }
    LogCollectionStep(contNo);
}

[[noreturn]] void MainLoop(void)
{
    service_waitcount = 0;
    for (;;) {
        if (service_waitcount == 0) {
            ProcessingCycle();
        }
        prfm_chk_getstate();
        HandleStopRequest();
        NotifySleep(PollInterval);
        HandleStopRequest();
        --service_waitcount;
    }
}

}  // namespace

void ProcessingCycle(void)
{
    for (int c = 0; c < TAV_MAX_CONTROLLERS; ++c) {
        if (RaidController[c].supported)
            ControllerCycle(c);
    }
    for (FoundEventList &found : FoundEvents)
        found.count = 0;
    CCSchedule();
    service_waitcount = 2;
}

int SetClockAndReport(int contNo)
{
    if (SetTraidClock(contNo) > 0)
        return 1;
    if (Oslog_ver != 1) {
        ServiceLog(PRI_INFO,
                   "tavutil: Controller [%d] tavservice failed to adjust clock.. EventID: 04760. Detailedcode: %08x.",
                   contNo, DetailedCode(53, contNo, 0x00FFFFFFu));
    }
    return 0;
}

// Starts tavlog for the controller's logs.
int GatherToTheClog(int contNo)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    char logDirectory[4096], target[32];
    Tool_ResolvePath(kLogDirectory, logDirectory, sizeof logDirectory);
    snprintf(target, sizeof target, "tav_%d_fwtrclog", contNo);
    char name[] = "tavlog", automatic[] = "-AutomaticLog";
    char *const argv[] = {name, target, logDirectory, automatic, nullptr};
    return StartChildAndWait(kTavlogProgram, argv);
}

int main(int argc, char **argv)
{
    int started = StartService(argc, argv);
    if (started == kUsageStatus) {
        return kUsageStatus;
    }
    if (started < 0) {
        return kStartFailure;
    }
    MainLoop();
}
