/* Consistency-check schedule commands: set, show and delete the weekly
 * schedule of logical drives. The schedule file is shared with the
 * monitoring service, so every library call that touches it runs under the
 * schedule lock, taken and released around that one call. */
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "tavcli.h"
#include "tavcli_cmd_ld_opt.h"

/* Option kinds of -CCSchSet. */
#define OPT_HOUR (CLI_OPT_COMMAND << 0)
#define OPT_DAY (CLI_OPT_COMMAND << 1)

#define CCSCH_KIND_SET 1
#define CCSCH_KIND_DELETE 2
#define CCSCH_DAYS 7
#define CCSCH_HOURS 24

#define MSG_EVERY "Adapter %d-VD %d: Every %s - %02d:00"
#define MSG_RAID0 "Fatal error - Adapter %d-VD %d: Consistency Check cannot be done with RAID0."
#define MSG_NOT_SET_FATAL "Fatal error - Adapter %d-VD %d: The check consistency schedule is not set."

static const char *const kDayNames[CCSCH_DAYS] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                  "Thursday", "Friday", "Saturday"};

static const CliKeyword kDayKeywords[] = {{"em", 1}, {"et", 2}, {"ew", 3}, {"eth", 4},
                                          {"ef", 5}, {"es", 6}, {"esu", 0}};

/* ---- the schedule file under the lock ---- */

#define SCHEDULE_FILE "/opt/morvane/tavutility/conf/ccschedule.conf"

/* A change the library refused because the file holds lines it would not
 * keep: the file is named, since no internal error code says which it is. */
static int ScheduleChanged(int changed, uint8_t adapter, const char *module, unsigned line)
{
    int systemError = errno;
    if (!changed && (DLLGetLastError() & DLL_ERROR_SYSTEM) && systemError == EILSEQ) {
        char path[PATH_MAX];
        if (!Tool_ResolvePath(SCHEDULE_FILE, path, sizeof path)) {
            snprintf(path, sizeof path, "%s", SCHEDULE_FILE);
        }
        CliLogging(CLI_LOG_TRACE, module, line,
                   "Fatal error - %s: The file has lines that cannot be read. It was not changed.", path);
        return 0;
    }
    errno = systemError;
    return CliCallOk(changed, adapter, module, line);
}

static int LockSchedule(const char *module)
{
    if (get_mutex(CLI_LOCK_CCSCHEDULE) == 0) {
        return 1;
    }
    CliLogging(CLI_LOG_TRACE, module, __LINE__, MSG_COMPETITION);
    return 0;
}

int CliReadSchedule(uint8_t adapter, uint8_t ld, uint8_t *isSet, uint8_t *day, uint8_t *hour, const char *module)
{
    if (!LockSchedule(module)) {
        return 0;
    }
    int ok = CLI_CALL(adapter, module, getCCSchedule(adapter, ld, isSet, day, hour));
    del_mutex(CLI_LOCK_CCSCHEDULE);
    return ok;
}

int CliDeleteSchedule(uint8_t adapter, uint8_t ld, const char *module)
{
    if (!LockSchedule(module)) {
        return 0;
    }
    int deleted = deleteCCSchedule(adapter, ld);
    if (!deleted && DLLGetLastError() == DLL_ERROR_NONE) {
        CliLogging(CLI_LOG_TRACE, module, __LINE__, MSG_NOT_SET_FATAL, adapter, ld);
    } else {
        deleted = ScheduleChanged(deleted, adapter, module, __LINE__);
    }
    del_mutex(CLI_LOCK_CCSCHEDULE);
    return deleted;
}

/* ---- options ---- */


static uint32_t ClassifySchedule(const char *option)
{
    if (CliFindKeyword(kDayKeywords, CLI_KEYWORD_COUNT(kDayKeywords), option) >= 0) {
        return OPT_DAY;
    }
    if (option[0] == 't' && strlen(option) == 3) {
        return OPT_HOUR;
    }
    return CliClassifyDriveTarget(option);
}

/* "t" and two characters: 00-23. */
static int ParseHour(const char *option, int *hour)
{
    char tens = option[1];
    char units = option[2];
    if (tens < '0' || tens > '2' || units < '0' || units > '9' || (tens == '2' && units > '3')) {
        return 0;
    }
    *hour = (tens - '0') * 10 + (units - '0');
    return 1;
}

static int AcceptSchedule(uint32_t kind, const char *option, void *state)
{
    ScheduleOptions *options = (ScheduleOptions *)state;
    if (kind == OPT_HOUR) {
        return ParseHour(option, &options->hour);
    }
    if (kind == OPT_DAY) {
        options->day = CliFindKeyword(kDayKeywords, CLI_KEYWORD_COUNT(kDayKeywords), option);
        return 1;
    }
    return CliAcceptDriveOption(kind, option, &options->drive);
}

int CliParseScheduleSetOptions(int argc, char *argv[], ScheduleOptions *options, uint32_t *seen)
{
    static const CliOptionRules rules = {
        ClassifySchedule, NULL, AcceptSchedule, OPT_HOUR | OPT_DAY | CLI_OPT_LD | CLI_OPT_ADAPTER, 0, CLI_OPT_NOCHK,
        CLI_TOKEN_BEFORE};
    CliInitDriveOptions(&options->drive, 0);
    options->hour = 0;
    options->day = 0;
    return CliWalkOptions(argc, argv, &rules, options, seen);
}

/* ---- the listing and question of -CCSchSet and -CCSchDel ---- */

struct ScheduleCheck {
    int kind;
    int hour;
    int day;
    int allLds;
    int allAdapters;
    uint8_t skipped[CLI_ADAPTER_SLOTS];
    size_t kept;
};

/* The adapter rule of the listing: without LDs under -Lall an adapter is
 * passed over, with the message unless all adapters were asked for. */
static int CheckAdapterHasLds(const CliStep *step)
{
    ScheduleCheck *check = (ScheduleCheck *)step->context;
    if (CliHasAnyLd(step->status) || !check->allLds) {
        ++check->kept;
        return 1;
    }
    check->skipped[step->adapter] = 1;
    if (!check->allAdapters) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_NO_VIRTUAL_DRIVE, step->adapter);
    }
    return 1;
}

static int ReportNoLd(const CliStep *step)
{
    CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_NO_VIRTUAL_DRIVE, step->adapter);
    return 1;
}

static int ListSetTarget(const CliStep *step, const ScheduleCheck *check)
{
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!CLI_CALL(step->adapter, MOD_CMD_LD, getLogicalDriveInfo(step->adapter, step->target, &info))) {
        return 0;
    }
    if (info.raidLevel == 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_RAID0, step->adapter, step->target);
    } else {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, MSG_EVERY, step->adapter, step->target, kDayNames[check->day],
                   check->hour);
    }
    return 1;
}

static int ListDeleteTarget(const CliStep *step)
{
    uint8_t isSet, day, hour;
    if (!CliReadSchedule(step->adapter, step->target, &isSet, &day, &hour, MOD_CMD_LD)) {
        return 0;
    }
    if (!isSet) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d-VD %d: The check consistency schedule is not set.",
                   step->adapter, step->target);
        return 1;
    }
    if (day >= CCSCH_DAYS) {
        CliInternalErrorCode(1, 0x100010, MOD_CMD_LD, __LINE__);
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, MSG_EVERY, step->adapter, step->target, kDayNames[day], hour);
    return 1;
}

static int ListScheduleTarget(const CliStep *step)
{
    const ScheduleCheck *check = (const ScheduleCheck *)step->context;
    if (step->state == TAV_STATE_UNDEFINED) {
        return 1;
    }
    return check->kind == CCSCH_KIND_SET ? ListSetTarget(step, check) : ListDeleteTarget(step);
}

int ComChkCCSch(const uint8_t adapters[CLI_ADAPTER_SLOTS], const uint8_t lds[CLI_LD_SLOTS], int hour, int day,
                int allAdapters, int kind)
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    if (kind != CCSCH_KIND_SET && kind != CCSCH_KIND_DELETE) {
        CliInternalErrorCode(1, 0x100010, MOD_CMD_LD, __LINE__);
        return 0;
    }
    CliTargets targets;
    memset(&targets, CLI_EMPTY_SLOT, sizeof targets);
    memcpy(targets.adapters, adapters, sizeof targets.adapters);
    memcpy(targets.lds, lds, sizeof targets.lds);
    ScheduleCheck check = {kind, hour, day, CliIsAllLds(lds), allAdapters, {0}, 0};
    if (!CliWalkAdapters(&targets, 1, CheckAdapterHasLds, &check, MOD_CMD_LD)) {
        return 0;
    }
    if (check.kept == 0 && check.allLds && allAdapters) {
        CliWalkAdapters(&targets, 0, ReportNoLd, NULL, MOD_CMD_LD);
        return 0;
    }
    CliWalk walk = {CLI_WALK_LDS, 1, check.skipped, NULL, MOD_CMD_LD};
    if (!CliWalkTargets(&targets, &walk, ListScheduleTarget, &check)) {
        return 0;
    }
    return CliAskConfirmation(kind == CCSCH_KIND_SET
                                  ? "Is the setting of the check consistency schedule executed?(Y/N)?"
                                  : "Is the deletion of the check consistency schedule executed?(Y/N)?");
}

/* ---- -CCSchSet ---- */

static int SetSchedule(const CliStep *step)
{
    const ScheduleOptions *options = (const ScheduleOptions *)step->context;
    uint8_t adapter = step->adapter;
    uint8_t ld = step->target;
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!CLI_CALL(adapter, MOD_CMD_LD, getLogicalDriveInfo(adapter, ld, &info))) {
        return 0;
    }
    if (info.raidLevel == 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_RAID0, adapter, ld);
        return 0;
    }
    if (!LockSchedule(MOD_CMD_LD)) {
        return 0;
    }
    int set = ScheduleChanged(setCCSchedule(adapter, ld, options->day, options->hour), adapter, MOD_CMD_LD, __LINE__);
    del_mutex(CLI_LOCK_CCSCHEDULE);
    if (set) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
                   "Adapter %d-VD %d: The setting of the check consistency schedule succeeded.", adapter, ld);
    }
    return set;
}

int CliCmdExecCCSchSet(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    ScheduleOptions options;
    CliLdSelection selection;
    uint32_t seen;
    const CliTargets *targets = &options.drive.targets;
    if (!CliParseScheduleSetOptions(argc, argv, &options, &seen)) {
        return 0;
    }
    if (!(seen & CLI_OPT_NOCHK) && !ComChkCCSch(targets->adapters, targets->lds, options.hour, options.day,
                                                targets->allAdapters, CCSCH_KIND_SET)) {
        return 0;
    }
    if (CliSelectLds(targets, options.drive.allLds, &selection, MOD_CMD_LD)) {
        CliWalkSelectedLds(targets, &selection, SetSchedule, &options, MOD_CMD_LD);
    }
    return 0;
}

/* ---- -CCSchInfo ---- */

static int ShowSchedule(const CliStep *step)
{
    uint8_t isSet, day, hour;
    if (!CliReadSchedule(step->adapter, step->target, &isSet, &day, &hour, MOD_CMD_LD)) {
        return 0;
    }
    if (isSet > 1 || day >= CCSCH_DAYS || hour >= CCSCH_HOURS) {
        return CliReportAbnormalInfo(step->adapter);
    }
    if (!isSet) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d-VD %d: None", step->adapter, step->target);
    } else {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, MSG_EVERY, step->adapter, step->target, kDayNames[day], hour);
    }
    return 1;
}

int CliCmdExecCCSchInfo(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    static const CliOptionRules rules = {
        CliClassifyDriveTarget, NULL, CliAcceptDriveOption, CLI_OPT_LD | CLI_OPT_ADAPTER, 0, 0, CLI_TOKEN_BEFORE};
    CliDriveOptions options;
    CliLdSelection selection;
    uint32_t seen;
    if (CliParseDriveOptions(argc, argv, &rules, 0, &options, &seen) &&
        CliSelectLds(&options.targets, options.allLds, &selection, MOD_CMD_LD)) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Check Consistency Schedule Information");
        CliWalkSelectedLds(&options.targets, &selection, ShowSchedule, NULL, MOD_CMD_LD);
    }
    return 0;
}

/* ---- -CCSchDel ---- */

static int DeleteSchedule(const CliStep *step)
{
    uint8_t adapter = step->adapter;
    uint8_t ld = step->target;
    uint8_t isSet, day, hour;
    if (!CliReadSchedule(adapter, ld, &isSet, &day, &hour, MOD_CMD_LD)) {
        return 0;
    }
    if (isSet == 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_NOT_SET_FATAL, adapter, ld);
        return 0;
    }
    if (isSet != 1) {
        return CliReportAbnormalInfo(adapter);
    }
    if (!CliDeleteSchedule(adapter, ld, MOD_CMD_LD)) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
               "Adapter %d-VD %d: The deletion of the check consistency schedule succeeded.", adapter, ld);
    return 1;
}

int CliRunLdDeletion(int argc, char *argv[], int (*confirm)(const CliTargets *targets), CliStepAction action)
{
    static const CliOptionRules rules = {
        CliClassifyDriveTarget, NULL, CliAcceptDriveOption, CLI_OPT_LD | CLI_OPT_ADAPTER, 0, CLI_OPT_NOCHK,
        CLI_TOKEN_BEFORE};
    CliDriveOptions options;
    CliLdSelection selection;
    uint32_t seen;
    if (CliParseDriveOptions(argc, argv, &rules, 0, &options, &seen) &&
        ((seen & CLI_OPT_NOCHK) || confirm(&options.targets)) &&
        CliSelectLds(&options.targets, options.allLds, &selection, MOD_CMD_LD)) {
        CliWalkSelectedLds(&options.targets, &selection, action, NULL, MOD_CMD_LD);
    }
    return 0;
}

static int ConfirmScheduleDeletion(const CliTargets *targets)
{
    return ComChkCCSch(targets->adapters, targets->lds, 0, 0, targets->allAdapters, CCSCH_KIND_DELETE);
}

int CliCmdExecCCSchDel(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    return CliRunLdDeletion(argc, argv, ConfirmScheduleDeletion, DeleteSchedule);
}
