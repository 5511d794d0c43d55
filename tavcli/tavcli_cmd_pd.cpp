/* Physical-drive commands, and the drive information block that the
 * logical-drive displays print too. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "tavcli.h"

#define ASSIGN_TEXT_SIZE 11   /* at most 10 characters */
#define INQUIRY_TEXT_OFFSET 8 /* the INQUIRY bytes 8-47 are shown */
#define INQUIRY_TEXT_LENGTH 40
#define HEADING_SIZE 32

/* Member states of a member entry. */
#define MEMBER_IN_USE 0
#define MEMBER_GROUP_SPARE 2
#define MEMBER_SPARE_STANDS_IN 3

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

/* ---- information block ---- */

/* Appends to a text that is cut at its buffer size. */
static void AppendText(char *text, size_t size, const char *format, ...) __attribute__((format(printf, 3, 4)));
static void AppendText(char *text, size_t size, const char *format, ...)
{
    size_t used = strnlen(text, size);
    if (used + 1 >= size) {
        return;
    }
    va_list args;
    va_start(args, format);
    vsnprintf(text + used, size - used, format, args);
    va_end(args);
}

/* The LD a member drive belongs to, then one mark per member entry of the
 * drive: "-D" or "-S" with the drive serving the position, or "-GroupHS". */
static int MemberAssignText(uint8_t adapter, uint8_t pd, uint8_t group, char *text, size_t size)
{
    DLL_GET_LOGICAL_DISK_INFO ld;
    if (!getLogicalDriveInfo(adapter, group, &ld)) {
        InternalError(adapter, MOD_CMD_PD, __LINE__);
        return 0;
    }
    snprintf(text, size, "%d", group);
    for (int i = 0; i < ld.memberCount && i < TAV_MAX_DRIVES; ++i) {
        const DLL_LD_MEMBER &member = ld.member[i];
        if (member.hddNo != pd) {
            continue;
        }
        if (member.state == MEMBER_IN_USE) {
            AppendText(text, size, "-D%d", member.copyTarget);
        } else if (member.state == MEMBER_SPARE_STANDS_IN) {
            AppendText(text, size, "-S%d", member.copyTarget);
        } else if (member.state == MEMBER_GROUP_SPARE) {
            AppendText(text, size, "-GroupHS");
        }
    }
    return 1;
}

/* 1 built; 0 after InternalError; -1 for a class no table knows. */
static int AssignText(uint8_t adapter, uint8_t pd, const DLL_GET_HDD_INFO *info, char *text, size_t size)
{
    switch (info->hddClass) {
    case TAV_CLASS_MEMBER:
        return MemberAssignText(adapter, pd, info->groupNo, text, size);
    case TAV_CLASS_MEMBER_NOT_USED:
    case TAV_CLASS_SPARE_IN_USE:
    case TAV_CLASS_SPARE_NOT_USED:
    case TAV_CLASS_FRESH:
        snprintf(text, size, "-");
        return 1;
    case TAV_CLASS_RESTORE:
        snprintf(text, size, "RLD");
        return 1;
    default:
        return -1;
    }
}

static int PrintPDInfoBlock(uint8_t adapter, uint8_t pd, const DLL_GET_HDD_INFO *info, uint8_t state, int heading,
                            int fatalOnAbnormal)
{
    char assign[ASSIGN_TEXT_SIZE] = "";
    int built = AssignText(adapter, pd, info, assign, sizeof assign);
    if (built < 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_PD, __LINE__, MSG_DLL_ABNORMAL, adapter);
        if (fatalOnAbnormal) {
            CliFatalStop(adapter, MOD_CMD_PD, __LINE__);
        }
        return 0;
    }
    if (built == 0) {
        return 0;
    }
    char driveClass[18], stateText[14], sync[16], smart[10], badSpot[10];
    getOutputStr(CLI_TEXT_PD_CLASS, info->hddClass, driveClass, sizeof driveClass, adapter);
    getOutputStr(CLI_TEXT_PD_STATE, state, stateText, sizeof stateText, adapter);
    getOutputStr(CLI_TEXT_LINK_SPEED, info->linkSpeed, sync, sizeof sync, adapter);
    getOutputStr(CLI_TEXT_SMART, info->smartState, smart, sizeof smart, adapter);
    getOutputStr(CLI_TEXT_BAD_SPOT, info->badSpotState, badSpot, sizeof badSpot, adapter);

    char inquiry[INQUIRY_TEXT_LENGTH + 1];
    memcpy(inquiry, info->inquiry + INQUIRY_TEXT_OFFSET, INQUIRY_TEXT_LENGTH);
    inquiry[INQUIRY_TEXT_LENGTH] = '\0';
    char first[HEADING_SIZE];
    snprintf(first, sizeof first, heading == CLI_PD_HEADING_INFO ? "PD: %d Information" : "Physical Disk: %d", pd);

    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__,
               "%s\nVendor ID:             %.7s\nProduct ID:            %.15s\nRevision:              %.4s\n"
               "Assign Virtual Disk:   %s\nClass:                 %s\nSize:                  %dMB\n"
               "State:                 %s\nSync Period:           %s\nSMART:                 %s\n"
               "Bad Spot State:        %s\nBad Spot Count:        %d\nInquiry Data:          %s\n",
               first, info->vendor, info->product, info->revision, assign, driveClass, (int)info->capacityMB, stateText,
               sync, smart, badSpot, info->badSpotCount, inquiry);
    return 1;
}

int CliShowPhysicalDrive(uint8_t adapter, uint8_t pd, uint8_t state, int heading, int fatalOnAbnormal)
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    DLL_GET_HDD_INFO info;
    if (!getPhysicalDriveInfo(adapter, pd, &info)) {
        InternalError(adapter, MOD_CMD_PD, __LINE__);
        return 0;
    }
    return PrintPDInfoBlock(adapter, pd, &info, state, heading, fatalOnAbnormal);
}

/* The "Physical Disk" block of PDInfo and PDList. */
static int PrintDrive(uint8_t adapter, uint8_t pd, uint8_t state)
{
    return CliShowPhysicalDrive(adapter, pd, state, CLI_PD_HEADING_DISK, 0);
}

static void PrintListHeading(uint8_t adapter)
{
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, "Adapter %d -- Physical Drive Information:\n", adapter);
}

/* ---- walks over the listed adapters and drives ---- */

int CliCountPresentDrives(const DLL_GET_RAID_STATUS *status)
{
    int count = 0;
    for (int pd = 0; pd < CLI_PD_USED; ++pd) {
        count += status->hddState[pd] != TAV_STATE_UNDEFINED;
    }
    return count;
}

/* Every listed drive must be there before anything is changed or shown. */
static int AllDrivesExist(const CliTargets *targets)
{
    CLI_FOR_EACH_SLOT(a, targets->adapters, CLI_ADAPTER_SLOTS) {
        uint8_t adapter = targets->adapters[a];
        DLL_GET_RAID_STATUS status;
        if (!CliReadRaidStatus(adapter, &status, MOD_CMD_PD, __LINE__)) {
            return 0;
        }
        CLI_FOR_EACH_SLOT(p, targets->pds, CLI_PD_USED) {
            uint8_t pd = targets->pds[p];
            if (status.hddState[pd] == TAV_STATE_UNDEFINED) {
                CliLogging(CLI_LOG_TRACE, MOD_CMD_PD, __LINE__, MSG_NOT_EXIST, adapter, "Physical Drive", pd);
                return 0;
            }
        }
    }
    return 1;
}

struct DriveStep {
    uint8_t adapter;
    uint8_t pd;
    uint8_t state; /* the drive's entry in the PD state table */
    int firstOfAdapter;
    const void *context; /* the command's own data */
};

/* One drive's action: 0 ends the command. */
typedef int (*DriveAction)(const DriveStep *step);

/* For each listed adapter, with its status read again, each listed drive. */
static int ForEachListedDrive(const CliTargets *targets, DriveAction action, const void *context)
{
    CLI_FOR_EACH_SLOT(a, targets->adapters, CLI_ADAPTER_SLOTS) {
        DriveStep step = {targets->adapters[a], 0, 0, 1, context};
        DLL_GET_RAID_STATUS status;
        if (!CliReadRaidStatus(step.adapter, &status, MOD_CMD_PD, __LINE__)) {
            return 0;
        }
        CLI_FOR_EACH_SLOT(p, targets->pds, CLI_PD_USED) {
            step.pd = targets->pds[p];
            step.state = status.hddState[step.pd];
            if (!action(&step)) {
                return 0;
            }
            step.firstOfAdapter = 0;
        }
    }
    return 1;
}

static void ReportAlreadySet(int kind, const DriveStep *step)
{
    CliLogging(kind, MOD_CMD_PD, __LINE__, MSG_ALREADY_SET, "Adapter", step->adapter, "Physical Drive", step->pd);
}

/* ---- PDInfo, PDList, PDGetNum ---- */

static int ShowListedDrive(const DriveStep *step)
{
    if (step->firstOfAdapter) {
        PrintListHeading(step->adapter);
    }
    return PrintDrive(step->adapter, step->pd, step->state);
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

int CliDropEmptyAdapters(CliTargets *targets, int withLds, const char *message, const char *module)
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    uint8_t kept[CLI_ADAPTER_SLOTS];
    size_t count = 0;
    memset(kept, CLI_EMPTY_SLOT, sizeof kept);
    CLI_FOR_EACH_SLOT(a, targets->adapters, CLI_ADAPTER_SLOTS) {
        uint8_t adapter = targets->adapters[a];
        DLL_GET_RAID_STATUS status;
        if (!CliReadRaidStatus(adapter, &status, module, __LINE__)) {
            return 0;
        }
        if (CliCountPresentDrives(&status) > 0 || (withLds && CliHasAnyLd(&status))) {
            kept[count++] = adapter;
            continue;
        }
        CliLogging(CLI_LOG_TRACE, module, __LINE__, message, adapter);
        if (!targets->allAdapters) {
            return 0;
        }
    }
    memcpy(targets->adapters, kept, sizeof kept);
    return 1;
}

/* The block of every drive of the adapter. */
static int ShowAllDrives(uint8_t adapter)
{
    DLL_GET_RAID_STATUS status;
    if (!CliReadRaidStatus(adapter, &status, MOD_CMD_PD, __LINE__)) {
        return 0;
    }
    PrintListHeading(adapter);
    for (uint8_t pd = 0; pd < CLI_PD_USED; ++pd) {
        if (status.hddState[pd] != TAV_STATE_UNDEFINED && !PrintDrive(adapter, pd, status.hddState[pd])) {
            return 0;
        }
    }
    return 1;
}

int CliCmdExecPDList(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    CliDriveOptions options;
    if (!CliParseAdapterOption(argc, argv, CLI_TOKEN_FIRST_OPTION, &options) ||
        !CliDropEmptyAdapters(&options.targets, 0, "Fatal error - Adapter %d: There is no Physical Drive.",
                              MOD_CMD_PD)) {
        return 0;
    }
    CLI_FOR_EACH_SLOT(a, options.targets.adapters, CLI_ADAPTER_SLOTS) {
        if (!ShowAllDrives(options.targets.adapters[a])) {
            break;
        }
    }
    return 0;
}

int CliRunCountCommand(int argc, char *argv[], const char *message, int (*count)(const DLL_GET_RAID_STATUS *),
                       const char *module)
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    CliDriveOptions options;
    if (!CliParseAdapterOption(argc, argv, CLI_TOKEN_COMMAND, &options)) {
        return 0;
    }
    CLI_FOR_EACH_SLOT(a, options.targets.adapters, CLI_ADAPTER_SLOTS) {
        uint8_t adapter = options.targets.adapters[a];
        DLL_GET_RAID_STATUS status;
        if (!CliReadRaidStatus(adapter, &status, module, __LINE__)) {
            break;
        }
        CliLogging(CLI_LOG_STDOUT, module, __LINE__, message, adapter, count(&status));
    }
    return 0;
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

static int SwitchLocateLed(const DriveStep *step)
{
    uint8_t led = *(const uint8_t *)step->context;
    if (!setHDDLocateLED(step->adapter, step->pd, led)) {
        InternalError(step->adapter, MOD_CMD_PD, __LINE__);
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__,
               led == TAV_LED_ON ? "Physical Drive %d ( Adapter %d ) LED is Active."
                                 : "Physical Drive %d ( Adapter %d ) LED is not Active.",
               step->pd, step->adapter);
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

static int ChangeDriveState(const DriveStep *step)
{
    const StateChange *change = (const StateChange *)step->context;
    if (IsOffline(step->state) == change->toOffline) {
        ReportAlreadySet(change->alreadyKind, step);
        return 1;
    }
    if (!change->apply(step->adapter, step->pd)) {
        InternalError(step->adapter, MOD_CMD_PD, __LINE__);
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, change->done, step->pd, step->adapter);
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
    ForEachListedDrive(&options.targets, ChangeDriveState, change);
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

static int SetHotSpare(const DriveStep *step, const DLL_GET_HDD_INFO *info)
{
    if (step->state != 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_PD, __LINE__, "Fatal error - Adapter %d-PD %d: state is not GOOD.",
                   step->adapter, step->pd);
        return 1;
    }
    if (IsHotSpare(info->hddClass)) {
        ReportAlreadySet(CLI_LOG_TRACE, step);
        return 1;
    }
    if (!createGHS(step->adapter, step->pd)) {
        InternalError(step->adapter, MOD_CMD_PD, __LINE__);
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, "Adapter %d: Physical Drive %d was set to the Hot Spare.",
               step->adapter, step->pd);
    return 1;
}

static int RemoveHotSpare(const DriveStep *step, const DLL_GET_HDD_INFO *info)
{
    if (!IsHotSpare(info->hddClass)) {
        ReportAlreadySet(CLI_LOG_TRACE, step);
        return 1;
    }
    if (!deleteGHS(step->adapter, step->pd)) {
        InternalError(step->adapter, MOD_CMD_PD, __LINE__);
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, "Adapter %d: Physical Drive %d was removed to the Hot Spare.",
               step->adapter, step->pd);
    return 1;
}

static int ChangeHotSpare(const DriveStep *step)
{
    DLL_GET_HDD_INFO info;
    if (!getPhysicalDriveInfo(step->adapter, step->pd, &info)) {
        InternalError(step->adapter, MOD_CMD_PD, __LINE__);
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
    int busy = (seen & CLI_OPT_BUSY) != 0;
    uint8_t code = PriorityCode(seen);
    CLI_FOR_EACH_SLOT(a, options.targets.adapters, CLI_ADAPTER_SLOTS) {
        uint8_t adapter = options.targets.adapters[a];
        if (!(busy ? setRESTintvBUSY(adapter, code) : setRESTintvIDLE(adapter, code))) {
            InternalError(adapter, MOD_CMD_PD, __LINE__);
            break;
        }
        char priority[7];
        getOutputStr(CLI_TEXT_PRIORITY, code, priority, sizeof priority, adapter);
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, "Adapter %d: The priority of Rebuild in %s state was made %s.",
                   adapter, busy ? "BUSY" : "IDLE", priority);
    }
    return 0;
}
