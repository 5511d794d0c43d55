/* PDRbld: start, show once or follow live the rebuild, copy back or copy
 * onto physical drives. Stopping one is not offered. */
#include "tavcli_cmd_bgop.h"
#include "tavcli_kbhit.h"

#define MSG_PD_CANNOT "Fatal error - Adapter %d-PD %d: Rebuild or Copy Back cannot be executed."
#define MSG_PD_ALREADY "Fatal error - Adapter %d-PD %d: It has already been executing it."
#define MSG_PD_RAID0 "Fatal error - Adapter %d-PD %d: Rebuild or Copy Back cannot be done with RAID0."
#define MSG_PD_CHECK "Fatal error - Adapter %d-PD %d: Consistency Check is being executed."
#define MSG_PD_PARITY "Fatal error - Adapter %d-PD %d: Make Parity is being executed."
#define MSG_PD_NOT_REBUILDING "Adapter %d-PD %d is not in rebuild, copy back and copy process."
#define MSG_PD_HEADING                                                         \
    "Rebuild[R], Copy Back[CB] and Copy[C] progress of physical drives...\n\n" \
    "Adapter #  PD #  state             Percent Complete"

struct RebuildRun {
    uint32_t action;
    int rebuilding; /* some listed drive is a member of a rebuilding LD */
    int rows;
};

/* A drive and, for a member, its LD. */
struct DriveView {
    DLL_GET_HDD_INFO drive;
    DLL_GET_LOGICAL_DISK_INFO ld;
    int member;
};

static int ReadDriveView(const CliStep *step, DriveView *view)
{
    if (!CLI_CALL(step->adapter, MOD_CMD_PD, getPhysicalDriveInfo(step->adapter, step->target, &view->drive))) {
        return 0;
    }
    view->member = view->drive.hddClass == TAV_CLASS_MEMBER && view->drive.groupNo < CLI_LD_SLOTS;
    return !view->member ||
           CLI_CALL(step->adapter, MOD_CMD_PD, getLogicalDriveInfo(step->adapter, view->drive.groupNo, &view->ld));
}

static int Tell(const char *message, const CliStep *step)
{
    CliLogging(CLI_LOG_TRACE, MOD_CMD_PD, __LINE__, message, step->adapter, step->target);
    return 1;
}

static int ScanDrive(const CliStep *step)
{
    RebuildRun *run = (RebuildRun *)step->context;
    DriveView view;
    if (!ReadDriveView(step, &view)) {
        return 0;
    }
    if (view.member && view.ld.rebuildState == 2) {
        run->rebuilding = 1;
    }
    return 1;
}

static int StartOnDrive(const CliStep *step, const DriveView *view)
{
    const DLL_GET_LOGICAL_DISK_INFO *ld = &view->ld;
    if (!view->member) {
        return Tell(MSG_PD_CANNOT, step);
    }
    if (ld->rebuildState == 2) {
        return Tell(MSG_PD_ALREADY, step);
    }
    if (ld->raidLevel == 0) {
        return Tell(MSG_PD_RAID0, step);
    }
    if (ld->maintenance == 1) {
        return Tell(MSG_PD_CHECK, step);
    }
    if (ld->maintenance == 2) {
        return Tell(MSG_PD_PARITY, step);
    }
    if (ld->rebuildState == 0) {
        return Tell(MSG_PD_CANNOT, step);
    }
    DLL_GET_RAID_STATUS status;
    if (!CLI_CALL(step->adapter, MOD_CMD_PD, start_Rebuild(step->adapter, view->drive.groupNo)) ||
        !CliReadRaidStatus(step->adapter, &status, MOD_CMD_PD, __LINE__)) {
        return 0;
    }
    uint8_t state = status.ldState[view->drive.groupNo];
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, "Start %s on Physical Drive %d ( Adapter %d ) succeeded.",
               state == 2 || state == 5 ? "Copy Back" : "Rebuild", step->target, step->adapter);
    return 1;
}

/* Why a drive shows no rebuild progress; 0 when it is rebuilding. */
static int TellNotRebuilding(const CliStep *step, const DriveView *view)
{
    if (view->member && view->ld.maintenance == 1) {
        return Tell(MSG_PD_CHECK, step);
    }
    if (view->member && view->ld.maintenance == 2) {
        return Tell(MSG_PD_PARITY, step);
    }
    if (!view->member || view->ld.rebuildState != 2) {
        return Tell(MSG_PD_NOT_REBUILDING, step);
    }
    return 0;
}

static int ShowRebuildOfDrive(RebuildRun *run, const CliStep *step, const DriveView *view)
{
    if (TellNotRebuilding(step, view)) {
        return 1;
    }
    if (run->rows == 0) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, "%s", MSG_PD_HEADING);
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, CLI_PROG_TEMPLATE_PD, step->adapter, step->target,
               CliRebuildKind(step->status->ldState[view->drive.groupNo]), "%%");
    showProg(view->ld.progress, run->rows++);
    return 1;
}

static int ActOnDrive(const CliStep *step)
{
    RebuildRun *run = (RebuildRun *)step->context;
    DriveView view;
    if (!ReadDriveView(step, &view)) {
        return 0;
    }
    switch (run->action) {
    case CLI_OPT_ABORT:
        CliLogging(CLI_LOG_TRACE, MOD_CMD_PD, __LINE__, "%s param is not supported.", "-Abort");
        return 0;
    case CLI_OPT_START:
        return StartOnDrive(step, &view);
    case CLI_OPT_SHOWPROG:
        return ShowRebuildOfDrive(run, step, &view);
    default:
        TellNotRebuilding(step, &view);
        return 1;
    }
}

int CliCmdExecPDRbld(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_PD);
    Tkbhit keys;
    static const CliOptionRules rules = {CliClassifyActionOption, CliActionConflicts,
                                         CliAcceptDriveOption,    CLI_OPT_ADAPTER | CLI_OPT_PD,
                                         CLI_OPT_ACTIONS,         0,
                                         CLI_TOKEN_BEFORE};
    CliDriveOptions options;
    uint32_t seen;
    RebuildRun run = {};
    if (!CliParseDriveOptions(argc, argv, &rules, 0, &options, &seen) ||
        !CliAllDrivesExist(&options.targets, MOD_CMD_PD)) {
        return 0;
    }
    run.action = seen & CLI_OPT_ACTIONS;
    CliWalk walk = {CLI_WALK_PDS, 1, NULL, NULL, MOD_CMD_PD};
    if (!CliWalkTargets(&options.targets, &walk, ScanDrive, &run) ||
        !CliWalkTargets(&options.targets, &walk, ActOnDrive, &run)) {
        return 0;
    }
    if (run.action == CLI_OPT_PROGDSPLY && run.rebuilding) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_PD, __LINE__, "%s", MSG_PD_HEADING);
        progRebldDsply(options.targets.adapters, options.targets.pds);
    }
    return 0;
}
