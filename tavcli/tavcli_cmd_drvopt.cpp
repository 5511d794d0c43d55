/* Option recognition shared by the logical-drive and physical-drive
 * commands: keyword tables whose values are the option kinds, the keywords
 * that exclude each other, the marks and single-number targets, and the
 * confirmation unless -nochk was given. */
#include <string.h>

#include "tavcli.h"

/* Keywords of one group exclude each other. */
static const uint32_t kExclusiveGroups[] = {
    CLI_OPT_ACTIVE | CLI_OPT_PASSIVE, CLI_OPT_SET | CLI_OPT_RMV,
    CLI_OPT_IDLE | CLI_OPT_BUSY,      CLI_OPT_HIGH | CLI_OPT_MIDDLE | CLI_OPT_LOW,
    CLI_OPT_WB | CLI_OPT_WT,          CLI_OPT_RA | CLI_OPT_NORA,
    CLI_OPT_RSTR | CLI_OPT_DEL,
};

void CliInitDriveOptions(CliDriveOptions *options, uint32_t singleKinds)
{
    memset(options, 0, sizeof *options);
    memset(options->targets.adapters, CLI_EMPTY_SLOT, sizeof options->targets.adapters);
    memset(options->targets.lds, CLI_EMPTY_SLOT, sizeof options->targets.lds);
    memset(options->targets.pds, CLI_EMPTY_SLOT, sizeof options->targets.pds);
    memset(options->destLds, CLI_EMPTY_SLOT, sizeof options->destLds);
    options->singleKinds = singleKinds;
}

uint32_t CliClassifyDriveOption(const CliKeyword *keywords, size_t count, const char *option)
{
    int kind = CliFindKeyword(keywords, count, option);
    if (kind >= 0) {
        return (uint32_t)kind;
    }
    return CliIsNoCheck(option) ? CLI_OPT_NOCHK : CliTargetKind(option);
}

uint32_t CliClassifyDriveTarget(const char *option)
{
    return CliClassifyDriveOption(NULL, 0, option);
}

uint32_t CliDriveOptionConflicts(uint32_t kind)
{
    for (uint32_t group : kExclusiveGroups) {
        if (group & kind) {
            return group;
        }
    }
    return 0;
}

/* A target that must name exactly one number: no "all" form, one slot. */
static int NamesOne(const char *option, const char *allWord, const uint8_t *slots)
{
    return strcmp(option, allWord) != 0 && slots[0] != CLI_EMPTY_SLOT && slots[1] == CLI_EMPTY_SLOT;
}

static int AcceptTarget(CliDriveOptions *options, uint32_t kind, const char *option)
{
    int single = (options->singleKinds & kind) != 0;
    /* Checked before the parser, which would confirm every adapter. */
    if (single && kind == CLI_OPT_ADAPTER && strcmp(option, "aall") == 0) {
        return 0;
    }
    if (!CliAcceptTarget(kind, option, &options->targets)) {
        return 0;
    }
    if (kind == CLI_OPT_LD) {
        options->allLds = strcmp(option, "lall") == 0;
    }
    if (!single) {
        return 1;
    }
    return kind == CLI_OPT_ADAPTER ? NamesOne(option, "aall", options->targets.adapters)
                                   : NamesOne(option, "lall", options->targets.lds);
}

int CliAcceptDriveOption(uint32_t kind, const char *option, void *state)
{
    CliDriveOptions *options = (CliDriveOptions *)state;
    if (kind == CLI_OPT_DEST_LD) {
        return GetLogicalDriveNo(option, options->destLds);
    }
    if (kind == CLI_OPT_ADAPTER || kind == CLI_OPT_LD || kind == CLI_OPT_PD) {
        return AcceptTarget(options, kind, option);
    }
    return 1;
}

int CliParseDriveOptions(int argc, char *argv[], const CliOptionRules *rules, uint32_t singleKinds,
                         CliDriveOptions *options, uint32_t *seen)
{
    CliInitDriveOptions(options, singleKinds);
    return CliWalkOptions(argc, argv, rules, options, seen);
}

int CliParseAdapterOption(int argc, char *argv[], int foreignIndex, CliDriveOptions *options)
{
    const CliOptionRules rules = {
        CliClassifyDriveTarget, NULL, CliAcceptDriveOption, CLI_OPT_ADAPTER, 0, 0, foreignIndex};
    uint32_t seen;
    return CliParseDriveOptions(argc, argv, &rules, 0, options, &seen);
}

int CliConfirmUnlessNoCheck(uint32_t seen, const CliTargets *targets, int kind)
{
    return (seen & CLI_OPT_NOCHK) || ComChk(targets->adapters, targets->pds, targets->lds, kind, 0);
}
