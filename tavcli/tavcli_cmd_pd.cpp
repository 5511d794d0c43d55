/* Physical-drive commands. */
#include <stdio.h>
#include <string.h>

#include "tavcli.h"

#define PD_ALARM_FIRST 0x20
#define PD_ALARM_LAST 0x27

static int IsOffline(uint8_t state)
{
    return state >= PD_ALARM_FIRST && state <= PD_ALARM_LAST;
}

static int IsHotSpare(uint8_t driveClass)
{
    return driveClass == TAV_CLASS_SPARE_IN_USE || driveClass == TAV_CLASS_SPARE_NOT_USED;
}

/* The "Physical Disk" block of PDInfo and PDList. */
static int PrintDrive(CliDriveRef drive, uint8_t state)
{
    return CliShowPhysicalDrive(drive, state, CLI_PD_HEADING_DISK, 0);
}

static void PrintListHeading(uint8_t adapter)
{
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, "Adapter %d -- Physical Drive Information:\n", adapter);
}

/* ---- walks over the listed adapters and drives ---- */

/* For each listed adapter, with its status read, each listed drive. */
static int ForEachListedDrive(const CliTargets *targets, CliStepAction action, void *context)
{
    CliWalk walk = {CLI_WALK_PDS, 1, NULL, NULL, MOD_CMD_PD};
    return CliWalkTargets(targets, &walk, action, context);
}

static int AllDrivesExist(const CliTargets *targets)
{
    return CliAllDrivesExist(targets, MOD_CMD_PD);
}

static void ReportAlreadySet(int kind, const CliStep *step)
{
    CliLogging(kind, MOD_CMD_PD, __LINE__, MSG_ALREADY_SET, "Adapter", step->adapter, "Physical Drive", step->target);
}

/* ---- PDInfo, PDList, PDGetNum ---- */

static int ShowListedDrive(const CliStep *step)
{
    if (step->firstOfAdapter) {
        PrintListHeading(step->adapter);
    }
    return PrintDrive(CliDriveRef{step->adapter, step->target}, step->state);
}

int CliCmdExecPDInfo(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    static const CliOptionRules rules = {
        CliClassifyDriveTarget, NULL, CliAcceptDriveOption, CLI_OPT_PD | CLI_OPT_ADAPTER, 0, 0, CLI_TOKEN_BEFORE};
    CliDriveOptions options;
    uint32_t seen;
    if (!CliParseDriveOptions(argc, argv, &rules, 0, &options, &seen) || !AllDrivesExist(&options.targets)) {
        return 0;
    }
    ForEachListedDrive(&options.targets, ShowListedDrive, NULL);
    return 0;
}

/* The block of every drive of the adapter. */
static int ShowAllDrives(const CliStep *step)
{
    PrintListHeading(step->adapter);
    return CliShowPresentDrives(step->adapter, step->status, CLI_PD_HEADING_DISK, 0);
}

int CliCmdExecPDList(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    return CliRunAdapterReport(argc, argv, CLI_TOKEN_FIRST_OPTION, 0,
                               "Fatal error - Adapter %d: There is no Physical Drive.", ShowAllDrives, MOD_CMD_PD);
}

int CliCmdExecPDGetNum(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    return CliRunCountCommand(argc, argv, "Number of Physical drives on adapter %d: %d.", CliCountPresentDrives,
                              MOD_CMD_PD);
}

/* ---- PDLocate ---- */

static const CliKeyword kLocateKeywords[] = {{"active", CLI_OPT_ACTIVE}, {"passive", CLI_OPT_PASSIVE}};

static uint32_t ClassifyLocate(const char *option)
{
    return CliClassifyDriveOption(kLocateKeywords, CLI_KEYWORD_COUNT(kLocateKeywords), option);
}

static int SwitchLocateLed(const CliStep *step)
{
    uint8_t led = *(const uint8_t *)step->context;
    if (!CLI_CALL(step->adapter, MOD_CMD_PD, setHDDLocateLED(step->adapter, step->target, led))) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__,
               led == TAV_LED_ON ? "Physical Drive %d ( Adapter %d ) LED is Active."
                                 : "Physical Drive %d ( Adapter %d ) LED is not Active.",
               step->target, step->adapter);
    return 1;
}

int CliCmdExecPDLocate(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    static const CliOptionRules rules = {ClassifyLocate,
                                         CliDriveOptionConflicts,
                                         CliAcceptDriveOption,
                                         CLI_OPT_PD | CLI_OPT_ADAPTER,
                                         CLI_OPT_ACTIVE | CLI_OPT_PASSIVE,
                                         0,
                                         CLI_TOKEN_BEFORE};
    CliDriveOptions options;
    uint32_t seen;
    if (!CliParseDriveOptions(argc, argv, &rules, 0, &options, &seen) || !AllDrivesExist(&options.targets)) {
        return 0;
    }
    uint8_t led = (seen & CLI_OPT_ACTIVE) ? TAV_LED_ON : TAV_LED_OFF;
    ForEachListedDrive(&options.targets, SwitchLocateLed, &led);
    return 0;
}

/* ---- PDOnline, PDOffline ---- */

struct StateChange {
    int checkKind;
    int toOffline;
    int (*apply)(uint8_t adapter, uint8_t pd);
    const char *done;
    int alreadyKind; /* message kind of "already the setting" */
};

static const StateChange kToOnline = {CLI_CHK_PD_ONLINE, 0, setHDDsts_GOOD,
                                      "Physical Drive %d ( Adapter %d ) state changed to OnLine.", CLI_LOG_TRACE};
static const StateChange kToOffline = {CLI_CHK_PD_OFFLINE, 1, setHDDsts_ALAM,
                                       "Physical Drive %d ( Adapter %d ) state changed to OffLine.", CLI_LOG_STDOUT};

static int ChangeDriveState(const CliStep *step)
{
    const StateChange *change = (const StateChange *)step->context;
    if (IsOffline(step->state) == change->toOffline) {
        ReportAlreadySet(change->alreadyKind, step);
        return 1;
    }
    if (!CLI_CALL(step->adapter, MOD_CMD_PD, change->apply(step->adapter, step->target))) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, change->done, step->target, step->adapter);
    return 1;
}

static int RunStateChange(int argc, char *argv[], const StateChange *change)
{
    static const CliOptionRules rules = {
        CliClassifyDriveTarget, NULL, CliAcceptDriveOption, CLI_OPT_PD | CLI_OPT_ADAPTER, 0, CLI_OPT_NOCHK,
        CLI_TOKEN_BEFORE};
    CliDriveOptions options;
    uint32_t seen;
    if (!CliParseDriveOptions(argc, argv, &rules, 0, &options, &seen) ||
        !CliConfirmUnlessNoCheck(seen, &options.targets, change->checkKind) || !AllDrivesExist(&options.targets)) {
        return 0;
    }
    StateChange copy = *change;
    ForEachListedDrive(&options.targets, ChangeDriveState, &copy);
    return 0;
}

int CliCmdExecPDOnline(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    return RunStateChange(argc, argv, &kToOnline);
}

int CliCmdExecPDOffline(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    return RunStateChange(argc, argv, &kToOffline);
}

/* ---- PDHSP ---- */

static const CliKeyword kHotSpareKeywords[] = {{"set", CLI_OPT_SET}, {"rmv", CLI_OPT_RMV}};

static uint32_t ClassifyHotSpare(const char *option)
{
    return CliClassifyDriveOption(kHotSpareKeywords, CLI_KEYWORD_COUNT(kHotSpareKeywords), option);
}

static int SetHotSpare(const CliStep *step, const DLL_GET_HDD_INFO *info)
{
    if (step->state != 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_PD, __LINE__, "Fatal error - Adapter %d-PD %d: state is not GOOD.",
                   step->adapter, step->target);
        return 1;
    }
    if (IsHotSpare(info->hddClass)) {
        ReportAlreadySet(CLI_LOG_TRACE, step);
        return 1;
    }
    if (!CLI_CALL(step->adapter, MOD_CMD_PD, createGHS(step->adapter, step->target))) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, "Adapter %d: Physical Drive %d was set to the Hot Spare.",
               step->adapter, step->target);
    return 1;
}

static int RemoveHotSpare(const CliStep *step, const DLL_GET_HDD_INFO *info)
{
    if (!IsHotSpare(info->hddClass)) {
        ReportAlreadySet(CLI_LOG_TRACE, step);
        return 1;
    }
    if (!CLI_CALL(step->adapter, MOD_CMD_PD, deleteGHS(step->adapter, step->target))) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, "Adapter %d: Physical Drive %d was removed to the Hot Spare.",
               step->adapter, step->target);
    return 1;
}

static int ChangeHotSpare(const CliStep *step)
{
    DLL_GET_HDD_INFO info;
    if (!CLI_CALL(step->adapter, MOD_CMD_PD, getPhysicalDriveInfo(step->adapter, step->target, &info))) {
        return 0;
    }
    int assign = *(const int *)step->context;
    return assign ? SetHotSpare(step, &info) : RemoveHotSpare(step, &info);
}

int CliCmdExecPDHSP(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    static const CliOptionRules rules = {
        ClassifyHotSpare,          CliDriveOptionConflicts, CliAcceptDriveOption, CLI_OPT_PD | CLI_OPT_ADAPTER,
        CLI_OPT_SET | CLI_OPT_RMV, CLI_OPT_NOCHK,           CLI_TOKEN_BEFORE};
    CliDriveOptions options;
    uint32_t seen;
    if (!CliParseDriveOptions(argc, argv, &rules, 0, &options, &seen)) {
        return 0;
    }
    int assign = (seen & CLI_OPT_SET) != 0;
    if (!CliConfirmUnlessNoCheck(seen, &options.targets, assign ? CLI_CHK_PLAIN : CLI_CHK_HSP_REMOVE) ||
        !AllDrivesExist(&options.targets)) {
        return 0;
    }
    ForEachListedDrive(&options.targets, ChangeHotSpare, &assign);
    return 0;
}

/* ---- PDRbldPrrty ---- */

static const CliKeyword kPriorityKeywords[] = {
    {"idle", CLI_OPT_IDLE},     {"busy", CLI_OPT_BUSY}, {"high", CLI_OPT_HIGH},
    {"middle", CLI_OPT_MIDDLE}, {"low", CLI_OPT_LOW},
};

static uint32_t ClassifyPriority(const char *option)
{
    return CliClassifyDriveOption(kPriorityKeywords, CLI_KEYWORD_COUNT(kPriorityKeywords), option);
}

/* Priority codes 1 high, 2 middle, 3 low. */
static uint8_t PriorityCode(uint32_t seen)
{
    return (seen & CLI_OPT_HIGH) ? 1 : (seen & CLI_OPT_MIDDLE) ? 2 : 3;
}

struct RebuildPriority {
    int busy;
    uint8_t code;
};

static int SetRebuildPriority(const CliStep *step)
{
    const RebuildPriority *priority = (const RebuildPriority *)step->context;
    uint8_t adapter = step->adapter;
    int (*apply)(uint8_t, uint8_t) = priority->busy ? setRESTintvBUSY : setRESTintvIDLE;
    if (!CLI_CALL(adapter, MOD_CMD_PD, apply(adapter, priority->code))) {
        return 0;
    }
    char text[7];
    getOutputStr(CLI_TEXT_PRIORITY, priority->code, text, sizeof text, adapter);
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, "Adapter %d: The priority of Rebuild in %s state was made %s.",
               adapter, priority->busy ? "BUSY" : "IDLE", text);
    return 1;
}

int CliCmdExecRbldPrrty(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    /* Each group is required as a whole: the walker checks its mask as
     * "one or more", the conflicts keep it to one. */
    static const CliOptionRules rules = {
        ClassifyPriority, CliDriveOptionConflicts,     CliAcceptDriveOption,
        CLI_OPT_ADAPTER,  CLI_OPT_IDLE | CLI_OPT_BUSY, CLI_OPT_HIGH | CLI_OPT_MIDDLE | CLI_OPT_LOW | CLI_OPT_NOCHK,
        CLI_TOKEN_COMMAND};
    CliDriveOptions options;
    uint32_t seen;
    if (!CliParseDriveOptions(argc, argv, &rules, 0, &options, &seen)) {
        return 0;
    }
    if ((seen & (CLI_OPT_HIGH | CLI_OPT_MIDDLE | CLI_OPT_LOW)) == 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_PD, __LINE__, MSG_INVALID_TOKEN, argv[argc - 1]);
        return 0;
    }
    if (!CliConfirmUnlessNoCheck(seen, &options.targets, CLI_CHK_PLAIN)) {
        return 0;
    }
    RebuildPriority priority = {(seen & CLI_OPT_BUSY) != 0, PriorityCode(seen)};
    CliWalkAdapters(&options.targets, 0, SetRebuildPriority, &priority, MOD_CMD_PD);
    return 0;
}
