/* Logical-drive commands: information, counts, cache policy and the LDs
 * with their drives. */
#include <stdio.h>
#include <string.h>

#include "tavcli.h"

static int CountDefinedLds(const DLL_GET_RAID_STATUS *status)
{
    int count = 0;
    for (int ld = 0; ld < CLI_LD_SLOTS; ++ld) {
        count += status->ldState[ld] != TAV_STATE_UNDEFINED;
    }
    return count;
}

/* Parses the options, then selects the LDs. */
static int ParseAndSelect(int argc, char *argv[], const CliOptionRules *rules, CliDriveOptions *options,
                          CliLdSelection *selection)
{
    uint32_t seen;
    return CliParseDriveOptions(argc, argv, rules, 0, options, &seen) &&
           CliSelectLds(&options->targets, options->allLds, selection, MOD_CMD_LD);
}

/* ---- LDInfo ---- */

static int ShowSelectedLd(const CliStep *step)
{
    if (step->firstOfAdapter) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d -- Virtual Drive Information:\n", step->adapter);
    }
    DLL_GET_LOGICAL_DISK_INFO info;
    DLL_GET_RAID_STATUS status;
    if (!CLI_CALL(step->adapter, MOD_CMD_LD, getLogicalDriveInfo(step->adapter, step->target, &info))) {
        return 0;
    }
    return CliReadRaidStatus(step->adapter, &status, MOD_CMD_LD, __LINE__) &&
           CliPrintLdBlock(CliLdRef{step->adapter, step->target}, &info, status.ldState[step->target]);
}

int CliCmdExecLDInfo(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    static const CliOptionRules rules = {
        CliClassifyDriveTarget, NULL, CliAcceptDriveOption, CLI_OPT_LD | CLI_OPT_ADAPTER, 0, 0, CLI_TOKEN_BEFORE};
    CliDriveOptions options;
    CliLdSelection selection;
    if (ParseAndSelect(argc, argv, &rules, &options, &selection)) {
        CliWalkSelectedLds(&options.targets, &selection, ShowSelectedLd, NULL, MOD_CMD_LD);
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

static int ShowCachePolicy(const CliStep *step)
{
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!CLI_CALL(step->adapter, MOD_CMD_LD, getLogicalDriveInfo(step->adapter, step->target, &info))) {
        return 0;
    }
    const char *write = PolicyText(info.writeCache, "WriteBack", "WriteThrough");
    const char *read = PolicyText(info.readCache, "ReadAhead", "ReadAheadNone");
    if (write == NULL || read == NULL) {
        CliReportAbnormalInfo(step->adapter);
        return 1;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d-VD %d: Cache Policy: %s, %s.", step->adapter,
               step->target, write, read);
    return 1;
}

int CliCmdExecLDGetProp(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    static const CliOptionRules rules = {
        ClassifyGetProp, NULL, CliAcceptDriveOption, CLI_OPT_CACHE | CLI_OPT_ADAPTER | CLI_OPT_LD, 0, 0,
        CLI_TOKEN_BEFORE};
    CliDriveOptions options;
    CliLdSelection selection;
    if (ParseAndSelect(argc, argv, &rules, &options, &selection)) {
        CliWalkSelectedLds(&options.targets, &selection, ShowCachePolicy, NULL, MOD_CMD_LD);
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

static int SetCachePolicies(const CliStep *step)
{
    uint32_t seen = *(const uint32_t *)step->context;
    uint8_t adapter = step->adapter;
    uint8_t ld = step->target;
    if (seen & (CLI_OPT_WB | CLI_OPT_WT)) {
        int writeBack = (seen & CLI_OPT_WB) != 0;
        if (!CLI_CALL(adapter, MOD_CMD_LD, setWriteCache(adapter, ld, writeBack))) {
            return 0;
        }
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d-VD %d: WriteCache is %s.", adapter, ld,
                   writeBack ? "Enabled" : "Disabled");
    }
    if (seen & (CLI_OPT_RA | CLI_OPT_NORA)) {
        int readAhead = (seen & CLI_OPT_RA) != 0;
        if (!CLI_CALL(adapter, MOD_CMD_LD, setReadCache(adapter, ld, readAhead))) {
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
    CliDriveOptions options;
    CliLdSelection selection;
    uint32_t seen;
    if (!CliParseDriveOptions(argc, argv, &rules, 0, &options, &seen) ||
        !CliConfirmUnlessNoCheck(seen, &options.targets, CLI_CHK_PLAIN) ||
        !CliSelectLds(&options.targets, options.allLds, &selection, MOD_CMD_LD)) {
        return 0;
    }
    CliWalkSelectedLds(&options.targets, &selection, SetCachePolicies, &seen, MOD_CMD_LD);
    return 0;
}

/* ---- LDPDInfo ---- */

/* Every defined LD's block, then every present drive's "PD: %d Information"
 * block; an unknown drive class stops the tool. */
static int ShowAdapterLdsAndDrives(const CliStep *step)
{
    uint8_t adapter = step->adapter;
    const DLL_GET_RAID_STATUS *status = step->status;
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter #%d\n\nNumber of Virtual Disks: %d", adapter,
               CountDefinedLds(status));
    for (uint8_t ld = 0; ld < CLI_LD_SLOTS; ++ld) {
        if (status->ldState[ld] == TAV_STATE_UNDEFINED) {
            continue;
        }
        DLL_GET_LOGICAL_DISK_INFO info;
        if (!CLI_CALL(adapter, MOD_CMD_LD, getLogicalDriveInfo(adapter, ld, &info)) ||
            !CliPrintLdBlock(CliLdRef{adapter, ld}, &info, status->ldState[ld])) {
            return 0;
        }
    }
    return CliShowPresentDrives(adapter, status, CLI_PD_HEADING_INFO, 1);
}

int CliCmdExecLDPDInfo(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    return CliRunAdapterReport(argc, argv, CLI_TOKEN_COMMAND, 1,
                               "Fatal error - Adapter %d: There is no Virtual Drive & Physical Drive.",
                               ShowAdapterLdsAndDrives, MOD_CMD_LD);
}
