/* Option parsers of -Pfm and -CCSchSet: the options as given, parsed
 * before anything is read from an adapter. */
#ifndef TAVCLI_CMD_LD_OPT_H
#define TAVCLI_CMD_LD_OPT_H

#include <limits.h>

#include "tavcli.h"

/* -Pfm: the mode (manual, auto, abort), the targets and the recording's
 * format, interval (minutes), count and file. */
struct PfmOptions {
    int mode;
    CliTargets targets;
    int allLds;
    int format;
    int interval;
    int count;
    char file[PATH_MAX];
    uint32_t seen;
};

/* Walks the options (argv[2] on) and checks the combination the mode needs:
 * 1 valid; otherwise "Invalid input at or near token %s." and 0. */
int CliParsePfmOptions(int argc, char *argv[], PfmOptions *options);

/* -CCSchSet: the targets, the hour (-tHH) and the day keyword. */
struct ScheduleOptions {
    CliDriveOptions drive; /* first: the drive options' accept reads it */
    int hour;
    int day;
};

/* Walks the options (CliWalkOptions): 1 valid, *seen holding the kinds. */
int CliParseScheduleSetOptions(int argc, char *argv[], ScheduleOptions *options, uint32_t *seen);

#endif
