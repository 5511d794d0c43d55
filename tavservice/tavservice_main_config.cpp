// Configuration files: tavlog.conf (DumpDir, Ptime), eventid.conf (events that
// start a log collection) and evtrang.conf (thresholds).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tavbase/file.h"
#include "tavctl_internal.h"
#include "tavservice.h"

namespace {

const char kTavlogConf[] = "/opt/morvane/tavutility/conf/tavlog.conf";
const char kEventIdConf[] = "/opt/morvane/tavutility/conf/eventid.conf";
const char kEvtrangConf[] = "/opt/morvane/tavutility/conf/evtrang.conf";
constexpr uint32_t kMaxPtime = 720;
constexpr uint32_t kDefaultThreshold = 10;
constexpr uint32_t kMaxThreshold = 255;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsComment(const char *line)
{
    while (IsBlank(*line)) {
        ++line;
    }
    return *line == '#';
}

int DigitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

FILE *OpenConf(const char *fixedPath)
{
    char path[4096];
    if (!Tool_ResolvePath(fixedPath, path, sizeof path)) {
        return nullptr;
    }
    FILE *file = tavbase::OpenReadStream(path);
    if (file == nullptr) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
    }
    return file;
}

// The value of the first non-comment line that begins with `key`; 0 when none.
int FindKey(const char *fixedPath, const char *key, char *value, size_t size)
{
    FILE *file = OpenConf(fixedPath);
    if (file == nullptr) {
        return 0;
    }
    char line[CONFIG_LINE_SIZE];
    int found = 0;
    while (!found && fgetline(line, sizeof line, file) > 0) {
        if (!IsComment(line) && ptnmatch(line, key)) {
            GetParameter(line, value, size);
            found = 1;
        }
    }
    fclose(file);
    return found;
}

void ReadDumpDir(ServiceConfigs *configs)
{
    configs->dumpDirValid = FindKey(kTavlogConf, "DumpDir", configs->DumpDir, sizeof configs->DumpDir);
}

void ReadPtime(ServiceConfigs *configs)
{
    char value[CONFIG_LINE_SIZE];
    uint32_t number = 0;
    configs->ptimeValid = FindKey(kTavlogConf, "Ptime", value, sizeof value) && ParseConfigNumber(value, &number);
    configs->Ptime = !configs->ptimeValid ? 1 : (number > kMaxPtime ? kMaxPtime : number);
}

// Entries "n : event" with n counting from 0 without gaps. More than
// MAX_EVENT_IDS entries: the first MAX_EVENT_IDS are kept, the rest ignored.
void ReadEventIds(ServiceConfigs *configs)
{
    FILE *file = OpenConf(kEventIdConf);
    if (file == nullptr) {
        return;
    }
    static uint32_t ids[MAX_EVENT_IDS];
    uint32_t count = 0;
    unsigned index = 0;
    char line[CONFIG_LINE_SIZE];
    while (fgetline(line, sizeof line, file) > 0) {
        char prefix[16];
        snprintf(prefix, sizeof prefix, "%u", index);
        if (IsComment(line) || !ptnmatch(line, prefix)) {
            continue;
        }
        ++index;
        char value[CONFIG_LINE_SIZE];
        uint32_t number = 0;
        GetParameter(line, value, sizeof value);
        if (!ParseConfigNumber(value, &number) || number >= 0x80000000u) {
            continue;
        }
        if (count == MAX_EVENT_IDS) {
            Trace_Text(__FILE__, __LINE__, "eventid.conf: more than %d entries, entry %u ignored", MAX_EVENT_IDS,
                       index - 1);
            continue;
        }
        ids[count++] = number;
    }
    fclose(file);
    if (count == 0) {
        return;
    }
    configs->eventIds = static_cast<uint32_t *>(malloc(count * sizeof(uint32_t)));
    if (configs->eventIds == nullptr) {
        return;
    }
    memcpy(configs->eventIds, ids, count * sizeof(uint32_t));
    configs->eventIdCount = count;
    configs->eventIdsValid = 1;
}

}  // namespace

int GetParameter(const char *line, char *value, size_t size)
{
    if (size == 0) {
        return 0;
    }
    value[0] = '\0';
    const char *colon = strchr(line, ':');
    if (colon == nullptr) {
        return 0;
    }
    const char *start = colon + 1;
    while (IsBlank(*start)) {
        ++start;
    }
    size_t length = strcspn(start, "\r\n");
    if (length >= size) {
        length = size - 1;
    }
    memcpy(value, start, length);
    value[length] = '\0';
    return 1;
}

// "0x" and hexadecimal digits, or decimal digits; a blank may end the number.
// Values beyond 32 bits saturate.
int ParseConfigNumber(const char *value, uint32_t *number)
{
    int base = 10;
    if (value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        base = 16;
        value += 2;
    }
    uint64_t result = 0;
    const char *p = value;
    for (int d; (d = DigitValue(*p, base)) >= 0; ++p) {
        result = result * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (result > UINT32_MAX) {
            result = UINT32_MAX + 1ULL;
        }
    }
    if (p == value || (*p != '\0' && !IsBlank(*p))) {
        return 0;
    }
    *number = result > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(result);
    return 1;
}

int ReadConfigFile(ServiceConfigs *configs)
{
    TRACE_CALL(1, 0, 0, 0, 0);
    ReadDumpDir(configs);
    ReadPtime(configs);
    ReadEventIds(configs);
    return configs->dumpDirValid && configs->ptimeValid && configs->eventIdsValid;
}

void FreeConfigs(ServiceConfigs *configs)
{
    free(configs->eventIds);
    configs->eventIds = nullptr;
    configs->eventIdCount = 0;
    configs->eventIdsValid = 0;
}

int ThresholdReadConfigFile(uint32_t eventId, uint32_t *threshold)
{
    TRACE_CALL(4, 0, eventId, 0, 0);
    *threshold = kDefaultThreshold;
    char key[32];
    snprintf(key, sizeof key, "%u : ", eventId);
    char value[CONFIG_LINE_SIZE];
    if (!FindKey(kEvtrangConf, key, value, sizeof value)) {
        return 1;
    }
    uint32_t number = 0;
    if (!ParseConfigNumber(value, &number) || number > kMaxThreshold) {
        Trace_Text(__FILE__, __LINE__, "Invalid parameter for Threshold");
        return 1;
    }
    *threshold = number;
    return 1;
}
