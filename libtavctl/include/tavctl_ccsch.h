/* Control library: the consistency-check schedule file
 * "/opt/morvane/tavutility/conf/ccschedule.conf". One weekly schedule per
 * controller (0-3) and logical drive (0-7). The reader and writer below are
 * shared by the library's public operations and the monitoring service,
 * which passes its own differences (an empty last line, schedules dated in
 * the future dropped) as arguments. Included by tavctl.h. */
#ifndef TAVCTL_CCSCH_H
#define TAVCTL_CCSCH_H

#include <stddef.h>
#include <stdint.h>

#include "tavctl.h"

#define TAV_CCSCH_CONTROLLERS 4
#define TAV_CCSCH_LDS 8
/* A value of the table: no schedule. */
#define TAV_CCSCH_NONE 255u
/* The largest weekly value written with three digits (day 6, hour 23);
 * larger values carry the date of the last start and take eleven digits. */
#define TAV_CCSCH_SHORT_MAX 623u
/* Text of one value: eleven digits and the terminator. */
#define TAV_CCSCH_VALUE_TEXT 12

/* 255, D x 100 + HH, or DHHYYYYMMDD, per controller and logical drive. */
typedef struct __attribute__((packed)) CCScheduleTable {
    uint64_t value[TAV_CCSCH_CONTROLLERS][TAV_CCSCH_LDS];
} CCScheduleTable;

#ifdef __cplusplus
static_assert(sizeof(CCScheduleTable) == 256, "CCScheduleTable size");
static_assert(offsetof(CCScheduleTable, value) == 0, "value");
#else
_Static_assert(sizeof(CCScheduleTable) == 256, "CCScheduleTable size");
#endif

/* Outcome of readCCScheduleFile / writeCCScheduleFile; errno tells why. */
#define TAV_CCSCH_DONE 0
#define TAV_CCSCH_NO_DIRECTORY 1 /* the missing configuration directory could not be made */
#define TAV_CCSCH_NO_FILE 2      /* the missing file, or the new one, could not be created */
#define TAV_CCSCH_POSITION 3     /* a position query on the file failed */
#define TAV_CCSCH_WRITE 4        /* the new content could not be written or put in place */
#define TAV_CCSCH_UNREADABLE 5   /* the file exists but cannot be opened for reading */
/* The file holds lines the table does not keep (CRLF line ends, NUL bytes,
 * stray, repeated or misplaced lines, values that read as no schedule), so a
 * rewrite from the table would lose them (errno EILSEQ). */
#define TAV_CCSCH_NOT_UNDERSTOOD 6

/* Reads the file into the table (every value 255 first). A missing file
 * (ENOENT, nothing else) is created empty (the configuration directory too,
 * mode 0755, when needed); a file that cannot be opened for another reason
 * gives TAV_CCSCH_UNREADABLE. latestDate, when not 0, is a date YYYYMMDD: a value whose date of the last
 * start lies after it reads 255. Sets no error word. */
TAVCTL_API int readCCScheduleFile(CCScheduleTable *table, uint32_t latestDate);

/* As readCCScheduleFile, for a caller that rewrites the file from the table:
 * TAV_CCSCH_NOT_UNDERSTOOD when that would lose any of its lines (values
 * dated after latestDate excepted: dropping them is the point). */
TAVCTL_API int readCCScheduleFileForRewrite(CCScheduleTable *table, uint32_t latestDate);

/* Replaces the file with the table, followed by one empty line when asked:
 * the text goes to a temporary file beside it, which is flushed to disk and
 * renamed over the file (keeping its mode), so the file is whole at every
 * moment and stays as it was when anything fails. Sets no error word. */
TAVCTL_API int writeCCScheduleFile(const CCScheduleTable *table, int emptyLineAtEnd);

/* The text of a value ("%03llu" up to TAV_CCSCH_SHORT_MAX, else "%011llu")
 * and what it holds: day (first digit), hour (next two) and, for eleven
 * digits, the date of the last start (0 otherwise). Any output may be NULL. */
TAVCTL_API void decodeCCScheduleValue(uint64_t value, char text[TAV_CCSCH_VALUE_TEXT], uint8_t *day, uint8_t *hour,
                                      uint32_t *date);

/* ---- entry points: 1 success, 0 failure (reason in the error word) ----
 * Logical-drive numbers that checkGROUPno accepts but the table has no
 * place for (8-11) are refused with the same argument error. Callers that
 * change the file hold the schedule lock "/var/run/libtavccsch.pid". */
TAVCTL_API int setCCSchedule(int contNo, int groupNo, int day, int hour);
TAVCTL_API int getCCSchedule(int contNo, int groupNo, uint8_t *isSet, uint8_t *day, uint8_t *hour);
TAVCTL_API int deleteCCSchedule(int contNo, int groupNo);
TAVCTL_API int getConfCCSchedule(CCScheduleTable *table);

#endif
