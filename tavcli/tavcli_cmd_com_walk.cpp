/* The target walker: for each listed adapter, its status, then each listed
 * (or selected) LD or drive; and the LD selection of the "-L... -a..."
 * commands. */
#include <string.h>

#include "tavcli.h"

/* The steps of one adapter: 1 when every action returned 1. */
static int WalkAdapter(const CliTargets *targets, const CliWalk *walk, CliStep *step, CliStepAction action)
{
    if (walk->over == CLI_WALK_ADAPTERS) {
        return action(step);
    }
    int lds = walk->over == CLI_WALK_LDS;
    const uint8_t *slots = lds ? targets->lds : targets->pds;
    CLI_FOR_EACH_SLOT(i, slots, lds ? CLI_LD_SLOTS : CLI_PD_USED)
    {
        if (lds && walk->selected != NULL && walk->selected[step->adapter][slots[i]] != CLI_LD_SELECTED) {
            continue;
        }
        step->target = slots[i];
        step->state = step->status == NULL ? 0
                      : lds                ? step->status->ldState[step->target]
                                           : step->status->hddState[step->target];
        if (!action(step)) {
            return 0;
        }
        step->firstOfAdapter = 0;
    }
    return 1;
}

int CliWalkTargets(const CliTargets *targets, const CliWalk *walk, CliStepAction action, void *context)
{
    CLI_FOR_EACH_SLOT(a, targets->adapters, CLI_ADAPTER_SLOTS)
    {
        uint8_t adapter = targets->adapters[a];
        if (walk->skipped != NULL && adapter < CLI_ADAPTER_SLOTS && walk->skipped[adapter]) {
            continue;
        }
        DLL_GET_RAID_STATUS status;
        CliStep step = {adapter, CLI_EMPTY_SLOT, 0, 1, NULL, context};
        if (walk->readStatus) {
            if (!CliReadRaidStatus(adapter, &status, walk->module, __LINE__)) {
                return 0;
            }
            step.status = &status;
        }
        if (!WalkAdapter(targets, walk, &step, action)) {
            return 0;
        }
    }
    return 1;
}

int CliWalkAdapters(const CliTargets *targets, int readStatus, CliStepAction action, void *context, const char *module)
{
    CliWalk walk = {CLI_WALK_ADAPTERS, readStatus, NULL, NULL, module};
    return CliWalkTargets(targets, &walk, action, context);
}

int CliWalkSelectedLds(const CliTargets *targets, const CliLdSelection *selection, CliStepAction action, void *context,
                       const char *module)
{
    CliTargets ascending = *targets;
    size_t count = 0;
    memset(ascending.lds, CLI_EMPTY_SLOT, sizeof ascending.lds);
    for (uint8_t ld = 0; ld < CLI_LD_SLOTS; ++ld) {
        if (memchr(targets->lds, ld, sizeof targets->lds) != NULL) {
            ascending.lds[count++] = ld;
        }
    }
    CliWalk walk = {CLI_WALK_LDS, 0, selection->skipped, selection->matrix, module};
    return CliWalkTargets(&ascending, &walk, action, context);
}

/* ---- LD selection ---- */

struct SelectState {
    const CliTargets *targets;
    int allLds;
    CliLdSelection *selection;
    const char *module;
    size_t listed;
    size_t skipped;
};

static void ReportNoLd(uint8_t adapter, const char *module)
{
    CliLogging(CLI_LOG_TRACE, module, __LINE__, MSG_NO_VIRTUAL_DRIVE, adapter);
}

static int SkipAdapterWithoutLd(const CliStep *step)
{
    SelectState *state = (SelectState *)step->context;
    ++state->listed;
    if (CliHasAnyLd(step->status)) {
        return 1;
    }
    if (state->targets->allAdapters && state->allLds) {
        state->selection->skipped[step->adapter] = 1;
        ++state->skipped;
    } else if (state->allLds) {
        ReportNoLd(step->adapter, state->module);
        return 0;
    }
    return 1;
}

static int ReportSkipped(const CliStep *step)
{
    ReportNoLd(step->adapter, *(const char *const *)step->context);
    return 1;
}

int CliSelectLds(const CliTargets *targets, int allLds, CliLdSelection *selection, const char *module)
{
    memset(selection->skipped, 0, sizeof selection->skipped);
    if (!getAdpLdArray(targets->adapters, targets->lds, selection->matrix)) {
        return 0;
    }
    SelectState state = {targets, allLds, selection, module, 0, 0};
    if (!CliWalkAdapters(targets, 1, SkipAdapterWithoutLd, &state, module)) {
        return 0;
    }
    if (state.listed > 0 && state.skipped == state.listed) {
        CliWalkAdapters(targets, 0, ReportSkipped, &module, module);
        return 0;
    }
    return 1;
}

/* ---- adapter filters and counts ---- */

int CliCountPresentDrives(const DLL_GET_RAID_STATUS *status)
{
    int count = 0;
    for (int pd = 0; pd < CLI_PD_USED; ++pd) {
        count += status->hddState[pd] != TAV_STATE_UNDEFINED;
    }
    return count;
}

struct EmptyAdapterDrop {
    const CliTargets *targets;
    uint8_t kept[CLI_ADAPTER_SLOTS];
    size_t count;
    int withLds;
    const char *message;
    const char *module;
};

static int KeepAdapterWithDrives(const CliStep *step)
{
    EmptyAdapterDrop *drop = (EmptyAdapterDrop *)step->context;
    if (CliCountPresentDrives(step->status) > 0 || (drop->withLds && CliHasAnyLd(step->status))) {
        drop->kept[drop->count++] = step->adapter;
        return 1;
    }
    CliLogging(CLI_LOG_TRACE, drop->module, __LINE__, drop->message, step->adapter);
    return drop->targets->allAdapters;
}

int CliDropEmptyAdapters(CliTargets *targets, int withLds, const char *message, const char *module)
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    EmptyAdapterDrop drop = {targets, {}, 0, withLds, message, module};
    memset(drop.kept, CLI_EMPTY_SLOT, sizeof drop.kept);
    if (!CliWalkAdapters(targets, 1, KeepAdapterWithDrives, &drop, module)) {
        return 0;
    }
    memcpy(targets->adapters, drop.kept, sizeof drop.kept);
    return 1;
}

struct CountReport {
    const char *message;
    int (*count)(const DLL_GET_RAID_STATUS *);
    const char *module;
};

static int ReportCount(const CliStep *step)
{
    const CountReport *report = (const CountReport *)step->context;
    CliLogging(CLI_LOG_STDOUT, report->module, __LINE__, report->message, step->adapter, report->count(step->status));
    return 1;
}

int CliRunCountCommand(int argc, char *argv[], const char *message, int (*count)(const DLL_GET_RAID_STATUS *),
                       const char *module)
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    CliDriveOptions options;
    if (!CliParseAdapterOption(argc, argv, CLI_TOKEN_COMMAND, &options)) {
        return 0;
    }
    CountReport report = {message, count, module};
    CliWalkAdapters(&options.targets, 1, ReportCount, &report, module);
    return 0;
}

static int DriveExists(const CliStep *step)
{
    if (step->state != TAV_STATE_UNDEFINED) {
        return 1;
    }
    CliLogging(CLI_LOG_TRACE, *(const char *const *)step->context, __LINE__, MSG_NOT_EXIST, step->adapter,
               "Physical Drive", step->target);
    return 0;
}

int CliAllDrivesExist(const CliTargets *targets, const char *module)
{
    CliWalk walk = {CLI_WALK_PDS, 1, NULL, NULL, module};
    return CliWalkTargets(targets, &walk, DriveExists, &module);
}

int CliRunAdapterReport(int argc, char *argv[], int foreignIndex, int withLds, const char *emptyMessage,
                        CliStepAction show, const char *module)
{
    CliDriveOptions options;
    if (CliParseAdapterOption(argc, argv, foreignIndex, &options) &&
        CliDropEmptyAdapters(&options.targets, withLds, emptyMessage, module)) {
        CliWalkAdapters(&options.targets, 1, show, NULL, module);
    }
    return 0;
}
