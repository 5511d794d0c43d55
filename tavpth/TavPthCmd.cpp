/* tavpth: the service engineer's drive tool. Start-up, the command table,
 * the command-line history line. */
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "TavPth.h"
#include "tavbase/access.h"

namespace {

struct PthCommand {
    char word[41];
    int minArgs; /* program name and command word included */
    int maxArgs;
    PthHandler handler;
    int noArgs; /* the handler takes no arguments */
};

const PthCommand functbl[] = {
    {"L", 2, 2, TavPrintLogsense, 1},
    {"F", 3, 3, TavFirmwareUpdate, 0},
    {"P", 3, 3, TavFixAnyPassThrough, 0},
    {"E", 3, 3, TavPDHDDMediaErrorSet, 0},
    {"N", 3, 3, TavPDHDDErrorInjectionSet, 0},
    {"R", 3, 3, TavLDOneOneStripeRead, 0},
    {"W", 3, 3, TavLDOneOneStripeWrite, 0},
    {"D", 6, 6, TavPDOneSectorReadDump, 0},
    {"r", 5, 5, TavLDOneOneStripeRead2, 0},
    {"w", 6, 6, TavLDOneOneStripeWrite2, 0},
    {"ANY", 3, 3, TavFreAnyPassThrough, 0},
    {"PDOneSectorRead", 5, 5, TavPDOneSectorRead, 0},
    {"PDPrintModePage", 7, 7, TavPDPrintModePage, 0},
    {"PDOneSectorWrite", 5, 5, TavPDOneSectorWrite, 0},
    {"PDHDDCapaChange", 5, 5, TavPDHDDCapaChange, 0},
    {"LDOneSectorRead", 5, 5, TavLDOneSectorRead, 0},
    {"LDOneSectorWrite", 5, 5, TavLDOneSectorWrite, 0},
    {"N5", 3, 3, TavPDHDDErrorInjectionSet5, 0},
    {"r64", 5, 5, TavLDOneOneStripeRead264, 0},
    {"w64", 6, 6, TavLDOneOneStripeWrite264, 0},
    {"e", 3, 3, TavPDHDDMediaErrorSet_SATA, 0},
    {"A", 3, 3, TavPDHDDErrorInjectionSet_SATA, 0},
};


const PthCommand *findCommand(const char *word)
{
    for (const PthCommand &command : functbl) {
        if (strcmp(command.word, word) == 0) {
            return &command;
        }
    }
    return nullptr;
}

/* Runs one command on an initialised library; 0 success, 1 failure. */
int runCommand(const PthCommand &command, int argc, char **argv)
{
    if (!initContData(0)) {
        TavPthErr0004d(PTH_AT, "initContData", DLLGetLastError());
        TavPthErr0002(PTH_AT);
        return 1;
    }
    int status = 1;
    uint8_t count = 0;
    int driverErrno = getDiscoveryErrno();
    if (!getContNum(&count) || count == 0) {
        TavPthErr0003(PTH_AT);
        char cause[160];
        if (count == 0 && tavbase::DriverAccessRefused(driverErrno, cause, sizeof cause)) {
            TavPthCause(PTH_AT, cause);
        }
        TavPthErr0002(PTH_AT);
    } else if (command.handler(command.noArgs ? 0 : argc, command.noArgs ? nullptr : argv)) {
        status = 0;
    }
    PthSignalCheck();
    finContData();
    return status;
}

}  // namespace

void HistoryLog(int argc, char **argv)
{
    char path[PATH_MAX];
    if (argc < 1 || realpath(argv[0], path) == nullptr) {
        return;
    }
    char record[PTH_PATH_SIZE];
    size_t used = static_cast<size_t>(snprintf(record, sizeof record, "%s", path));
    for (int i = 1; i < argc && used < sizeof record - 1; ++i) {
        int length = snprintf(record + used, sizeof record - used, " %s", argv[i]);
        if (length < 0) {
            break;
        }
        used += static_cast<size_t>(length);
    }
    dumpLog(nullptr, 0, record, nullptr, 0);
}

int main(int argc, char **argv)
{
    initLog(PTH_LOG_NAME, PTH_LOG_SIZE);
    HistoryLog(argc, argv);
    signal_setup();
    const PthCommand *command = argc >= 2 ? findCommand(argv[1]) : nullptr;
    if (command == nullptr || argc < command->minArgs || argc > command->maxArgs) {
        TavPthErr0000(PTH_AT);
        return 1;
    }
    return runCommand(*command, argc, argv);
}
