/* Entry of the command-line tool: the command table and the terminal's
 * working mode. */
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavcli.h"
#include "tavcli_prog.h"

#define TRACE_LOG_NAME "tavcli.log"
#define TRACE_LOG_SIZE 2000000

/* Searched first to last. Each entry carries its fixed index in the full
 * command set; handlers join at their index. */
static const CliCmdEntry strcFuncTbl[] = {
    /* 0 */ {"adpallinfo", CliCmdExecAdpAllInfo},
    /* 1 */ {"adpcount", CliCmdExecAdpCount},
    /* 2 */ {"adpautorbld", CliCmdExecAdpAutoRbld},
    /* 3 */ {"adpprsetdelay", CliCmdExecAdpPRSetDelay},
    /* 4 */ {"cfgldadd", CliCmdExecCfgLDAdd},
    /* 5 */ {"cfgspanadd", CliCmdExecCfgSpanAdd},
    /* 6 */ {"cfglddel", CliCmdExecCfgLDDel},
    /* 7 */ {"ldinfo", CliCmdExecLDInfo},
    /* 8 */ {"ldsetprop", CliCmdExecLDSetProp},
    /* 9 */ {"ldgetprop", CliCmdExecLDGetProp},
    /* 10 */ {"ldcc", CliCmdExecLDCC},
    /* 11 */ {"ldpdinfo", CliCmdExecLDPDInfo},
    /* 12 */ {"ldgetnum", CliCmdExecLDGetNum},
    /* 13 */ {"pdinfo", CliCmdExecPDInfo},
    /* 14 */ {"pdonline", CliCmdExecPDOnline},
    /* 15 */ {"pdoffline", CliCmdExecPDOffline},
    /* 16 */ {"pdhsp", CliCmdExecPDHSP},
    /* 17 */ {"pdrbld", CliCmdExecPDRbld},
    /* 18 */ {"pdgetnum", CliCmdExecPDGetNum},
    /* 19 */ {"pdlist", CliCmdExecPDList},
    /* 20 */ {"v", CliCmdExecVersion},
    /* 21 */ {"h", CliCmdExecHelp},
    /* 22 */ {"help", CliCmdExecHelp},
    /* 23 */ {"?", CliCmdExecHelp},
    /* 24 */ {"pdrbldprrty", CliCmdExecRbldPrrty},
    /* 25 */ {"ldparity", CliCmdExecLDParity},
    /* 26 */ {"ldrstrdrvlist", CliCmdExecLDRstrDrvList},
    /* 27 */ {"ldrstr", CliCmdExecLDRstr},
    /* 28 */ {"ldrstrdrvinfo", CliCmdExecLDRstrDrvInfo},
    /* 29 */ {"ldbadspot", CliCmdExecLDBadSpot},
    /* 30 */ {"glprevlimitinfo", CliCmdExecGLPrevLimitInfo},
    /* 31 */ {"glprevlimitset", CliCmdExecGLPrevLimitSet},
    /* 32 */ {"adpfwflash", CliCmdExecAdpFwFlash},
    /* 33 */ {"pdlocate", CliCmdExecPDLocate},
    /* 34 */ {"ccschset", CliCmdExecCCSchSet},
    /* 35 */ {"ccschinfo", CliCmdExecCCSchInfo},
    /* 36 */ {"ccschdel", CliCmdExecCCSchDel},
    /* 37 */ {"pfm", CliCmdExecPfm},
};

static CliCmdHandler FindCommand(const char *typed)
{
    char word[CLI_WORD_SIZE];
    if (!NormalizeOption(typed, word, sizeof word)) {
        return NULL;
    }
    for (const CliCmdEntry &entry : strcFuncTbl) {
        if (strcmp(entry.word, word) == 0) {
            return entry.handler;
        }
    }
    return NULL;
}

/* ---- terminal ---- */

/* No echo, no keyboard signals, canonical input. Standard input that is not
 * a terminal is left alone. */
static void SetWorkingTerminal(void)
{
    if (tcgetattr(STDIN_FILENO, &old_term_set) != 0) {
        return;
    }
    new_term_set = old_term_set;
    new_term_set.c_lflag &= ~(tcflag_t)(ECHO | ISIG);
    new_term_set.c_lflag |= ICANON;
    term_set_flg = 1;
    CliCatchEndingSignals();
    tcsetattr(STDIN_FILENO, TCSANOW, &new_term_set);
}

/* ---- entry ---- */

[[noreturn]] static void ReportStartupFailure(void)
{
    uint32_t code = DLLGetLastError();
    if (code & DLL_ERROR_LOCKED) {
        CliLogging(CLI_LOG_TRACE, MOD_MAIN, __LINE__, "Fatal error - The CLI tool has already started.");
        exit(CLI_EXIT_FATAL);
    }
    if (code & DLL_ERROR_IOCTL_BUSY) {
        CliLogging(CLI_LOG_TRACE, MOD_MAIN, __LINE__, MSG_COMPETITION);
        CliFatalStop(CLI_NO_ADAPTER, MOD_MAIN, __LINE__);
    }
    CliLogging(CLI_LOG_TRACE, MOD_MAIN, __LINE__, "DLL initialize error.");
    exit(CLI_EXIT_FATAL);
}

int main(int argc, char *argv[])
{
    initLog(TRACE_LOG_NAME, TRACE_LOG_SIZE);
    if (geteuid() != 0) {
        CliLogging(CLI_LOG_TRACE, MOD_MAIN, __LINE__, "Fatal error - It is not root user.");
        return CLI_EXIT_FATAL;
    }
    if (argc < 2) {
        CliLogging(CLI_LOG_TRACE, MOD_MAIN, __LINE__, "Fatal error - tavcli invoked with wrong parameters.");
        return CLI_EXIT_FATAL;
    }
    HistoryLog(argc, argv);

    CliCmdHandler handler = FindCommand(argv[1]);
    if (handler == NULL) {
        CliLogging(CLI_LOG_TRACE, MOD_MAIN, __LINE__, "%s param is not supported.", argv[1]);
        return CLI_EXIT_FATAL;
    }
    if (atexit(CliCmdProcessDetach) != 0) {
        CliLogging(CLI_LOG_TRACE, MOD_MAIN, __LINE__, "Fatal error - Cannot set exit function.");
        return CLI_EXIT_FATAL;
    }
    SetWorkingTerminal();

    if (!initContData(1)) {
        ReportStartupFailure();
    }
    handler(argc, argv);
    if (!CLI_CALL(CLI_NO_ADAPTER, MOD_MAIN, finContData())) {
        return CLI_EXIT_FATAL;
    }
    return 0;
}
