/* The adapter-wide commands: full adapter information, adapter count,
 * automatic rebuild per logical drive, the patrol-read delay and the G-list
 * prevent limits. */
#include <stdio.h>
#include <string.h>

#include "tavcli.h"

#define PRIORITY_TEXT_SIZE 20

/* ---- option recognition shared by the handlers ---- */

static int AcceptTargets(uint32_t kind, const char *option, void *state)
{
    return CliAcceptTarget(kind, option, (CliTargets *)state);
}

/* The options of the commands that take adapter options only (-AdpCount:
 * none at all); an option of any other kind names argv[foreignIndex]. */
static int WalkAdapterOptions(int argc, char *argv[], uint32_t required, int foreignIndex, CliTargets *targets)
{
    const CliOptionRules rules = {CliTargetKind, NULL, AcceptTargets, required, 0, 0, foreignIndex};
    uint32_t seen;
    return CliWalkOptions(argc, argv, &rules, targets, &seen);
}

/* Patrol-read delay codes 1-3 as weeks; 0 for any other code. */
static int DelayWeeks(int code)
{
    return code >= 1 && code <= 3 ? 1 << code : 0;
}

static int AskUnlessNoCheck(uint32_t seen)
{
    return (seen & CLI_OPT_NOCHK) || ComChk(NULL, NULL, NULL, CLI_CHK_PLAIN, 0);
}

/* ---- -AdpCount ---- */

int CliCmdExecAdpCount(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_ADP);
    CliTargets targets = {};
    if (!WalkAdapterOptions(argc, argv, 0, 1, &targets)) {
        return 0;
    }
    uint8_t count = 0;
    if (!CLI_CALL(CLI_NO_ADAPTER, MOD_CMD_ADP, getContNum(&count))) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_ADP, __LINE__, "Adapter Count: %d.", count);
    return 0;
}

/* ---- -AdpAllInfo ---- */

/* The identity of each adapter generation. */
struct Generation {
    uint8_t code;
    const char *name;
    const char *type;
    const char *subDeviceId;
};

static const Generation kGenerations[] = {
    {TAV_GENERATION0_CODE, "Morvane Raid Adapter 3Gbps 8port Generation0", "ZN5120", "0x3030"},
    {TAV_GENERATION1_CODE, "Morvane Raid Adapter 3Gbps 8port Generation1", "ZN5121", "0x3034"},
};

/* The flash ROM start bank and the checksums of both banks. */
struct FlashState {
    uint8_t code;
    const char *bank;
    const char *checksums;
};

static const FlashState kFlashStates[] = {
    {0, "-", "#1:Check Sum NG #2:Check Sum NG"},  {17, "1", "#1:Check Sum OK #2:Check Sum NG"},
    {19, "1", "#1:Check Sum OK #2:Check Sum OK"}, {34, "2", "#1:Check Sum NG #2:Check Sum OK"},
    {35, "2", "#1:Check Sum OK #2:Check Sum OK"},
};

/* Everything the report shows of one adapter. */
struct AdapterReport {
    DLL_GET_CONTROLLER_INFO info;
    DLL_CONT_PARA para;
    const Generation *generation;
    const FlashState *flash;
    char idlePriority[PRIORITY_TEXT_SIZE];
    char busyPriority[PRIORITY_TEXT_SIZE];
    int delayWeeks;
};

static const Generation *FindGeneration(uint8_t code)
{
    for (const Generation &generation : kGenerations) {
        if (generation.code == code) {
            return &generation;
        }
    }
    return NULL;
}

static const FlashState *FindFlashState(uint8_t code)
{
    for (const FlashState &state : kFlashStates) {
        if (state.code == code) {
            return &state;
        }
    }
    return NULL;
}

/* Reads the three records; a library failure is reported. */
static int ReadAdapterRecords(uint8_t adapter, AdapterReport *report, uint8_t *generationCode)
{
    uint8_t sysPara[TAV_PARA_SIZE];
    if (!CLI_CALL(adapter, MOD_CMD_ADP,
                  getContInfo(adapter, &report->info) && getSysPara(adapter, sysPara) &&
                      getContPara(adapter, &report->para))) {
        return 0;
    }
    *generationCode = sysPara[TAV_SYSPARA_GENERATION];
    return 1;
}

/* Translates the codes of the records; a code the tool does not know ends
 * the process. */
static void DecodeAdapterCodes(uint8_t adapter, uint8_t generationCode, AdapterReport *report)
{
    report->generation = FindGeneration(generationCode);
    if (report->generation == NULL) {
        CliAbnormalInfo(adapter, MOD_CMD_ADP, __LINE__);
    }
    getOutputStr(CLI_TEXT_PRIORITY, report->info.rebuildPriorityIdle & 0xFF, report->idlePriority,
                 sizeof report->idlePriority, adapter);
    getOutputStr(CLI_TEXT_PRIORITY, report->info.rebuildPriorityBusy & 0xFF, report->busyPriority,
                 sizeof report->busyPriority, adapter);
    report->delayWeeks = DelayWeeks(report->info.patrolDelay);
    if (report->delayWeeks == 0) {
        CliAbnormalInfo(adapter, MOD_CMD_ADP, __LINE__);
    }
    report->flash = FindFlashState(report->para.flashState);
    if (report->flash == NULL) {
        CliAbnormalInfo(adapter, MOD_CMD_ADP, __LINE__);
    }
}

static void PrintAdapterReport(uint8_t adapter, const AdapterReport *r)
{
    const DLL_GET_CONTROLLER_INFO *info = &r->info;
    const DLL_CONT_PARA *para = &r->para;
    const uint8_t *cpu = (const uint8_t *)para->processorRevision;
    const uint8_t *sas = para->sasAddress;
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_ADP, __LINE__,
               "Adapter #%d\n\n"
               "================================================================================\n"
               "                Versions\n"
               "                ========================\n"
               "Adapter Name          : %s\n"
               "Adapter Type          : %s\n"
               "Adapter Version       : %x\n"
               "Processor Revision    : %02x%02x%02x%02x\n"
               "SAS Address           : %02x%02x%02x%02x%02x%02x%02x%02x\n"
               "General Revision      : %.4s\n"
               "BOOT FW Revision      : %.8s\n"
               "Driver Version        : %d%d%d%d\n"
               "Flash ROM Revision #1 : %.4s\n"
               "                   #2 : %.4s\n"
               "\n"
               "                PCI Info\n"
               "                ========================\n"
               "Bus Number       : %d\n"
               "Slot Number      : %d\n"
               "Vender ID        : 0x8086\n"
               "Device ID        : 0x3310\n"
               "Sub Vender ID    : 0x1F0A\n"
               "Sub Device ID    : %s\n"
               "\n"
               "                HW Configuration\n"
               "                ========================\n"
               "BBU              : Absent\n"
               "NVRAM            : Present\n"
               "Serial Debugger  : Absent\n"
               "Memory           : Present\n"
               "Flash            : Present\n"
               "\n"
               "                Memory Info\n"
               "                ========================\n"
               "Total Memory     : %uMB\n"
               "Cache Size       : %uMB\n"
               "Write Cache Size : %uMB\n"
               "\n"
               "                Settings\n"
               "                ========================\n"
               "Flash ROM Start BANK        : #%s (%s)\n"
               "Rebuild Priority (IDLE)     : %s\n"
               "Rebuild Priority (BUSY)     : %s\n"
               "Patrol Read Execution Delay : %d week.\n",
               adapter, r->generation->name, r->generation->type, para->adapterVersion, cpu[0], cpu[1], cpu[2], cpu[3],
               sas[0], sas[1], sas[2], sas[3], sas[4], sas[5], sas[6], sas[7], info->generalRevision,
               para->bootRevision, info->driverVersion[0], info->driverVersion[1], info->driverVersion[2],
               info->driverVersion[3], para->flashRevisionBank1, para->flashRevisionBank2, info->pciBus,
               info->pciDevice, r->generation->subDeviceId, info->totalMemoryMB, info->cacheSizeMB,
               info->writeCacheSizeMB, r->flash->bank, r->flash->checksums, r->idlePriority, r->busyPriority,
               r->delayWeeks);
}

static int ShowAdapter(const CliStep *step)
{
    AdapterReport report;
    uint8_t generationCode = 0;
    if (!ReadAdapterRecords(step->adapter, &report, &generationCode)) {
        return 0;
    }
    DecodeAdapterCodes(step->adapter, generationCode, &report);
    PrintAdapterReport(step->adapter, &report);
    return 1;
}

int CliCmdExecAdpAllInfo(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_ADP);
    CliTargets targets = {};
    if (WalkAdapterOptions(argc, argv, CLI_OPT_ADAPTER, 1, &targets)) {
        CliWalkAdapters(&targets, 0, ShowAdapter, NULL, MOD_CMD_ADP);
    }
    return 0;
}

/* ---- -AdpPRSetDelay ---- */

#define OPT_DELAY CLI_OPT_COMMAND

struct DelayOptions {
    CliTargets targets;
    int code;
};

static const CliKeyword kDelayKeywords[] = {{"high", 1}, {"middle", 2}, {"low", 3}};

static uint32_t ClassifyDelay(const char *option)
{
    if (CliFindKeyword(kDelayKeywords, sizeof kDelayKeywords / sizeof kDelayKeywords[0], option) >= 0) {
        return OPT_DELAY;
    }
    return CliIsNoCheck(option) ? CLI_OPT_NOCHK : CliTargetKind(option);
}

static int AcceptDelay(uint32_t kind, const char *option, void *state)
{
    DelayOptions *options = (DelayOptions *)state;
    if (kind == OPT_DELAY) {
        options->code = CliFindKeyword(kDelayKeywords, sizeof kDelayKeywords / sizeof kDelayKeywords[0], option);
        return 1;
    }
    return kind == CLI_OPT_NOCHK || CliAcceptTarget(kind, option, &options->targets);
}

static int SetDelay(const CliStep *step)
{
    int code = *(const int *)step->context;
    if (!CLI_CALL(step->adapter, MOD_CMD_ADP, setHDDintv(step->adapter, (uint8_t)code))) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_ADP, __LINE__, "Adapter %d: Patrol Read Execution Delay is %d week.",
               step->adapter, DelayWeeks(code));
    return 1;
}

int CliCmdExecAdpPRSetDelay(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_ADP);
    static const CliOptionRules rules = {ClassifyDelay, NULL, AcceptDelay, OPT_DELAY | CLI_OPT_ADAPTER, 0,
                                         CLI_OPT_NOCHK, 0};
    DelayOptions options = {};
    uint32_t seen;
    if (!CliWalkOptions(argc, argv, &rules, &options, &seen) || !AskUnlessNoCheck(seen)) {
        return 0;
    }
    CliWalkAdapters(&options.targets, 0, SetDelay, &options.code, MOD_CMD_ADP);
    return 0;
}

/* ---- -GLPrevLimitInfo ---- */

static int ShowLimits(const CliStep *step)
{
    uint8_t adapter = step->adapter;
    DLL_GLIST_INFO glist;
    if (!CLI_CALL(adapter, MOD_CMD_ADP, getGListInfo(adapter, &glist))) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_ADP, __LINE__,
               "Adapter #%d\n\nPreventLimit: %d\nPreventLimit OneMonth: %d\nPreventLimit HalfYear: %d\n"
               "PreventLimit OneYear: %d\n",
               adapter, glist.preventLimit, glist.oneMonth, glist.halfYear, glist.oneYear);
    return 1;
}

int CliCmdExecGLPrevLimitInfo(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_ADP);
    CliTargets targets = {};
    if (WalkAdapterOptions(argc, argv, CLI_OPT_ADAPTER, 2, &targets)) {
        CliWalkAdapters(&targets, 0, ShowLimits, NULL, MOD_CMD_ADP);
    }
    return 0;
}

/* ---- -GLPrevLimitSet ---- */

/* The four limits in the order of the G-list record and of the report. */
#define GLIST_LIMITS 4
#define OPT_LIMIT(i) (CLI_OPT_COMMAND << (i))
#define OPT_ALL_LIMITS OPT_LIMIT(GLIST_LIMITS)
#define OPT_EACH_LIMIT (OPT_LIMIT(0) | OPT_LIMIT(1) | OPT_LIMIT(2) | OPT_LIMIT(3))

static const char *const kLimitKeywords[GLIST_LIMITS] = {"pl", "om", "hy", "oy"};
static const char *const kLimitReports[GLIST_LIMITS] = {
    "Adapter %d: PreventLimit is %d.",
    "Adapter %d: PreventLimit OneMonth is %d.",
    "Adapter %d: PreventLimit HalfYear is %d.",
    "Adapter %d: PreventLimit OneYear is %d.",
};

struct LimitOptions {
    CliTargets targets;
    uint16_t values[GLIST_LIMITS];
};

static uint32_t ClassifyLimit(const char *option)
{
    if (strncmp(option, "all", 3) == 0) {
        return OPT_ALL_LIMITS;
    }
    for (int i = 0; i < GLIST_LIMITS; ++i) {
        if (strncmp(option, kLimitKeywords[i], 2) == 0) {
            return OPT_LIMIT(i);
        }
    }
    return CliIsNoCheck(option) ? CLI_OPT_NOCHK : CliTargetKind(option);
}

static uint32_t LimitConflicts(uint32_t kind)
{
    if (kind == OPT_ALL_LIMITS) {
        return OPT_EACH_LIMIT;
    }
    return (kind & OPT_EACH_LIMIT) ? OPT_ALL_LIMITS : 0;
}

static int AcceptLimit(uint32_t kind, const char *option, void *state)
{
    LimitOptions *options = (LimitOptions *)state;
    uint16_t value = 0;
    if ((kind & (OPT_EACH_LIMIT | OPT_ALL_LIMITS)) == 0) {
        return kind == CLI_OPT_NOCHK || CliAcceptTarget(kind, option, &options->targets);
    }
    if (!GetGListPLNo(option, &value)) {
        return 0;
    }
    for (int i = 0; i < GLIST_LIMITS; ++i) {
        if (kind & (OPT_LIMIT(i) | OPT_ALL_LIMITS)) {
            options->values[i] = value;
        }
    }
    return 1;
}

/* Whether limit i was given, itself or through "all". */
static int LimitGiven(uint32_t seen, int i)
{
    return (seen & (OPT_LIMIT(i) | OPT_ALL_LIMITS)) != 0;
}

struct LimitChange {
    const LimitOptions *options;
    uint32_t seen;
};

static int SetLimits(const CliStep *step)
{
    const LimitChange *change = (const LimitChange *)step->context;
    uint8_t adapter = step->adapter;
    const LimitOptions *options = change->options;
    uint32_t seen = change->seen;
    DLL_GLIST_INFO glist;
    uint16_t limits[GLIST_LIMITS];
    static_assert(sizeof limits == sizeof glist, "the record holds the four limits in report order");
    if (!CLI_CALL(adapter, MOD_CMD_ADP, getGListInfo(adapter, &glist))) {
        return 0;
    }
    memcpy(limits, &glist, sizeof limits);
    for (int i = 0; i < GLIST_LIMITS; ++i) {
        if (LimitGiven(seen, i)) {
            limits[i] = options->values[i];
        }
    }
    memcpy(&glist, limits, sizeof glist);
    if (!CLI_CALL(adapter, MOD_CMD_ADP, setGListInfo(adapter, &glist))) {
        return 0;
    }
    for (int i = 0; i < GLIST_LIMITS; ++i) {
        if (LimitGiven(seen, i)) {
            CliLogging(CLI_LOG_STDOUT, MOD_CMD_ADP, __LINE__, kLimitReports[i], adapter, limits[i]);
        }
    }
    return 1;
}

int CliCmdExecGLPrevLimitSet(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_ADP);
    static const CliOptionRules rules = {
        ClassifyLimit, LimitConflicts, AcceptLimit, CLI_OPT_ADAPTER, OPT_EACH_LIMIT | OPT_ALL_LIMITS, CLI_OPT_NOCHK, 0};
    LimitOptions options = {};
    uint32_t seen;
    if (!CliWalkOptions(argc, argv, &rules, &options, &seen) || !AskUnlessNoCheck(seen)) {
        return 0;
    }
    LimitChange change = {&options, seen};
    CliWalkAdapters(&options.targets, 0, SetLimits, &change, MOD_CMD_ADP);
    return 0;
}

/* ---- -AdpAutoRbld ---- */

#define OPT_REBUILD_MODE CLI_OPT_COMMAND

enum RebuildMode { REBUILD_ENABLE, REBUILD_DISABLE, REBUILD_DISPLAY };

static const CliKeyword kRebuildKeywords[] = {
    {"enbl", REBUILD_ENABLE}, {"dsbl", REBUILD_DISABLE}, {"dsply", REBUILD_DISPLAY}};

struct RebuildOptions {
    CliTargets targets;
    int mode;
};

static uint32_t ClassifyRebuild(const char *option)
{
    if (CliFindKeyword(kRebuildKeywords, sizeof kRebuildKeywords / sizeof kRebuildKeywords[0], option) >= 0) {
        return OPT_REBUILD_MODE;
    }
    return CliIsNoCheck(option) ? CLI_OPT_NOCHK : CliTargetKind(option);
}

static int AcceptRebuild(uint32_t kind, const char *option, void *state)
{
    RebuildOptions *options = (RebuildOptions *)state;
    if (kind == OPT_REBUILD_MODE) {
        options->mode = CliFindKeyword(kRebuildKeywords, sizeof kRebuildKeywords / sizeof kRebuildKeywords[0], option);
        return 1;
    }
    return kind == CLI_OPT_NOCHK || CliAcceptTarget(kind, option, &options->targets);
}

/* Sets or reads one LD's auto-rebuild: 0 on a library failure; *text the
 * state to report, NULL when there is none. */
static int ApplyRebuildMode(uint8_t adapter, uint8_t ld, int mode, const char **text)
{
    static const char *const kTexts[] = {"Enabled", "Disabled"};
    if (mode != REBUILD_DISPLAY) {
        *text = kTexts[mode];
        return setAutoRebuild(adapter, ld, mode == REBUILD_ENABLE);
    }
    DLL_GET_LOGICAL_DISK_INFO info;
    if (!getLogicalDriveInfo(adapter, ld, &info)) {
        return 0;
    }
    *text = info.autoRebuild <= 1 ? kTexts[info.autoRebuild] : NULL;
    return 1;
}

static int RebuildLd(const CliStep *step)
{
    int mode = *(const int *)step->context;
    const char *text = NULL;
    if (!CLI_CALL(step->adapter, MOD_CMD_ADP, ApplyRebuildMode(step->adapter, step->target, mode, &text))) {
        return 0;
    }
    if (text != NULL) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_ADP, __LINE__, "Adapter %d:\nVirtual drv-%d:\nAutoRebuild is %s.\n",
                   step->adapter, step->target, text);
    }
    return 1;
}

int CliCmdExecAdpAutoRbld(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_ADP);
    static const CliOptionRules rules = {
        ClassifyRebuild, NULL, AcceptRebuild, OPT_REBUILD_MODE | CLI_OPT_LD | CLI_OPT_ADAPTER, 0, CLI_OPT_NOCHK, 0};
    RebuildOptions options = {};
    uint32_t seen;
    CliLdSelection selection;
    if (!CliWalkOptions(argc, argv, &rules, &options, &seen) || !AskUnlessNoCheck(seen) ||
        !CliSelectLds(&options.targets, CliIsAllLds(options.targets.lds), &selection, MOD_CMD_ADP)) {
        return 0;
    }
    /* The selected LDs in the order given. */
    CliWalk walk = {CLI_WALK_LDS, 0, selection.skipped, selection.matrix, MOD_CMD_ADP};
    CliWalkTargets(&options.targets, &walk, RebuildLd, &options.mode);
    return 0;
}
