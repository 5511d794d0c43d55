/* LDBadSpot: the bad-spot addresses of the selected LDs, merged from the
 * member drives' tables on Generation0 adapters, else the LD's own table. */
#include <stdio.h>
#include <string.h>

#include "tavcli.h"

#define BAD_SPOT_LIST_SIZE 128 /* 8 member drives, 16 addresses each */
#define BAD_SPOT_NONE_ADDRESS 0xFFFFFFFFu

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
static int CollectDriveBadSpots(CliDriveRef drive, uint8_t ld, uint32_t *list, int *count)
{
    DLL_GET_HDD_INFO info;
    if (!CLI_CALL(drive.adapter, MOD_CMD_LD, getPhysicalDriveInfo(drive.adapter, drive.pd, &info))) {
        return 0;
    }
    if (info.groupNo != ld) {
        return 1;
    }
    DLL_BADSPOT_INFO badSpots;
    if (!CLI_CALL(drive.adapter, MOD_CMD_LD, getBadspotInfo(drive.adapter, drive.pd, &badSpots))) {
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
    if (!CLI_CALL(adapter, MOD_CMD_LD, getLogicalDriveInfo(adapter, ld, &info))) {
        return 0;
    }
    uint32_t list[BAD_SPOT_LIST_SIZE];
    int count = 0;
    for (size_t i = 0; i < BAD_SPOT_LIST_SIZE; ++i) {
        list[i] = BAD_SPOT_NONE_ADDRESS;
    }
    for (int m = 0; m < info.memberCount && m < TAV_MAX_DRIVES; ++m) {
        if (!CollectDriveBadSpots(CliDriveRef{adapter, info.member[m].hddNo}, ld, list, &count)) {
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
    if (!CLI_CALL(adapter, MOD_CMD_LD, getLDBadspotInfo64(adapter, ld, &table))) {
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

static int ShowBadSpots(const CliStep *step)
{
    BadSpotWalk *walk = (BadSpotWalk *)step->context;
    uint8_t adapter = step->adapter;
    uint8_t ld = step->target;
    if (step->firstOfAdapter) {
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

/* Each adapter's generation selects where its bad spots are read from. */
static int ReadGenerations(const CliLdSelection *selection, BadSpotWalk *walk)
{
    for (uint8_t adapter = 0; adapter < CLI_ADAPTER_SLOTS; ++adapter) {
        int selected =
            !selection->skipped[adapter] && memchr(selection->matrix[adapter], CLI_LD_SELECTED, CLI_LD_SLOTS) != NULL;
        if (selected && !CliReadGeneration(adapter, &walk->generation[adapter], MOD_CMD_LD)) {
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
    CliDriveOptions options;
    CliLdSelection selection;
    uint32_t seen;
    BadSpotWalk walk;
    memset(&walk, 0, sizeof walk);
    if (CliParseDriveOptions(argc, argv, &rules, 0, &options, &seen) &&
        CliSelectLds(&options.targets, options.allLds, &selection, MOD_CMD_LD) && ReadGenerations(&selection, &walk)) {
        CliWalkSelectedLds(&options.targets, &selection, ShowBadSpots, &walk, MOD_CMD_LD);
    }
    return 0;
}
