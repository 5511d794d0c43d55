/* Usage text, the message catalogue and the trace lines of the collector. */
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <syslog.h>
#include <unistd.h>

#include "tavlog.h"

#define SRC_FILE "tavlog_usage"
#define ERRMSG_SIZE 8192

/* The run: how it was started, what it collects and what went wrong. */
ErrDetailInfo g_errDetail;
int WhoWokeMe = WOKE_INTERACTIVE;
int HddLogForce = 0;
int LogTypUseError = 0;
int CONTno = 255;
int HDDno = 255;
uint8_t Model = 0;
char g_outFile[TAVLOG_NAME_SIZE];
char g_namePrefix[TAVLOG_NAME_SIZE];

namespace {

const char *const kUsageLines[] = {
    "tavlog TAV_<ControllerNo>_RaidLog <LogFilePath> [-AutomaticLog]",
    "tavlog TAV_<ControllerNo>_NvramLog <LogFilePath> [-AutomaticLog]",
    "tavlog TAV_<ControllerNo>_FWTrcLog <LogFilePath> [-AutomaticLog]",
    "tavlog TAV_<ControllerNo>_FWDump <LogFilePath> [-AutomaticLog]",
    "tavlog TAV_<ControllerNo>_FWDumpDirect <LogFilePath> [-AutomaticLog]",
    "tavlog TAV_<ControllerNo>_HDDInquiry_<HddNo> <LogFilePath> [-AutomaticLog]",
    "tavlog TAV_<ControllerNo>_HDDLogSense_<HddNo> <LogFilePath> [-AutomaticLog]",
    "tavlog TAV_<ControllerNo>_HDDLog_DSLog_<HddNo> <LogFilePath> [-AutomaticLog] [-Force]",
    "tavlog TAV_<ControllerNo>_HDDLog_DILog_<HddNo> <LogFilePath> [-AutomaticLog] [-Force]",
    "tavlog TAV_<ControllerNo>_HDDLog_CLog_<HddNo> <LogFilePath> [-AutomaticLog] [-Force]",
    "tavlog TAV_<ControllerNo>_HDDLog_CII_<HddNo> <LogFilePath> [-AutomaticLog] [-Force]",
    "tavlog TAV_DrvLog <LogFilePath> [-AutomaticLog]",
    "tavlog TAV_UtlLog <LogFilePath> [-AutomaticLog]",
};

/* Wording of the log type in error messages. */
const char *errorTypeWording(int code)
{
    switch (code) {
    case LOG_HDD_DSLOG:
    case LOG_HDD_DILOG:
    case LOG_HDD_CLOG:
    case LOG_HDD_CII:
    case LOG_HDD_INQUIRY:
    case LOG_HDD_LOGSENSE:
        return "HDD internal Log";
    case LOG_FWDUMP_DIRECT:
    case LOG_FWDUMP_FROM:
        return "RAID Firmware Dump";
    case LOG_RAID:
        return "RAID Log";
    case LOG_NVRAM:
        return "NVRAM Log";
    case LOG_FWTRC:
        return "Firmware Trace Log";
    case LOG_FWDUMP:
        return "Firmware Dump";
    case LOG_FWDUMP_SDRAM:
        return "BOOT Firmware Temporary Dump";
    case LOG_DRV:
        return "RAID Driver";
    case LOG_UTL:
        return "RAID Utility";
    default:
        return "Log Type Unknown";
    }
}

bool automaticTraceRun(void)
{
    return WhoWokeMe == WOKE_AUTOMATIC && LogTypUseError == LOG_FWTRC && CONTno != 255;
}

/* Prints one message line (or keeps it quiet in an automatic trace run) and
 * writes it to the trace log. */
void emit(int line, const char *format, ...) __attribute__((format(printf, 2, 3)));
void emit(int line, const char *format, ...)
{
    char text[ERRMSG_SIZE];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(text, sizeof text - 1, format, args);
    va_end(args);
    size_t used = length < 0 ? 0 : ((size_t)length < sizeof text - 2 ? (size_t)length : sizeof text - 2);
    if (used == 0 || text[used - 1] != '\n') {
        text[used++] = '\n';
    }
    text[used] = '\0';
    if (!automaticTraceRun()) {
        fputs(text, stdout);
        fflush(stdout);
    }
    dumpLog(SRC_FILE, (unsigned)line, text, NULL, 0);
}

void causeLine(void)
{
    const ErrDetailInfo &e = g_errDetail;
    switch (e.detail) {
    case CAUSE_CHECK_CONDITION:
        emit(__LINE__, "Cause of the error is check condition. (Sense key = 0x%02x, ASC = 0x%02x, ASCQ = 0x%02x )\n",
             e.senseKey, e.asc, e.ascq);
        break;
    case CAUSE_DRIVER_TIMEOUT:
        emit(__LINE__, "Cause of the error is driver timeout.");
        break;
    case CAUSE_DRIVER_ERROR:
        emit(__LINE__, "Cause of the error is inside error of the driver. ( error code = %d )\n", e.adapterError);
        break;
    case CAUSE_SPIN_UP:
        emit(__LINE__, "Cause of the error is HDD motor did not spin up.");
        break;
    case CAUSE_LOG_SIZE:
        emit(__LINE__, "Hdd Log size is less than 4.");
        break;
    case CAUSE_PTH_PARAM:
        emit(__LINE__, "Cause of the error is path through library.\nParameter wrong of number %d.\n", e.paramNo);
        break;
    case CAUSE_PTH:
        emit(__LINE__, "Cause of the error is path through library.");
        break;
    case CAUSE_PTH_LIBRARY:
        emit(__LINE__, "Cause of the error is path through library.\nerror message is %s\n", strerror((int)e.errNo));
        break;
    case CAUSE_PTH_SYSTEM:
        emit(__LINE__, "Cause of the error is path through library.\nerror code %d, system function name %s\n",
             (int)e.errNo, "ioctl");
        break;
    case CAUSE_PTH_BUSY:
        emit(__LINE__, "Cause of the error is path through library.\nPath through library is busy.");
        break;
    case CAUSE_PTH_CHECK:
        emit(__LINE__,
             "Cause of the error is path through library.\nHDD status is check condition. (Sensekey = 0x%02x, ASC = "
             "0x%02x, ASCQ = 0x%02x )\n",
             e.senseKey, e.asc, e.ascq);
        break;
    case CAUSE_PTH_MEMORY:
        emit(__LINE__, "Cause of the error is path through library.\nMemory resource too little.");
        break;
    case CAUSE_VENDOR:
        emit(__LINE__, "HDD vendor to support is Fujitsu or Morvane or Toshiba.");
        break;
    case CAUSE_UNCONNECTED:
        emit(__LINE__, "physics drive of number %d is unconnected.\n", (int)e.hddNo);
        break;
    case CAUSE_SYSTEM:
        emit(__LINE__, "The System error occurred while gathering the log.");
        break;
    default:
        break;
    }
}

void generalFailure(int code)
{
    emit(__LINE__, "TAV1005-E The error occurred while gathering the log.");
    emit(__LINE__, "TAV1006-E Log type : %s\n", errorTypeWording(LogTypUseError));
    emit(__LINE__, "TAV1007-E Error code : %d\n", code);
    causeLine();
}

void parameterMessage(void)
{
    emit(__LINE__, "TAV1001-E The parameter is incorrect.");
    switch (g_errDetail.detail) {
    case DETAIL_ARG_WRONG:
        emit(__LINE__, "A command line argument is wrong.");
        break;
    case DETAIL_ARG_UNKNOWN:
        emit(__LINE__, "%s is unknown command.\n", g_errDetail.firstArg);
        break;
    case DETAIL_ARG_AUTOMATIC:
        emit(__LINE__, "When appointed -AutomaticLog to gather only F/W trace log.(clog)");
        break;
    case DETAIL_ARG_DIRECTORY:
        emit(__LINE__, "%s is not found or not directory.\n", g_errDetail.secondArg);
        break;
    default:
        break;
    }
}

void hddMessage(const char *number, const char *text)
{
    emit(__LINE__, "TAV%s-E %s (Adapter number = %d, HDD number = %d)\n", number, text, (int)g_errDetail.contNo,
         (int)g_errDetail.hddNo);
}

void messageCode(int code)
{
    switch (code) {
    case MSG_PARAM:
        parameterMessage();
        break;
    case MSG_STARTED:
        emit(__LINE__, "TAV1002-E It has already started.");
        break;
    case MSG_DISK_FULL:
        emit(__LINE__, "TAV1003-E The disk is full.");
        break;
    case MSG_NO_CONTROLLER:
        emit(__LINE__, "TAV1004-E Morvane Raid Controller is not found.");
        break;
    case MSG_NO_HDD:
        hddMessage("1008", "HDD Not Found.");
        break;
    case MSG_NOT_SUPPORT:
        if (g_errDetail.hddNotSpecified) {
            emit(__LINE__, "TAV1009-E Command is not support. (Adapter number = %d, HDD number = *)\n",
                 (int)g_errDetail.contNo);
        } else {
            hddMessage("1009", "Command is not support.");
            emit(__LINE__, "this command support in HDD vender of Fujitsu or Toshiba.");
        }
        break;
    case MSG_TIMEOUT:
        emit(__LINE__, "TAV1010-E time-out when gathering the log.");
        break;
    case MSG_VENDOR:
        hddMessage("1011", "Specified HDD VenderID is not supported.");
        break;
    case MSG_PRODUCT:
        hddMessage("1012", "Specified HDD ProductID is not supported.");
        break;
    case MSG_REVISION:
        hddMessage("1013", "Specified HDD ProductRev is not supported.");
        break;
    case MSG_STATUS_GOOD:
        hddMessage("1014", "Specified HDD status is Good.");
        break;
    case MSG_TOO_MANY_FILES:
        emit(__LINE__, "TAV1015-E The number of files that can be copied is exceeded.");
        break;
    default:
        generalFailure(code);
        break;
    }
}

}  // namespace

void ClearErrDetail(void)
{
    memset(&g_errDetail, 0, sizeof g_errDetail);
}

void Usage(void)
{
    for (const char *line : kUsageLines) {
        printf("%s\n", line);
    }
    printf("\n    Morvane RAID Adapter Log Collect Tool Ver %s\n", TAVLOG_VERSION);
    printf("\nExit status: 1 when the log was collected, 0 when it was not.\n");
    fflush(stdout);
}

const char *LogTypeName(int code)
{
    switch (code) {
    case LOG_RAID:
        return "RAID";
    case LOG_NVRAM:
        return "NVRAM";
    case LOG_FWTRC:
        return "Firmware Trace";
    case LOG_FWDUMP:
        return "Firmware Dump";
    case LOG_FWDUMP_DIRECT:
    case LOG_FWDUMP_FROM:
        return "RAID Firmware Dump";
    case LOG_FWDUMP_SDRAM:
        return "BOOT Firmware Temporary Dump";
    case LOG_DRV:
        return "RAID Driver";
    case LOG_UTL:
        return "RAID Utility";
    default:
        return "HDD internal";
    }
}

/* Prints the message of `code` (kind 1) or the general failure with a system
 * error number (kind 0); in an automatic trace run one system-log line stands
 * for the messages. */
void PrintError(int code, int kind, const char *function, int line)
{
    char where[256];
    snprintf(where, sizeof where, "PrintError from %s line %d code %d kind %d", function, line, code, kind);
    dumpLog(SRC_FILE, __LINE__, where, NULL, 0);
    if (kind == ERR_KIND_SYSTEM || code == MSG_GENERAL) {
        generalFailure(code);
    } else {
        messageCode(code);
    }
    if (automaticTraceRun()) {
        unsigned detailed = ((unsigned)(CONTno | 0x14) << 24) | 0x00FFFFFFu;
        char codeText[16];
        snprintf(codeText, sizeof codeText, "%d", code);
        openlog("tavlog", LOG_CONS | LOG_PID, LOG_DAEMON);
        syslog(LOG_ERR,
               "tavutil: The F/W Trace Log error occurred when the tavlog was executed. Error code: %s. EventID: "
               "04676. Detailedcode: %08x.",
               codeText, detailed);
        closelog();
    }
}

void PrintCause(const char *cause)
{
    emit(__LINE__, "Cause: %s.", cause);
}

void TraceCall(const char *srcFile, int line, int level, const char *function)
{
    char text[512];
    switch (level) {
    case 1:
        snprintf(text, sizeof text, "%s CALL \n", function);
        break;
    case 2:
        snprintf(text, sizeof text, "%s CALL (Contno=%d)\n", function, CONTno);
        break;
    case 3:
        snprintf(text, sizeof text, "%s CALL (Contno=%d, Hddno=%d)\n", function, CONTno, HDDno);
        break;
    case 4:
        snprintf(text, sizeof text, "%s CALL (Contno=%d, Hddno=%d, LogType=0x%x)\n", function, CONTno, HDDno,
                 LogTypUseError);
        break;
    case 5:
        snprintf(text, sizeof text, "%s CALL (Contno=%d, Hddno=*, LogType=0x%x)\n", function, CONTno, LogTypUseError);
        break;
    case 6:
        snprintf(text, sizeof text, "%s CALL (Contno=*, Hddno=*, LogType=0x%x)\n", function, LogTypUseError);
        break;
    default:
        snprintf(text, sizeof text, "%s CALL LOG Message Not Support\n", function);
        break;
    }
    dumpLog(srcFile, (unsigned)line, text, NULL, 0);
}

void TraceSystemError(const char *srcFile, int line, const char *function, int errNo)
{
    char text[512];
    snprintf(text, sizeof text, "%s CALL err=0x%x, msg=%s\n", function, errNo, strerror(errNo));
    dumpLog(srcFile, (unsigned)line, text, NULL, 0);
}

/* Traces and prints a system error; returns 0 for the caller to pass on. */
int SystemError(const char *srcFile, int line, const char *function, int errNo)
{
    TraceSystemError(srcFile, line, function, errNo);
    g_errDetail.errNo = (uint32_t)errNo;
    PrintError(errNo, ERR_KIND_SYSTEM, function, line);
    return 0;
}
