/* Control library: the whole state of one adapter from a single status
 * reading, for monitoring programs that want every record at once without
 * re-reading the adapter for each of them. */
#ifndef TAVCTL_SNAPSHOT_H
#define TAVCTL_SNAPSHOT_H

#include "tavctl_info.h"

/* getAdapterSnapshot. Each record holds exactly the bytes its single-record
 * operation (getContInfo, getRaidStatus, getLogicalDriveInfo,
 * getPhysicalDriveInfo) would give at the same moment; getContPara's buffer
 * is kept too (revisions, SAS address). A logical-drive entry is filled when
 * ldValid is 1 (the group is defined), a drive entry when hddValid is 1 (the
 * slot has an entry with a drive present); the others stay zero. */
typedef struct __attribute__((packed)) DLL_ADAPTER_SNAPSHOT {
    DLL_GET_CONTROLLER_INFO controller;
    DLL_GET_RAID_STATUS raidStatus;
    DLL_CONT_PARA contPara;
    uint8_t ldValid[TAV_MAX_GROUPS];
    uint8_t hddValid[TAV_MAX_DRIVES];
    uint8_t globalHotSpare[2]; /* mode page 0x3E bytes 3 and 4 */
    uint8_t reserved466[14];
    DLL_GET_LOGICAL_DISK_INFO logicalDrive[TAV_MAX_GROUPS];
    DLL_GET_HDD_INFO physicalDrive[TAV_MAX_DRIVES];
} DLL_ADAPTER_SNAPSHOT;

TAV_INFO_ASSERT(sizeof(DLL_ADAPTER_SNAPSHOT) == 4752, "DLL_ADAPTER_SNAPSHOT size");
TAV_INFO_ASSERT(offsetof(DLL_ADAPTER_SNAPSHOT, controller) == 0, "controller");
TAV_INFO_ASSERT(offsetof(DLL_ADAPTER_SNAPSHOT, raidStatus) == 84, "raidStatus");
TAV_INFO_ASSERT(offsetof(DLL_ADAPTER_SNAPSHOT, contPara) == 184, "contPara");
TAV_INFO_ASSERT(offsetof(DLL_ADAPTER_SNAPSHOT, ldValid) == 440, "ldValid");
TAV_INFO_ASSERT(offsetof(DLL_ADAPTER_SNAPSHOT, hddValid) == 452, "hddValid");
TAV_INFO_ASSERT(offsetof(DLL_ADAPTER_SNAPSHOT, globalHotSpare) == 464, "globalHotSpare");
TAV_INFO_ASSERT(offsetof(DLL_ADAPTER_SNAPSHOT, logicalDrive) == 480, "logicalDrive");
TAV_INFO_ASSERT(offsetof(DLL_ADAPTER_SNAPSHOT, physicalDrive) == 3264, "physicalDrive");

/* Reads the adapter's whole status once (the refresh every operation makes,
 * plus the controller parameters and the two setting pages) and fills every
 * record from that reading. 1 or 0; on failure the record is left cleared and
 * the error word says why, as for the single-record operations. */
TAVCTL_API int getAdapterSnapshot(uint8_t contNo, DLL_ADAPTER_SNAPSHOT *snapshot);

#endif
