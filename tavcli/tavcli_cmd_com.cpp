/* Routines shared by the command word and every command: option
 * normalisation, the report of a failed library call and the fatal stop. */
#include <ctype.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "tavcli.h"

int NormalizeOption(const char *word, char *out, size_t outSize)
{
    memset(out, 0, outSize);
    size_t length = strnlen(word, outSize);
    if (length >= outSize) {
        return 0;
    }
    for (size_t i = 0; i < length; ++i) {
        out[i] = (char)tolower((unsigned char)word[i]);
    }
    const char *dash = strchr(out, '-');
    if (dash != NULL && dash[1] != '\0') {
        size_t restLength = strlen(dash + 1);
        memmove(out, dash + 1, restLength);
        memset(out + restLength, 0, outSize - restLength);
    }
    return 1;
}

/* One message in its two forms: without an adapter, and naming it (the
 * second form takes the adapter number as its only argument). */
static void ReportForAdapter(int adapter, const char *module, unsigned line, const char *withoutAdapter,
                             const char *withAdapter)
{
    if (adapter == CLI_NO_ADAPTER) {
        CliLogging(CLI_LOG_TRACE, module, line, "%s", withoutAdapter);
    } else {
        CliLogging(CLI_LOG_TRACE, module, line, withAdapter, adapter);
    }
}

/* The messages for an adapter error, a state refusal and a busy channel;
 * 0 when the error word carries none of them. */
static int ReportClassMessage(uint32_t code, int adapter, const char *module, unsigned line)
{
    if (code & DLL_ERROR_COMMAND) {
        ReportForAdapter(adapter, module, line,
                         "The error was detected as an Adapter.\nPlease ascertain the situation.",
                         "The error was detected as an Adapter %d.\nPlease ascertain the situation.");
        return 1;
    }
    if (code & DLL_ERROR_LD_STATE) {
        ReportForAdapter(adapter, module, line,
                         "The specified operation cannot be executed.\nPlease ascertain the situation.",
                         "Adapter %d: The specified operation cannot be executed.\nPlease ascertain the situation.");
        return 1;
    }
    if (code & DLL_ERROR_IOCTL_BUSY) {
        CliLogging(CLI_LOG_TRACE, module, line, MSG_COMPETITION);
        return 1;
    }
    return 0;
}

void InternalError(int adapter, const char *module, unsigned line)
{
    /* The system error number of the failed call, before anything here can
     * change it. */
    int systemError = errno;
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    uint32_t code = DLLGetLastError();

    int classDigit = (code & (DLL_ERROR_PARAM | DLL_ERROR_NO_LD | DLL_ERROR_LOCKED)) ? 1 : 0;
    if (code & (DLL_ERROR_INTERNAL | DLL_ERROR_DRIVER_BUSY)) {
        classDigit = 2;
    } else if (ReportClassMessage(code, adapter, module, line)) {
        return;
    }
    if (code & DLL_ERROR_PARTITION) {
        return;
    }
    uint32_t shown = code;
    if (code & DLL_ERROR_SYSTEM) {
        classDigit = 4;
        shown = (uint32_t)systemError;
    }
    CliInternalErrorCode(classDigit, shown, module, line);
}

int CliCallOk(int succeeded, int adapter, const char *module, unsigned line)
{
    if (succeeded) {
        return 1;
    }
    InternalError(adapter, module, line);
    return 0;
}

void CliInternalErrorCode(int classDigit, uint32_t code, const char *module, unsigned line)
{
    CliLogging(CLI_LOG_TRACE, module, line, "Fatal error - Internal error -0x%d000%08x.", classDigit, code);
}

void CliFatalStop(int adapter, const char *module, unsigned line)
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    CliCallOk(finContData() != 0, adapter, module, line);
    exit(CLI_EXIT_FATAL);
}

void CliAbnormalInfo(int adapter, const char *module, unsigned line)
{
    CliLogging(CLI_LOG_TRACE, module, line, "Fatal error - Adapter %d: DLL information is abnormal.", adapter);
    CliFatalStop(adapter, module, line);
}
