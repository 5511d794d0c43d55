/* The progress bar shared by -ShowProg, the live displays and the firmware
 * update: one star per two percent, the number at columns 42-43. Rows are
 * reached from the cursor line by moving right and up, and left by line
 * ends back down to it. */
#include <stdio.h>

#include "tavcli_prog.h"

#define BAR_FINISHED "***********************100%***********************\r"

void CliBarInit(CliBar *bar, int drawn)
{
    bar->drawn = drawn;
    bar->starColumn = CLI_BAR_FIRST_STAR;
}

/* Writes text at a column of the row linesUp above the cursor, then comes
 * back down. */
static void WriteInRow(int column, int linesUp, const char *text)
{
    printf("\x1b[%dC\x1b[%dA%s", column, linesUp, text);
    for (int i = 0; i < linesUp; ++i) {
        fputs("\r\n", stdout);
    }
}

void CliBarStep(CliBar *bar, int percent, int linesUp)
{
    char number[8];
    snprintf(number, sizeof number, percent >= CLI_BAR_FULL ? "%03d" : "%02d", percent);
    WriteInRow(CLI_BAR_NUMBER, linesUp, number);
    if (percent % 2 == 0 && percent > 0) {
        if (bar->starColumn < CLI_BAR_NUMBER || bar->starColumn > CLI_BAR_NUMBER_END) {
            WriteInRow(bar->starColumn, linesUp, "*");
        }
        ++bar->starColumn;
    }
    bar->drawn = percent;
    fflush(stdout);
}

int CliBarDrawTo(CliBar *bar, int target, int linesUp, int (*keyPressed)(void *), void *context)
{
    if (target > CLI_BAR_FULL) {
        target = CLI_BAR_FULL;
    }
    while (bar->drawn < target) {
        if (keyPressed != NULL && keyPressed(context)) {
            return 0;
        }
        CliBarStep(bar, bar->drawn + 1, linesUp);
    }
    return 1;
}

void CliBarFinish(int linesUp)
{
    WriteInRow(CLI_BAR_FIRST_STAR, linesUp, BAR_FINISHED);
    fflush(stdout);
}

void showProg(int percent, int rowIndex)
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    for (int i = 0; i < rowIndex; ++i) {
        fputs("\r\n", stdout);
    }
    CliBar bar;
    CliBarInit(&bar, -1);
    CliBarDrawTo(&bar, percent < CLI_BAR_FULL - 1 ? percent : CLI_BAR_FULL - 1, rowIndex + 1, NULL, NULL);
    printf("\x1b[%dA", rowIndex);
    if (rowIndex == 0) {
        fputs("\n", stdout);
    }
    fputs("\r", stdout);
    fflush(stdout);
}

const char *CliRebuildKind(uint8_t ldState)
{
    return ldState == 2 ? "CB" : ldState == 5 ? " C" : " R";
}
