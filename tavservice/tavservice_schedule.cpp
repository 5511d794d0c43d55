// Consistency-check scheduler of the service: at start it removes the
// schedules whose logical drive can no longer be checked; in every
// processing cycle it starts the checks whose day and hour have come (through
// tavcli as a child) and records the date of each start in the schedule file,
// so that a check runs at most once per scheduled day.
//
// The file is shared with tavcli, which changes it under the schedule lock.
// The service reads it without the lock, decides, and then, holding the lock,
// reads it again and applies only its own changes (a recorded start date, a
// removed schedule) to what it finds there, so an operator's change made in
// between is kept. When the lock cannot be had, the changes stay pending in
// memory and are applied on top of the next cycle's reading until a rewrite
// succeeds: neither a start date nor a schedule is lost, and a started check
// is not started again.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "tavservice.h"

char mes0[64];
char mes1[64];
char mes2[64];
char cLogStr[256];
tavbase::LockFile CCSchLock = {-1, 0, 0, 0, ""};

namespace {

const char kLockFile[] = "/var/run/libtavccsch.pid";
const char kTavcliProgram[] = "/opt/morvane/tavutility/tavcli";
const char kScheduleFile[] = "/opt/morvane/tavutility/conf/ccschedule.conf";
constexpr int kLockAttempts = 5;
constexpr int kLockRounds = 10;            // get_mutex_CCSch calls before the changes are kept pending
constexpr useconds_t kLockPause = 100000;  // between them: tavcli holds the lock for one call only
constexpr uint32_t kNoSuchController = DLL_ARG_ERROR_NO_SUCH_CONTROLLER | DLL_ARG_ERROR_CONTNO;
constexpr uint8_t kStateUndefined = 255;
constexpr uint8_t kParityCheckRunning = 1;
constexpr uint8_t kParityMakeRunning = 2;
constexpr uint8_t kRebuildRunning = 2;

enum Detail { kAbsent = 1, kUndefined = 2, kRaid0 = 3, kRebuilding = 4, kNotOptimal = 5, kMakingParity = 6 };

// Changes the service made that the file does not hold yet: per entry the
// value it was read as and the value to store.
struct PendingChanges {
    CCScheduleTable from;
    CCScheduleTable to;
    uint8_t set[TAV_CCSCH_CONTROLLERS][TAV_CCSCH_LDS];
};
PendingChanges g_pending;

// Today's local date as YYYYMMDD, and the local time.
uint32_t today(struct tm *local)
{
    time_t now = time(nullptr);
    localtime_r(&now, local);
    return static_cast<uint32_t>((local->tm_year + 1900) * 10000 + (local->tm_mon + 1) * 100 + local->tm_mday);
}

// The report of one event: the system log with message variant 3, else the
// trace. detail 0: the event has no detailed error.
void report(const char *event, const char *eventId, int contNo, int ld, int detail)
{
    snprintf(mes0, sizeof mes0, "%d", contNo);
    snprintf(mes1, sizeof mes1, "%d", ld);
    snprintf(mes2, sizeof mes2, "0x%02d", detail);
    if (Oslog_ver == 3) {
        if (detail == 0) {
            ServiceLog(PRI_INFO, "tavutil: Controller [%s] Logical Drive [%s] %s. EventID: %s.", mes0, mes1, event,
                       eventId);
        } else {
            ServiceLog(PRI_INFO, "tavutil: Controller [%s] Logical Drive [%s] %s. detailed error: %s. EventID: %s.",
                       mes0, mes1, event, mes2, eventId);
        }
        return;
    }
    if (detail == 0) {
        snprintf(cLogStr, sizeof cLogStr, "Controller [%d] Logical Drive [%d] %s.", contNo, ld, event);
    } else {
        snprintf(cLogStr, sizeof cLogStr, "Controller [%d] Logical Drive [%d] %s. detailed error: 0x%02d.", contNo, ld,
                 event, detail);
    }
    Trace_Text(__FILE__, __LINE__, "%s", cLogStr);
}

const char kRemoved[] = "The schedule of Consistency Check was deleted";
const char kNotStarted[] = "Scheduled Consistency Check does not start";
const char kStarted[] = "Scheduled Consistency Check starts";

void traceFailure(const char *what)
{
    snprintf(cLogStr, sizeof cLogStr, "%s - error code - 0x%08x", what, DLLGetLastError());
    Trace_Text(__FILE__, __LINE__, "%s", cLogStr);
}

// What the library says about a scheduled drive: 0 it can be checked (the
// drive's information in *info), a detailed error, or -1 when a call failed
// for another reason (traced; the schedule stays as it is).
int checkDrive(int contNo, int ld, DLL_GET_LOGICAL_DISK_INFO *info, uint8_t *state)
{
    DLL_GET_CONTROLLER_INFO controller;
    if (!getContInfo(contNo, &controller)) {
        if (DLLGetLastError() & kNoSuchController) {
            return kAbsent;
        }
        traceFailure("failed getContInfo");
        return -1;
    }
    DLL_GET_RAID_STATUS status;
    if (!getRaidStatus(static_cast<uint8_t>(contNo), &status)) {
        traceFailure("failed getRaidStatus");
        return -1;
    }
    *state = status.ldState[ld];
    if (*state == kStateUndefined) {
        return kUndefined;
    }
    if (!getLogicalDriveInfo(static_cast<uint8_t>(contNo), static_cast<uint8_t>(ld), info)) {
        traceFailure("failed getLogicalDriveInfo");
        return -1;
    }
    return info->raidLevel == 0 ? kRaid0 : 0;
}

// The table as read, with the changes still pending applied where the file
// holds what they were made from.
void applyPending(CCScheduleTable *table)
{
    for (int c = 0; c < TAV_CCSCH_CONTROLLERS; ++c) {
        for (int l = 0; l < TAV_CCSCH_LDS; ++l) {
            if (g_pending.set[c][l] && table->value[c][l] == g_pending.from.value[c][l]) {
                table->value[c][l] = g_pending.to.value[c][l];
            }
        }
    }
}

// The changes not yet in the file: the differences between the file as
// read (raw) and what the service decided from it (earlier pending changes
// included, where they still applied).
void notePending(const CCScheduleTable *read, const CCScheduleTable *decided)
{
    memset(&g_pending, 0, sizeof g_pending);
    for (int c = 0; c < TAV_CCSCH_CONTROLLERS; ++c) {
        for (int l = 0; l < TAV_CCSCH_LDS; ++l) {
            if (read->value[c][l] != decided->value[c][l]) {
                g_pending.set[c][l] = 1;
                g_pending.from.value[c][l] = read->value[c][l];
                g_pending.to.value[c][l] = decided->value[c][l];
            }
        }
    }
}

// 1 for a file read; 0 for any failure, which is traced.
int readOutcome(int result)
{
    switch (result) {
    case TAV_CCSCH_DONE:
        return 1;
    case TAV_CCSCH_POSITION:
        Trace_Text(__FILE__, __LINE__, "SEEK SET error.");
        return 0;
    case TAV_CCSCH_NO_DIRECTORY:
        Trace_Text(__FILE__, __LINE__, "make directry failed.");
        return 0;
    case TAV_CCSCH_UNREADABLE:
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
        return 0;
    case TAV_CCSCH_NOT_UNDERSTOOD: {
        char path[4096];
        if (!Tool_ResolvePath(kScheduleFile, path, sizeof path)) {
            snprintf(path, sizeof path, "%s", kScheduleFile);
        }
        Trace_Text(__FILE__, __LINE__, "%s has lines that cannot be read: it is not rewritten.", path);
        return 0;
    }
    default:
        Trace_Text(__FILE__, __LINE__, "make file failed.");
        return 0;
    }
}

// The file read again before the service rewrites it: 0 (traced) also when
// it holds lines a rewrite would lose.
int readForRewrite(CCScheduleTable *table)
{
    struct tm local;
    return readOutcome(readCCScheduleFileForRewrite(table, today(&local)));
}

// Under the lock: the file read again, the service's changes applied where
// the file still holds what they were made from, written back. 1 written.
int rewriteUnderLock(const CCScheduleTable *read, const CCScheduleTable *decided)
{
    notePending(read, decided);
    int locked = 0;
    for (int round = 0; round < kLockRounds && !locked; ++round) {
        locked = get_mutex_CCSch() == 0;
        if (!locked && round + 1 < kLockRounds) {
            usleep(kLockPause);
        }
    }
    if (!locked) {
        Trace_Text(__FILE__, __LINE__, "get_mutex_CCSch failed: the changes are kept for the next cycle");
        return 0;
    }
    CCScheduleTable fresh;
    int written = 0;
    if (readForRewrite(&fresh)) {
        applyPending(&fresh);
        written = writeCCScheduleFile(&fresh, 1) == TAV_CCSCH_DONE;
        if (!written) {
            Trace_Text(__FILE__, __LINE__, "file open error.");
        }
    }
    del_mutex_CCSch();
    if (written) {
        memset(&g_pending, 0, sizeof g_pending);
    }
    return written;
}

// One scheduled entry in a processing cycle: the value to store, with
// today's date when the check was started (or found running).
uint64_t runEntry(int contNo, int ld, uint64_t value)
{
    struct tm local;
    uint32_t date = today(&local);
    uint8_t day = 0, hour = 0;
    uint32_t lastStart = 0;
    decodeCCScheduleValue(value, nullptr, &day, &hour, &lastStart);
    if (day != local.tm_wday || hour != local.tm_hour || lastStart == date) {
        return value;
    }
    DLL_GET_LOGICAL_DISK_INFO info;
    uint8_t state = 0;
    int detail = checkDrive(contNo, ld, &info, &state);
    if (detail == 0 && state != 0) {
        detail = kNotOptimal;
    } else if (detail == 0 && info.maintenance == kParityMakeRunning) {
        detail = kMakingParity;
    } else if (detail == 0 && info.rebuildState == kRebuildRunning) {
        detail = kRebuilding;
    }
    if (detail != 0) {
        if (detail > 0) {
            report(kNotStarted, "04502", contNo, ld, detail);
        }
        return value;
    }
    char text[32];
    snprintf(text, sizeof text, "%d%02d%lu", day, hour, static_cast<unsigned long>(date));
    if (info.maintenance != kParityCheckRunning) {
        report(kStarted, "04501", contNo, ld, 0);
        execCLI(ld, contNo);
    }
    return strtoull(text, nullptr, 10);
}

}  // namespace

int get_mutex_CCSch(void)
{
    char path[tavbase::kLockPathSize];
    if (CCSchLock.fd >= 0 || !Tool_ResolvePath(kLockFile, path, sizeof path)) {
        return 1;
    }
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (tavbase::LockTake(&CCSchLock, path, 0600, tavbase::kLockExclusive, nullptr)) {
            return 0;
        }
    }
    return 1;
}

int del_mutex_CCSch(void)
{
    tavbase::LockRelease(&CCSchLock, CCSchLock.created, nullptr);
    return 0;
}

int getConfCCSch(CCScheduleTable *table)
{
    struct tm local;
    return readOutcome(readCCScheduleFile(table, today(&local)));
}

int execCLI(int ld, int contNo)
{
    Trace_Text(__FILE__, __LINE__, "execCLI");
    char ldText[16], adapterText[16];
    snprintf(ldText, sizeof ldText, "-l%d", ld);
    snprintf(adapterText, sizeof adapterText, "-a%d", contNo);
    char name[] = "tavcli", command[] = "-LDCC", start[] = "-start";
    char *const argv[] = {name, command, start, ldText, adapterText, nullptr};
    return StartChildAndWait(kTavcliProgram, argv);
}

void ServiceStartSchCheck(void)
{
    CCScheduleTable read;
    if (!getConfCCSch(&read)) {
        return;
    }
    CCScheduleTable decided = read;
    for (int c = 0; c < TAV_CCSCH_CONTROLLERS; ++c) {
        for (int l = 0; l < TAV_CCSCH_LDS; ++l) {
            if (decided.value[c][l] == TAV_CCSCH_NONE) {
                continue;
            }
            DLL_GET_LOGICAL_DISK_INFO info;
            uint8_t state = 0;
            int detail = checkDrive(c, l, &info, &state);
            if (detail > 0) {
                report(kRemoved, "04500", c, l, detail);
                decided.value[c][l] = TAV_CCSCH_NONE;
            }
        }
    }
    rewriteUnderLock(&read, &decided);
}

void CCSchedule(void)
{
    CCScheduleTable read;
    if (!getConfCCSch(&read)) {
        return;
    }
    CCScheduleTable decided = read;
    applyPending(&decided);
    for (int c = 0; c < TAV_CCSCH_CONTROLLERS; ++c) {
        for (int l = 0; l < TAV_CCSCH_LDS; ++l) {
            if (decided.value[c][l] != TAV_CCSCH_NONE) {
                decided.value[c][l] = runEntry(c, l, decided.value[c][l]);
            }
        }
    }
    rewriteUnderLock(&read, &decided);
}
