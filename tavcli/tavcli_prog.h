/* Background-operation commands, their progress bars and live displays,
 * and the firmware update. */
#ifndef TAVCLI_PROG_H
#define TAVCLI_PROG_H

#include "tavcli.h"

/* ---- the progress bar of a row ---- */

#define CLI_BAR_FIRST_STAR 19 /* star column of 0 % */
#define CLI_BAR_NUMBER 42     /* the percentage stands at 42-43 (42-44 at 100) */
#define CLI_BAR_NUMBER_END 45 /* ... and " %" up to 45: no star there */
#define CLI_BAR_FULL 100

/* What a row shows: the percentage drawn last and the next star column. */
struct CliBar {
    int drawn;
    int starColumn;
};

/* A bar whose row shows "00" (drawn 0), or, for -ShowProg, nothing drawn
 * yet (drawn -1: 0 is written too). */
void CliBarInit(CliBar *bar, int drawn);

/* Draws one percentage on the row linesUp lines above the cursor: the
 * number at column 42 ("%02d", "%03d" for 100) and, for an even percentage
 * above 0, a star at the star column (none at 42-45, where the number
 * stands); the star column advances either way. The cursor returns to
 * column 0 of its line. */
void CliBarStep(CliBar *bar, int percent, int linesUp);

/* Draws every percentage after the one drawn last up to target (at most
 * 100). keyPressed, when not NULL, is asked before each step: 0 when it
 * ended the drawing, else 1. */
int CliBarDrawTo(CliBar *bar, int target, int linesUp, int (*keyPressed)(void *), void *context);

/* Overwrites a row from column 19 with the finished bar. */
void CliBarFinish(int linesUp);

/* Draws the bar of the row just printed, the r-th row of the command
 * (counted from 0), up to percent (at most 99). */
void showProg(int percent, int rowIndex);

/* ---- live displays ---- */

/* Rows of the largest display the syntax allows: every adapter with every
 * LD, or with every drive of the PD list. */
#define CLI_PROG_MAX_ROWS (CLI_ADAPTER_SLOTS * CLI_PD_USED)
static_assert(CLI_PROG_MAX_ROWS >= CLI_ADAPTER_SLOTS * CLI_LD_SLOTS, "a row for every LD");

#define CLI_PROG_TEMPLATE_LD "   %2d       %2d     -----------------------00 %s-----------------------\r"
#define CLI_PROG_TEMPLATE_PD "  %2d       %2d    %s-----------------------00 %s-----------------------\r"

/* Live display of the LD operations of the matrix cells set to
 * CLI_LD_SELECTED, until a key is pressed or every one ended. */
void progDsply(const uint8_t matrix[CLI_ADAPTER_SLOTS][CLI_LD_SLOTS]);

/* Live display of the rebuild, copy back or copy of the listed drives. */
void progRebldDsply(const uint8_t adapters[CLI_ADAPTER_SLOTS], const uint8_t pds[CLI_PD_SLOTS]);

/* Kind of a rebuilding drive's row: "CB" copy back, " C" copy, " R" rebuild. */
const char *CliRebuildKind(uint8_t ldState);

/* ---- commands ---- */
int CliCmdExecLDCC(int argc, char *argv[]);
int CliCmdExecLDParity(int argc, char *argv[]);
int CliCmdExecPDRbld(int argc, char *argv[]);
int CliCmdExecAdpFwFlash(int argc, char *argv[]);

#endif
