/* -Pfm: the driver's I/O rates of logical drives shown at once (manual), or
 * a periodic recording by the monitoring service requested (auto) or ended
 * (abort) through the statistics parameter file. */
#include <ctype.h>
#include <limits.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "tavcli.h"
#include "tavcli_cmd_ld_opt.h"
#include "tavctl_perform.h"

#define PFM_MANUAL 1
#define PFM_AUTO 2
#define PFM_ABORT 3

/* Option kinds. */
#define PFM_OPT_MODE (CLI_OPT_COMMAND << 0)
#define PFM_OPT_FORMAT (CLI_OPT_COMMAND << 1)
#define PFM_OPT_INTERVAL (CLI_OPT_COMMAND << 2)
#define PFM_OPT_COUNT (CLI_OPT_COMMAND << 3)
#define PFM_OPT_FILE (CLI_OPT_COMMAND << 4)
#define PFM_OPT_REFUSED (CLI_OPT_COMMAND << 5)
#define PFM_OPT_RECORDING (PFM_OPT_FORMAT | PFM_OPT_INTERVAL | PFM_OPT_COUNT | PFM_OPT_FILE)
#define PFM_OPT_TARGETS (CLI_OPT_ADAPTER | CLI_OPT_LD)

#define PFM_INTERVAL_LENGTH 7 /* "intHHMM" */
#define PFM_COUNT_LENGTH 8    /* "freq" and up to four digits */

#define MSG_RUNNING \
    "Fatal error - The automatic statistical information acquisition processing has already been being executed."
#define MSG_STOP_PENDING                                                                   \
    "The automatic statistical information acquisition interruption is being processed.\n" \
    "Please wait even for completion a little."
#define MSG_TOTALS_ROW "%12llu %13llu %13llu %14llu"

static const CliKeyword kModes[] = {{"manual", PFM_MANUAL}, {"auto", PFM_AUTO}, {"abort", PFM_ABORT}};
static const CliKeyword kFormats[] = {{"txt", TAV_AUTOSTAT_TEXT}, {"csv", TAV_AUTOSTAT_CSV}};


/* ---- options ---- */

/* The option text: after the first "-"; a file option ("f..." but not
 * "freq...") keeps its case with a leading "f", anything else lower case. */
static void PfmOptionText(const char *token, char *out, size_t size)
{
    const char *text = token[0] == '-' ? token + 1 : token;
    snprintf(out, size, "%s", text);
    int fileOption = (out[0] == 'f' || out[0] == 'F') && strncasecmp(out, "freq", 4) != 0;
    if (fileOption) {
        out[0] = 'f';
        return;
    }
    for (char *p = out; *p != '\0'; ++p) {
        *p = (char)tolower((unsigned char)*p);
    }
}

/* "freqN": N decimal digits without a leading 0 (0: invalid). No digits at
 * all leave *number as it was. */
static int GetFrequency(const char *text, int *number)
{
    const char *digits = text + 4;
    if (*digits == '\0') {
        return 1;
    }
    if (digits[0] == '0' || strspn(digits, "0123456789") != strlen(digits)) {
        return 0;
    }
    *number = (int)strtol(digits, NULL, 10);
    return 1;
}

/* "intHHMM": HH 00-24 (24 only with 00), MM 00-59, not 0000. */
static int ParseInterval(const char *option, int *minutes)
{
    if (strlen(option) != PFM_INTERVAL_LENGTH || strspn(option + 3, "0123456789") != 4) {
        return 0;
    }
    int hours = (option[3] - '0') * 10 + (option[4] - '0');
    int rest = (option[5] - '0') * 10 + (option[6] - '0');
    if (hours > 24 || rest > 59 || (hours == 24 && rest != 0) || hours * 60 + rest == 0) {
        return 0;
    }
    *minutes = hours * 60 + rest;
    return 1;
}

static uint32_t ClassifyPfm(const char *option)
{
    if (CliFindKeyword(kModes, CLI_KEYWORD_COUNT(kModes), option) >= 0) {
        return PFM_OPT_MODE;
    }
    if (CliFindKeyword(kFormats, CLI_KEYWORD_COUNT(kFormats), option) >= 0) {
        return PFM_OPT_FORMAT;
    }
    if (strcmp(option, "division") == 0) {
        return PFM_OPT_REFUSED;
    }
    if (strncmp(option, "freq", 4) == 0) {
        return PFM_OPT_COUNT;
    }
    if (strncmp(option, "int", 3) == 0) {
        return PFM_OPT_INTERVAL;
    }
    switch (option[0]) {
    case 'a':
        return CLI_OPT_ADAPTER;
    case 'l':
        return CLI_OPT_LD;
    case 'f':
        return PFM_OPT_FILE;
    default:
        return 0;
    }
}

static int AcceptPfm(uint32_t kind, const char *option, PfmOptions *options)
{
    switch (kind) {
    case PFM_OPT_MODE:
        options->mode = CliFindKeyword(kModes, CLI_KEYWORD_COUNT(kModes), option);
        return 1;
    case PFM_OPT_FORMAT:
        options->format = CliFindKeyword(kFormats, CLI_KEYWORD_COUNT(kFormats), option);
        return 1;
    case PFM_OPT_INTERVAL:
        return ParseInterval(option, &options->interval);
    case PFM_OPT_COUNT:
        return strlen(option) <= PFM_COUNT_LENGTH && GetFrequency(option, &options->count) && options->count >= 1 &&
               options->count <= TAV_AUTOSTAT_MAX_COUNT;
    case PFM_OPT_FILE:
        return snprintf(options->file, sizeof options->file, "%s", option + 1) < (int)sizeof options->file;
    case CLI_OPT_ADAPTER:
        options->targets.allAdapters = strcmp(option, "aall") == 0;
        return GetAdapterNo(option, options->targets.adapters);
    case CLI_OPT_LD:
        options->allLds = strcmp(option, "lall") == 0;
        return GetLogicalDriveNo(option, options->targets.lds);
    default:
        return 0;
    }
}

/* The combinations each mode needs and refuses. */
static int PfmCombinationOk(const PfmOptions *options)
{
    uint32_t seen = options->seen;
    switch (options->mode) {
    case PFM_MANUAL:
        return (seen & PFM_OPT_TARGETS) == PFM_OPT_TARGETS && (seen & PFM_OPT_RECORDING) == 0;
    case PFM_AUTO:
        return (seen & (PFM_OPT_TARGETS | PFM_OPT_RECORDING)) == (PFM_OPT_TARGETS | PFM_OPT_RECORDING);
    case PFM_ABORT:
        return (seen & PFM_OPT_RECORDING) == 0 && (seen & PFM_OPT_TARGETS) != PFM_OPT_TARGETS;
    default:
        return 0;
    }
}

int CliParsePfmOptions(int argc, char *argv[], PfmOptions *options)
{
    memset(options, 0, sizeof *options);
    memset(&options->targets, CLI_EMPTY_SLOT, sizeof options->targets);
    options->targets.allAdapters = 0;
    options->targets.keepPdOrder = 0;
    for (int i = 2; i < argc; ++i) {
        char option[PATH_MAX + 2];
        PfmOptionText(argv[i], option, sizeof option);
        uint32_t kind = ClassifyPfm(option);
        if (kind == PFM_OPT_REFUSED) {
            return CliInvalidToken(argv, i);
        }
        if (kind == 0 || !CliMarkOption(&options->seen, kind) || !AcceptPfm(kind, option, options)) {
            return CliInvalidToken(argv, i - 1);
        }
    }
    return PfmCombinationOk(options) ? 1 : CliInvalidToken(argv, argc - 1);
}

/* ---- manual ---- */

/* One entry's figures in the order they are shown: read KB, write KB, read
 * I/Os, write I/Os per second. */
static void ShownRates(const DrvStatistics *stats, int entry, unsigned long long rates[4])
{
    rates[0] = stats->entry[entry][TAV_STAT_READ_KB];
    rates[1] = stats->entry[entry][TAV_STAT_WRITE_KB];
    rates[2] = stats->entry[entry][TAV_STAT_READ_IOS];
    rates[3] = stats->entry[entry][TAV_STAT_WRITE_IOS];
}

static void PrintDriveRows(const PfmOptions *options, const CliLdSelection *selection,
                           const DrvStatistics stats[CLI_ADAPTER_SLOTS])
{
    CLI_FOR_EACH_SLOT(slot, options->targets.adapters, CLI_ADAPTER_SLOTS)
    {
        uint8_t adapter = options->targets.adapters[slot];
        if (selection->skipped[adapter]) {
            continue;
        }
        for (int ld = 0; ld < CLI_LD_SLOTS; ++ld) {
            if (selection->matrix[adapter][ld] != CLI_LD_SELECTED) {
                continue;
            }
            unsigned long long r[4];
            ShownRates(&stats[slot], ld + 1, r);
            CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "                     %d  %d " MSG_TOTALS_ROW, adapter, ld,
                       r[0], r[1], r[2], r[3]);
        }
    }
}

static int ShowRates(const PfmOptions *options, const CliLdSelection *selection)
{
    time_t now = time(NULL);
    struct tm local;
    localtime_r(&now, &local);
    char year[16];
    snprintf(year, sizeof year, "%04d", local.tm_year + 1900);
    char date[64];
    snprintf(date, sizeof date, "%c%c/%02d/%02d/%02d:%02d", year[2], year[3], local.tm_mon + 1, local.tm_mday,
             local.tm_hour, local.tm_min);
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
               "--- Driver Information ---\n"
               "Date           Adapter LD Read[KB/sec] Write[KB/sec] Read[IOs/sec] Write[IOs/sec]");
    DrvStatistics stats[CLI_ADAPTER_SLOTS];
    int first = 1;
    CLI_FOR_EACH_SLOT(slot, options->targets.adapters, CLI_ADAPTER_SLOTS)
    {
        uint8_t adapter = options->targets.adapters[slot];
        if (selection->skipped[adapter]) {
            continue;
        }
        if (!CLI_CALL(adapter, MOD_CMD_LD, getDrvstatic(adapter, &stats[slot]))) {
            return 0;
        }
        unsigned long long r[4];
        ShownRates(&stats[slot], 0, r);
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "%s       %d    " MSG_TOTALS_ROW,
                   first ? date : "              ", adapter, r[0], r[1], r[2], r[3]);
        first = 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "%s", "");
    PrintDriveRows(options, selection, stats);
    return 1;
}

/* ---- auto ---- */

/* The request's state must be idle: 1, or 0 after the message why not. */
static int RecordingIdle(uint8_t firstAdapter)
{
    AutoStaticPara para;
    if (!CLI_CALL(firstAdapter, MOD_CMD_LD, getAutoStaticPara(&para))) {
        return 0;
    }
    switch (para.state) {
    case TAV_AUTOSTAT_IDLE:
        return 1;
    case TAV_AUTOSTAT_RUN:
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_RUNNING);
        return 0;
    case TAV_AUTOSTAT_STOP:
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_STOP_PENDING);
        return 0;
    default:
        return CliReportAbnormalInfo(firstAdapter);
    }
}

static void AppendNumber(char *text, size_t size, int number)
{
    size_t used = strlen(text);
    snprintf(text + used, size - used, used == 0 ? "%d" : ",%d", number);
}

/* The selection flags and the message's adapter and drive texts. */
static void FillSelection(const PfmOptions *options, const CliLdSelection *selection, AutoStaticPara *para,
                          char *adapters, char *drives, size_t size)
{
    uint8_t onEvery[CLI_LD_SLOTS];
    memset(onEvery, 1, sizeof onEvery);
    adapters[0] = drives[0] = '\0';
    CLI_FOR_EACH_SLOT(slot, options->targets.adapters, CLI_ADAPTER_SLOTS)
    {
        uint8_t adapter = options->targets.adapters[slot];
        if (selection->skipped[adapter]) {
            continue;
        }
        AppendNumber(adapters, size, adapter);
        for (int ld = 0; ld < CLI_LD_SLOTS; ++ld) {
            int on = selection->matrix[adapter][ld] == CLI_LD_SELECTED;
            para->ldSelected[adapter][ld] = (uint8_t)on;
            onEvery[ld] = (uint8_t)(onEvery[ld] && on);
        }
    }
    CLI_FOR_EACH_SLOT(i, options->targets.lds, CLI_LD_SLOTS)
    {
        uint8_t ld = options->targets.lds[i];
        if (!options->allLds || onEvery[ld]) {
            AppendNumber(drives, size, ld);
        }
    }
}

static int StartRecording(int argc, char *argv[], const PfmOptions *options)
{
    uint8_t firstAdapter = options->targets.adapters[0];
    if (!RecordingIdle(firstAdapter)) {
        return 0;
    }
    char resolved[PATH_MAX];
    if (!FileCheck(options->file, resolved)) {
        return 0;
    }
    const char *extension = options->format == TAV_AUTOSTAT_CSV ? ".csv" : ".txt";
    if (strstr(resolved, extension) == NULL) {
        return CliInvalidToken(argv, argc - 1);
    }
    AutoStaticPara para;
    memset(&para, 0, sizeof para);
    para.interval = (uint16_t)options->interval;
    para.count = (uint16_t)options->count;
    para.format = (uint8_t)options->format;
    snprintf(para.fileName, sizeof para.fileName, "%s", resolved);
    CliLdSelection selection;
    if (!CliSelectLds(&options->targets, options->allLds, &selection, MOD_CMD_LD)) {
        return 0;
    }
    char adapters[64], drives[64];
    FillSelection(options, &selection, &para, adapters, drives, sizeof adapters);
    if (!CLI_CALL(firstAdapter, MOD_CMD_LD, start_AutoStatic(para))) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
               "Adapter %s-VD %s: The automatic statistical information acquisition processing started.", adapters,
               drives);
    return 1;
}

/* ---- abort ---- */

/* adapter: the first listed one, or 0 when none was listed (it only names
 * the abnormal-information message). */
static int StopRecording(uint8_t adapter)
{
    AutoStaticPara para;
    if (!CLI_CALL(CLI_NO_ADAPTER, MOD_CMD_LD, getAutoStaticPara(&para))) {
        return 0;
    }
    switch (para.state) {
    case TAV_AUTOSTAT_IDLE:
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__,
                   "The automatic statistical information acquisition is not executed.");
        return 0;
    case TAV_AUTOSTAT_RUN:
        if (!CLI_CALL(CLI_NO_ADAPTER, MOD_CMD_LD, stop_AutoStatic())) {
            return 0;
        }
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__,
                   "It succeeded in the acquisition interruption processing of automatic statistical information "
                   "beginning.\nPlease wait even for completion a little.");
        return 1;
    case TAV_AUTOSTAT_STOP:
        CliLogging(CLI_LOG_TRACE, MOD_CMD_LD, __LINE__, MSG_STOP_PENDING);
        return 0;
    default:
        return CliReportAbnormalInfo(adapter);
    }
}

int CliCmdExecPfm(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_CMD_LD);
    PfmOptions options;
    if (!CliParsePfmOptions(argc, argv, &options)) {
        return 0;
    }
    if (options.mode == PFM_ABORT) {
        uint8_t first = options.targets.adapters[0];
        return StopRecording(first == CLI_EMPTY_SLOT ? 0 : first);
    }
    if (options.mode == PFM_AUTO) {
        return StartRecording(argc, argv, &options);
    }
    CliLdSelection selection;
    if (!CliSelectLds(&options.targets, options.allLds, &selection, MOD_CMD_LD)) {
        return 0;
    }
    return ShowRates(&options, &selection);
}
