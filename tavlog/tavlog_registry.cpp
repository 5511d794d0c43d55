/* Readers of the collector's keys in tavlog.conf (shared with the service). */
#include <ctype.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tavbase/file.h"
#include "tavlog.h"

#define SRC_FILE "tavlog_registry"
#define DEFAULT_CLOG_AREA_MB 4u
#define MAX_CLOG_AREA_MB 1024u

namespace {

const char *skipBlanks(const char *p)
{
    while (*p == ' ' || *p == '\t') {
        ++p;
    }
    return p;
}

/* The text after the key of the first line that begins (after blanks) with
 * `key`; comment lines are skipped. 1 found, 0 missing key, -1 no file. */
int findKeyLine(const char *key, char *rest, size_t size)
{
    char path[TAVLOG_PATH_SIZE];
    if (!Tool_ResolvePath(TAVLOG_CONF_PATH, path, sizeof path)) {
        return -1;
    }
    FILE *file = tavbase::OpenReadStream(path);
    if (file == NULL) {
        TraceSystemError(SRC_FILE, __LINE__, "fopen", errno);
        return -1;
    }
    char line[2048];
    int found = 0;
    size_t keyLength = strlen(key);
    while (fgets(line, sizeof line, file) != NULL) {
        const char *p = skipBlanks(line);
        if (*p == '#' || strncmp(p, key, keyLength) != 0) {
            continue;
        }
        snprintf(rest, size, "%s", p + keyLength);
        found = 1;
        break;
    }
    fclose(file);
    return found;
}

bool allOf(const char *text, int (*test)(int))
{
    for (const char *p = text; *p != '\0'; ++p) {
        if (!test((unsigned char)*p)) {
            return false;
        }
    }
    return true;
}

}  // namespace

/* Looks up `key` and copies the text after its colon and blanks, up to the
 * line end, into `value`. 1 found, 0 missing file, key or colon. */
int ReadConfigValue(const char *key, char *value, size_t size)
{
    char rest[2048];
    if (findKeyLine(key, rest, sizeof rest) != 1) {
        return 0;
    }
    const char *colon = strchr(rest, ':');
    if (colon == NULL) {
        return 0;
    }
    const char *start = skipBlanks(colon + 1);
    size_t length = strcspn(start, "\r\n");
    snprintf(value, size, "%.*s", (int)length, start);
    return 1;
}

/* MB value of MaxAreaSizeForClog: decimal or "0x" hexadecimal, at most 1024;
 * anything else gives 4. */
uint32_t GetMaxClogAreaSize(const char *value)
{
    char text[64];
    snprintf(text, sizeof text, "%s", value);
    text[strcspn(text, " \t")] = '\0';
    bool hex = strncmp(text, "0x", 2) == 0 || strncmp(text, "0X", 2) == 0;
    const char *digits = hex ? text + 2 : text;
    if (digits[0] == '\0' || !allOf(digits, hex ? isxdigit : isdigit)) {
        return DEFAULT_CLOG_AREA_MB;
    }
    errno = 0;
    unsigned long parsed = strtoul(digits, NULL, hex ? 16 : 10);
    if (errno == ERANGE) {
        SystemError(SRC_FILE, __LINE__, "strtoul", errno);
        return DEFAULT_CLOG_AREA_MB;
    }
    return parsed > MAX_CLOG_AREA_MB ? DEFAULT_CLOG_AREA_MB : (uint32_t)parsed;
}

uint32_t ConfigParmGet(void)
{
    TraceCall(SRC_FILE, __LINE__, 1, "ConfigParmGet");
    char value[1024];
    if (!ReadConfigValue("MaxAreaSizeForClog", value, sizeof value)) {
        return DEFAULT_CLOG_AREA_MB;
    }
    return GetMaxClogAreaSize(value);
}

int GetDumpFileDir(char *dir, size_t size)
{
    TraceCall(SRC_FILE, __LINE__, 1, "GetDumpFileDir");
    return ReadConfigValue("DumpDir", dir, size);
}
