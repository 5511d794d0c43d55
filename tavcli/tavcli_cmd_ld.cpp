/* Logical-drive commands: information, cache policy, bad-spot addresses and
 * the restorable logical drives. */
#include <stdio.h>
#include <string.h>

#include "tavcli.h"

#define RAID_LEVEL_MIRROR 1
#define RAID10_MIN_MEMBERS 4 /* a mirror of four or more drives is RAID 10 */
#define LD_STATE_COPY_BACK 2
#define LD_STATE_COPY 5
#define STRIPE_TEXT_SIZE 8
#define BAD_SPOT_LIST_SIZE 128 /* 8 member drives, 16 addresses each */
#define BAD_SPOT_NONE_ADDRESS 0xFFFFFFFFu

/* ---- LD information block ---- */

/* The texts of the block's fields; state and force state change only for a
 * defined LD, not for a restore candidate. */
struct LdTexts {
    int raidLevel;
    char state[14];
    char stripe[STRIPE_TEXT_SIZE];
    char hotSpare[7];
    char autoRebuild[9];
    char rebuild[20];
    char maintenance[16];
    char dataLost[7];
    char readCache[5];
    char writeCache[5];
};

static int AbnormalInfo(uint8_t adapter)
{
    CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_DLL_ABNORMAL, adapter);
    return 0;
}

static int RaidLevelNumber(uint8_t adapter, const DLL_GET_LOGICAL_DISK_INFO *info, int *level)
{
    switch (info->raidLevel) {
    case 0:
    case 5:
    case 6:
        *level = info->raidLevel;
        return 1;
    case RAID_LEVEL_MIRROR:
        *level = info->memberCount < RAID10_MIN_MEMBERS ? 1 : 10;
        return 1;
    default:
        return AbnormalInfo(adapter);
    }
}

static int StripeSizeText(uint8_t adapter, uint32_t blocks, char *text, size_t size)
{
    static const struct {
        uint32_t blocks;
        int kilobytes;
    } kStripes[] = {{0x80, 64}, {0x100, 128}, {0x200, 256}, {0x400, 512}};
    if (blocks == 0) {
        snprintf(text, size, "None");
        return 1;
    }
    for (const auto &stripe : kStripes) {
        if (stripe.blocks == blocks) {
            snprintf(text, size, "%dkB", stripe.kilobytes);
            return 1;
        }
    }
    return AbnormalInfo(adapter);
}

static void RebuildStateText(uint8_t adapter, uint8_t rebuildState, uint8_t ldState, char *text, size_t size)
{
    if (rebuildState == TAV_REBUILD_EXECUTING && ldState == LD_STATE_COPY_BACK) {
        snprintf(text, size, "Copy Back Executing");
    } else if (rebuildState == TAV_REBUILD_EXECUTING && ldState == LD_STATE_COPY) {
        snprintf(text, size, "Copy Executing");
    } else {
        getOutputStr(CLI_TEXT_REBUILD, rebuildState, text, size, adapter);
    }
}

/* Looks the fields up in the order the block shows them. 1, or 0 after the
 * abnormal-information message. */
static int BuildLdTexts(uint8_t adapter, const DLL_GET_LOGICAL_DISK_INFO *info, uint8_t ldState, int defined,
                        LdTexts *t)
{
    if (!RaidLevelNumber(adapter, info, &t->raidLevel)) {
        return 0;
    }
    if (defined) {
        getOutputStr(CLI_TEXT_LD_STATE, ldState, t->state, sizeof t->state, adapter);
    }
    if (!StripeSizeText(adapter, info->stripeSize, t->stripe, sizeof t->stripe)) {
        return 0;
    }
    getOutputStr(CLI_TEXT_HOT_SPARE, info->hotSpareMode, t->hotSpare, sizeof t->hotSpare, adapter);
    getOutputStr(CLI_TEXT_AUTO_REBUILD, info->autoRebuild, t->autoRebuild, sizeof t->autoRebuild, adapter);
    RebuildStateText(adapter, info->rebuildState, ldState, t->rebuild, sizeof t->rebuild);
    getOutputStr(CLI_TEXT_MAINTENANCE, info->maintenance, t->maintenance, sizeof t->maintenance, adapter);
    if (defined) {
        getOutputStr(CLI_TEXT_DATA_LOST, info->dataLost, t->dataLost, sizeof t->dataLost, adapter);
    }
    getOutputStr(CLI_TEXT_READ_POLICY, info->readCache, t->readCache, sizeof t->readCache, adapter);
    getOutputStr(CLI_TEXT_WRITE_POLICY, info->writeCache, t->writeCache, sizeof t->writeCache, adapter);
    return 1;
}

static int PrintLdBlock(uint8_t adapter, uint8_t ld, const DLL_GET_LOGICAL_DISK_INFO *info, uint8_t ldState)
{
    LdTexts t;
    if (!BuildLdTexts(adapter, info, ldState, 1, &t)) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
               "Virtual Disk:          %d\nRAID Level:            RAID%d\nSize:                  %dMB\n"
               "State:                 %s\nStripe Size:           %s\nNumber of Drives:      %d\n"
               "Hot Spare Mode:        %s\nAuto Rebuild:          %s\nRebuild State:         %s\n"
               "Maintenance State:     %s\nOperation Progress:    %d%s\nForce State Change:    %s\n"
               "Operation Error Count: %d\nRead Cache:            %s\nWrite Cache:           %s\n",
               ld, t.raidLevel, (int)info->capacityMB, t.state, t.stripe, info->memberCount, t.hotSpare, t.autoRebuild,
               t.rebuild, t.maintenance, info->progress, "%%", t.dataLost, (int)info->errorCount, t.readCache,
               t.writeCache);
    return 1;
}

/* Reads an LD's record and prints its block with the state of the status
 * table. */
static int ShowLd(uint8_t adapter, uint8_t ld, const DLL_GET_RAID_STATUS *status)
{
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!getLogicalDriveInfo(adapter, ld, &info)) {
        InternalError(adapter, MOD_CMD_LD, __LINE__);
        return 0;
    }
    return PrintLdBlock(adapter, ld, &info, status->ldState[ld]);
}

static int CountDefinedLds(const DLL_GET_RAID_STATUS *status)
{
    int count = 0;
    for (int ld = 0; ld < CLI_LD_SLOTS; ++ld) {
        count += status->ldState[ld] != TAV_STATE_UNDEFINED;
    }
    return count;
}

/* ---- options ---- */

/* A command's options as the walker left them. */
struct LdCommand {
    CliDriveOptions options;
    uint32_t seen;
};

static int ParseOptions(int argc, char *argv[], const CliOptionRules *rules, uint32_t singleKinds, LdCommand *command)
{
    return CliParseDriveOptions(argc, argv, rules, singleKinds, &command->options, &command->seen);
}

/* ---- LD walk ---- */

struct LdSelection {
    uint8_t matrix[CLI_ADAPTER_SLOTS][CLI_LD_SLOTS];
    uint8_t skipped[CLI_ADAPTER_SLOTS];
};

static void ReportNoLd(uint8_t adapter)
{
    CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_NO_VIRTUAL_DRIVE, adapter);
}

/* The selected LDs of the listed adapters; adapters without LDs are skipped
 * silently with -aALL -Lall and end the command with -Lall alone. 0 when the
 * command ends. */
static int SelectLds(const CliDriveOptions *options, LdSelection *selection)
{
    const CliTargets *targets = &options->targets;
    memset(selection->skipped, 0, sizeof selection->skipped);
    if (!getAdpLdArray(targets->adapters, targets->lds, selection->matrix)) {
        return 0;
    }
    size_t listed = 0;
    size_t skipped = 0;
    CLI_FOR_EACH_SLOT(a, targets->adapters, CLI_ADAPTER_SLOTS) {
        uint8_t adapter = targets->adapters[a];
        DLL_GET_RAID_STATUS status;
        ++listed;
        if (!CliReadRaidStatus(adapter, &status, MOD_CMD_LD, __LINE__)) {
            return 0;
        }
        if (CliHasAnyLd(&status)) {
            continue;
        }
        if (targets->allAdapters && options->allLds) {
            selection->skipped[adapter] = 1;
            ++skipped;
        } else if (options->allLds) {
            ReportNoLd(adapter);
            return 0;
        }
    }
    if (listed > 0 && skipped == listed) {
        CLI_FOR_EACH_SLOT(a, targets->adapters, CLI_ADAPTER_SLOTS) {
            ReportNoLd(targets->adapters[a]);
        }
        return 0;
    }
    return 1;
}

/* One selected LD's action: 0 ends the command. */
typedef int (*LdAction)(uint8_t adapter, uint8_t ld, int firstOfAdapter, void *context);

/* Adapters ascending, then LDs ascending. */
static void ForEachSelectedLd(const LdSelection *selection, LdAction action, void *context)
{
    for (uint8_t adapter = 0; adapter < CLI_ADAPTER_SLOTS; ++adapter) {
        if (selection->skipped[adapter]) {
            continue;
        }
        int first = 1;
        for (uint8_t ld = 0; ld < CLI_LD_SLOTS; ++ld) {
            if (selection->matrix[adapter][ld] != CLI_LD_SELECTED) {
                continue;
            }
            if (!action(adapter, ld, first, context)) {
                return;
            }
            first = 0;
        }
    }
}

/* Parses the options, then selects the LDs. */
static int ParseAndSelect(int argc, char *argv[], const CliOptionRules *rules, LdCommand *command,
                          LdSelection *selection)
{
    return ParseOptions(argc, argv, rules, 0, command) && SelectLds(&command->options, selection);
}

/* ---- LDInfo ---- */

static int ShowSelectedLd(uint8_t adapter, uint8_t ld, int firstOfAdapter, void *)
{
    if (firstOfAdapter) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d -- Virtual Drive Information:\n", adapter);
    }
    DLL_GET_LOGICAL_DISK_INFO info;
    DLL_GET_RAID_STATUS status;
    if (!getLogicalDriveInfo(adapter, ld, &info)) {
        InternalError(adapter, MOD_CMD_LD, __LINE__);
        return 0;
    }
    return CliReadRaidStatus(adapter, &status, MOD_CMD_LD, __LINE__) &&
           PrintLdBlock(adapter, ld, &info, status.ldState[ld]);
}

int CliCmdExecLDInfo(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    static const CliOptionRules rules = {
        CliClassifyDriveTarget, NULL, CliAcceptDriveOption, CLI_OPT_LD | CLI_OPT_ADAPTER, 0, 0, CLI_TOKEN_BEFORE};
    LdCommand command;
    LdSelection selection;
    if (ParseAndSelect(argc, argv, &rules, &command, &selection)) {
        ForEachSelectedLd(&selection, ShowSelectedLd, NULL);
    }
    return 0;
}

/* ---- LDGetNum ---- */

int CliCmdExecLDGetNum(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    return CliRunCountCommand(argc, argv, "Number of Virtual drives configured on adapter %d: %d.", CountDefinedLds,
                              MOD_CMD_LD);
}

/* ---- LDGetProp ---- */

static const CliKeyword kGetPropKeywords[] = {{"cache", CLI_OPT_CACHE}};

static uint32_t ClassifyGetProp(const char *option)
{
    return CliClassifyDriveOption(kGetPropKeywords, CLI_KEYWORD_COUNT(kGetPropKeywords), option);
}

static const char *PolicyText(uint8_t code, const char *zeroText, const char *oneText)
{
    return code == 0 ? zeroText : code == 1 ? oneText : NULL;
}

static int ShowCachePolicy(uint8_t adapter, uint8_t ld, int, void *)
{
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!getLogicalDriveInfo(adapter, ld, &info)) {
        InternalError(adapter, MOD_CMD_LD, __LINE__);
        return 0;
    }
    const char *write = PolicyText(info.writeCache, "WriteBack", "WriteThrough");
    const char *read = PolicyText(info.readCache, "ReadAhead", "ReadAheadNone");
    if (write == NULL || read == NULL) {
        AbnormalInfo(adapter);
        return 1;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d-VD %d: Cache Policy: %s, %s.", adapter, ld, write,
               read);
    return 1;
}

int CliCmdExecLDGetProp(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    static const CliOptionRules rules = {
        ClassifyGetProp, NULL, CliAcceptDriveOption, CLI_OPT_CACHE | CLI_OPT_ADAPTER | CLI_OPT_LD, 0, 0,
        CLI_TOKEN_BEFORE};
    LdCommand command;
    LdSelection selection;
    if (ParseAndSelect(argc, argv, &rules, &command, &selection)) {
        ForEachSelectedLd(&selection, ShowCachePolicy, NULL);
    }
    return 0;
}

/* ---- LDSetProp ---- */

static const CliKeyword kSetPropKeywords[] = {
    {"wb", CLI_OPT_WB}, {"wt", CLI_OPT_WT}, {"ra", CLI_OPT_RA}, {"nora", CLI_OPT_NORA}};

static uint32_t ClassifySetProp(const char *option)
{
    return CliClassifyDriveOption(kSetPropKeywords, CLI_KEYWORD_COUNT(kSetPropKeywords), option);
}

static int SetCachePolicies(uint8_t adapter, uint8_t ld, int, void *context)
{
    uint32_t seen = *(const uint32_t *)context;
    if (seen & (CLI_OPT_WB | CLI_OPT_WT)) {
        int writeBack = (seen & CLI_OPT_WB) != 0;
        if (!setWriteCache(adapter, ld, writeBack)) {
            InternalError(adapter, MOD_CMD_LD, __LINE__);
            return 0;
        }
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d-VD %d: WriteCache is %s.", adapter, ld,
                   writeBack ? "Enabled" : "Disabled");
    }
    if (seen & (CLI_OPT_RA | CLI_OPT_NORA)) {
        int readAhead = (seen & CLI_OPT_RA) != 0;
        if (!setReadCache(adapter, ld, readAhead)) {
            InternalError(adapter, MOD_CMD_LD, __LINE__);
            return 0;
        }
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d-VD %d: ReadCache is %s.", adapter, ld,
                   readAhead ? "Enabled" : "Disabled");
    }
    return 1;
}

int CliCmdExecLDSetProp(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    static const CliOptionRules rules = {ClassifySetProp,
                                         CliDriveOptionConflicts,
                                         CliAcceptDriveOption,
                                         CLI_OPT_ADAPTER | CLI_OPT_LD,
                                         CLI_OPT_WB | CLI_OPT_WT | CLI_OPT_RA | CLI_OPT_NORA,
                                         CLI_OPT_NOCHK,
                                         CLI_TOKEN_BEFORE};
    LdCommand command;
    LdSelection selection;
    if (!ParseOptions(argc, argv, &rules, 0, &command) ||
        !CliConfirmUnlessNoCheck(command.seen, &command.options.targets, CLI_CHK_PLAIN) ||
        !SelectLds(&command.options, &selection)) {
        return 0;
    }
    ForEachSelectedLd(&selection, SetCachePolicies, &command.seen);
    return 0;
}

/* ---- LDPDInfo ---- */

/* The "PD: %d Information" block; an unknown drive class stops the tool. */
static int ShowMemberDrive(uint8_t adapter, uint8_t pd, uint8_t state)
{
    return CliShowPhysicalDrive(adapter, pd, state, CLI_PD_HEADING_INFO, 1);
}

static int ShowAdapterLdsAndDrives(uint8_t adapter)
{
    DLL_GET_RAID_STATUS status;
    if (!CliReadRaidStatus(adapter, &status, MOD_CMD_LD, __LINE__)) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter #%d\n\nNumber of Virtual Disks: %d", adapter,
               CountDefinedLds(&status));
    for (uint8_t ld = 0; ld < CLI_LD_SLOTS; ++ld) {
        if (status.ldState[ld] != TAV_STATE_UNDEFINED && !ShowLd(adapter, ld, &status)) {
            return 0;
        }
    }
    for (uint8_t pd = 0; pd < CLI_PD_USED; ++pd) {
        if (status.hddState[pd] != TAV_STATE_UNDEFINED && !ShowMemberDrive(adapter, pd, status.hddState[pd])) {
            return 0;
        }
    }
    return 1;
}

int CliCmdExecLDPDInfo(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    CliDriveOptions options;
    if (!CliParseAdapterOption(argc, argv, CLI_TOKEN_COMMAND, &options) ||
        !CliDropEmptyAdapters(&options.targets, 1,
                              "Fatal error - Adapter %d: There is no Virtual Drive & Physical Drive.", MOD_CMD_LD)) {
        return 0;
    }
    CLI_FOR_EACH_SLOT(a, options.targets.adapters, CLI_ADAPTER_SLOTS) {
        if (!ShowAdapterLdsAndDrives(options.targets.adapters[a])) {
            return 0;
        }
    }
    return 0;
}

/* ---- LDBadSpot ---- */

/* Inserts an address into an ascending list without duplicates; returns the
 * new count. A full list keeps its entries. */
static int addItem(uint32_t *list, uint32_t value, int count)
{
    int at = 0;
    while (at < count && list[at] < value) {
        ++at;
    }
    if ((at < count && list[at] == value) || count >= BAD_SPOT_LIST_SIZE) {
        return count;
    }
    memmove(list + at + 1, list + at, (size_t)(count - at) * sizeof list[0]);
    list[at] = value;
    return count + 1;
}

static void PrintBadSpotHeading(uint8_t ld, int count)
{
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "\nVirtual Drive: %d", ld);
    if (count == 0) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Bad Spot None.");
    } else {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "LBA Information\n========================");
    }
}

/* Adds the bad spots of one member drive when it is assigned to the LD. */
static int CollectDriveBadSpots(uint8_t adapter, uint8_t ld, uint8_t pd, uint32_t *list, int *count)
{
    DLL_GET_HDD_INFO info;
    if (!getPhysicalDriveInfo(adapter, pd, &info)) {
        InternalError(adapter, MOD_CMD_LD, __LINE__);
        return 0;
    }
    if (info.groupNo != ld) {
        return 1;
    }
    DLL_BADSPOT_INFO badSpots;
    if (!getBadspotInfo(adapter, pd, &badSpots)) {
        InternalError(adapter, MOD_CMD_LD, __LINE__);
        return 0;
    }
    int listed = info.badSpotCount < TAV_BADSPOT_ADDRESSES ? info.badSpotCount : TAV_BADSPOT_ADDRESSES;
    for (int i = 0; i < listed; ++i) {
        *count = addItem(list, badSpots.address[i], *count);
    }
    return 1;
}

/* Generation 0: the member drives' tables merged into one ascending list. */
static int ShowDriveTableBadSpots(uint8_t adapter, uint8_t ld)
{
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!getLogicalDriveInfo(adapter, ld, &info)) {
        InternalError(adapter, MOD_CMD_LD, __LINE__);
        return 0;
    }
    uint32_t list[BAD_SPOT_LIST_SIZE];
    int count = 0;
    for (size_t i = 0; i < BAD_SPOT_LIST_SIZE; ++i) {
        list[i] = BAD_SPOT_NONE_ADDRESS;
    }
    for (int m = 0; m < info.memberCount && m < TAV_MAX_DRIVES; ++m) {
        if (!CollectDriveBadSpots(adapter, ld, info.member[m].hddNo, list, &count)) {
            return 0;
        }
    }
    PrintBadSpotHeading(ld, count);
    for (int i = 0; i < count; ++i) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "#%d : 0x%08x", i, list[i]);
    }
    return 1;
}

/* Later generations: the LD's own table, in table order. */
static int ShowLdTableBadSpots(uint8_t adapter, uint8_t ld)
{
    DLL_LD_BADSPOT_INFO64 table;
    if (!getLDBadspotInfo64(adapter, ld, &table)) {
        InternalError(adapter, MOD_CMD_LD, __LINE__);
        return 0;
    }
    int count = table.count < TAV_LD_BADSPOT_ADDRESSES ? (int)table.count : TAV_LD_BADSPOT_ADDRESSES;
    PrintBadSpotHeading(ld, count);
    for (int i = 0; i < count; ++i) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "#%d : 0x%016llX", i, (unsigned long long)table.address[i]);
    }
    return 1;
}

struct BadSpotWalk {
    uint8_t generation[CLI_ADAPTER_SLOTS];
    int adapterBlocks;
};

static int ShowBadSpots(uint8_t adapter, uint8_t ld, int firstOfAdapter, void *context)
{
    BadSpotWalk *walk = (BadSpotWalk *)context;
    if (firstOfAdapter) {
        if (walk->adapterBlocks++ > 0) {
            CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "%s", "");
        }
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter #%d", adapter);
    }
    if (walk->generation[adapter] == TAV_GENERATION0_CODE) {
        return ShowDriveTableBadSpots(adapter, ld);
    }
    return ShowLdTableBadSpots(adapter, ld);
}

static int ReadGeneration(uint8_t adapter, uint8_t *generation)
{
    uint8_t para[TAV_PARA_SIZE];
    if (!getSysPara(adapter, para)) {
        InternalError(adapter, MOD_CMD_LD, __LINE__);
        return 0;
    }
    *generation = para[TAV_SYSPARA_GENERATION];
    return 1;
}

/* Each adapter's generation selects where its bad spots are read from. */
static int ReadGenerations(const LdSelection *selection, BadSpotWalk *walk)
{
    for (uint8_t adapter = 0; adapter < CLI_ADAPTER_SLOTS; ++adapter) {
        int selected =
            !selection->skipped[adapter] && memchr(selection->matrix[adapter], CLI_LD_SELECTED, CLI_LD_SLOTS) != NULL;
        if (selected && !ReadGeneration(adapter, &walk->generation[adapter])) {
            return 0;
        }
    }
    return 1;
}

int CliCmdExecLDBadSpot(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    static const CliOptionRules rules = {
        CliClassifyDriveTarget, NULL, CliAcceptDriveOption, CLI_OPT_LD | CLI_OPT_ADAPTER, 0, 0, CLI_TOKEN_FIRST_OPTION};
    LdCommand command;
    LdSelection selection;
    BadSpotWalk walk;
    memset(&walk, 0, sizeof walk);
    if (ParseAndSelect(argc, argv, &rules, &command, &selection) && ReadGenerations(&selection, &walk)) {
        ForEachSelectedLd(&selection, ShowBadSpots, &walk);
    }
    return 0;
}

/* ---- restorable logical drives ---- */

static int ReadRestoreStatus(uint8_t adapter, DLL_RESTORE_LD_STATUS *status)
{
    if (getRestoreLDsts(adapter, status)) {
        return 1;
    }
    InternalError(adapter, MOD_CMD_LD, __LINE__);
    return 0;
}

/* 1 when the candidate is listed; else the message that it is not. */
static int CandidateExists(uint8_t adapter, uint8_t candidate, const DLL_RESTORE_LD_STATUS *status)
{
    if (status->state[candidate] != TAV_STATE_UNDEFINED) {
        return 1;
    }
    CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_NOT_EXIST, adapter, "Virtual Drives", candidate);
    return 0;
}

static int ReadRestoreInfo(uint8_t adapter, uint8_t candidate, DLL_RESTORE_LD_INFO *info)
{
    if (getRestoreLDInfo(adapter, candidate, info)) {
        return 1;
    }
    InternalError(adapter, MOD_CMD_LD, __LINE__);
    return 0;
}

/* ---- LDRstrDrvList ---- */

int CliCmdExecLDRstrDrvList(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    CliDriveOptions options;
    if (!CliParseAdapterOption(argc, argv, CLI_TOKEN_FIRST_OPTION, &options)) {
        return 0;
    }
    CLI_FOR_EACH_SLOT(a, options.targets.adapters, CLI_ADAPTER_SLOTS) {
        uint8_t adapter = options.targets.adapters[a];
        DLL_RESTORE_LD_STATUS status;
        if (!ReadRestoreStatus(adapter, &status)) {
            return 0;
        }
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
                   "Adapter #%d\n\nNumber of Candidate Restore: %d\n\nVirtual Drive State\n====================",
                   adapter, status.count);
        for (uint8_t ld = 0; ld < CLI_LD_SLOTS; ++ld) {
            char state[14];
            getOutputStr(CLI_TEXT_LD_STATE, status.state[ld], state, sizeof state, adapter);
            CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "#%2d : %s", ld, state);
        }
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "%s", "");
    }
    return 0;
}

/* ---- LDRstrDrvInfo ---- */

static int PrintRestoreBlock(uint8_t adapter, uint8_t candidate, const DLL_RESTORE_LD_INFO *info, uint8_t restoreState)
{
    LdTexts t;
    if (!BuildLdTexts(adapter, info, restoreState, 0, &t)) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
               "Adapter #%d\n\nNumber of Physical Drive: %d\n\nVirtual Disk:          %d\n"
               "RAID Level:            RAID%d\nSize:                  %dMB\nStripe Size:           %s\n"
               "Number of Drives:      %d\nHot Spare Mode:        %s\nAuto Rebuild:          %s\n"
               "Rebuild State:         %s\nMaintenance State:     %s\nOperation Progress:    %d%%\n"
               "Read Cache:            %s\nWrite Cache:           %s\n",
               adapter, info->memberCount, candidate, t.raidLevel, (int)info->capacityMB, t.stripe, info->memberCount,
               t.hotSpare, t.autoRebuild, t.rebuild, t.maintenance, info->progress, t.readCache, t.writeCache);
    return 1;
}

/* The candidate's drives in ascending order, each with the state its member
 * entry records. */
static int ShowCandidateDrives(uint8_t adapter, const DLL_RESTORE_LD_INFO *info)
{
    for (uint8_t pd = 0; pd < CLI_PD_USED; ++pd) {
        for (int m = 0; m < info->memberCount && m < TAV_MAX_DRIVES; ++m) {
            const DLL_LD_MEMBER &member = info->member[m];
            if (member.hddNo == pd && !ShowMemberDrive(adapter, pd, member.byte3)) {
                return 0;
            }
        }
    }
    return 1;
}

int CliCmdExecLDRstrDrvInfo(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    static const CliOptionRules rules = {
        CliClassifyDriveTarget, NULL, CliAcceptDriveOption, CLI_OPT_LD | CLI_OPT_ADAPTER, 0, 0, CLI_TOKEN_BEFORE};
    LdCommand command;
    if (!ParseOptions(argc, argv, &rules, CLI_OPT_LD | CLI_OPT_ADAPTER, &command)) {
        return 0;
    }
    uint8_t adapter = command.options.targets.adapters[0];
    uint8_t candidate = command.options.targets.lds[0];
    DLL_RESTORE_LD_STATUS status;
    DLL_RESTORE_LD_INFO info;
    if (!ReadRestoreStatus(adapter, &status) || !CandidateExists(adapter, candidate, &status) ||
        !ReadRestoreInfo(adapter, candidate, &info) ||
        !PrintRestoreBlock(adapter, candidate, &info, status.state[candidate])) {
        return 0;
    }
    ShowCandidateDrives(adapter, &info);
    return 0;
}

/* ---- LDRstr ---- */

#define MAX_GENERATION0_RAID5_MEMBERS 6

static const CliKeyword kRestoreKeywords[] = {
    {"rstr", CLI_OPT_RSTR}, {"del", CLI_OPT_DEL}, {"wcache", CLI_OPT_WCACHE}, {"rcache", CLI_OPT_RCACHE}};

/* The restorable LD is -SL and the destination -DL; a plain -L is none of
 * this command's options. */
static uint32_t ClassifyRestore(const char *option)
{
    if (strncmp(option, "sl", 2) == 0) {
        return CLI_OPT_LD;
    }
    if (strncmp(option, "dl", 2) == 0) {
        return CLI_OPT_DEST_LD;
    }
    uint32_t kind = CliClassifyDriveOption(kRestoreKeywords, CLI_KEYWORD_COUNT(kRestoreKeywords), option);
    return kind == CLI_OPT_LD ? 0 : kind;
}

static void ReportLdNumberLimit(uint8_t adapter)
{
    CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__,
               "Fatal error - Adapter %d: The specified Virtual Drive number exceeds the limitation value.\n"
               "Number that can be specified: 0-7.",
               adapter);
}

/* The LD a restore goes to: -DL, else the lowest free LD number (none: the
 * library's check refuses the request). */
static int RestoreDestination(const LdCommand *command, uint8_t *destination)
{
    uint8_t adapter = command->options.targets.adapters[0];
    if (command->seen & CLI_OPT_DEST_LD) {
        *destination = command->options.destLds[0];
        return 1;
    }
    DLL_GET_RAID_STATUS status;
    if (!CliReadRaidStatus(adapter, &status, MOD_CMD_LD, __LINE__)) {
        return 0;
    }
    *destination = CLI_EMPTY_SLOT;
    for (uint8_t ld = 0; ld < CLI_LD_SLOTS && *destination == CLI_EMPTY_SLOT; ++ld) {
        if (status.ldState[ld] == TAV_STATE_UNDEFINED) {
            *destination = ld;
        }
    }
    return 1;
}

/* A Generation0 adapter takes no RAID 5 of more than six drives. */
static int CompositionAllowed(uint8_t adapter, const DLL_RESTORE_LD_INFO *info)
{
    uint8_t generation = 0;
    if (!ReadGeneration(adapter, &generation)) {
        return 0;
    }
    if (generation == TAV_GENERATION0_CODE && info->raidLevel == 5 &&
        info->memberCount > MAX_GENERATION0_RAID5_MEMBERS) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__,
                   "Fatal error - Adapter %d: The number of HDD to the RAID composition is abnormal.", adapter);
        return 0;
    }
    return 1;
}

/* A restore's destination and cache policies in the request. */
static int PrepareRestore(const LdCommand *command, DLL_CONFIG_RESTORE_LD *request)
{
    uint8_t adapter = command->options.targets.adapters[0];
    DLL_RESTORE_LD_INFO info;
    if (!RestoreDestination(command, &request->groupNo) || !ReadRestoreInfo(adapter, request->candidateNo, &info) ||
        !CompositionAllowed(adapter, &info)) {
        return 0;
    }
    request->readPolicy = (command->seen & CLI_OPT_RCACHE) ? TAV_READ_AHEAD : info.readCache;
    request->writePolicy = (command->seen & CLI_OPT_WCACHE) ? TAV_WRITE_BACK : info.writeCache;
    return 1;
}

/* The candidate must be listed, Good for a restore, and -DL must carry a
 * number. */
static int CandidateUsable(const LdCommand *command, uint8_t candidate, int operation)
{
    uint8_t adapter = command->options.targets.adapters[0];
    DLL_RESTORE_LD_STATUS status;
    if (!ReadRestoreStatus(adapter, &status) || !CandidateExists(adapter, candidate, &status)) {
        return 0;
    }
    if (operation == TAV_RESTORE_CANDIDATE && status.state[candidate] != 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, "Fatal error - Adapter %d-LD %d: state is not GOOD.", adapter,
                   candidate);
        return 0;
    }
    if ((command->seen & CLI_OPT_DEST_LD) && command->options.destLds[0] == CLI_EMPTY_SLOT) {
        ReportLdNumberLimit(adapter);
        return 0;
    }
    return 1;
}

int CliCmdExecLDRstr(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    static const CliOptionRules rules = {ClassifyRestore,
                                         CliDriveOptionConflicts,
                                         CliAcceptDriveOption,
                                         CLI_OPT_LD | CLI_OPT_ADAPTER,
                                         CLI_OPT_RSTR | CLI_OPT_DEL,
                                         CLI_OPT_DEST_LD | CLI_OPT_WCACHE | CLI_OPT_RCACHE | CLI_OPT_NOCHK,
                                         CLI_TOKEN_BEFORE};
    LdCommand command;
    if (!ParseOptions(argc, argv, &rules, CLI_OPT_ADAPTER, &command)) {
        return 0;
    }
    uint8_t adapter = command.options.targets.adapters[0];
    uint8_t candidate = command.options.targets.lds[0];
    int operation = (command.seen & CLI_OPT_DEL) ? TAV_DELETE_CANDIDATE : TAV_RESTORE_CANDIDATE;
    /* -SL without a number names no candidate to ask about. */
    if (candidate == CLI_EMPTY_SLOT) {
        ReportLdNumberLimit(adapter);
        return 0;
    }
    int checkKind = operation == TAV_DELETE_CANDIDATE ? CLI_CHK_RESTORE_DELETE : CLI_CHK_PLAIN;
    if (!CliConfirmUnlessNoCheck(command.seen, &command.options.targets, checkKind) ||
        !CandidateUsable(&command, candidate, operation)) {
        return 0;
    }
    DLL_CONFIG_RESTORE_LD request;
    memset(&request, 0, sizeof request);
    request.contNo = adapter;
    request.operation = (uint8_t)operation;
    request.candidateNo = candidate;
    request.groupNo = candidate;
    if (operation == TAV_RESTORE_CANDIDATE && !PrepareRestore(&command, &request)) {
        return 0;
    }
    if (!configRestoreLD(&request)) {
        InternalError(adapter, MOD_CMD_LD, __LINE__);
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
               operation == TAV_DELETE_CANDIDATE ? "Adapter %d: Deleted Virtual drv-%d."
                                                 : "Adapter %d: Restored Virtual drv-%d.",
               adapter, candidate);
    return 0;
}
