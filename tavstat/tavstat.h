/* tavstat: the adapters' state for monitoring, read once per adapter with
 * the control library's snapshot call and printed as JSON, as Prometheus
 * metrics or as a monitoring-plugin check. */
#ifndef TAVSTAT_H
#define TAVSTAT_H

#include <string>

#include "tavctl.h"
#include "tavctl_snapshot.h"

/* Whether a drive's own health could be read. */
enum StatHealthStatus {
    HEALTH_NOT_ASKED = 0, /* --no-health, or no drive present */
    HEALTH_READ,
    HEALTH_STOPPED, /* the drive is stopped; nothing was sent that would start it */
    HEALTH_BUSY,    /* the pass-through lock stayed taken (tavpth, tavlog at work) */
    HEALTH_ERROR    /* a health command failed: refused, busy, unanswered or unreadable */
};

/* A drive's own health, read through the pass-through library. A value of -1
 * is one the drive does not report (or its interface does not have). */
struct StatDriveHealth {
    StatHealthStatus status;
    int sata;
    int temperature;    /* degrees Celsius, now */
    int temperatureMax; /* highest seen, where the drive keeps it */
    int predictiveFailure;
    int64_t uncorrectedRead; /* SAS: read and write error counter pages, parameter 6 */
    int64_t uncorrectedWrite;
    int64_t reallocated; /* SATA: SMART attributes 5, 197, 198 (raw) */
    int64_t pending;
    int64_t offlineUncorrectable;
};

/* One adapter as read: ok 0 means the snapshot failed with error. */
struct StatAdapter {
    int ok;
    uint32_t error;
    DLL_ADAPTER_SNAPSHOT snap;
    StatDriveHealth health[TAV_MAX_DRIVES];
};

/* Everything tavstat reports. libraryOk 0: the library could not be opened
 * or asked for the adapters, or could not reach the driver (libraryError
 * holds its error word, reason what kept it from the driver, else empty). */
struct StatReport {
    int libraryOk;
    uint32_t libraryError;
    char reason[160];
    int count;
    int healthRead; /* 0 with --no-health */
    StatAdapter adapter[TAV_MAX_ADAPTERS];
};

/* Opens the library shared, takes one snapshot per adapter and, with
 * withHealth, reads every present drive's health; closes the library. */
void StatRead(StatReport *report, int withHealth);

/* Reads the health of the present drives of one snapshot. waitBudgetMs is
 * what is left of the run's time for waiting on the pass-through lock; each
 * wait is taken from it. */
void StatReadHealth(uint8_t contNo, const DLL_ADAPTER_SNAPSHOT &snap, StatDriveHealth *health, int *waitBudgetMs);
/* Takes the error counters (pages 0x02, 0x03), the temperature (0x0D, else
 * 0x2F) and the failure prediction (0x2F) out of a LOG SENSE answer of one or
 * more pages in ascending order, of which size bytes were asked; a page cut
 * off by the allocation length gives its complete parameters. 1 when page
 * 0x2F's parameter 0 was found. */
int StatLogPages(const uint8_t *data, uint32_t size, StatDriveHealth *h);
/* "read", "stopped", "busy", "error" ("" when not asked). */
const char *StatHealthStatusText(StatHealthStatus status);

/* Temperature thresholds of --check and --summary (degrees Celsius). */
struct StatThresholds {
    int warning;
    int critical;
};
constexpr int STAT_TEMPERATURE_WARNING = 55;
constexpr int STAT_TEMPERATURE_CRITICAL = 65;

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
std::string StatCheck(const StatReport &report, const StatThresholds &limits, int *status);
/* The worst health and the problems, as the check line names them
 * ("OK - 1 adapter(s), ..." or "WARNING - Adapter 0-VD 0 Warning0, ..."). */
std::string StatVerdict(const StatReport &report, const StatThresholds &limits, int *status);
/* The one-screen summary; escapes (the overall status in colour) only with colour. */
std::string StatSummary(const StatReport &report, const StatThresholds &limits, int colour);

/* 1 when the library, every adapter and every health reading that was
 * tried (stopped and busy drives aside) could be read. */
int StatComplete(const StatReport &report);

/* Writes text to path through a temporary file in the same directory, synced
 * and renamed over it. 1 or 0 (message on standard error). */
int StatWriteAtomic(const std::string &path, const std::string &text);

#endif
