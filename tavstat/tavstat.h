/* tavstat: the adapters' state for monitoring, read once per adapter with
 * the control library's snapshot call and printed as JSON, as Prometheus
 * metrics or as a monitoring-plugin check. */
#ifndef TAVSTAT_H
#define TAVSTAT_H

#include <string>

#include "tavctl.h"
#include "tavctl_snapshot.h"

/* One adapter as read: ok 0 means the snapshot failed with error. */
struct StatAdapter {
    int ok;
    uint32_t error;
    DLL_ADAPTER_SNAPSHOT snap;
};

/* Everything tavstat reports. libraryOk 0: the library could not be opened
 * or asked for the adapters, or could not reach the driver (libraryError
 * holds its error word, reason what kept it from the driver, else empty). */
struct StatReport {
    int libraryOk;
    uint32_t libraryError;
    char reason[160];
    int count;
    StatAdapter adapter[TAV_MAX_ADAPTERS];
};

/* Opens the library shared, takes one snapshot per adapter, closes it. */
void StatRead(StatReport *report);

/* Health of a state, worst last. */
enum StatHealth { HEALTH_OK = 0, HEALTH_WARNING = 1, HEALTH_CRITICAL = 2, HEALTH_UNKNOWN = 3 };

/* State texts of the command-line tool's tables; "Unknown" for a code no
 * table holds. */
const char *StatLdStateText(uint8_t code);
const char *StatPdStateText(uint8_t code);
const char *StatClassText(uint8_t code);
const char *StatLinkSpeedText(uint8_t code);
const char *StatBadSpotText(uint8_t code);
const char *StatPriorityText(uint16_t code);
/* "RAID0", "RAID1", "RAID5", "RAID10" (level 1 with four or more members), "RAID6". */
std::string StatRaidText(const DLL_GET_LOGICAL_DISK_INFO &ld);
/* "none", "rebuild", "consistency-check" or "parity-creation". */
const char *StatOperationText(const DLL_GET_LOGICAL_DISK_INFO &ld);
StatHealth StatLdHealth(uint8_t state);
StatHealth StatPdHealth(uint8_t state, const DLL_GET_HDD_INFO *info);
/* A fixed-width text field without trailing blanks or zeros. */
std::string StatField(const char *text, size_t size);
/* The serial number: INQUIRY bytes 36-47 (vendor-specific), as the drives put it there. */
std::string StatSerial(const DLL_GET_HDD_INFO &pd);
/* "1.2.4.54". */
std::string StatDriverVersion(const DLL_GET_CONTROLLER_INFO &c);

std::string StatJson(const StatReport &report);
std::string StatPrometheus(const StatReport &report);
/* The one-line summary; the exit status in *status (0-3). */
std::string StatCheck(const StatReport &report, int *status);

/* Writes text to path through a temporary file in the same directory, synced
 * and renamed over it. 1 or 0 (message on standard error). */
int StatWriteAtomic(const std::string &path, const std::string &text);

#endif
