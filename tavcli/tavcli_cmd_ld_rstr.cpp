/* The restorable logical drives: the candidate list, a candidate's block
 * and drives, and its restore or deletion. */
#include <stdio.h>
#include <string.h>

#include "tavcli.h"

/* A command's options as the option walker left them. */
struct LdCommand {
    CliDriveOptions options;
    uint32_t seen;
};

static int ParseOptions(int argc, char *argv[], const CliOptionRules *rules, uint32_t singleKinds, LdCommand *command)
{
    return CliParseDriveOptions(argc, argv, rules, singleKinds, &command->options, &command->seen);
}

/* ---- reads ---- */

static int ReadRestoreStatus(uint8_t adapter, DLL_RESTORE_LD_STATUS *status)
{
    return CLI_CALL(adapter, MOD_CMD_LD, getRestoreLDsts(adapter, status));
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
    return CLI_CALL(adapter, MOD_CMD_LD, getRestoreLDInfo(adapter, candidate, info));
}

/* ---- LDRstrDrvList ---- */

static int ShowCandidateList(const CliStep *step)
{
    uint8_t adapter = step->adapter;
    DLL_RESTORE_LD_STATUS status;
    if (!ReadRestoreStatus(adapter, &status)) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
               "Adapter #%d\n\nNumber of Candidate Restore: %d\n\nVirtual Drive State\n====================", adapter,
               status.count);
    for (uint8_t ld = 0; ld < CLI_LD_SLOTS; ++ld) {
        char state[14];
        getOutputStr(CLI_TEXT_LD_STATE, status.state[ld], state, sizeof state, adapter);
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "#%2d : %s", ld, state);
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "%s", "");
    return 1;
}

int CliCmdExecLDRstrDrvList(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    CliDriveOptions options;
    if (CliParseAdapterOption(argc, argv, CLI_TOKEN_FIRST_OPTION, &options)) {
        CliWalkAdapters(&options.targets, 0, ShowCandidateList, NULL, MOD_CMD_LD);
    }
    return 0;
}

/* ---- LDRstrDrvInfo ---- */

static int PrintRestoreBlock(uint8_t adapter, uint8_t candidate, const DLL_RESTORE_LD_INFO *info, uint8_t restoreState)
{
    CliLdTexts t;
    if (!CliBuildLdTexts(adapter, info, restoreState, 0, &t)) {
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
            if (member.hddNo == pd &&
                !CliShowPhysicalDrive(CliDriveRef{adapter, pd}, member.driveState, CLI_PD_HEADING_INFO, 1)) {
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
    if (!CliReadGeneration(adapter, &generation, MOD_CMD_LD)) {
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
    if (!CLI_CALL(adapter, MOD_CMD_LD, configRestoreLD(&request))) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
               operation == TAV_DELETE_CANDIDATE ? "Adapter %d: Deleted Virtual drv-%d."
                                                 : "Adapter %d: Restored Virtual drv-%d.",
               adapter, candidate);
    return 0;
}
