/* Conversions of the adapter's raw buffers into the records handed to
 * programs. Shared by the single-record operations and the whole-adapter
 * snapshot, so both give the same bytes. */
#ifndef RAIDCTL_RECORDS_H
#define RAIDCTL_RECORDS_H

#include "tavdllctl_util.h"

/* From the controller parameters and the setting pages (without their mode
 * header) of the adapter selected last. */
void fillControllerInfo(int contNo, const DLL_CONT_PARA &contPara, const uint8_t *page31, const uint8_t *page36,
                        DLL_GET_CONTROLLER_INFO *info);
/* From the common status. */
void fillRaidStatus(uint8_t contNo, const uint8_t *common, DLL_GET_RAID_STATUS *status);
/* From a group's (or restore candidate's) parameters. */
void fillLogicalDiskInfo(uint8_t contNo, uint8_t number, const uint8_t *groupPara, DLL_GET_LOGICAL_DISK_INFO *info);
/* From a drive's parameters, laid out for the selected card type. */
void fillHddInfo(const uint8_t *para, DLL_GET_HDD_INFO *info);

#endif
