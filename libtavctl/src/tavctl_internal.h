/* Process-wide state and helpers shared by the control library's sources. */
#ifndef TAVCTL_INTERNAL_H
#define TAVCTL_INTERNAL_H

#include <stdio.h>

#include "tavctl.h"

/* Source names that error lines and traces carry. */
#define SRC_RAIDCTL "raidctl"
#define SRC_DLL_MOD "dll_mod"
#define SRC_PCIFUNC "tavdllctl_pcifunc"

#define CARD_TYPE_ZN5120 7
#define CARD_TYPE_ZN5121 16

/* One controller number slot; present is 255 when no adapter is there. */
struct ControllerEntry {
    uint8_t number;
    uint8_t present;
};

struct AdapterHandle {
    uint16_t pciAddress; /* bus << 8 | slot << 3 */
    uint8_t cardType;
    int32_t hostNumber;
    uint16_t driverVersion[4];
};

/* The adapter tables are visible outside the library (as they always were)
 * so that diagnostic programs can read what discovery found. */
TAVCTL_API ControllerEntry Controller[TAV_MAX_ADAPTERS];
TAVCTL_API AdapterHandle _AdapterHandle[TAV_MAX_ADAPTERS];
TAVCTL_API uint16_t _ADR[TAV_MAX_ADAPTERS];
TAVCTL_API uint8_t _TYPE[TAV_MAX_ADAPTERS];
TAVCTL_API uint16_t _DRVVER[TAV_MAX_ADAPTERS][4];
TAVCTL_API int32_t _AdapterNum;
/* The adapter selected by TavDllLcSetupAdapter. */
extern uint16_t _PCIADR;
extern uint8_t _CardType;

/* Command channel globals. */
extern int g_devfd;
extern uint8_t _SnsDat[256];
extern char errcode[80];
extern uint32_t _ErrPOCCAR;
extern uint16_t _ErrPci;
extern uint8_t _ErrTarget;

/* Trace state. */
#define TRACE_TABLE_ENTRIES 10
#define TRACE_ENTRY_SIZE 4096
extern char g_trace_tbl[TRACE_TABLE_ENTRIES][TRACE_ENTRY_SIZE];
extern int g_trace_tbl_idx;
extern int g_busy_flg;
extern char g_function[256];

/* Starts a trace cycle: clears the trace table unless an outer operation
 * holds the busy flag. */
void DllTraceCycleStart(void);
/* Writes the collected trace entries to the trace log and closes the cycle. */
void DllTraceFlush(void);
/* Records the failing system call for the next ERROR:SYSTEM detail. */
void DllSetFunction(const char *name);

/* Reports an error word set by the caller: the error line and, for system,
 * command and argument errors, the detail line (the pattern used across the
 * library). */
void DllReportError(uint32_t code, const char *function, const char *file, int line, int sysErrno);

/* The command builders told the size of the caller's buffer: a buffer smaller
 * than the command's transfer (255 bytes for INQUIRY and MODE SENSE, 512 for
 * READ and WRITE) is refused before anything is sent, with error word
 * 0x04000010 and the result CMDEXE_REFUSED. The exported builders without a
 * size assume a buffer of the transfer's size. */
#define CMDEXE_REFUSED (-1)
TAVCTL_API int CmdExe_InquirySized(uint16_t contNo, uint8_t target, uint8_t *buffer, size_t size);
TAVCTL_API int CmdExe_ReadSized(uint16_t contNo, uint8_t target, uint8_t *buffer, size_t size);
TAVCTL_API int CmdExe_WriteSized(uint16_t contNo, uint8_t target, uint32_t lba, uint8_t *buffer, size_t size);
TAVCTL_API int CmdExe_ModeSenseSized(uint16_t contNo, uint8_t target, uint8_t page, uint8_t *buffer, size_t size);

/* Reports a failed system call: records its name for the ERROR:SYSTEM detail,
 * sets error word 0x200 and writes the error line in the name of function.
 * Returns 0, the failure result of the caller. */
int DllReportSystemFailure(const char *call, const char *function, const char *file, int line, int sysErrno);
/* The system error number of this thread's last DllReportSystemFailure. */
int DllLastSystemErrno(void);

/* Trace log file handle, closed by finContData and the exit handler. */
void DllCloseTraceLog(void);

/* DllReportError with the command error that the ERROR:IOCTL detail prints. */
void DllReportCommandError(uint32_t code, uint32_t commandError, const char *function, const char *file, int line,
                           int sysErrno);

/* Debug log file opened by DebugOn, closed by the exit handler. */
void DllCloseDebugLog(void);

/* Resets the controller table (numbers 0, present markers 255). */
void DllResetControllerTable(void);

/* Copies the resolved installation directory (with its trailing "/") into
 * buffer; returns 1 when it fits and the directory exists, else 0. Sets no
 * error word. */
int DllInstallDir(char *buffer, size_t size);

/* Line parsers of discovery. fgetline reads one line with its newline and
 * returns its length (0 at end of file); ptnmatch is 1 when the line begins
 * with the pattern after its leading spaces; the get* parsers read the value
 * after the line's first ":" and return 0 when it cannot be parsed. */
int fgetline(char *buffer, int size, FILE *file);
int ptnmatch(const char *line, const char *pattern);
int getpciadr(const char *line, uint16_t *pciAddress);
int getcardno(const char *line, int *cardNo);
int getcardtype(const char *line, uint8_t *cardType);
int getdrvver(const char *line, char *version, size_t size);

/* Replaces the file at path (already resolved) with length bytes of text
 * through a temporary file beside it, flushed and renamed over it (keeping
 * the old file's mode): readers see the old or the new file whole, and a
 * failure leaves the old one as it was. Sets no error word; errno tells why. */
#define TOOL_FILE_REPLACED 0
#define TOOL_FILE_NOT_CREATED 1 /* the temporary file could not be created */
#define TOOL_FILE_NOT_WRITTEN 2 /* it could not be written, flushed or put in place */
int Tool_ReplaceFile(const char *path, const char *text, size_t length);

/* Appends formatted text at *used in a buffer of size bytes; once the text
 * no longer fits, *used becomes size (and stays there), so a caller checks
 * *used < size once at the end. */
void Tool_AppendText(char *text, size_t size, size_t *used, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

/* Library version text ("5.0") and the identification string. */
#define TAVCTL_VERSION "5.0"
extern const char TavDllRcsId[];

/* Hex dump lines (TavDllFormatDumpLine, tavctl.h) of the debug dump and the trace log. */
#define DUMP_BYTES_PER_LINE TAV_DUMP_BYTES_PER_LINE
#define DUMP_LINE_SIZE TAV_DUMP_LINE_SIZE
#define DUMP_OFFSET_COLUMN 10
#define DUMP_HEX_COLUMNS 48
#define DUMP_SEPARATOR TAV_DUMP_SEPARATOR

#endif
