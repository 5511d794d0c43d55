/* The pre-check and confirmation question shared by the commands that
 * change settings or start operations: the targets are listed with their
 * suitability, then one Y/N question is asked for all of them. */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "tavcli.h"

/* The longest answer line read at once; a longer line is discarded whole. */
#define ANSWER_LINE_SIZE 65536
/* The four partition-table entries of a master boot record. */
#define MBR_TABLE_OFFSET 446
#define MBR_TABLE_LENGTH 64
#define BLOCK_SIZE 512

static const char *const kQuestions[] = {
    "Is it executed?(Y/N)?",
    "Is the delete executed?(Y/N)?",
    "Is the online executed?(Y/N)?",
    "Is the offline executed?(Y/N)?",
    "Is the removing of Hot Spare executed?(Y/N)?",
    "Is the delete executed?(Y/N)?",
};

#define MSG_PD_MISSING "Adapter %d-PD %d: The specified Physical Drive doesn't exist."
#define MSG_PD_ALREADY "Adapter %d-PD %d: It is already the setting."
#define MSG_PD_TARGET "Adapter %d-PD %d"
#define MSG_VD_TARGET "Adapter %d-VD %d"
#define MSG_VD_MISSING "Adapter %d-VD %d: The specified Virtual Drive doesn't exist."

/* ---- the question ---- */

/* Echo on while the operator answers (the tool works with echo off); only
 * when the working settings were applied to a terminal. */
static void SetAnswerEcho(int on)
{
    if (term_set_flg != 1) {
        return;
    }
    struct termios settings = new_term_set;
    if (on) {
        settings.c_lflag |= ECHO;
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &settings);
}

/* Reads one answer line: the character of a one-character line, 0 for any
 * other line, EOF when the input has ended. */
static int ReadAnswer(void)
{
    static char line[ANSWER_LINE_SIZE + 1];
    SetAnswerEcho(1);
    char *got = fgets(line, sizeof line, stdin);
    int answer = 0;
    if (got == NULL) {
        answer = EOF;
    } else if (strchr(line, '\n') == NULL) {
        /* Too long, or the input ended in mid-line: discard the rest. */
        int c;
        while ((c = getchar()) != EOF && c != '\n') {
        }
    } else if (strlen(line) == 2) {
        answer = (unsigned char)line[0];
    }
    SetAnswerEcho(0);
    return answer;
}

/* An ended input can give no answer and counts as N. */
int CliAskConfirmation(const char *question)
{
    for (;;) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_COM, __LINE__, "%s", question);
        int answer = ReadAnswer();
        if (answer == 'Y' || answer == 'y') {
            return 1;
        }
        if (answer == 'N' || answer == 'n' || answer == EOF) {
            errno = ECANCELED;
            return 0;
        }
    }
}

/* ---- target listings ---- */

static int IsAlarm(uint8_t state)
{
    return state >= 0x20 && state <= 0x27;
}

static int IsSpare(uint8_t hddClass)
{
    return hddClass == TAV_CLASS_SPARE_IN_USE || hddClass == TAV_CLASS_SPARE_NOT_USED;
}

/* One drive's line for the online, offline and hot-spare removal kinds. */
static int ListDrive(const CliStep *step)
{
    int kind = *(const int *)step->context;
    uint8_t adapter = step->adapter;
    uint8_t pd = step->target;
    if (step->state == TAV_STATE_UNDEFINED) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, MSG_PD_MISSING, adapter, pd);
        return 1;
    }
    int suitable = 0;
    if (kind == CLI_CHK_PD_ONLINE) {
        suitable = IsAlarm(step->state);
    } else if (kind == CLI_CHK_PD_OFFLINE) {
        suitable = !IsAlarm(step->state);
    } else {
        DLL_GET_HDD_INFO info;
        if (!CLI_CALL(adapter, MOD_CMD_COM, getPhysicalDriveInfo(adapter, pd, &info))) {
            return 0;
        }
        suitable = IsSpare(info.hddClass);
        if (!suitable) {
            CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, MSG_PD_ALREADY, adapter, pd);
            return 1;
        }
    }
    CliLogging(CLI_LOG_STDOUT, MOD_CMD_COM, __LINE__, suitable ? MSG_PD_TARGET : MSG_PD_ALREADY, adapter, pd);
    return 1;
}

/* A target list from the check's separate lists (any may be NULL). */
static void CheckTargets(const uint8_t *adapters, const uint8_t *pds, const uint8_t *lds, CliTargets *targets)
{
    memset(targets, CLI_EMPTY_SLOT, sizeof *targets);
    if (adapters != NULL) {
        memcpy(targets->adapters, adapters, sizeof targets->adapters);
    }
    if (pds != NULL) {
        memcpy(targets->pds, pds, sizeof targets->pds);
    }
    if (lds != NULL) {
        memcpy(targets->lds, lds, sizeof targets->lds);
    }
}

static int ListDrives(const CliTargets *targets, int kind)
{
    CliWalk walk = {CLI_WALK_PDS, 1, NULL, NULL, MOD_CMD_COM};
    return CliWalkTargets(targets, &walk, ListDrive, &kind);
}

/* Read through the command channel; the library's error word is left as
 * it was. */
int CliHasPartitionTable(uint8_t adapter, uint8_t ld)
{
    uint8_t block[BLOCK_SIZE];
    memset(block, 0, sizeof block);
    uint32_t savedError = DLLGetLastError();
    int failed = CmdExe_Read(adapter, ld, block);
    DLLSetErrorCode(savedError);
    if (failed) {
        return 0;
    }
    for (size_t i = MBR_TABLE_OFFSET; i < MBR_TABLE_OFFSET + MBR_TABLE_LENGTH; ++i) {
        if (block[i] != 0) {
            return 1;
        }
    }
    return 0;
}

/* One listed LD's line for the deletion kind; with -Lall an LD that does not
 * exist is passed over silently. */
static int ListDeletionTarget(const CliStep *step)
{
    int all = *(const int *)step->context;
    uint8_t adapter = step->adapter;
    uint8_t ld = step->target;
    if (step->state == TAV_STATE_UNDEFINED) {
        if (!all) {
            CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, MSG_VD_MISSING, adapter, ld);
        }
    } else if (CliHasPartitionTable(adapter, ld)) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, "Adapter %d-VD %d: Valid partition exist on it.", adapter, ld);
    } else {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_COM, __LINE__, MSG_VD_TARGET, adapter, ld);
    }
    return 1;
}

struct DeletionSkip {
    int all;
    int quiet;
    uint8_t skipped[CLI_ADAPTER_SLOTS]; /* per adapter number */
    int remaining;
};

/* Under -Lall an adapter without LDs is passed over, reported unless quiet. */
static int SkipAdapterWithoutLd(const CliStep *step)
{
    DeletionSkip *skip = (DeletionSkip *)step->context;
    int skipped = skip->all && !CliHasAnyLd(step->status);
    skip->skipped[step->adapter] = (uint8_t)skipped;
    if (skipped && !skip->quiet) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, MSG_NO_VIRTUAL_DRIVE, step->adapter);
    }
    skip->remaining += !skipped;
    return 1;
}

static int ReportNoLd(const CliStep *step)
{
    CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, MSG_NO_VIRTUAL_DRIVE, step->adapter);
    return 1;
}

static int ListLdDeletion(const CliTargets *targets, int quiet)
{
    DeletionSkip skip = {CliIsAllLds(targets->lds), quiet, {0}, 0};
    if (!CliWalkAdapters(targets, 1, SkipAdapterWithoutLd, &skip, MOD_CMD_COM)) {
        return 0;
    }
    if (skip.remaining == 0 && skip.all && quiet) {
        return CliWalkAdapters(targets, 0, ReportNoLd, NULL, MOD_CMD_COM);
    }
    CliWalk walk = {CLI_WALK_LDS, 1, skip.skipped, NULL, MOD_CMD_COM};
    return CliWalkTargets(targets, &walk, ListDeletionTarget, &skip.all);
}

/* The first LD of the list on the first adapter, as a restorable LD. */
static int ListRestoreCandidate(const uint8_t *adapters, const uint8_t *lds)
{
    uint8_t adapter = adapters[0];
    uint8_t ld = lds[0];
    DLL_RESTORE_LD_STATUS status;
    if (!CLI_CALL(adapter, MOD_CMD_COM, getRestoreLDsts(adapter, &status))) {
        return 0;
    }
    if (ld < TAV_MAX_GROUPS && status.state[ld] != TAV_STATE_UNDEFINED) {
        CliLogging(CLI_LOG_STDOUT, MOD_CMD_COM, __LINE__, MSG_VD_TARGET, adapter, ld);
    } else {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, MSG_VD_MISSING, adapter, ld);
    }
    return 1;
}

int ComChk(const uint8_t adapters[CLI_ADAPTER_SLOTS], const uint8_t pds[CLI_PD_SLOTS], const uint8_t lds[CLI_LD_SLOTS],
           int kind, int quiet)
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    CliTargets targets;
    CheckTargets(adapters, pds, lds, &targets);
    int listed = 1;
    switch (kind) {
    case CLI_CHK_PLAIN:
        break;
    case CLI_CHK_LD_DELETE:
        listed = ListLdDeletion(&targets, quiet);
        break;
    case CLI_CHK_PD_ONLINE:
    case CLI_CHK_PD_OFFLINE:
    case CLI_CHK_HSP_REMOVE:
        listed = ListDrives(&targets, kind);
        break;
    case CLI_CHK_RESTORE_DELETE:
        listed = ListRestoreCandidate(adapters, lds);
        break;
    default:
        return 0;
    }
    return listed && CliAskConfirmation(kQuestions[kind]);
}
