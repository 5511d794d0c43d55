/* Log collector: shared declarations of the entry, the collectors, the
 * configuration readers and the message printer. */
#ifndef TAVLOG_H
#define TAVLOG_H

#include <stddef.h>
#include <stdint.h>

#include "tavctl.h"

#define TAVLOG_VERSION "5.0"
#define TAVLOG_TRACE_NAME "tavlog.log"
#define TAVLOG_TRACE_SIZE 2000000
#define TAVLOG_CONF_PATH "/opt/morvane/tavutility/conf/tavlog.conf"
#define TAVLOG_INSTALL_DIR "/opt/morvane/tavutility"
#define TAVLOG_PATH_SIZE 4096
#define TAVLOG_NAME_SIZE 256

/* Log codes of the keyword table. */
#define LOG_HDD_DSLOG 1
#define LOG_HDD_DILOG 2
#define LOG_HDD_CLOG 4
#define LOG_HDD_CII 8
#define LOG_FWDUMP_DIRECT 9
#define LOG_RAID 16
#define LOG_NVRAM 32
#define LOG_FWTRC 48
#define LOG_FWDUMP 64
#define LOG_FWDUMP_FROM 65
#define LOG_FWDUMP_SDRAM 66
#define LOG_HDD_INQUIRY 80
#define LOG_HDD_LOGSENSE 96
#define LOG_DRV 112
#define LOG_UTL 128

/* Message codes. */
#define MSG_PARAM 1001
#define MSG_STARTED 1002
#define MSG_DISK_FULL 1003
#define MSG_NO_CONTROLLER 1004
#define MSG_NO_HDD 1008
#define MSG_NOT_SUPPORT 1009
#define MSG_TIMEOUT 1011
#define MSG_VENDOR 1101
#define MSG_PRODUCT 1102
#define MSG_REVISION 1103
#define MSG_STATUS_GOOD 1104
#define MSG_TOO_MANY_FILES 1105
#define MSG_GENERAL 1117
#define MSG_LIBRARY 79

/* Detail codes. */
#define DETAIL_ARG_WRONG 0x1000
#define DETAIL_ARG_UNKNOWN 0x1001
#define DETAIL_ARG_AUTOMATIC 0x1002
#define DETAIL_ARG_DIRECTORY 0x1003
#define CAUSE_CHECK_CONDITION 0x5000
#define CAUSE_DRIVER_TIMEOUT 0x5001
#define CAUSE_DRIVER_ERROR 0x5002
#define CAUSE_SPIN_UP 0x5003
#define CAUSE_LOG_SIZE 0x5004
#define CAUSE_PTH_PARAM 0x5005
#define CAUSE_PTH 0x5006
#define CAUSE_PTH_LIBRARY 0x5007
#define CAUSE_PTH_SYSTEM 0x5008
#define CAUSE_PTH_BUSY 0x5009
#define CAUSE_PTH_CHECK 0x500A
#define CAUSE_PTH_MEMORY 0x500B
#define CAUSE_VENDOR 0x500C
#define CAUSE_UNCONNECTED 0x500D
#define CAUSE_SYSTEM 0x500E

/* PrintError kinds. */
#define ERR_KIND_SYSTEM 0
#define ERR_KIND_MESSAGE 1

#define WOKE_INTERACTIVE 1
#define WOKE_AUTOMATIC 2

/* What went wrong, filled along the way and read by the error printer. */
struct ErrDetailInfo {
    uint32_t detail;
    uint8_t senseKey;
    uint8_t asc;
    uint8_t ascq;
    uint32_t hddNo;
    uint32_t contNo;
    const char *firstArg;
    const char *secondArg;
    uint8_t paramNo;
    uint8_t adapterError;
    uint8_t hddNotSpecified;
    uint32_t errNo;
    uint8_t fileFlag;
};

extern ErrDetailInfo g_errDetail;
extern int WhoWokeMe;
extern int HddLogForce;
extern int LogTypUseError;
extern int CONTno;
extern int HDDno;
extern uint8_t Model;
extern char g_outFile[TAVLOG_NAME_SIZE];    /* the output file of the run, once chosen */
extern char g_namePrefix[TAVLOG_NAME_SIZE]; /* time stamp, "_TAV_" and the controller digit */

/* tavlog_usage */
void Usage(void);
void PrintError(int code, int kind, const char *function, int line);
/* The line after a message that says why it happened: "Cause: %s." (quiet,
 * traced only, in an automatic trace run like the messages). */
void PrintCause(const char *cause);
void TraceCall(const char *srcFile, int line, int level, const char *function);
void TraceSystemError(const char *srcFile, int line, const char *function, int errNo);
int SystemError(const char *srcFile, int line, const char *function, int errNo);
const char *LogTypeName(int code);
void ClearErrDetail(void);

/* tavlog_registry */
uint32_t ConfigParmGet(void);
uint32_t GetMaxClogAreaSize(const char *value);
int GetDumpFileDir(char *dir, size_t size);
int ReadConfigValue(const char *key, char *value, size_t size);

/* tavlog_main */
int ArgumentAnalysis(int argc, char *argv[]);
int LogMain(int code);

/* tavlog_log: adapter and driver logs */
int GetReadBufferLog(int contNo, uint8_t mode, uint8_t bufferId, uint8_t *buffer, uint32_t length, uint32_t offset);
int WriteBlockLog(int code);
int CopyFwDump(void);
int WriteFwDumpFromFROM(void);
int WriteFwDumpFromSDRAM(void);
int WriteDrvTrac(void);
int CreateOutputFile(const char *name);
int WriteAll(int fd, const void *data, size_t length, const char *function, int line);
int CloseOutput(int fd, const char *function, int line);
int FinishOutput(int fd, int whole, const char *function, int line);
void AbandonOutput(void);
int ChooseOutputName(const char *suffix);

/* tavlog_log_util: utility traces and the automatic trace rotation */
int CopyUtlTrace(void);
int RotateFwTrace(const char *keep);
uint64_t GetDirSize(const char *dir);

/* tavlog_log_hdd: drive logs */
int IntHddLogMain(int code);

#endif
