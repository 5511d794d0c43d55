/* Control library: the driver's I/O rate figures per logical drive and the
 * parameter file of the automatic statistics collection,
 * "/opt/morvane/tavutility/conf/performance.conf", through which the
 * command-line tool asks the monitoring service to record them. Included by
 * the programs that use them, after tavctl.h. */
#ifndef TAVCTL_PERFORM_H
#define TAVCTL_PERFORM_H

#include <stddef.h>
#include <stdint.h>

#include "tavctl.h"

/* DrvStatistics: entry 0 the adapter totals, entries 1-8 logical drives 0-7. */
#define TAV_STAT_ENTRIES 25
#define TAV_STAT_VALUES 6
#define TAV_STAT_LDS 8
#define TAV_STAT_READ_IOS 0 /* read I/Os per second */
#define TAV_STAT_WRITE_IOS 1
#define TAV_STAT_READ_KB 2 /* read KB per second */
#define TAV_STAT_WRITE_KB 3

typedef struct __attribute__((packed)) DrvStatistics {
    uint64_t entry[TAV_STAT_ENTRIES][TAV_STAT_VALUES];
} DrvStatistics;

/* AutoStaticPara.state */
#define TAV_AUTOSTAT_IDLE 0
#define TAV_AUTOSTAT_RUN 1
#define TAV_AUTOSTAT_STOP 2
#define TAV_AUTOSTAT_INVALID 3 /* never written to the file */
/* AutoStaticPara.format */
#define TAV_AUTOSTAT_TEXT 1
#define TAV_AUTOSTAT_CSV 2
#define TAV_AUTOSTAT_MAX_INTERVAL 1440 /* minutes */
#define TAV_AUTOSTAT_MAX_COUNT 1000
#define TAV_AUTOSTAT_PATH 4096
#define TAV_AUTOSTAT_ADAPTERS 4
#define TAV_AUTOSTAT_LDS 8

typedef struct __attribute__((packed)) AutoStaticPara {
    uint8_t state;
    uint16_t interval; /* minutes between samples, 1-1440 */
    uint16_t count;    /* samples, 1-1000 */
    char fileName[TAV_AUTOSTAT_PATH];
    uint8_t format;
    uint8_t ldSelected[TAV_AUTOSTAT_ADAPTERS][TAV_AUTOSTAT_LDS];
} AutoStaticPara;

#ifdef __cplusplus
static_assert(sizeof(DrvStatistics) == 1200, "DrvStatistics size");
static_assert(sizeof(AutoStaticPara) == 4134, "AutoStaticPara size");
static_assert(offsetof(AutoStaticPara, interval) == 1, "interval");
static_assert(offsetof(AutoStaticPara, count) == 3, "count");
static_assert(offsetof(AutoStaticPara, fileName) == 5, "fileName");
static_assert(offsetof(AutoStaticPara, format) == 4101, "format");
static_assert(offsetof(AutoStaticPara, ldSelected) == 4102, "ldSelected");
#else
_Static_assert(sizeof(DrvStatistics) == 1200, "DrvStatistics size");
_Static_assert(sizeof(AutoStaticPara) == 4134, "AutoStaticPara size");
#endif

/* Writes performance.conf from the record: the head line with its state,
 * interval, count, file name and extension ("txt" for format 1, "csv"
 * otherwise), then every adapter's selection flags. The file is replaced
 * whole (temporary file, flush, rename), as the service reads it without a
 * lock. Returns 1, or 0 with errno set (the old file is left whole); sets
 * no error word. The idle and stop files are a zeroed record with the
 * state set and format 1. */
TAVCTL_API int writeAutoStaticFile(const AutoStaticPara *para);

/* ---- entry points: 1 success, 0 failure (reason in the error word) ---- */
TAVCTL_API int getDrvstatic(int contNo, DrvStatistics *statistics);
TAVCTL_API int start_AutoStatic(AutoStaticPara para);
TAVCTL_API int stop_AutoStatic(void);
/* 0 only for a null record; the outcome is in state (3 for any failure). */
TAVCTL_API int getAutoStaticPara(AutoStaticPara *para);

#endif
