/* Process-wide state and helpers shared by the control library's sources. */
#ifndef TAVCTL_INTERNAL_H
#define TAVCTL_INTERNAL_H

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

extern ControllerEntry Controller[TAV_MAX_ADAPTERS];
extern AdapterHandle _AdapterHandle[TAV_MAX_ADAPTERS];
extern uint16_t _ADR[TAV_MAX_ADAPTERS];
extern uint8_t _TYPE[TAV_MAX_ADAPTERS];
extern uint16_t _DRVVER[TAV_MAX_ADAPTERS][4];
extern int32_t _AdapterNum;
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

/* Trace log file handle, closed by finContData and the exit handler. */
void DllCloseTraceLog(void);

#endif
