/* The live progress displays: one row per running operation, redrawn from
 * the adapter once a second per row, until every operation ended or a key
 * was pressed. Leaving a display never stops an operation. */
#include <string.h>

#include "tavcli_kbhit.h"
#include "tavcli_prog.h"

#define POLL_INTERVAL_MS 1000

/* One displayed operation: an LD's, or the rebuild of a drive's LD. */
struct LiveRow {
    uint8_t adapter;
    uint8_t ld;
    CliBar bar;
    int finished;
};

/* Reads a row's operation: 1 running (its percent set), 0 ended, -1 the
 * read failed (InternalError printed). */
typedef int (*LiveRead)(const LiveRow *row, int *percent);

struct LiveDisplay {
    LiveRow rows[CLI_PROG_MAX_ROWS];
    int count;
    int finishedCount;
    int linesBelow; /* lines the cursor went down after the key line */
    LiveRead read;
    Tkbhit *keys;
};

static int LinesUp(const LiveDisplay *display, int index)
{
    return display->count - index + 1 + display->linesBelow;
}

static void AddRow(LiveDisplay *display, uint8_t adapter, uint8_t ld)
{
    LiveRow *row = &display->rows[display->count++];
    row->adapter = adapter;
    row->ld = ld;
    row->finished = 0;
    CliBarInit(&row->bar, 0);
}

static int KeyPressed(void *keys)
{
    return ((Tkbhit *)keys)->_kbhit();
}

/* The 100 % line; 1 when it was the last row running. */
static int FinishRow(LiveDisplay *display, int index)
{
    CliBarFinish(LinesUp(display, index));
    display->rows[index].finished = 1;
    if (++display->finishedCount == display->count) {
        return 1;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_COM, __LINE__, "\r   Press a key to continue...\r");
    ++display->linesBelow;
    return 0;
}

/* One row of a pass: 0 when the display ends. */
static int UpdateRow(LiveDisplay *display, int index)
{
    LiveRow *row = &display->rows[index];
    if (!row->finished) {
        int percent = 0;
        int running = display->read(row, &percent);
        if (running < 0) {
            return 0;
        }
        if (running && !CliBarDrawTo(&row->bar, percent, LinesUp(display, index), KeyPressed, display->keys)) {
            return 0;
        }
        if ((!running || row->bar.drawn >= CLI_BAR_FULL) && FinishRow(display, index)) {
            return 0;
        }
    }
    return !display->keys->waitKey(POLL_INTERVAL_MS);
}

static void RunLive(LiveDisplay *display)
{
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_COM, __LINE__, "   Press any key to quit...\r");
    if (display->count == 0) {
        return;
    }
    for (;;) {
        if (display->keys->_kbhit()) {
            return;
        }
        for (int i = 0; i < display->count; ++i) {
            if (!UpdateRow(display, i)) {
                return;
            }
        }
    }
}

/* Prints a row per target the walk's action adds, then follows them, in
 * single-key mode for the whole display. */
static void RunDisplay(const CliTargets *targets, const CliWalk *walk, CliStepAction add, LiveRead read)
{
    Tkbhit keys;
    LiveDisplay display = {};
    display.read = read;
    display.keys = &keys;
    if (CliWalkTargets(targets, walk, add, &display)) {
        RunLive(&display);
    }
}

static int ReadLd(uint8_t adapter, uint8_t ld, DLL_GET_LOGICAL_DISK_INFO *info)
{
    return CLI_CALL(adapter, MOD_CMD_COM, getLogicalDriveInfo(adapter, ld, info));
}

/* ---- LD operations ---- */

static int ReadLdOperation(const LiveRow *row, int *percent)
{
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!ReadLd(row->adapter, row->ld, &info)) {
        return -1;
    }
    *percent = info.progress;
    return info.maintenance != 0;
}

static int AddRunningLd(const CliStep *step)
{
    LiveDisplay *display = (LiveDisplay *)step->context;
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!ReadLd(step->adapter, step->target, &info)) {
        return 0;
    }
    if (info.maintenance != 0) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_COM, __LINE__, CLI_PROG_TEMPLATE_LD, step->adapter, step->target, "%%");
        AddRow(display, step->adapter, step->target);
    }
    return 1;
}

void progDsply(const uint8_t matrix[CLI_ADAPTER_SLOTS][CLI_LD_SLOTS])
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    CliTargets every;
    memset(&every, 0, sizeof every);
    memset(every.pds, CLI_EMPTY_SLOT, sizeof every.pds);
    for (uint8_t i = 0; i < CLI_ADAPTER_SLOTS; ++i) {
        every.adapters[i] = i;
    }
    for (uint8_t i = 0; i < CLI_LD_SLOTS; ++i) {
        every.lds[i] = i;
    }
    CliWalk walk = {CLI_WALK_LDS, 0, NULL, matrix, MOD_CMD_COM};
    RunDisplay(&every, &walk, AddRunningLd, ReadLdOperation);
}

/* ---- rebuilds of drives ---- */

static int ReadRebuild(const LiveRow *row, int *percent)
{
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!ReadLd(row->adapter, row->ld, &info)) {
        return -1;
    }
    *percent = info.progress;
    return info.rebuildState == 2;
}

static int AddRebuildingDrive(const CliStep *step)
{
    LiveDisplay *display = (LiveDisplay *)step->context;
    DLL_GET_HDD_INFO drive;
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!CLI_CALL(step->adapter, MOD_CMD_COM, getPhysicalDriveInfo(step->adapter, step->target, &drive))) {
        return 0;
    }
    if (drive.hddClass != TAV_CLASS_MEMBER || drive.groupNo >= CLI_LD_SLOTS) {
        return 1;
    }
    if (!ReadLd(step->adapter, drive.groupNo, &info)) {
        return 0;
    }
    if (info.rebuildState == 2 && info.maintenance != 1 && info.maintenance != 2) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_COM, __LINE__, CLI_PROG_TEMPLATE_PD, step->adapter, step->target,
                   CliRebuildKind(step->status->ldState[drive.groupNo]), "%%");
        AddRow(display, step->adapter, drive.groupNo);
    }
    return 1;
}

void progRebldDsply(const uint8_t adapters[CLI_ADAPTER_SLOTS], const uint8_t pds[CLI_PD_SLOTS])
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    CliTargets targets;
    memset(&targets, 0, sizeof targets);
    memcpy(targets.adapters, adapters, sizeof targets.adapters);
    memset(targets.lds, CLI_EMPTY_SLOT, sizeof targets.lds);
    memcpy(targets.pds, pds, sizeof targets.pds);
    CliWalk walk = {CLI_WALK_PDS, 1, NULL, NULL, MOD_CMD_COM};
    RunDisplay(&targets, &walk, AddRebuildingDrive, ReadRebuild);
}
