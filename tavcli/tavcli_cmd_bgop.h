/* Options shared by the background-operation commands (LDCC, LDParity,
 * PDRbld): the action keyword and the key-poll object each command holds. */
#ifndef TAVCLI_CMD_BGOP_H
#define TAVCLI_CMD_BGOP_H

#include "tavcli_prog.h"

/* The action keywords; exactly one of them. */
#define CLI_OPT_START (CLI_OPT_COMMAND << 20)
#define CLI_OPT_ABORT (CLI_OPT_COMMAND << 21)
#define CLI_OPT_SHOWPROG (CLI_OPT_COMMAND << 22)
#define CLI_OPT_PROGDSPLY (CLI_OPT_COMMAND << 23)
#define CLI_OPT_ACTIONS (CLI_OPT_START | CLI_OPT_ABORT | CLI_OPT_SHOWPROG | CLI_OPT_PROGDSPLY)

/* The kind of a normalised option: an action keyword or a target option. */
uint32_t CliClassifyActionOption(const char *option);

/* The actions exclude each other. */
uint32_t CliActionConflicts(uint32_t kind);

#endif
