// The service's translation of one adapter event-log entry: any 512 bytes
// in, a system-log line or nothing out. The system log is taken over here:
// every line must be a terminated string that fits the service's buffer.
// Input: the entry as the adapter stores it (shorter input is padded with
// the empty-slot byte), and its byte 0 also picks the controller.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "tavservice.h"

namespace {

const int kMessageNumbers = 64;
const size_t kServiceLine = 1024;  // ServiceLog's buffer
const size_t kMessageText = 512;   // SendMessage's buffer

void CheckText(const char *text, size_t size)
{
    if (memchr(text, '\0', size) == NULL) {
        fprintf(stderr, "unterminated message\n");
        abort();
    }
}

}  // namespace

extern "C" void openlog(const char *, int, int) {}
extern "C" void closelog(void) {}

extern "C" void syslog(int, const char *format, ...)
{
    char line[2 * kServiceLine];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length < 0 || static_cast<size_t>(length) >= kServiceLine) {
        fprintf(stderr, "system-log line of %d characters\n", length);
        abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ControllerLogEntry stored;
    memset(stored.raw, 0x11, sizeof stored.raw);
    memcpy(stored.raw, data, size < sizeof stored.raw ? size : sizeof stored.raw);
    int contNo = size > 0 ? data[0] % TAV_MAX_CONTROLLERS : 0;
    static FoundEventList found;
    static ServiceConfigs configs;
    ControllerLogEntry entry;
    // Both message variants of the adapters' system-log versions.
    for (uint8_t version : {1, 3}) {
        Oslog_ver = version;
        found.count = 0;
        entry = stored;
        ConvertLogEntry(&entry);
        WriteLogEntryToSystemLog(contNo, &entry, &found, &configs);
    }
    for (int messageNo = 0; messageNo < kMessageNumbers; ++messageNo) {
        char text[kMessageText];
        memset(text, 'x', sizeof text);
        if (GetMessage(text, sizeof text, messageNo, contNo, &entry, &found) != 0) {
            CheckText(text, sizeof text);
        }
    }
    return 0;
}
