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

/* Closes the library (InternalError when that fails) and ends the process
 * with CLI_EXIT_FATAL. */
[[noreturn]] void CliFatalStop(int adapter, const char *module, unsigned line);

/* ---- options ---- */

/* Normalises a command word or option into out (outSize bytes, at least
 * 2): lower case, and everything up to and including the first "-" dropped
 * when at least one character follows it. Returns 1, or 0 (out empty) when
 * the word does not fit. */
int NormalizeOption(const char *word, char *out, size_t outSize);

/* ---- named locks ---- */

/* Takes the named lock of a kind: 0 held, 1 not obtained. */
int get_mutex(int kind);
/* Releases it (removing the lock file when this process created it); 0. */
int del_mutex(int kind);

/* ---- commands that need no adapter ---- */
int CliCmdExecHelp(int argc, char *argv[]);
int CliCmdExecVersion(int argc, char *argv[]);

#endif
