/* LDCC and LDParity: start, abort, show once or follow live the consistency
 * check or the parity creation of logical drives. */
#include "tavcli_cmd_bgop.h"
#include "tavcli_kbhit.h"

/* What differs between the two commands. */
struct LdOperation {
    uint8_t own; /* maintenance state of its own operation */
    int (*start)(uint8_t adapter, uint8_t ld);
    int (*stop)(uint8_t adapter, uint8_t ld);
    const char *raid0;
    const char *conflict; /* the other maintenance operation runs */
    const char *started;  /* LD, adapter */
    const char *stopped;  /* LD, adapter */
    const char *ended;
    const char *notRunning;
    const char *heading;
    int scanStopsAtRunning;
};

static const LdOperation kConsistencyCheck = {
    1,
    start_consistencyCheck,
    stop_consistencyCheck,
    "Fatal error - Adapter %d-VD %d: Consistency Check cannot be done with RAID0.",
    "Fatal error - Adapter %d-VD %d: Make Parity is being executed.",
    "Start Consistency Check on Virtual Drive %d ( Adapter %d ) succeeded.",
    "Abort Consistency Check on Virtual Drive %d ( Adapter %d ) succeeded.",
    "Fatal error - Adapter %d-VD %d: Consistency Check have already ended.",
    "Check Consistency on Adapter #%d-VD #%d is not in progress.",
    "Check Consistency progress of virtual drives...\n\n Adapter #  VD #               Percent Complete",
    1,
};

static const LdOperation kMakeParity = {
    2,
    start_makeParity,
    stop_makeParity,
    "Fatal error - Adapter %d-VD %d: Make parity cannot be done with RAID0.",
    "Fatal error - Adapter %d-VD %d: Consistency Check is being executed.",
    "Start Make Parity on Virtual Drive %d ( Adapter %d ) succeeded.",
    "Abort Make Parity on Virtual Drive %d ( Adapter %d ) succeeded.",
    "Fatal error - Adapter %d-VD %d: Make Parity have already ended.",
    "Make Parity on Adapter #%d-VD #%d is not in Progress.",
    "Make Parity progress of virtual drives...\n\n Adapter #  VD #               Percent Complete",
    0,
};

#define MSG_ALREADY_RUNNING "Fatal error - Adapter %d-VD %d: It has already been executing it."
#define MSG_REBUILD_RUNNING "Fatal error - Adapter %d-VD %d: Rebuild or Copy Back or Copy is being executed."
#define MSG_NOT_GOOD "Fatal error - Adapter %d-LD %d: state is not GOOD."

/* One run of a command. */
struct LdRun {
    const LdOperation *op;
    uint32_t action;
    int allLds;
    int quiet;     /* -Lall and some LD qualifies: single-LD refusals left out */
    int startable; /* some LD could start the operation */
    int running;   /* some LD runs it */
    int rows;      /* progress rows printed */
    uint8_t scanStopped[CLI_ADAPTER_SLOTS];
    CliLdSelection selection;
};

static int ReadLdInfo(const CliStep *step, DLL_GET_LOGICAL_DISK_INFO *info)
{
    return CLI_CALL(step->adapter, MOD_CMD_LD, getLogicalDriveInfo(step->adapter, step->target, info));
}

/* A refusal for one LD (kind 1; the not-running line is kind 0). */
static int Refuse(const LdRun *run, int kind, const char *message, const CliStep *step)
{
    if (!run->quiet) {
        CliLogging(kind, MOD_CMD_LD, __LINE__, message, step->adapter, step->target);
    }
    return 1;
}

/* ---- pre-scan ---- */

static int ScanLd(const CliStep *step)
{
    LdRun *run = (LdRun *)step->context;
    DLL_GET_LOGICAL_DISK_INFO info;
    if (run->scanStopped[step->adapter]) {
        return 1;
    }
    if (!ReadLdInfo(step, &info)) {
        return 0;
    }
    if (info.maintenance == 0 && info.raidLevel != 0 && info.rebuildState != 2) {
        run->startable = 1;
    }
    if (info.maintenance == run->op->own) {
        run->running = 1;
        run->scanStopped[step->adapter] = (uint8_t)run->op->scanStopsAtRunning;
    }
    return 1;
}

/* ---- the actions ---- */

static int StartOnLd(LdRun *run, const CliStep *step, const DLL_GET_LOGICAL_DISK_INFO *info)
{
    const LdOperation *op = run->op;
    DLL_GET_RAID_STATUS status;
    if (!CliReadRaidStatus(step->adapter, &status, MOD_CMD_LD, __LINE__)) {
        return 0;
    }
    if (info->raidLevel == 0) {
        return Refuse(run, CLI_LOG_TRACE, op->raid0, step);
    }
    if (info->maintenance == op->own) {
        return Refuse(run, CLI_LOG_TRACE, MSG_ALREADY_RUNNING, step);
    }
    if (info->maintenance != 0) {
        return Refuse(run, CLI_LOG_TRACE, op->conflict, step);
    }
    if (info->rebuildState == 2) {
        return Refuse(run, CLI_LOG_TRACE, MSG_REBUILD_RUNNING, step);
    }
    if (status.ldState[step->target] != 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_NOT_GOOD, step->adapter, step->target);
        return 0;
    }
    if (!CLI_CALL(step->adapter, MOD_CMD_LD, op->start(step->adapter, step->target))) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, op->started, step->target, step->adapter);
    return 1;
}

static int AbortOnLd(LdRun *run, const CliStep *step, const DLL_GET_LOGICAL_DISK_INFO *info)
{
    if (info->maintenance != run->op->own) {
        return Refuse(run, CLI_LOG_TRACE, run->op->ended, step);
    }
    if (!CLI_CALL(step->adapter, MOD_CMD_LD, run->op->stop(step->adapter, step->target))) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, run->op->stopped, step->target, step->adapter);
    return 1;
}

/* Why an LD shows no progress of the operation. */
static int RefuseNotRunning(const LdRun *run, const CliStep *step, const DLL_GET_LOGICAL_DISK_INFO *info)
{
    if (info->maintenance != 0) {
        return Refuse(run, CLI_LOG_TRACE, run->op->conflict, step);
    }
    if (info->rebuildState == 2) {
        return Refuse(run, CLI_LOG_TRACE, MSG_REBUILD_RUNNING, step);
    }
    return Refuse(run, CLI_LOG_STDOUT, run->op->notRunning, step);
}

static int ShowProgressOfLd(LdRun *run, const CliStep *step, const DLL_GET_LOGICAL_DISK_INFO *info)
{
    if (info->maintenance != run->op->own || info->rebuildState == 2) {
        return RefuseNotRunning(run, step, info);
    }
    if (run->rows == 0) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "%s", run->op->heading);
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, CLI_PROG_TEMPLATE_LD, step->adapter, step->target, "%%");
    showProg(info->progress, run->rows++);
    return 1;
}

/* Before a live display: every LD without the operation leaves the
 * matrix, with its reason unless the list is -Lall. */
static int KeepRunningLd(LdRun *run, const CliStep *step, const DLL_GET_LOGICAL_DISK_INFO *info)
{
    if (info->maintenance == run->op->own) {
        return 1;
    }
    run->selection.matrix[step->adapter][step->target] = CLI_EMPTY_SLOT;
    return run->allLds ? 1 : RefuseNotRunning(run, step, info);
}

static int ActOnLd(const CliStep *step)
{
    LdRun *run = (LdRun *)step->context;
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!ReadLdInfo(step, &info)) {
        return 0;
    }
    switch (run->action) {
    case CLI_OPT_START:
        return StartOnLd(run, step, &info);
    case CLI_OPT_ABORT:
        return AbortOnLd(run, step, &info);
    case CLI_OPT_SHOWPROG:
        return ShowProgressOfLd(run, step, &info);
    default:
        return run->running ? KeepRunningLd(run, step, &info) : RefuseNotRunning(run, step, &info);
    }
}

static int RunLdOperation(int argc, char *argv[], const LdOperation *op)
{
    Tkbhit keys;
    static const CliOptionRules rules = {CliClassifyActionOption, CliActionConflicts,
                                         CliAcceptDriveOption,    CLI_OPT_ADAPTER | CLI_OPT_LD,
                                         CLI_OPT_ACTIONS,         0,
                                         CLI_TOKEN_BEFORE};
    CliDriveOptions options;
    uint32_t seen;
    LdRun run = {};
    run.op = op;
    if (!CliParseDriveOptions(argc, argv, &rules, 0, &options, &seen) ||
        !CliSelectLds(&options.targets, options.allLds, &run.selection, MOD_CMD_LD)) {
        return 0;
    }
    run.action = seen & CLI_OPT_ACTIONS;
    run.allLds = options.allLds;
    if (!CliWalkSelectedLds(&options.targets, &run.selection, ScanLd, &run, MOD_CMD_LD)) {
        return 0;
    }
    run.quiet = run.allLds && (run.action == CLI_OPT_START ? run.startable : run.running);
    if (!CliWalkSelectedLds(&options.targets, &run.selection, ActOnLd, &run, MOD_CMD_LD)) {
        return 0;
    }
    if (run.action == CLI_OPT_PROGDSPLY && run.running) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "%s", op->heading);
        progDsply(run.selection.matrix);
    }
    return 0;
}

int CliCmdExecLDCC(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    return RunLdOperation(argc, argv, &kConsistencyCheck);
}

int CliCmdExecLDParity(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    return RunLdOperation(argc, argv, &kMakeParity);
}
