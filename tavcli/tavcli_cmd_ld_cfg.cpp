/* Configuration commands: create a RAID 0, 1 or 5 logical drive from a
 * drive list, a RAID 10 logical drive from two arrays, and delete logical
 * drives (never one that carries a partition table) together with their
 * consistency-check schedules. */
#include <stdio.h>
#include <string.h>

#include "tavcli.h"

/* Option kinds of the creation commands. */
#define OPT_RAID (CLI_OPT_COMMAND << 0)
#define OPT_AFTER_LD (CLI_OPT_COMMAND << 1)
#define OPT_ARRAY0 (CLI_OPT_COMMAND << 2)
#define OPT_ARRAY1 (CLI_OPT_COMMAND << 3)

#define AFTER_LD_PREFIX "afterld"
#define ARRAY_PREFIX "array"
#define DRIVE_LIST_PREFIX "physdrv["
#define LD_NUMBERS 8
#define GOOD_STATE 0
#define SPAN_MARKER 1

#define MSG_HDD_COUNT "Fatal error - Adapter %d: The number of HDD to the RAID composition is abnormal."
#define MSG_LD_DEFINED "Fatal error - Adapter %d-VD %d: The specified Virtual Drive already exists."
#define MSG_CANNOT_EXECUTE "Adapter %d: The specified operation cannot be executed.\nPlease ascertain the situation."

static const CliKeyword kPolicyKeywords[] = {
    {"wt", CLI_OPT_WT}, {"wb", CLI_OPT_WB}, {"nora", CLI_OPT_NORA}, {"ra", CLI_OPT_RA}};

/* The policies of one kind exclude each other; this command's own kinds
 * exclude nothing. */
static uint32_t CreateConflicts(uint32_t kind)
{
    static const uint32_t writePolicies = CLI_OPT_WT | CLI_OPT_WB;
    static const uint32_t readPolicies = CLI_OPT_RA | CLI_OPT_NORA;
    return (kind & writePolicies) ? writePolicies : (kind & readPolicies) ? readPolicies : 0;
}

/* What the creation options give. */
struct CreateOptions {
    CliDriveOptions drive;           /* the adapter; targets.pds the members in the order given */
    int level;                       /* RAID level code */
    uint8_t arrays[2][CLI_PD_SLOTS]; /* -Array0, -Array1 */
    int afterLdGiven;
    int afterLdDigits; /* digits after -afterLd */
    int afterLd;
};

/* ---- options ---- */

static uint32_t ClassifyCreate(const char *option)
{
    int keyword = CliFindKeyword(kPolicyKeywords, CLI_KEYWORD_COUNT(kPolicyKeywords), option);
    if (keyword >= 0) {
        return (uint32_t)keyword;
    }
    if (option[0] == 'r') {
        return OPT_RAID;
    }
    if (strncmp(option, ARRAY_PREFIX, strlen(ARRAY_PREFIX)) == 0) {
        return option[5] == '1' ? OPT_ARRAY1 : OPT_ARRAY0; /* anything else fails in the parser */
    }
    if (strncmp(option, AFTER_LD_PREFIX, strlen(AFTER_LD_PREFIX)) == 0) {
        return OPT_AFTER_LD;
    }
    return option[0] == 'a' ? CLI_OPT_ADAPTER : CliIsNoCheck(option) ? CLI_OPT_NOCHK : 0;
}

/* The drive list after the "[" at bracket, in the order given. */
static int ParseMembers(const char *option, size_t bracket, uint8_t pds[CLI_PD_SLOTS])
{
    char list[CLI_WORD_SIZE + sizeof DRIVE_LIST_PREFIX];
    if (option[bracket] != '[') {
        return 0;
    }
    snprintf(list, sizeof list, DRIVE_LIST_PREFIX "%s", option + bracket + 1);
    return GetPhysicalDriveNo(list, pds, 1);
}

/* "afterld" and only digits: how many, and their value when one. */
static int ParseAfterLd(const char *option, CreateOptions *options)
{
    const char *digits = option + strlen(AFTER_LD_PREFIX);
    size_t count = strspn(digits, "0123456789");
    if (digits[count] != '\0') {
        return 0;
    }
    options->afterLdGiven = 1;
    options->afterLdDigits = (int)count;
    options->afterLd = count == 1 ? digits[0] - '0' : 0;
    return 1;
}

static int AcceptLdAddRaid(const char *option, CreateOptions *options)
{
    static const char levels[] = "015";
    if (option[1] == '\0' || strchr(levels, option[1]) == NULL) {
        return 0;
    }
    options->level = option[1] - '0';
    return ParseMembers(option, 2, options->drive.targets.pds);
}

static int AcceptCreate(uint32_t kind, const char *option, CreateOptions *options, int span)
{
    switch (kind) {
    case OPT_RAID:
        if (!span) {
            return AcceptLdAddRaid(option, options);
        }
        options->level = 1;
        return strcmp(option, "r10") == 0;
    case OPT_ARRAY0:
    case OPT_ARRAY1:
        return (option[5] == '0' || option[5] == '1') && ParseMembers(option, 6, options->arrays[kind == OPT_ARRAY1]);
    case OPT_AFTER_LD:
        return ParseAfterLd(option, options);
    default:
        return CliAcceptDriveOption(kind, option, &options->drive);
    }
}

static int AcceptLdAdd(uint32_t kind, const char *option, void *state)
{
    return AcceptCreate(kind, option, (CreateOptions *)state, 0);
}

static int AcceptSpanAdd(uint32_t kind, const char *option, void *state)
{
    return AcceptCreate(kind, option, (CreateOptions *)state, 1);
}

static int ParseCreate(int argc, char *argv[], const CliOptionRules *rules, CreateOptions *options, uint32_t *seen)
{
    memset(options, 0, sizeof *options);
    memset(options->arrays, CLI_EMPTY_SLOT, sizeof options->arrays);
    CliInitDriveOptions(&options->drive, CLI_OPT_ADAPTER);
    options->drive.targets.keepPdOrder = 1;
    return CliWalkOptions(argc, argv, rules, options, seen);
}

/* ---- checks before the creation ---- */

static int CountDrives(const uint8_t pds[CLI_PD_SLOTS])
{
    int count = 0;
    CLI_FOR_EACH_SLOT(i, pds, CLI_PD_USED)
    {
        ++count;
    }
    return count;
}

/* Every member present and Good. */
static int MemberIsGood(const CliStep *step)
{
    if (step->state == TAV_STATE_UNDEFINED) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_NOT_EXIST, step->adapter, "Physical Drive", step->target);
        return 0;
    }
    if (step->state != GOOD_STATE) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, "Fatal error - Adapter %d-PD %d: state is not GOOD.",
                   step->adapter, step->target);
        return 0;
    }
    return 1;
}

/* No member is a hot spare or belongs to a restore candidate. */
static int MemberIsFree(const CliStep *step)
{
    DLL_GET_HDD_INFO info;
    if (!CLI_CALL(step->adapter, MOD_CMD_LD, getPhysicalDriveInfo(step->adapter, step->target, &info))) {
        return 0;
    }
    if (info.hddClass == TAV_CLASS_RESTORE || info.hddClass == TAV_CLASS_SPARE_IN_USE ||
        info.hddClass == TAV_CLASS_SPARE_NOT_USED) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_CANNOT_EXECUTE, step->adapter);
        return 0;
    }
    return 1;
}

static int WalkMembers(const CliTargets *targets, int readStatus, CliStepAction action)
{
    CliWalk walk = {CLI_WALK_PDS, readStatus, NULL, NULL, MOD_CMD_LD};
    return CliWalkTargets(targets, &walk, action, NULL);
}

/* The LD to create: the -afterLd number, or the lowest free one. */
static int ChooseLd(uint8_t adapter, const CreateOptions *options, uint8_t *ld)
{
    if (options->afterLdGiven && (options->afterLdDigits > 1 || options->afterLd >= LD_NUMBERS)) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__,
                   "Fatal error - Adapter %d: The specified Virtual Drive number exceeds the limitation value.\n"
                   "Number that can be specified: 0-7.",
                   adapter);
        return 0;
    }
    if (options->afterLdGiven) {
        *ld = (uint8_t)options->afterLd;
        return 1;
    }
    DLL_GET_RAID_STATUS status;
    if (!CliReadRaidStatus(adapter, &status, MOD_CMD_LD, __LINE__)) {
        return 0;
    }
    for (uint8_t candidate = 0; candidate < LD_NUMBERS; ++candidate) {
        if (status.ldState[candidate] == TAV_STATE_UNDEFINED) {
            *ld = candidate;
            return 1;
        }
    }
    CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__,
               "Fatal error - Adapter %d: A Virtual Drive cannot be made any further.", adapter);
    return 0;
}

static int LdIsFree(uint8_t adapter, uint8_t ld)
{
    DLL_GET_RAID_STATUS status;
    if (!CliReadRaidStatus(adapter, &status, MOD_CMD_LD, __LINE__)) {
        return 0;
    }
    if (status.ldState[ld] == TAV_STATE_UNDEFINED) {
        return 1;
    }
    CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_LD_DEFINED, adapter, ld);
    return 0;
}

static int CountFitsLevel(uint8_t adapter, int level, int count)
{
    uint8_t generation;
    if (!CliReadGeneration(adapter, &generation, MOD_CMD_LD)) {
        return 0;
    }
    int fits = level == 0 || (level == 1 && count == 2) ||
               (level == 5 && count >= 3 && (generation != TAV_GENERATION0_CODE || count <= 6));
    if (!fits) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_HDD_COUNT, adapter);
    }
    return fits;
}

/* After a failed creation or deletion whose change the adapter took but
 * did not commit: the adapter cannot withdraw it, so the operator is told
 * that the next configuration change will carry it out. */
static void ReportStagedChange(uint8_t adapter, uint8_t ld, const char *change)
{
    if (getConfigStaged()) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__,
                   "Adapter %d: The %s of Virtual drv-%d is staged in the adapter and will be carried out by the next "
                   "configuration change.",
                   adapter, change, ld);
    }
}

/* ---- the creation ---- */

static int Create(const CreateOptions *options, uint32_t seen, uint8_t ld, int span)
{
    const CliTargets *targets = &options->drive.targets;
    uint8_t adapter = targets->adapters[0];
    DLL_CREATE_LD_INFO request;
    memset(&request, 0, sizeof request);
    request.contNo = adapter;
    request.groupNo = ld;
    request.memberCount = (uint8_t)CountDrives(targets->pds);
    memcpy(request.member, targets->pds, request.memberCount);
    request.raidLevel = (uint8_t)options->level;
    request.hotSpareMode = options->level == 0 ? TAV_HOTSPARE_NONE : TAV_HOTSPARE_GLOBAL;
    request.readPolicy = (seen & CLI_OPT_NORA) ? TAV_READ_NONE : TAV_READ_AHEAD;
    request.writePolicy = (seen & CLI_OPT_WB) ? TAV_WRITE_BACK : TAV_WRITE_THROUGH;
    request.spanMarker = span ? SPAN_MARKER : 0;
    if (!CLI_CALL(adapter, MOD_CMD_LD, createLD(&request))) {
        ReportStagedChange(adapter, ld, "creation");
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d: Created Virtual drv-%d.", adapter, ld);
    return 1;
}

int CliCmdExecCfgLDAdd(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    static const CliOptionRules rules = {ClassifyCreate,
                                         CreateConflicts,
                                         AcceptLdAdd,
                                         OPT_RAID | CLI_OPT_ADAPTER,
                                         0,
                                         CLI_OPT_WT | CLI_OPT_WB | CLI_OPT_RA | CLI_OPT_NORA | OPT_AFTER_LD |
                                             CLI_OPT_NOCHK,
                                         CLI_TOKEN_BEFORE};
    CreateOptions options;
    uint32_t seen;
    if (!ParseCreate(argc, argv, &rules, &options, &seen) ||
        !CliConfirmUnlessNoCheck(seen, &options.drive.targets, CLI_CHK_PLAIN)) {
        return 0;
    }
    const CliTargets *targets = &options.drive.targets;
    uint8_t adapter = targets->adapters[0];
    uint8_t ld;
    if (WalkMembers(targets, 1, MemberIsGood) && ChooseLd(adapter, &options, &ld) &&
        WalkMembers(targets, 0, MemberIsFree) && LdIsFree(adapter, ld) &&
        CountFitsLevel(adapter, options.level, CountDrives(targets->pds))) {
        Create(&options, seen, ld, 0);
    }
    return 0;
}

int CliCmdExecCfgSpanAdd(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    static const CliOptionRules rules = {ClassifyCreate,
                                         CreateConflicts,
                                         AcceptSpanAdd,
                                         OPT_RAID | OPT_ARRAY0 | OPT_ARRAY1 | CLI_OPT_ADAPTER,
                                         0,
                                         CLI_OPT_WT | CLI_OPT_WB | CLI_OPT_RA | CLI_OPT_NORA | OPT_AFTER_LD |
                                             CLI_OPT_NOCHK,
                                         CLI_TOKEN_BEFORE};
    CreateOptions options;
    uint32_t seen;
    if (!ParseCreate(argc, argv, &rules, &options, &seen) ||
        !CliConfirmUnlessNoCheck(seen, &options.drive.targets, CLI_CHK_PLAIN)) {
        return 0;
    }
    /* Array0 then Array1, each in the order given, are the members. */
    CliTargets *targets = &options.drive.targets;
    uint8_t adapter = targets->adapters[0];
    int first = CountDrives(options.arrays[0]);
    int second = CountDrives(options.arrays[1]);
    int total = first + second;
    if (total != 4 && total != 6 && total != 8) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_HDD_COUNT, adapter);
        return 0;
    }
    memcpy(targets->pds, options.arrays[0], (size_t)first);
    memcpy(targets->pds + first, options.arrays[1], (size_t)second);
    uint8_t ld;
    if (WalkMembers(targets, 1, MemberIsGood) && ChooseLd(adapter, &options, &ld) && LdIsFree(adapter, ld) &&
        WalkMembers(targets, 0, MemberIsFree)) {
        Create(&options, seen, ld, 1);
    }
    return 0;
}

/* ---- CfgLDDel ---- */

static int DeleteLdAndSchedule(const CliStep *step)
{
    uint8_t adapter = step->adapter;
    uint8_t ld = step->target;
    if (CliHasPartitionTable(adapter, ld)) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__,
                   "Valid partition exist on Adapter %d-VD %d. At first, delete all partition by OS tool.", adapter,
                   ld);
        return 1;
    }
    if (!CLI_CALL(adapter, MOD_CMD_LD, deleteLD(adapter, ld))) {
        ReportStagedChange(adapter, ld, "deletion");
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d: Deleted Virtual drv-%d.", adapter, ld);
    uint8_t isSet, day, hour;
    if (!CliReadSchedule(adapter, ld, &isSet, &day, &hour, MOD_CMD_LD)) {
        return 0;
    }
    if (isSet == 1) {
        if (!CliDeleteSchedule(adapter, ld, MOD_CMD_LD)) {
            return 0;
        }
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d-VD %d: Deleted the check consistency schedule.",
                   adapter, ld);
    } else if (isSet != 0) {
        CliReportAbnormalInfo(adapter);
    }
    return 1;
}

/* ComChk's deletion listing, quiet under -aALL. */
static int ConfirmLdDeletion(const CliTargets *targets)
{
    return ComChk(targets->adapters, NULL, targets->lds, CLI_CHK_LD_DELETE, targets->allAdapters);
}

int CliCmdExecCfgLDDel(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    return CliRunLdDeletion(argc, argv, ConfirmLdDeletion, DeleteLdAndSchedule);
}
