/* Command-line tool: declarations shared by the entry, the command handlers
 * and the common routines. */
#ifndef TAVCLI_H
#define TAVCLI_H

#include <stddef.h>
#include <stdint.h>
#include <termios.h>

#include "tavctl.h"

/* Buffer sizes: a command word or option (terminator included), one message
 * line and the command-line record. */
#define CLI_WORD_SIZE 256
#define CLI_MSG_SIZE 4096
#define CLI_HISTORY_SIZE 4096

/* Exit status of every fatal path. */
#define CLI_EXIT_FATAL 255
/* Adapter number meaning "no particular adapter". */
#define CLI_NO_ADAPTER 255

/* Message kinds of CliLogging. */
#define CLI_LOG_STDOUT 0 /* standard output only */
#define CLI_LOG_TRACE 1  /* standard output and the trace log */

/* Named lock kinds of get_mutex / del_mutex. */
#define CLI_LOCK_CCSCHEDULE 1
#define CLI_LOCK_PARAMETER 2

/* Module names written with each trace entry. */
#define MOD_MAIN "tavcli_main"
#define MOD_CMD_ADP "tavcli_cmd_adp"
#define MOD_CMD_COM "tavcli_cmd_com"
#define MOD_CMD_LD "tavcli_cmd_ld"
#define MOD_CMD_PD "tavcli_cmd_pd"
#define MOD_STRDEF "tavcli_strdef"
#define MOD_UPDATE "tavcli_update"
#define MOD_WRITE "tavcli_write"

/* The messages shared by several paths. */
#define MSG_INVALID_TOKEN "Invalid input at or near token %s."
#define MSG_NO_VIRTUAL_DRIVE "Fatal error - Adapter %d: There is no Virtual Drive."
#define MSG_COMPETITION                                                  \
    "Fatal error - The competition with another application occurred.\n" \
    "Please execute it after opening the interval."

/* Trace entry written on entry of every handler and shared routine. */
#define CLI_TRACE_ENTRY(module) dumpLog((module), __LINE__, __func__, NULL, 0)

/* A command handler: the full argument count and vector of the process
 * (argv[1] is the command word). Its result is ignored. */
typedef int (*CliCmdHandler)(int argc, char *argv[]);

struct CliCmdEntry {
    const char *word; /* normalised (lower case, no leading "-") */
    CliCmdHandler handler;
};

/* ---- terminal state of standard input ---- */
extern struct termios old_term_set; /* found at start, restored at exit */
extern struct termios new_term_set; /* working copy */
extern uint32_t term_set_flg;       /* 1 once the working settings are applied */

/* Exit handler: re-applies old_term_set when term_set_flg is 1. */
void CliCmdProcessDetach(void);

/* ---- messages and trace ---- */

/* Formats one message line into a CLI_MSG_SIZE buffer and writes it to
 * standard output (each "%%" shown as "%"); kind 1 also writes it, with the
 * module and line, to the trace log. */
void CliLogging(int kind, const char *module, unsigned line, const char *format, ...)
    __attribute__((format(printf, 4, 5)));

/* Writes the command line, every argument followed by one blank, to the
 * trace log. */
void HistoryLog(int argc, char *argv[]);

/* Prints the one message that fits the library's error word, for an adapter
 * or CLI_NO_ADAPTER. */
void InternalError(int adapter, const char *module, unsigned line);

/* "Fatal error - Internal error -0x%d000%08x." with a class digit (1 a
 * refused argument, 2 an internal failure, 4 a failed system call) and the
 * error word or system error number. */
void CliInternalErrorCode(int classDigit, uint32_t code, const char *module, unsigned line);

/* Closes the library (InternalError when that fails) and ends the process
 * with CLI_EXIT_FATAL. */
[[noreturn]] void CliFatalStop(int adapter, const char *module, unsigned line);

/* ---- options ---- */

/* Normalises a command word or option into out (outSize bytes, at least
 * 2): lower case, and everything up to and including the first "-" dropped
 * when at least one character follows it. Returns 1, or 0 (out empty) when
 * the word does not fit. */
int NormalizeOption(const char *word, char *out, size_t outSize);

/* ---- target lists ---- */

#define CLI_ADAPTER_SLOTS 4     /* adapter list */
#define CLI_LD_SLOTS 8          /* LD list */
#define CLI_PD_SLOTS 12         /* PD list: the first CLI_PD_USED slots are used */
#define CLI_PD_USED 8
#define CLI_EMPTY_SLOT 255      /* an unused slot of any list */
#define CLI_LD_SELECTED 1       /* adapter x LD matrix: selected and existing */

/* Option kind bits of a command's set of seen options. The target kinds and
 * "nochk" are common; bits from CLI_OPT_COMMAND on are each command's own. */
#define CLI_OPT_ADAPTER 0x01u
#define CLI_OPT_LD 0x02u
#define CLI_OPT_PD 0x04u
#define CLI_OPT_NOCHK 0x08u
#define CLI_OPT_COMMAND 0x10u

/* The targets a command's options name. */
struct CliTargets {
    uint8_t adapters[CLI_ADAPTER_SLOTS];
    uint8_t lds[CLI_LD_SLOTS];
    uint8_t pds[CLI_PD_SLOTS];
    int allAdapters; /* given as -aALL */
    int keepPdOrder; /* set by the command: drives in the order given */
};

/* How one command's options are recognised. classify gives the kind bit of a
 * normalised option (0: none of the command's); conflicts, when not NULL,
 * the kinds that may not be given together with a kind; accept parses the
 * option's value into the command's state (1 valid). */
struct CliOptionRules {
    uint32_t (*classify)(const char *option);
    uint32_t (*conflicts)(uint32_t kind);
    int (*accept)(uint32_t kind, const char *option, void *state);
    uint32_t required;  /* every one of these */
    uint32_t oneOrMore; /* at least one of these, when not 0 */
    uint32_t optional;
    int foreignIndex;   /* the argument an unknown option names; 0: the one before it */
};

/* Walks the options (argv[2] on) in order. 1 when every option is valid and
 * the required ones were given, *seen holding the kinds; otherwise prints
 * "Invalid input at or near token %s." naming the argument before the one at
 * fault (the last argument when a required option is missing) and returns 0. */
int CliWalkOptions(int argc, char *argv[], const CliOptionRules *rules, void *state, uint32_t *seen);

/* Adds an option kind to a seen set: 0 when it was already there. */
int CliMarkOption(uint32_t *seen, uint32_t kind);

/* A keyword option and the value it stands for. */
struct CliKeyword {
    const char *word;
    int value;
};

/* The value of the keyword that the whole normalised option is, or -1. */
int CliFindKeyword(const CliKeyword *table, size_t count, const char *option);

/* Whether a normalised option is "nochk" (its first five characters). */
int CliIsNoCheck(const char *option);

/* The target kind an option names by its beginning ("physdrv[", "l", "a"),
 * or 0. */
uint32_t CliTargetKind(const char *option);

/* Parses a target option of that kind into the lists: 1 valid. */
int CliAcceptTarget(uint32_t kind, const char *option, CliTargets *targets);

/* Parsers of the normalised target options: 1 valid, 0 invalid.
 * GetAdapterNo confirms each adapter and ends the process when one does not
 * exist; its list is ascending. */
int GetAdapterNo(const char *option, uint8_t adapters[CLI_ADAPTER_SLOTS]);
int GetLogicalDriveNo(const char *option, uint8_t lds[CLI_LD_SLOTS]);
/* keepOrder 0 sorts the drives ascending, 1 keeps the order given. */
int GetPhysicalDriveNo(const char *option, uint8_t pds[CLI_PD_SLOTS], int keepOrder);
/* The decimal value after a G-list limit keyword ("pl5", "all300"); an empty
 * value leaves *value unchanged. */
int GetGListPLNo(const char *option, uint16_t *value);

/* Whether an LD list names all eight LDs (-Lall or an explicit full list). */
int CliIsAllLds(const uint8_t lds[CLI_LD_SLOTS]);

/* Walks the filled slots of a target list, up to the first empty one. */
#define CLI_FOR_EACH_SLOT(index, slots, count) \
    for (size_t index = 0; index < (count) && (slots)[index] != CLI_EMPTY_SLOT; ++index)

/* Reads DLL_GET_RAID_STATUS: 1, or 0 after InternalError for the adapter. */
int CliReadRaidStatus(uint8_t adapter, DLL_GET_RAID_STATUS *status, const char *module, unsigned line);

/* Whether any of the eight LDs of an adapter's status is defined. */
int CliHasAnyLd(const DLL_GET_RAID_STATUS *status);

/* Fills the adapter x LD matrix with CLI_LD_SELECTED for the listed LDs that
 * exist. An explicitly listed LD that does not exist ends the process.
 * Returns 0 after InternalError when a status read failed. */
int getAdpLdArray(const uint8_t adapters[CLI_ADAPTER_SLOTS], const uint8_t lds[CLI_LD_SLOTS],
                  uint8_t matrix[CLI_ADAPTER_SLOTS][CLI_LD_SLOTS]);

/* ---- confirmation ---- */

/* Check kinds of ComChk. */
#define CLI_CHK_PLAIN 0
#define CLI_CHK_LD_DELETE 1
#define CLI_CHK_PD_ONLINE 2
#define CLI_CHK_PD_OFFLINE 3
#define CLI_CHK_HSP_REMOVE 4
#define CLI_CHK_RESTORE_DELETE 5

/* Lists the targets of a check kind and asks the operator once: 1 confirmed,
 * 0 declined (errno ECANCELED) or a library call failed. Lists may be NULL
 * for kinds that do not read them. */
int ComChk(const uint8_t adapters[CLI_ADAPTER_SLOTS], const uint8_t pds[CLI_PD_SLOTS],
           const uint8_t lds[CLI_LD_SLOTS], int kind, int quiet);

/* ---- state texts ---- */

#define CLI_TEXT_LD_STATE 1
#define CLI_TEXT_HOT_SPARE 2
#define CLI_TEXT_AUTO_REBUILD 3
#define CLI_TEXT_REBUILD 4
#define CLI_TEXT_MAINTENANCE 5
#define CLI_TEXT_DATA_LOST 6
#define CLI_TEXT_READ_POLICY 7
#define CLI_TEXT_WRITE_POLICY 8
#define CLI_TEXT_PD_CLASS 9
#define CLI_TEXT_PD_STATE 16
#define CLI_TEXT_LINK_SPEED 17
#define CLI_TEXT_SMART 18
#define CLI_TEXT_BAD_SPOT 19
#define CLI_TEXT_PRIORITY 20

/* Copies the text of a code, cut to the table's size and to textSize.
 * An undefined selector or a code the table does not know ends the process. */
void getOutputStr(int selector, int code, char *text, size_t textSize, int adapter);

/* "Fatal error - Adapter %d: DLL information is abnormal.", then the fatal
 * stop. */
[[noreturn]] void CliAbnormalInfo(int adapter, const char *module, unsigned line);

/* ---- files ---- */

/* Creates the file when missing and checks that it can be read; its absolute
 * path without symbolic links goes to resolved (PATH_MAX bytes). 1 usable,
 * 0 after the message why not. */
int FileCheck(const char *path, char *resolved);

/* ---- named locks ---- */

/* Takes the named lock of a kind: 0 held, 1 not obtained. */
int get_mutex(int kind);
/* Releases it (removing the lock file when this process created it); 0. */
int del_mutex(int kind);

/* ---- adapter commands ---- */
int CliCmdExecAdpAllInfo(int argc, char *argv[]);
int CliCmdExecAdpCount(int argc, char *argv[]);
int CliCmdExecAdpAutoRbld(int argc, char *argv[]);
int CliCmdExecAdpPRSetDelay(int argc, char *argv[]);
int CliCmdExecGLPrevLimitInfo(int argc, char *argv[]);
int CliCmdExecGLPrevLimitSet(int argc, char *argv[]);

/* ---- commands that need no adapter ---- */
int CliCmdExecHelp(int argc, char *argv[]);
int CliCmdExecVersion(int argc, char *argv[]);

#endif
