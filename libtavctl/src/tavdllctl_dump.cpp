// Hexadecimal dumps: the 16-byte line shared with the trace log, and the
// debug dump to standard output enabled by TAV_DEBUG=DETAIL...
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tavctl_internal.h"

namespace {

bool isLetterOrDigit(uint8_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool detailDumpsWanted()
{
    const char *debug = getenv("TAV_DEBUG");
    return debug != nullptr && strncmp(debug, "DETAIL", 6) == 0;
}

}  // namespace

TAVCTL_API int TavDllFormatDumpLine(char *out, size_t size, unsigned offset, const uint8_t *bytes, unsigned count)
{
    if (out == nullptr || size < DUMP_LINE_SIZE) {
        return 0;
    }
    if (count > DUMP_BYTES_PER_LINE) {
        count = DUMP_BYTES_PER_LINE;
    }
    size_t len = static_cast<size_t>(snprintf(out, size, "%08X: ", offset));
    for (unsigned i = 0; i < DUMP_BYTES_PER_LINE; ++i) {
        if (i < count) {
            len += static_cast<size_t>(snprintf(out + len, size - len, "%02X ", bytes[i]));
        } else {
            len += static_cast<size_t>(snprintf(out + len, size - len, "   "));
        }
        if (i == 7) {
            out[len++] = ' ';
        }
    }
    out[len++] = ' ';
    for (unsigned i = 0; i < count; ++i) {
        out[len++] = isLetterOrDigit(bytes[i]) ? static_cast<char>(bytes[i]) : '.';
    }
    out[len] = '\0';
    return static_cast<int>(len);
}

TAVCTL_API void TavDllCtlDump(const char *title, const void *data, int size)
{
    if (!detailDumpsWanted()) {
        return;
    }
    printf("\n[%s] Size=%d\n", title != nullptr ? title : "", size);
    if (size > 0 && data != nullptr) {
        printf("%s\n", DUMP_SEPARATOR);
        const uint8_t *bytes = static_cast<const uint8_t *>(data);
        char line[DUMP_LINE_SIZE];
        for (int offset = 0; offset < size; offset += DUMP_BYTES_PER_LINE) {
            unsigned count = static_cast<unsigned>(size - offset);
            TavDllFormatDumpLine(line, sizeof line, static_cast<unsigned>(offset), bytes + offset, count);
            printf("%s\n", line);
        }
    }
    printf("\n");
    fflush(stdout);
}
