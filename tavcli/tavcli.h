/* Command-line tool: declarations shared by the entry, the command handlers
 * and the common routines (the tavcli_core library: tavcli_cmd_com*.cpp,
 * tavcli_cmd_drvopt.cpp, tavcli_log.cpp).
 *
 * Writing a command handler
 * -------------------------
 * 1. Parse the options with CliParseDriveOptions (or CliWalkOptions with the
 *    command's own CliOptionRules) and ask with CliConfirmUnlessNoCheck.
 * 2. Pick the targets: the listed adapters, LDs or drives as parsed, or the
 *    LDs that exist through CliSelectLds (the -Lall / -aALL rules).
 * 3. Walk them with CliWalkTargets (or CliWalkAdapters, CliWalkSelectedLds):
 *    one CliStepAction per adapter, LD or drive; the walker reads each
 *    adapter's status when asked and hands it over in the step. An action
 *    returns 0 to end the walk (the command), 1 to go on.
 * 4. Every library call that can fail goes through CLI_CALL, which prints
 *    the library's error for the adapter and gives 0:
 *        if (!CLI_CALL(adapter, MOD_CMD_LD, setWriteCache(adapter, ld, 1))) return 0;
 *
 * Example: start an operation on each selected LD.
 *
 *     static int StartOnLd(const CliStep *step)
 *     {
 *         if (!CLI_CALL(step->adapter, MOD_CMD_LD, start_consistencyCheck(step->adapter, step->target))) {
 *             return 0;
 *         }
 *         CliLogging(CLI_LOG_STDOUT, MOD_CMD_LD, __LINE__, "Adapter %d-VD %d: started.",
 *                    step->adapter, step->target);
 *         return 1;
 *     }
 *
 *     int CliCmdExecLDStart(int argc, char *argv[])
 *     {
 *         CLI_TRACE_ENTRY(MOD_CMD_LD);
 *         CliDriveOptions options;
 *         CliLdSelection selection;
 *         uint32_t seen;
 *         if (CliParseDriveOptions(argc, argv, &kRules, 0, &options, &seen) &&
 *             CliConfirmUnlessNoCheck(seen, &options.targets, CLI_CHK_PLAIN) &&
 *             CliSelectLds(&options.targets, options.allLds, &selection, MOD_CMD_LD)) {
 *             CliWalkSelectedLds(&options.targets, &selection, StartOnLd, NULL, MOD_CMD_LD);
 *         }
 *         return 0;
 *     }
 *
 * Per drive: check with CliAllDrivesExist(&options.targets, MOD_CMD_PD), then
 *     CliWalk walk = {CLI_WALK_PDS, 1, NULL, NULL, MOD_CMD_PD};
 *     CliWalkTargets(&options.targets, &walk, Action, &data);
 * step->target is the drive, step->state its entry in step->status->hddState.
 * Per adapter (a schedule, a firmware image): CliWalkAdapters(&targets,
 * readStatus, Action, &data, module).
 * A pre-scan (marks for a quiet rule) is a first walk whose action only
 * records into data and returns 1; a second walk then acts. To drop an LD
 * from a selection, clear its selection.matrix cell; to pass an adapter
 * over, set selection.skipped[adapter] (or any skipped[] given in
 * CliWalk::skipped). Keep the handler's own module name (MOD_CMD_...) in
 * every call: the trace log names it. */
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
/* Makes SIGINT, SIGTERM, SIGHUP and SIGQUIT restore the terminal found at
 * start before they end the run. */
void CliCatchEndingSignals(void);

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

/* The call-or-report helper: 1 when a library call succeeded (its result
 * not 0); otherwise InternalError for the adapter and 0. The call's own
 * errno reaches InternalError untouched. */
int CliCallOk(int succeeded, int adapter, const char *module, unsigned line);
#define CLI_CALL(adapter, module, call) CliCallOk((call) != 0, (adapter), (module), __LINE__)

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

#define CLI_ADAPTER_SLOTS 4 /* adapter list */
#define CLI_LD_SLOTS 8      /* LD list */
#define CLI_PD_SLOTS 12     /* PD list: the first CLI_PD_USED slots are used */
#define CLI_PD_USED 8
#define CLI_EMPTY_SLOT 255 /* an unused slot of any list */
#define CLI_LD_SELECTED 1  /* adapter x LD matrix: selected and existing */

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
    int foreignIndex; /* the argument an unknown option names; 0: the one before it */
};

/* Walks the options (argv[2] on) in order. 1 when every option is valid and
 * the required ones were given, *seen holding the kinds; otherwise prints
 * "Invalid input at or near token %s." naming the argument before the one at
 * fault (the last argument when a required option is missing) and returns 0. */
int CliWalkOptions(int argc, char *argv[], const CliOptionRules *rules, void *state, uint32_t *seen);

/* Prints "Invalid input at or near token %s." naming argv[named]; 0. */
int CliInvalidToken(char *argv[], int named);

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
/* The decimal value after a G-list limit keyword ("pl5", "all300"). A keyword
 * without digits writes nothing to *value; the limit commands start it at 0,
 * so "pl" or "all" alone sets the limit to 0. */
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

/* ---- the target walker ---- */

/* What a walk steps over on each listed adapter. */
#define CLI_WALK_ADAPTERS 0 /* the adapter itself, one step */
#define CLI_WALK_LDS 1      /* each LD of the list, in the order given */
#define CLI_WALK_PDS 2      /* each drive of the list, in its order */

/* One step of a walk. */
struct CliStep {
    uint8_t adapter;
    uint8_t target;                    /* the LD or drive; CLI_EMPTY_SLOT on an adapter step */
    uint8_t state;                     /* its entry in the status table; 0 without a status */
    int firstOfAdapter;                /* 1 on the adapter's first step */
    const DLL_GET_RAID_STATUS *status; /* the adapter's status, NULL when the walk reads none */
    void *context;                     /* the command's own data */
};

/* A step's action: 1 goes on, 0 ends the walk. */
typedef int (*CliStepAction)(const CliStep *step);

/* How a walk goes. */
struct CliWalk {
    int over;                                /* CLI_WALK_ADAPTERS, _LDS or _PDS */
    int readStatus;                          /* read each adapter's status before its steps */
    const uint8_t *skipped;                  /* per adapter number, 1: passed over; NULL: none */
    const uint8_t (*selected)[CLI_LD_SLOTS]; /* LD walks: only the listed LDs that this
                                                adapter x LD matrix marks CLI_LD_SELECTED;
                                                NULL: every listed LD */
    const char *module;                      /* names a failed status read in the trace */
};

/* For each listed adapter (in list order): reads its status when the walk
 * says so (a failed read: InternalError, and the walk ends), then calls the
 * action once per step. 1 when every step returned 1; 0 when the walk ended
 * early. An adapter with no step (an empty selection) calls nothing. */
int CliWalkTargets(const CliTargets *targets, const CliWalk *walk, CliStepAction action, void *context);

/* The same over the listed adapters alone: one step per adapter. */
int CliWalkAdapters(const CliTargets *targets, int readStatus, CliStepAction action, void *context, const char *module);

/* ---- confirmation ---- */

/* Check kinds of ComChk. */
#define CLI_CHK_PLAIN 0
#define CLI_CHK_LD_DELETE 1
#define CLI_CHK_PD_ONLINE 2
#define CLI_CHK_PD_OFFLINE 3
#define CLI_CHK_HSP_REMOVE 4
#define CLI_CHK_RESTORE_DELETE 5

/* Asks the question until a line of exactly Y/y or N/n arrives: 1 for yes;
 * 0 for no or an ended input (errno ECANCELED). */
int CliAskConfirmation(const char *question);

/* Lists the targets of a check kind and asks the operator once: 1 confirmed,
 * 0 declined (errno ECANCELED) or a library call failed. Lists may be NULL
 * for kinds that do not read them. */
int ComChk(const uint8_t adapters[CLI_ADAPTER_SLOTS], const uint8_t pds[CLI_PD_SLOTS], const uint8_t lds[CLI_LD_SLOTS],
           int kind, int quiet);

/* Asks a Y/N question until Y/y (1) or N/n (0, errno ECANCELED) arrives, the
 * answer read with echo on. For commands with a listing of their own. */
int CliAskConfirmation(const char *question);

/* Whether block 0 of an LD carries an operating-system partition table (a
 * nonzero byte in the four entries of a master boot record); a failed read
 * counts as none. */
int CliHasPartitionTable(uint8_t adapter, uint8_t ld);

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

/* The text of a code in a selector's table, uncut; NULL when the selector or
 * the code is unknown. Never ends the process. */
const char *CliCodeText(int selector, int code);

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

/* ==== logical-drive and physical-drive commands ==== */

/* Keyword option kinds of the drive commands, one bit per keyword; the
 * keywords of one group exclude each other. */
#define CLI_OPT_ACTIVE (CLI_OPT_COMMAND << 0)
#define CLI_OPT_PASSIVE (CLI_OPT_COMMAND << 1)
#define CLI_OPT_SET (CLI_OPT_COMMAND << 2)
#define CLI_OPT_RMV (CLI_OPT_COMMAND << 3)
#define CLI_OPT_IDLE (CLI_OPT_COMMAND << 4)
#define CLI_OPT_BUSY (CLI_OPT_COMMAND << 5)
#define CLI_OPT_HIGH (CLI_OPT_COMMAND << 6)
#define CLI_OPT_MIDDLE (CLI_OPT_COMMAND << 7)
#define CLI_OPT_LOW (CLI_OPT_COMMAND << 8)
#define CLI_OPT_WB (CLI_OPT_COMMAND << 9)
#define CLI_OPT_WT (CLI_OPT_COMMAND << 10)
#define CLI_OPT_RA (CLI_OPT_COMMAND << 11)
#define CLI_OPT_NORA (CLI_OPT_COMMAND << 12)
#define CLI_OPT_RSTR (CLI_OPT_COMMAND << 13)
#define CLI_OPT_DEL (CLI_OPT_COMMAND << 14)
#define CLI_OPT_CACHE (CLI_OPT_COMMAND << 15)
#define CLI_OPT_WCACHE (CLI_OPT_COMMAND << 16)
#define CLI_OPT_RCACHE (CLI_OPT_COMMAND << 17)
#define CLI_OPT_DEST_LD (CLI_OPT_COMMAND << 18) /* -DLx, the LD a restore goes to */

#define CLI_KEYWORD_COUNT(table) (sizeof(table) / sizeof((table)[0]))

/* The targets and marks the drive commands' options give. */
struct CliDriveOptions {
    CliTargets targets;
    uint8_t destLds[CLI_LD_SLOTS]; /* -DL */
    int allLds;                    /* given as -Lall */
    uint32_t singleKinds;          /* set by the command: target kinds that must name exactly one */
};

/* Empty lists, and the target kinds that must name exactly one number. */
void CliInitDriveOptions(CliDriveOptions *options, uint32_t singleKinds);

/* The kind of a normalised option: a keyword of the command's table (its
 * value is the kind bit), "nochk", or a target option by its beginning. */
uint32_t CliClassifyDriveOption(const CliKeyword *keywords, size_t count, const char *option);

/* The kind of a target option or "nochk", for commands without keywords. */
uint32_t CliClassifyDriveTarget(const char *option);

/* The keywords that exclude each other ("wb" and "wt", ...). */
uint32_t CliDriveOptionConflicts(uint32_t kind);

/* Accepts an option into CliDriveOptions (the walker's state). */
int CliAcceptDriveOption(uint32_t kind, const char *option, void *state);

/* The argument an option that fits nothing names (foreignIndex). */
#define CLI_TOKEN_BEFORE 0
#define CLI_TOKEN_COMMAND 1
#define CLI_TOKEN_FIRST_OPTION 2

/* Walks the options (CliWalkOptions) into empty lists. */
int CliParseDriveOptions(int argc, char *argv[], const CliOptionRules *rules, uint32_t singleKinds,
                         CliDriveOptions *options, uint32_t *seen);

/* The same for the commands whose only option is -a. */
int CliParseAdapterOption(int argc, char *argv[], int foreignIndex, CliDriveOptions *options);

/* The operator's confirmation through ComChk of a kind, unless -nochk was
 * seen: 1 go on, 0 declined or failed. */
int CliConfirmUnlessNoCheck(uint32_t seen, const CliTargets *targets, int kind);

/* Messages of several drive commands. The abnormal-information text is
 * printed on its own where it ends only the command, not the process. */
#define MSG_DLL_ABNORMAL "Fatal error - Adapter %d: DLL information is abnormal."
#define MSG_ALREADY_SET "Fatal error - %s %d-%s %d: It is already the setting."
#define MSG_NOT_EXIST "Fatal error - Adapter %d-The specified %s: %d doesn't exist."

/* The LDs a command over "-L... -a..." acts on. */
struct CliLdSelection {
    uint8_t matrix[CLI_ADAPTER_SLOTS][CLI_LD_SLOTS]; /* getAdpLdArray's matrix */
    uint8_t skipped[CLI_ADAPTER_SLOTS];              /* per adapter number: passed over */
};

/* The selected LDs of the listed adapters, allLds meaning the list names
 * every LD. An explicitly listed LD that does not exist ends the process
 * (getAdpLdArray). An adapter without any LD is skipped silently with -aALL
 * and allLds, and ends the command, with "There is no Virtual Drive", under
 * allLds alone; when every listed adapter was skipped, each is reported and
 * the command ends. 0 when the command ends. */
int CliSelectLds(const CliTargets *targets, int allLds, CliLdSelection *selection, const char *module);

/* Walks the selection: adapters in list order (ascending), then their
 * selected LDs ascending; no status is read (the step's status is NULL).
 * For the selected LDs in the order given, walk CLI_WALK_LDS with the
 * selection's skipped and matrix. */
int CliWalkSelectedLds(const CliTargets *targets, const CliLdSelection *selection, CliStepAction action, void *context,
                       const char *module);

/* Every listed drive of every listed adapter must be there before anything
 * is changed or shown: 0 after "Fatal error - Adapter %d-The specified
 * Physical Drive: %d doesn't exist." (or a failed status read). */
int CliAllDrivesExist(const CliTargets *targets, const char *module);

/* Number of drives 0-7 present in the PD state table. */
int CliCountPresentDrives(const DLL_GET_RAID_STATUS *status);

/* Drops the listed adapters without any drive (with withLds: without any
 * drive and LD), each reported with the message (one %d, the adapter). 0 when
 * that ends the command: an explicit adapter list, or a failed status read. */
int CliDropEmptyAdapters(CliTargets *targets, int withLds, const char *message, const char *module);

/* The listing commands whose only option is -a: the adapters without any
 * drive (withLds: drive or LD) dropped as CliDropEmptyAdapters does, then
 * show per adapter with its status read. Returns 0 (a handler's result). */
int CliRunAdapterReport(int argc, char *argv[], int foreignIndex, int withLds, const char *emptyMessage,
                        CliStepAction show, const char *module);

/* The counting commands: their only option is -a (an option that fits
 * nothing names the command word); per listed adapter the message with the
 * adapter and the count of its status. */
int CliRunCountCommand(int argc, char *argv[], const char *message, int (*count)(const DLL_GET_RAID_STATUS *),
                       const char *module);

/* One physical drive, or one LD, of one adapter. Passed as one value where
 * the adapter, the drive or LD number and a state code would otherwise be
 * uint8_t parameters in a row that a call could swap unnoticed. */
struct CliDriveRef {
    uint8_t adapter;
    uint8_t pd;
};
struct CliLdRef {
    uint8_t adapter;
    uint8_t ld;
};

/* Physical-drive information block, first line "Physical Disk: %d" or
 * "PD: %d Information". */
#define CLI_PD_HEADING_DISK 0
#define CLI_PD_HEADING_INFO 1

/* Reads one drive's DLL_GET_HDD_INFO and prints its information block with
 * the given state code. A class no table knows prints the abnormal-information
 * message and, with fatalOnAbnormal, makes the fatal stop. 1 printed; 0 after
 * the message why not. */
int CliShowPhysicalDrive(CliDriveRef drive, uint8_t state, int heading, int fatalOnAbnormal);

/* The block of every drive present in the adapter's status, 0-7
 * ascending: 1, or 0 when one could not be shown. */
int CliShowPresentDrives(uint8_t adapter, const DLL_GET_RAID_STATUS *status, int heading, int fatalOnAbnormal);

/* The texts of the logical-drive block's fields; state and force state
 * change only for a defined LD, not for a restore candidate. */
struct CliLdTexts {
    int raidLevel;
    char state[14];
    char stripe[8];
    char hotSpare[7];
    char autoRebuild[9];
    char rebuild[20];
    char maintenance[16];
    char dataLost[7];
    char readCache[5];
    char writeCache[5];
};

/* Prints the abnormal-information message for the adapter (the command
 * ends, not the process); 0. */
int CliReportAbnormalInfo(uint8_t adapter);

/* Looks the fields up in the order the block shows them. 1, or 0 after the
 * abnormal-information message. */
int CliBuildLdTexts(uint8_t adapter, const DLL_GET_LOGICAL_DISK_INFO *info, uint8_t ldState, int defined,
                    CliLdTexts *t);

/* Prints the "Virtual Disk" block of a defined LD with its state: 1, or 0
 * after the abnormal-information message. */
int CliPrintLdBlock(CliLdRef ld, const DLL_GET_LOGICAL_DISK_INFO *info, uint8_t ldState);

/* The adapter's generation code from its system parameters: 1, or 0 after
 * InternalError. */
int CliReadGeneration(uint8_t adapter, uint8_t *generation, const char *module);

/* logical-drive commands */
int CliCmdExecLDInfo(int argc, char *argv[]);
int CliCmdExecLDSetProp(int argc, char *argv[]);
int CliCmdExecLDGetProp(int argc, char *argv[]);
int CliCmdExecLDPDInfo(int argc, char *argv[]);
int CliCmdExecLDGetNum(int argc, char *argv[]);
int CliCmdExecLDRstrDrvList(int argc, char *argv[]);
int CliCmdExecLDRstr(int argc, char *argv[]);
int CliCmdExecLDRstrDrvInfo(int argc, char *argv[]);
int CliCmdExecLDBadSpot(int argc, char *argv[]);

/* physical-drive commands */
int CliCmdExecPDInfo(int argc, char *argv[]);
int CliCmdExecPDOnline(int argc, char *argv[]);
int CliCmdExecPDOffline(int argc, char *argv[]);
int CliCmdExecPDHSP(int argc, char *argv[]);
int CliCmdExecPDGetNum(int argc, char *argv[]);
int CliCmdExecPDList(int argc, char *argv[]);
int CliCmdExecRbldPrrty(int argc, char *argv[]);

/* performance statistics */
int CliCmdExecPfm(int argc, char *argv[]);
int CliCmdExecPDLocate(int argc, char *argv[]);

/* ==== end of logical-drive and physical-drive commands ==== */

/* ---- consistency-check schedule and configuration commands ---- */

/* Listing and question of -CCSchSet (kind 1: the requested day and hour) and
 * -CCSchDel (kind 2: the stored schedules): 1 confirmed, 0 otherwise. */
int ComChkCCSch(const uint8_t adapters[CLI_ADAPTER_SLOTS], const uint8_t lds[CLI_LD_SLOTS], int hour, int day,
                int allAdapters, int kind);
/* One LD's schedule read, or deleted, under the schedule lock: 1, or 0 after
 * the competition message, the not-set message (a deletion the library
 * refused without an error word) or InternalError. */
int CliReadSchedule(uint8_t adapter, uint8_t ld, uint8_t *isSet, uint8_t *day, uint8_t *hour, const char *module);
int CliDeleteSchedule(uint8_t adapter, uint8_t ld, const char *module);

int CliCmdExecCCSchSet(int argc, char *argv[]);
int CliCmdExecCCSchInfo(int argc, char *argv[]);
int CliCmdExecCCSchDel(int argc, char *argv[]);
int CliCmdExecCfgLDAdd(int argc, char *argv[]);
int CliCmdExecCfgSpanAdd(int argc, char *argv[]);
int CliCmdExecCfgLDDel(int argc, char *argv[]);

/* The deletion commands over "-L... -a... [-nochk]": parse the options,
 * confirm unless -nochk was given (confirm: 1 go on), select the LDs and
 * walk them ascending with the action. Returns 0 (a handler's result). */
int CliRunLdDeletion(int argc, char *argv[], int (*confirm)(const CliTargets *targets), CliStepAction action);

/* ---- commands that need no adapter ---- */
int CliCmdExecHelp(int argc, char *argv[]);
int CliCmdExecVersion(int argc, char *argv[]);

#endif
