/* Control library: configuration of logical drives, hot spares and drive
 * states, cache and auto-rebuild settings, and the background operations
 * (rebuild, consistency check, parity creation). Every change travels as a
 * MODE SELECT page to target 0 of the controller after the library has checked
 * the refreshed status. Included by tavctl.h. */
#ifndef TAVCTL_CONFIG_H
#define TAVCTL_CONFIG_H

#include <stddef.h>
#include <stdint.h>

#include "tavctl.h"

#ifdef __cplusplus
#define TAV_CONFIG_ASSERT(cond, what) static_assert(cond, what)
#else
#define TAV_CONFIG_ASSERT(cond, what) _Static_assert(cond, what)
#endif

/* Hot-spare modes of a logical drive. */
#define TAV_HOTSPARE_GLOBAL 0
#define TAV_HOTSPARE_GROUP 1
#define TAV_HOTSPARE_NONE 2

/* Cache policy codes as the adapter keeps them. */
#define TAV_READ_AHEAD 0
#define TAV_READ_NONE 1
#define TAV_WRITE_BACK 0
#define TAV_WRITE_THROUGH 1

/* Rebuild state and maintenance state of a logical drive. */
#define TAV_REBUILD_NOT_NEEDED 0
#define TAV_REBUILD_NEEDED 1
#define TAV_REBUILD_EXECUTING 2
#define TAV_MAINTENANCE_NONE 0
#define TAV_MAINTENANCE_CHECKING 1
#define TAV_MAINTENANCE_WRITING 2

/* Drive states that setHDDsts_GOOD / setHDDsts_ALAM request. */
#define TAV_FORCE_GOOD 0x00
#define TAV_FORCE_ALARM 0x20

/* Operations of the restore record. */
#define TAV_RESTORE_CANDIDATE 0
#define TAV_DELETE_CANDIDATE 1

/* Modes of TavDllParity: anything other than write or check stops. */
#define TAV_PARITY_WRITE 0
#define TAV_PARITY_CHECK 1
#define TAV_PARITY_STOP 2

/* Input of createLD. Callers zero the whole record before filling it. */
typedef struct __attribute__((packed)) DLL_CREATE_LD_INFO {
    uint8_t contNo;
    uint8_t groupNo; /* logical drive to create */
    uint8_t reserved2;
    uint8_t memberCount;            /* at most 12 */
    uint8_t member[TAV_MAX_DRIVES]; /* drive numbers, each at most 11 */
    uint8_t hotSpareMode;           /* TAV_HOTSPARE_* */
    uint8_t raidLevel;              /* 0, 1, 5, 6 */
    uint8_t reserved18;
    uint8_t readPolicy;  /* TAV_READ_* */
    uint8_t writePolicy; /* TAV_WRITE_* */
    uint8_t spanMarker;  /* 1 for a spanned array (RAID 10), else 0 */
    uint8_t reserved22[78];
} DLL_CREATE_LD_INFO;

TAV_CONFIG_ASSERT(sizeof(DLL_CREATE_LD_INFO) == 100, "DLL_CREATE_LD_INFO size");
TAV_CONFIG_ASSERT(offsetof(DLL_CREATE_LD_INFO, groupNo) == 1, "groupNo");
TAV_CONFIG_ASSERT(offsetof(DLL_CREATE_LD_INFO, memberCount) == 3, "memberCount");
TAV_CONFIG_ASSERT(offsetof(DLL_CREATE_LD_INFO, member) == 4, "member");
TAV_CONFIG_ASSERT(offsetof(DLL_CREATE_LD_INFO, hotSpareMode) == 16, "hotSpareMode");
TAV_CONFIG_ASSERT(offsetof(DLL_CREATE_LD_INFO, raidLevel) == 17, "raidLevel");
TAV_CONFIG_ASSERT(offsetof(DLL_CREATE_LD_INFO, readPolicy) == 19, "readPolicy");
TAV_CONFIG_ASSERT(offsetof(DLL_CREATE_LD_INFO, writePolicy) == 20, "writePolicy");
TAV_CONFIG_ASSERT(offsetof(DLL_CREATE_LD_INFO, spanMarker) == 21, "spanMarker");

/* Input of configRestoreLD. The library sets fill[] to 0xFF. */
typedef struct __attribute__((packed)) DLL_CONFIG_RESTORE_LD {
    uint8_t contNo;
    uint8_t operation; /* TAV_RESTORE_CANDIDATE or TAV_DELETE_CANDIDATE */
    uint8_t candidateNo;
    uint8_t groupNo;   /* logical drive the candidate becomes */
    uint8_t reserved4; /* must be 0 */
    uint8_t fill[12];
    uint8_t reserved17;
    uint8_t readPolicy;  /* TAV_READ_* */
    uint8_t writePolicy; /* TAV_WRITE_* */
} DLL_CONFIG_RESTORE_LD;

TAV_CONFIG_ASSERT(sizeof(DLL_CONFIG_RESTORE_LD) == 20, "DLL_CONFIG_RESTORE_LD size");
TAV_CONFIG_ASSERT(offsetof(DLL_CONFIG_RESTORE_LD, operation) == 1, "operation");
TAV_CONFIG_ASSERT(offsetof(DLL_CONFIG_RESTORE_LD, candidateNo) == 2, "candidateNo");
TAV_CONFIG_ASSERT(offsetof(DLL_CONFIG_RESTORE_LD, groupNo) == 3, "groupNo");
TAV_CONFIG_ASSERT(offsetof(DLL_CONFIG_RESTORE_LD, reserved4) == 4, "reserved4");
TAV_CONFIG_ASSERT(offsetof(DLL_CONFIG_RESTORE_LD, fill) == 5, "fill");
TAV_CONFIG_ASSERT(offsetof(DLL_CONFIG_RESTORE_LD, readPolicy) == 18, "readPolicy");
TAV_CONFIG_ASSERT(offsetof(DLL_CONFIG_RESTORE_LD, writePolicy) == 19, "writePolicy");

/* ---- entry points: 1 success, 0 failure (reason in the error word) ---- */

/* logical drives and restore candidates */
TAVCTL_API int createLD(const DLL_CREATE_LD_INFO *request);
/* Refuses (0x400) while block 0 of the drive carries a partition table and
 * then prints the reason on standard output. */
TAVCTL_API int deleteLD(uint8_t contNo, uint8_t groupNo);
TAVCTL_API int configRestoreLD(DLL_CONFIG_RESTORE_LD *request);
/* 1 when the last createLD, deleteLD or configRestoreLD of this thread failed
 * after the adapter had taken the change but before it was committed (the
 * commit is tried four times): the adapter keeps the change staged and the
 * next configuration change, by any program, carries it out. 0 otherwise. */
TAVCTL_API int getConfigStaged(void);

/* physical drives */
TAVCTL_API int createGHS(uint8_t contNo, uint8_t hddNo);
TAVCTL_API int deleteGHS(uint8_t contNo, uint8_t hddNo);
TAVCTL_API int setHDDsts_GOOD(uint8_t contNo, uint8_t hddNo);
TAVCTL_API int setHDDsts_ALAM(uint8_t contNo, uint8_t hddNo);

/* settings of a logical drive: value 1 on / 0 off */
TAVCTL_API int setWriteCache(uint8_t contNo, uint8_t groupNo, int writeBack);
TAVCTL_API int setReadCache(uint8_t contNo, uint8_t groupNo, int readAhead);
TAVCTL_API int setAutoRebuild(uint8_t contNo, uint8_t groupNo, int enable);

/* background operations */
TAVCTL_API int start_Rebuild(uint8_t contNo, uint8_t groupNo);
TAVCTL_API int start_consistencyCheck(uint8_t contNo, uint8_t groupNo);
TAVCTL_API int stop_consistencyCheck(uint8_t contNo, uint8_t groupNo);
TAVCTL_API int start_makeParity(uint8_t contNo, uint8_t groupNo);
TAVCTL_API int stop_makeParity(uint8_t contNo, uint8_t groupNo);

/* ---- timer helpers ---- */

/* Ticks since midnight (UTC), 18 a second, taken from the clock's whole
 * seconds: the value moves in steps of 18 once a second. */
TAVCTL_API uint32_t AT_GetTimer(void);
/* Waits busily until ticks x 55 ms reach seconds x 1000 ms, or the tick
 * counter runs backwards (midnight). One second lasts one to two seconds. */
TAVCTL_API void Tool_Sleep(uint32_t seconds);

#endif
