/* tavlog entry: arguments, start-up, the output directory, output naming and
 * the collector of the run. Exits with 1 when the log was collected. */
#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include "tavbase/access.h"
#include "tavlog.h"

#define SRC_FILE "tavlog_main"
/* A missing automatic output directory is made enterable: 0644 would shut
 * everyone but root out of it. */
#define AUTOMATIC_DIR_MODE 0755

namespace {

struct Keyword {
    const char *text;
    int code;
    bool drive;      /* a drive digit follows */
    bool controller; /* a controller digit precedes */
};

/* Tried in order: "_fwdumpdirect" before "_fwdump". */
const Keyword kKeywords[] = {
    {"_raidlog", LOG_RAID, false, true},
    {"_nvramlog", LOG_NVRAM, false, true},
    {"_fwtrclog", LOG_FWTRC, false, true},
    {"_fwdumpdirect", LOG_FWDUMP_DIRECT, false, true},
    {"_fwdump", LOG_FWDUMP, false, true},
    {"_hddinquiry_", LOG_HDD_INQUIRY, true, true},
    {"_hddlogsense_", LOG_HDD_LOGSENSE, true, true},
    {"_hddlog_dslog_", LOG_HDD_DSLOG, true, true},
    {"_hddlog_dilog_", LOG_HDD_DILOG, true, true},
    {"_hddlog_clog_", LOG_HDD_CLOG, true, true},
    {"_hddlog_cii_", LOG_HDD_CII, true, true},
    {"drvlog", LOG_DRV, false, false},
    {"utllog", LOG_UTL, false, false},
};

int paramError(uint32_t detail)
{
    g_errDetail.detail = detail;
    PrintError(MSG_PARAM, ERR_KIND_MESSAGE, "ArgumentAnalysis", __LINE__);
    return 0;
}

bool isDriveLog(int code)
{
    return code == LOG_HDD_DSLOG || code == LOG_HDD_DILOG || code == LOG_HDD_CLOG || code == LOG_HDD_CII ||
           code == LOG_HDD_INQUIRY || code == LOG_HDD_LOGSENSE;
}

const Keyword *matchKeyword(const char *text)
{
    for (const Keyword &k : kKeywords) {
        if (strncmp(text, k.text, strlen(k.text)) == 0) {
            return &k;
        }
    }
    return nullptr;
}

/* Reads the keyword: lower-cased in place, "tav_", the controller digit, the
 * table keyword and the drive digit. */
int parseKeyword(char *keyword)
{
    for (char *p = keyword; *p != '\0'; ++p) {
        *p = (char)tolower((unsigned char)*p);
    }
    if (strncmp(keyword, "tav_", 4) != 0) {
        return paramError(DETAIL_ARG_WRONG);
    }
    const char *p = keyword + 4;
    int controller = -1;
    if (isdigit((unsigned char)*p)) {
        controller = *p++ - '0';
    }
    const Keyword *k = matchKeyword(p);
    if (k == nullptr || k->controller != (controller >= 0)) {
        return paramError(DETAIL_ARG_UNKNOWN);
    }
    LogTypUseError = k->code;
    CONTno = controller >= 0 ? controller : (k->code == LOG_DRV ? 0 : 255);
    if (k->drive) {
        char digit = p[strlen(k->text)];
        if (!isdigit((unsigned char)digit)) {
            return paramError(DETAIL_ARG_WRONG);
        }
        HDDno = digit - '0';
    }
    return 1;
}

int parseExtras(int argc, char *argv[])
{
    if (argc == 3) {
        return 1;
    }
    if (argc != 4 && argc != 5) {
        return paramError(DETAIL_ARG_WRONG);
    }
    for (int i = 3; i < argc; ++i) {
        if (strcmp(argv[i], "-AutomaticLog") == 0) {
            WhoWokeMe = WOKE_AUTOMATIC;
        } else if (strcmp(argv[i], "-Force") == 0) {
            HddLogForce = 1;
        }
    }
    return 1;
}

int controllerChecks(void)
{
    uint8_t count = 0;
    int driverErrno = getDiscoveryErrno();
    if (!getContNum(&count) || count == 0) {
        PrintError(MSG_NO_CONTROLLER, ERR_KIND_MESSAGE, "ArgumentAnalysis", __LINE__);
        char cause[160];
        if (count == 0 && tavbase::DriverAccessRefused(driverErrno, cause, sizeof cause)) {
            PrintCause(cause);
        }
        return 0;
    }
    if (CONTno == 255) {
        return 1;
    }
    DLL_GET_CONTROLLER_INFO info;
    if (!getContInfo(CONTno, &info)) {
        PrintError(MSG_NO_CONTROLLER, ERR_KIND_MESSAGE, "ArgumentAnalysis", __LINE__);
        return 0;
    }
    if (LogTypUseError == LOG_DRV && info.driverVersion[2] <= 2) {
        g_errDetail.contNo = (uint32_t)CONTno;
        g_errDetail.hddNotSpecified = 1;
        PrintError(MSG_NOT_SUPPORT, ERR_KIND_MESSAGE, "ArgumentAnalysis", __LINE__);
        return 0;
    }
    return 1;
}

int driveChecks(void)
{
    DLL_GET_HDD_INFO info;
    if (!getPhysicalDriveInfo((uint8_t)CONTno, (uint8_t)HDDno, &info)) {
        g_errDetail.detail = CAUSE_UNCONNECTED;
        g_errDetail.hddNo = (uint32_t)HDDno;
        PrintError(MSG_GENERAL, ERR_KIND_MESSAGE, "ArgumentAnalysis", __LINE__);
        return 0;
    }
    return 1;
}

void traceCommandLine(int argc, char *argv[])
{
    char line[4096];
    char self[TAVLOG_PATH_SIZE];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = '\0';
    size_t used = (size_t)snprintf(line, sizeof line, "%s", n > 0 ? self : argv[0]);
    for (int i = 1; i < argc && used < sizeof line - 1; ++i) {
        int length = snprintf(line + used, sizeof line - used, " %s", argv[i]);
        used += length < 0 ? 0 : (size_t)length;
    }
    dumpLog(SRC_FILE, __LINE__, line, NULL, 0);
}

/* Enters the output directory; an automatic run makes it when missing. */
int CheckAttribute(const char *dir)
{
    TraceCall(SRC_FILE, __LINE__, 1, "CheckAttribute");
    if (chdir(dir) == 0) {
        return 1;
    }
    if (WhoWokeMe != WOKE_AUTOMATIC) {
        g_errDetail.detail = DETAIL_ARG_DIRECTORY;
        PrintError(MSG_PARAM, ERR_KIND_MESSAGE, "CheckAttribute", __LINE__);
        return 0;
    }
    if (mkdir(dir, AUTOMATIC_DIR_MODE) != 0 && errno != EEXIST) {
        return SystemError(SRC_FILE, __LINE__, "mkdir", errno);
    }
    if (chdir(dir) != 0) {
        return SystemError(SRC_FILE, __LINE__, "chdir", errno);
    }
    return 1;
}

int buildPrefix(void)
{
    time_t now = time(nullptr);
    struct tm t;
    if (now == (time_t)-1 || localtime_r(&now, &t) == nullptr) {
        return SystemError(SRC_FILE, __LINE__, "localtime", errno != 0 ? errno : EINVAL);
    }
    int n = snprintf(g_namePrefix, sizeof g_namePrefix, "%04d%02d%02d%02d%02d%02d_TAV_%d", t.tm_year + 1900,
                     t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, CONTno == 255 ? 0 : CONTno);
    if (n < 0 || (size_t)n >= sizeof g_namePrefix) {
        return SystemError(SRC_FILE, __LINE__, "snprintf", EOVERFLOW);
    }
    return 1;
}

int collect(int code)
{
    switch (code) {
    case LOG_RAID:
    case LOG_NVRAM:
    case LOG_FWTRC:
        return WriteBlockLog(code);
    case LOG_FWDUMP:
        return CopyFwDump();
    case LOG_FWDUMP_FROM:
        return WriteFwDumpFromFROM();
    case LOG_FWDUMP_SDRAM:
        return WriteFwDumpFromSDRAM();
    case LOG_DRV:
        return WriteDrvTrac();
    case LOG_UTL:
        return CopyUtlTrace();
    default:
        return IntHddLogMain(code);
    }
}

void reportSuccess(int code)
{
    if (WhoWokeMe == WOKE_AUTOMATIC && code == LOG_FWTRC) {
        openlog("tavlog", LOG_CONS | LOG_PID, LOG_DAEMON);
        syslog(LOG_INFO, "tavutil: F/W Trace Log Get complete Success. EventID: 04681.");
        closelog();
        return;
    }
    char text[256];
    snprintf(text, sizeof text, "TAV1000-I %s Log Get Success\n", LogTypeName(code));
    fputs(text, stdout);
    fflush(stdout);
    dumpLog(SRC_FILE, __LINE__, text, NULL, 0);
}

int closeLibrary(void)
{
    if (!finContData()) {
        PrintError(MSG_LIBRARY, ERR_KIND_SYSTEM, "finContData", __LINE__);
        return 0;
    }
    return 1;
}

int runCollection(const char *dir)
{
    uint8_t para[TAV_PARA_SIZE];
    if (!getSysPara(0, para)) {
        PrintError(MSG_LIBRARY, ERR_KIND_SYSTEM, "getSysPara", __LINE__);
        return 0;
    }
    Model = para[TAV_SYSPARA_GENERATION];
    int home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (home < 0) {
        return SystemError(SRC_FILE, __LINE__, "open", errno);
    }
    int collected = 0;
    if (CheckAttribute(dir)) {
        if (LogTypUseError == LOG_FWDUMP_DIRECT) {
            collected = LogMain(LOG_FWDUMP_FROM) && LogMain(LOG_FWDUMP_SDRAM);
        } else {
            collected = LogMain(LogTypUseError);
        }
    }
    if (fchdir(home) != 0) {
        collected = SystemError(SRC_FILE, __LINE__, "fchdir", errno);
    }
    if (close(home) != 0) {
        collected = SystemError(SRC_FILE, __LINE__, "close", errno);
    }
    return collected;
}

}  // namespace

int ArgumentAnalysis(int argc, char *argv[])
{
    TraceCall(SRC_FILE, __LINE__, 1, "ArgumentAnalysis");
    if (argc >= 2) {
        g_errDetail.firstArg = argv[1];
    }
    if (argc >= 3) {
        g_errDetail.secondArg = argv[2];
    }
    if (!parseExtras(argc, argv) || !parseKeyword(argv[1])) {
        return 0;
    }
    g_errDetail.contNo = CONTno == 255 ? 0 : (uint32_t)CONTno;
    g_errDetail.hddNo = HDDno == 255 ? 0 : (uint32_t)HDDno;
    if (WhoWokeMe == WOKE_AUTOMATIC && LogTypUseError != LOG_FWTRC) {
        return paramError(DETAIL_ARG_AUTOMATIC);
    }
    if (!controllerChecks()) {
        return 0;
    }
    return isDriveLog(LogTypUseError) ? driveChecks() : 1;
}

/* One collection: names the output, runs its collector and reports. */
int LogMain(int code)
{
    int saved = LogTypUseError;
    LogTypUseError = code;
    g_outFile[0] = '\0';
    g_errDetail.fileFlag = 0;
    int collected = buildPrefix() && collect(code);
    if (collected) {
        reportSuccess(code);
    } else {
        AbandonOutput();
    }
    LogTypUseError = saved;
    return collected;
}

int main(int argc, char *argv[])
{
    ClearErrDetail();
    initLog(TAVLOG_TRACE_NAME, TAVLOG_TRACE_SIZE);
    traceCommandLine(argc, argv);
    if (argc == 2 && strcmp(argv[1], "-h") == 0) {
        Usage();
        return 0;
    }
    if (!initContData_done && !initContData(0)) {
        PrintError(MSG_LIBRARY, ERR_KIND_SYSTEM, "initContData", __LINE__);
        return 0;
    }
    if (argc < 2 || !ArgumentAnalysis(argc, argv)) {
        if (argc < 2) {
            paramError(DETAIL_ARG_WRONG);
        }
        closeLibrary();
        return 0;
    }
    int collected = runCollection(argv[2]);
    if (!closeLibrary()) {
        collected = 0;
    }
    return collected ? 1 : 0;
}
