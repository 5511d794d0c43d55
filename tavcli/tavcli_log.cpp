/* Message writer and the command-line record of the trace log. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "tavcli.h"

/* Writes a line to standard output with every "%%" shown as one "%"; any
 * other character, a lone "%" included, goes out unchanged. */
static void WriteCollapsingPercent(const char *text)
{
    const char *rest = text;
    const char *pair;
    while ((pair = strstr(rest, "%%")) != NULL) {
        fwrite(rest, 1, (size_t)(pair - rest) + 1, stdout);
        rest = pair + 2;
    }
    fputs(rest, stdout);
    fflush(stdout);
}

void CliLogging(int kind, const char *module, unsigned line, const char *format, ...)
{
    if (kind != CLI_LOG_STDOUT && kind != CLI_LOG_TRACE) {
        return;
    }
    char message[CLI_MSG_SIZE];
    va_list args;
    va_start(args, format);
    /* One byte stays free for the line break. */
    int length = vsnprintf(message, sizeof message - 1, format, args);
    va_end(args);
    size_t used = 0;
    if (length > 0) {
        used = (size_t)length < sizeof message - 2 ? (size_t)length : sizeof message - 2;
    }
    message[used] = '\n';
    message[used + 1] = '\0';

    WriteCollapsingPercent(message);
    if (kind == CLI_LOG_TRACE) {
        dumpLog(module, line, message, NULL, 0);
    }
}

void HistoryLog(int argc, char *argv[])
{
    char record[CLI_HISTORY_SIZE];
    size_t used = 0;
    record[0] = '\0';
    for (int i = 0; i < argc && used < sizeof record - 1; ++i) {
        int length = snprintf(record + used, sizeof record - used, "%s ", argv[i]);
        if (length < 0) {
            break;
        }
        used += (size_t)length < sizeof record - used ? (size_t)length : sizeof record - used - 1;
    }
    dumpLog(NULL, 0, record, NULL, 0);
}
