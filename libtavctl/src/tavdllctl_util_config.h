/* The adapter-level steps that change the configuration or start and stop
 * background operations, and the steps that keep the operating system's view
 * of the logical drives in step. Like the other adapter-level steps they
 * refresh the status tables first, return 1 or 0 with the reason in the error
 * word, and open no trace cycle. */
#ifndef TAVDLLCTL_UTIL_CONFIG_H
#define TAVDLLCTL_UTIL_CONFIG_H

#include "tavdllctl_util.h"

/* ---- configuration pages (MODE SELECT, target 0) ---- */
#define PAGE_LD_CONFIG 0x30
#define PAGE_LD_CACHE 0x3A
#define PAGE_LD_RESTORE 0x3D
#define P30_LENGTH 0x2E
#define P3A_LENGTH 10
#define P3D_LENGTH 20

/* page 0x30 functions and positions */
#define P30_COMMIT 0x04
#define P30_CREATE 0x10
#define P30_DELETE 0x11
#define P30_RAID_LEVEL 5
#define P30_STRIPE 8
#define P30_HOTSPARE_MODE 14
#define P30_MEMBER_COUNT 15
#define P30_MEMBERS 16
#define P30_PARITY_LEVEL 37
#define P30_SPAN_MARKER 38

/* page 0x3A functions and positions */
#define P3A_SET_POLICIES 1
#define P3A_DROP 2
#define P3A_GROUP 6
#define P3A_READ_POLICY 7
#define P3A_WRITE_POLICY 8

/* page 0x3D functions and positions */
#define P3D_RESTORE 1
#define P3D_DELETE 2
#define P3D_TARGET_GROUP 4
#define P3D_FILL 6
#define P3D_FILL_SIZE 16

/* ---- action page functions (0x3C logical drive, 0x3E physical drive) ---- */
#define ACTION_CHECK_PARITY 2
#define ACTION_WRITE_PARITY 3
#define ACTION_STOP_PARITY 4
#define ACTION_REBUILD 5
#define ACTION_AUTO_REBUILD_ON 6
#define ACTION_AUTO_REBUILD_OFF 7
#define ACTION_FORCE_STATE 8
#define ACTION_CACHE_MODE 0x31
#define ACTION_ASSIGN_GHS 1
#define ACTION_REMOVE_GHS 2

/* page 0x3C function 0x31 parameter bits */
#define CACHE_BIT_NO_READ_AHEAD 0x01
#define CACHE_BIT_WRITE_BACK 0x04

#define AUTO_REBUILD_DISABLED 1
#define STRIPE_BLOCKS 256
#define SECTOR_SIZE 512

/* Partition message of a refused deletion, with room for any group number. */
#define PARTITION_MESSAGE_SIZE 96

/* ---- shared checks on the refreshed tables ---- */

/* 1 when the group (below 12) is defined; else error word 0x40. */
int TavDllRequireGroup(uint8_t groupNo);

/* ---- logical drives and restore candidates ---- */
TAVCTL_API int TavDllCreateLD(uint8_t contNo, const DLL_CREATE_LD_INFO *request);
/* message receives the partition message when the deletion is refused with
 * 0x400 (PARTITION_MESSAGE_SIZE bytes suffice). */
TAVCTL_API int TavDllDeleteLogicalDrive(uint8_t contNo, uint8_t groupNo, char *message, size_t size);
TAVCTL_API int TavDllRestore(uint8_t contNo, const DLL_CONFIG_RESTORE_LD *request);
/* 1 when one of the three steps above failed in this thread after the
 * adapter had taken its change, which then waits for the next commit; the
 * entry points clear it first. */
int TavDllConfigStaged(void);
void TavDllConfigStagedClear(void);

/* ---- physical drives ---- */
TAVCTL_API int TavDllAssignGHS(uint8_t contNo, uint8_t hddNo, int assign);
TAVCTL_API int TavDllForcePhysicalDrive(uint8_t contNo, uint8_t hddNo, uint8_t state);

/* ---- settings and background operations of a logical drive ---- */
TAVCTL_API int TavDllCacheModeSetup(uint8_t contNo, uint8_t groupNo, uint8_t readPolicy, uint8_t writePolicy);
TAVCTL_API int TavDllRebuildModeSetup(uint8_t contNo, uint8_t groupNo, int enable);
TAVCTL_API int TavDllRebuild(uint8_t contNo, uint8_t groupNo);
TAVCTL_API int TavDllParity(uint8_t contNo, uint8_t groupNo, int mode);

/* ---- the operating system's view (/proc/scsi/scsi) ---- */
/* 0 with 0x400 and the message when block 0 of the logical drive carries a
 * partition table; a drive that cannot be read counts as without one. */
TAVCTL_API int TavDllCmdExe_OsDeleteCheck(uint8_t contNo, uint8_t groupNo, char *message, size_t size);
TAVCTL_API int TavDllCmdExe_OsDeactivate(uint8_t contNo, uint8_t groupNo);
TAVCTL_API int TavDllCmdExe_OsRescanCreate(uint8_t contNo, uint8_t groupNo);

#endif
