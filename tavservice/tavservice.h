// The monitoring service: process-wide state and the functions its source
// files share. Everything runs in the service's only thread.
#ifndef TAVSERVICE_H
#define TAVSERVICE_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <syslog.h>

#include "tavbase/lock.h"
#include "tavctl.h"
#include "tavctl_perform.h"

#define TAV_MAX_CONTROLLERS 4
#define MAX_FOUND_EVENTS 4096
#define MAX_EVENT_IDS 4096
#define LOG_ENTRY_SIZE 512
#define LOG_RING_ENTRIES 4096
#define SYSTEM_STATUS_SIZE 256
#define DUMP_INFO_SIZE 256
#define DRIVER_INFO_SIZE 544
#define CONFIG_LINE_SIZE 4096
#define PROC_LINE_KEEP 255
#define DUMP_DIR_SIZE 1024
#define DUMP_FILE_NAME_SIZE 64

#define PRI_ERR (LOG_DAEMON | LOG_ERR)
#define PRI_WARNING (LOG_DAEMON | LOG_WARNING)
#define PRI_INFO (LOG_DAEMON | LOG_INFO)

// Control codes of the service's own requests to the driver.
#define CTL_SYSTEM_STATUS 2
#define CTL_DUMP_INFO 3
#define CTL_DUMP_DATA 4
#define CTL_CONSUME_LOG 6
#define CTL_READ_LOG 7
#define CTL_SET_CLOCK 18
#define CTL_FIRMWARE_MEMORY 19
#define CTL_DRIVER_INFO 20

struct ProcAdapterInfo {
    uint8_t cardNo;
    uint8_t hostNo;
    uint8_t pciBus;
    uint8_t pciSlot;
    uint8_t maxChannel;
    uint8_t canQueue;
    uint8_t cmdPerLun;
    char cardType[32];
    char driverVersion[32];
};

struct RaidControllerEntry {
    char name[64];
    uint32_t found;
    uint32_t supported;
    uint32_t statusReady;
    ProcAdapterInfo procInfo;
    int32_t driverStatistics[16][4];
    uint32_t dumpPending;
};

struct ServiceConfigs {
    char DumpDir[DUMP_DIR_SIZE + 1];
    uint32_t Ptime;
    uint32_t *eventIds;
    uint32_t eventIdCount;
    int ptimeValid;
    int eventIdsValid;
    int dumpDirValid;
};

struct FoundEventList {
    uint32_t events[MAX_FOUND_EVENTS];
    uint32_t count;
};

// The event-log entry after reading: header fields converted to host order.
struct ControllerLogEntry {
    uint8_t raw[LOG_ENTRY_SIZE];
};
#define ENTRY_LENGTH_OFFSET 16
#define ENTRY_LOGCODE_OFFSET 20
#define ENTRY_FORMAT_OFFSET 22
#define ENTRY_CLASS_OFFSET 33
#define ENTRY_FIELD34_OFFSET 34
#define ENTRY_FIELD36_OFFSET 36
#define ENTRY_DETAIL_OFFSET 64
#define ENTRY_STATUS_OFFSET 320

// ---- process-wide state ----
extern RaidControllerEntry RaidController[TAV_MAX_CONTROLLERS];
extern ServiceConfigs Configs;
extern FoundEventList FoundEvents[TAV_MAX_CONTROLLERS];
extern uint32_t DemandToGetClog[TAV_MAX_CONTROLLERS];
extern uint32_t CountOfWakeup[TAV_MAX_CONTROLLERS];
extern uint32_t time_counter[TAV_MAX_CONTROLLERS];
extern uint32_t service_waitcount;
extern unsigned PollInterval;
extern uint8_t Oslog_ver;
extern uint8_t Model;
extern int Fd;
extern int DebugMode;
extern uint16_t DriverVersion[4];
extern int abortlogoffset[TAV_MAX_CONTROLLERS];
extern uint16_t singlebit_err_count[TAV_MAX_CONTROLLERS][256];
// The pid file, locked by the running instance for its whole life.
extern tavbase::LockFile PidLock;
extern const char PidFile[];
extern const char LogIdent[];

// ---- trace and system log (tavservice_main_trace) ----
void Trace_Logging(const char *file, int line, const char *text, int code);
void Trace_Logging2(int kind, const char *file, int line, const char *function, int contNo, uint32_t eventId,
                    int cacheMode, int signo);
void Trace_Text(const char *file, int line, const char *format, ...) __attribute__((format(printf, 3, 4)));
void tavopenlog(void);
void tavcloselog(void);
// One message: opens the log, sends it, closes it.
void ServiceLog(int priority, const char *format, ...) __attribute__((format(printf, 2, 3)));
#define TRACE_CALL(kind, contNo, eventId, cacheMode, signo) \
    Trace_Logging2((kind), __FILE__, __LINE__, __func__, (contNo), (eventId), (cacheMode), (signo))

// ---- configuration (tavservice_main_config) ----
int GetParameter(const char *line, char *value, size_t size);
int ParseConfigNumber(const char *value, uint32_t *number);
int ReadConfigFile(ServiceConfigs *configs);
void FreeConfigs(ServiceConfigs *configs);
int ThresholdReadConfigFile(uint32_t eventId, uint32_t *threshold);

// ---- pid file (tavservice_main_pid) ----
// Takes the pid file's lock (PidLock): 1 held, 0 another instance holds it,
// -1 it cannot be used (traced).
int lock_pid(const char *pidFile);
int read_pid(const char *pidFile);
int check_pid(const char *pidFile);
int write_pid(const char *pidFile);
// Removes the pid file (while still locked), then releases the lock.
int remove_pid(const char *pidFile);

// ---- /proc discovery (tavservice_main_proc) ----
int ProcessLogsInit(void);
int GetControllerInfomation(void);
int ParseProcDirectory(const char *directory, RaidControllerEntry *controllers, int maxControllers);

// ---- signals and exit (tavservice_main_signal) ----
void InstallSignalHandlers(void);
int StopRequested(void);
// Reports a requested stop and ends the service (does not return when a stop was requested).
void HandleStopRequest(void);
// Sleeps, returning early when a stop is requested.
void ServiceSleep(unsigned seconds);
[[noreturn]] void die(void);
void ReleaseResources(void);

// ---- the main loop (tavservice_main) ----
int StartChildAndWait(const char *fixedProgram, char *const argv[]);
int GatherToTheClog(int contNo);
int SetClockAndReport(int contNo);
void ProcessingCycle(void);

// ---- the driver channel (tavservice_ioctl) ----
int OpenDevice(void);
int ExecIoControl(int contNo, int controlCode, void *buffer, uint32_t length, uint32_t argument);
int GetSystemStatus(int contNo, uint8_t *status);
int GetLogEntry(int contNo, int index, ControllerLogEntry *entry);
int GetRealLogEntry(int contNo, int index);
int SetTraidClock(int contNo);
int GetDriverInfo(RaidControllerEntry *controller, int contNo);
uint32_t SystemStatusWriteIndex(const uint8_t *status);

// ---- event translation (tavservice_service, tavservice_service_message) ----
int ProcessLogs(int contNo, FoundEventList *found, ServiceConfigs *configs);
int WriteLogEntryToSystemLog(int contNo, ControllerLogEntry *entry, FoundEventList *found, ServiceConfigs *configs);
int IsLastLogEntry(const ControllerLogEntry *entry);
void ConvertLogEntry(ControllerLogEntry *entry);
int GetMessage(char *text, size_t size, int messageNo, int contNo, const ControllerLogEntry *entry,
               FoundEventList *found);
void AddFoundEvent(FoundEventList *found, uint32_t eventId);
uint32_t DetailedCode(uint32_t category, int contNo, uint32_t fields);
void writerawdata(const uint8_t *data, unsigned length);
void Trace_TLogSkip(const ControllerLogEntry *entry);
int LogDeviceCfg(const ControllerLogEntry *entry, int contNo, FoundEventList *found);
int LogDataTransfer(const ControllerLogEntry *entry, int contNo, FoundEventList *found);
int LogHindrance(const ControllerLogEntry *entry, int contNo, FoundEventList *found);
int LogDataRestore(const ControllerLogEntry *entry, int contNo, FoundEventList *found);
int LogTraidRas(const ControllerLogEntry *entry, int contNo, FoundEventList *found);
int LogTraidAtt5(const ControllerLogEntry *entry, int contNo, FoundEventList *found);
int LogDumpExistence(const ControllerLogEntry *entry, int contNo, FoundEventList *found, ServiceConfigs *configs);
// The two memory addresses of a single-bit-error entry and whether each is valid.
void SingleBitAddresses(const ControllerLogEntry *entry, int format8002, uint32_t address[2], int valid[2]);
void SingleBitCheck(const ControllerLogEntry *entry, int contNo, FoundEventList *found, int format8002);
uint16_t EntryField16(const ControllerLogEntry *entry, int offset);
uint32_t EntryField32(const ControllerLogEntry *entry, int offset);
// Sends a composed message at `priority`.
void SendMessage(int priority, int messageNo, int contNo, const ControllerLogEntry *entry, FoundEventList *found);

// ---- firmware dumps (tavservice_dump) ----
int tavservice_init(void);
int GetDumpAndWriteDump(RaidControllerEntry *controllers, ServiceConfigs *configs, FoundEventList *found);
int GetDumpInfo(int contNo);
int WriteDumpToFile(int contNo, ServiceConfigs *configs, FoundEventList *found);
int CheckDumpDirectory(int contNo, const char *dumpDir);
int CheckControllerDirectory(int contNo, const char *dumpDir);
int CheckDumpFile(int contNo, const char *dumpDir, int kind);
int MicroRebootDump(int contNo, ServiceConfigs *configs);
int GetIncmpleteDumpFile(int contNo, ServiceConfigs *configs);

// ---- consistency-check scheduler (tavservice_schedule) ----
extern char mes0[64];      // controller text of a report
extern char mes1[64];      // logical-drive text
extern char mes2[64];      // detailed error text
extern char cLogStr[256];  // trace text
// The schedule lock while held: its descriptor and whether this process
// created the lock file.
extern tavbase::LockFile CCSchLock;
void ServiceStartSchCheck(void);
void CCSchedule(void);
int execCLI(int ld, int contNo);
// 0 when the schedule lock is held, 1 when five attempts failed.
int get_mutex_CCSch(void);
int del_mutex_CCSch(void);
// The schedule file with the service's rule for dates after today; 1 or 0.
int getConfCCSch(CCScheduleTable *table);

// ---- statistics logging (perform_mng) ----
struct MonitorTable {
    uint16_t countdown;  // ticks until the next sample
    uint16_t interval;
    uint16_t taken;  // samples written (failed ones included)
    uint16_t total;  // requested samples; 0: no collection set up
    char fileName[TAV_AUTOSTAT_PATH];
    uint8_t format;  // 1 text, 2 comma-separated, 0 after a stop
    uint8_t adapterActive[TAV_MAX_CONTROLLERS];
    uint8_t ldSelected[TAV_MAX_CONTROLLERS][TAV_AUTOSTAT_LDS];
};
extern MonitorTable monitor_table;
extern FILE *pm_fp;
extern int init_fp;
void prfm_call_ini(void);
void prfm_chk_getstate(void);
int read_reg_info(AutoStaticPara *para);
int call_del_regi(void);
int del_AutoStatic(void);
int call_open_file(void);
int call_close_file(void);
void TavLogWristatic_t(const uint8_t read[TAV_MAX_CONTROLLERS], const DrvStatistics stats[TAV_MAX_CONTROLLERS]);
void TavLogWristatic_c(const uint8_t read[TAV_MAX_CONTROLLERS], const DrvStatistics stats[TAV_MAX_CONTROLLERS]);
void TavLogWristatic_err_t(void);
void TavLogWristatic_err_c(void);
void TavLogWristatic_fin_t(void);
void TavLogWristatic_fin_c(void);
void TavLogWristatic_stp_t(void);
void TavLogWristatic_stp_c(void);
// One trace line of at most 150 characters.
void prmlogging(const char *file, int line, const char *format, ...) __attribute__((format(printf, 3, 4)));

#endif
