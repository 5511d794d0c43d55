// Adapter discovery from the driver's per-adapter /proc files, and the line
// parsers it uses.
#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tavctl_internal.h"

#define PROC_DIR_PATH "/proc/scsi/tavdrv"
#define PROC_LINE_SIZE 1024
#define MODEL_NAME_LENGTH 6
#define DRIVER_VERSION_LENGTH 12
#define ADAPTER_PRESENT 0
#define CONTROLLER_ABSENT 255

#define PATTERN_PCI "pci bus/slot"
#define PATTERN_CARD_NO "tav card no"
#define PATTERN_CARD_TYPE "card type"
#define PATTERN_DRIVER_VERSION "driver version"

namespace {

// The value of a "label: value" line after its leading spaces, or null when
// the line has no ":" or nothing follows it.
const char *lineValue(const char *line)
{
    const char *colon = strchr(line, ':');
    if (colon == nullptr) {
        return nullptr;
    }
    const char *value = colon + 1;
    while (*value == ' ' || *value == '\t') {
        ++value;
    }
    return (*value == '\0' || *value == '\n' || *value == '\r') ? nullptr : value;
}

int byteOrder(const struct dirent **a, const struct dirent **b)
{
    return strcmp((*a)->d_name, (*b)->d_name);
}

// Four numeric components, each followed by "." or " ".
void parseVersion(const char *text, uint16_t components[4])
{
    const char *position = text;
    for (int i = 0; i < 4; ++i) {
        components[i] = static_cast<uint16_t>(strtoul(position, nullptr, 10));
        const char *separator = strpbrk(position, ". ");
        position = separator != nullptr ? separator + 1 : position + strlen(position);
    }
}

struct AdapterLines {
    uint16_t pciAddress = 0;
    uint8_t cardType = 0;
    char version[DRIVER_VERSION_LENGTH + 1] = "";
    int seen = 0;  // one bit per pattern
};

enum LineResult { LINE_OTHER, LINE_USED, LINE_UNPARSABLE };

LineResult parseAdapterLine(const char *line, AdapterLines *found)
{
    int cardNo = 0;
    int bit = 0;
    bool parsed = true;
    if (ptnmatch(line, PATTERN_PCI)) {
        bit = 1;
        parsed = getpciadr(line, &found->pciAddress);
    } else if (ptnmatch(line, PATTERN_CARD_NO)) {
        bit = 2;
        parsed = getcardno(line, &cardNo);
    } else if (ptnmatch(line, PATTERN_CARD_TYPE)) {
        bit = 4;
        parsed = getcardtype(line, &found->cardType);
    } else if (ptnmatch(line, PATTERN_DRIVER_VERSION)) {
        bit = 8;
        parsed = getdrvver(line, found->version, sizeof found->version);
    } else {
        return LINE_OTHER;
    }
    found->seen |= bit;
    return parsed ? LINE_USED : LINE_UNPARSABLE;
}

const int ALL_LINES_SEEN = 1 | 2 | 4 | 8;

// 1: adapter accepted; 0: file skipped; -1: a line could not be parsed.
int readAdapterFile(const char *directory, const char *name)
{
    char path[4096];
    if (snprintf(path, sizeof path, "%s/%s", directory, name) >= static_cast<int>(sizeof path)) {
        return 0;
    }
    FILE *file = fopen(path, "r");
    if (file == nullptr) {
        return 0;
    }
    AdapterLines found;
    char line[PROC_LINE_SIZE];
    LineResult result = LINE_OTHER;
    while (found.seen != ALL_LINES_SEEN && fgetline(line, sizeof line, file) > 0) {
        result = parseAdapterLine(line, &found);
        if (result == LINE_UNPARSABLE) {
            break;
        }
    }
    fclose(file);
    if (result == LINE_UNPARSABLE) {
        return -1;
    }
    if (found.seen != ALL_LINES_SEEN) {
        return 0;
    }
    AdapterHandle &adapter = _AdapterHandle[_AdapterNum];
    adapter.pciAddress = found.pciAddress;
    adapter.cardType = found.cardType;
    adapter.hostNumber = static_cast<int32_t>(strtol(name, nullptr, 10));
    parseVersion(found.version, adapter.driverVersion);
    Controller[_AdapterNum].present = ADAPTER_PRESENT;
    ++_AdapterNum;
    return 1;
}

// One unparsable file discards the whole discovery.
void forgetAcceptedAdapters()
{
    for (int i = 0; i < _AdapterNum && i < TAV_MAX_ADAPTERS; ++i) {
        Controller[i].present = CONTROLLER_ABSENT;
        memset(&_AdapterHandle[i], 0, sizeof _AdapterHandle[i]);
    }
    _AdapterNum = 0;
}

}  // namespace

int fgetline(char *buffer, int size, FILE *file)
{
    if (buffer == nullptr || size < 2 || fgets(buffer, size, file) == nullptr) {
        return 0;
    }
    return static_cast<int>(strlen(buffer));
}

int ptnmatch(const char *line, const char *pattern)
{
    while (*line == ' ') {
        ++line;
    }
    return strncmp(line, pattern, strlen(pattern)) == 0 ? 1 : 0;
}

int getpciadr(const char *line, uint16_t *pciAddress)
{
    const char *value = lineValue(line);
    const char *slash = value != nullptr ? strchr(value, '/') : nullptr;
    if (slash == nullptr) {
        return 0;
    }
    unsigned long bus = strtoul(value, nullptr, 10);
    unsigned long slot = strtoul(slash + 1, nullptr, 10);
    *pciAddress = static_cast<uint16_t>(((bus & 0xFF) << 8) | ((slot & 0x1F) << 3));
    return 1;
}

int getcardno(const char *line, int *cardNo)
{
    const char *value = lineValue(line);
    if (value == nullptr) {
        return 0;
    }
    *cardNo = static_cast<int>(strtol(value, nullptr, 10));
    return 1;
}

int getcardtype(const char *line, uint8_t *cardType)
{
    const char *value = lineValue(line);
    if (value == nullptr) {
        return 0;
    }
    if (strncmp(value, "ZN5120", MODEL_NAME_LENGTH) == 0) {
        *cardType = CARD_TYPE_ZN5120;
        return 1;
    }
    if (strncmp(value, "ZN5121", MODEL_NAME_LENGTH) == 0) {
        *cardType = CARD_TYPE_ZN5121;
        return 1;
    }
    return 0;
}

int getdrvver(const char *line, char *version, size_t size)
{
    const char *value = lineValue(line);
    if (value == nullptr || size == 0) {
        return 0;
    }
    size_t length = strcspn(value, "\r\n");
    if (length > DRIVER_VERSION_LENGTH) {
        length = DRIVER_VERSION_LENGTH;
    }
    if (length >= size) {
        length = size - 1;
    }
    memcpy(version, value, length);
    version[length] = '\0';
    return 1;
}

TAVCTL_API int AT_FindAdapter(void)
{
    _AdapterNum = 0;
    char directory[4096];
    struct dirent **names = nullptr;
    int count = -1;
    if (Tool_ResolvePath(PROC_DIR_PATH, directory, sizeof directory)) {
        count = scandir(directory, &names, nullptr, byteOrder);
    }
    if (count < 0) {
        return DllReportSystemFailure("opendir", "AT_FindAdapter", SRC_DLL_MOD, __LINE__, errno);
    }
    int result = 1;
    for (int i = 0; i < count; ++i) {
        const char *name = names[i]->d_name;
        if (result == 1 && name[0] != '.' && _AdapterNum < TAV_MAX_ADAPTERS && readAdapterFile(directory, name) < 0) {
            result = 0;
        }
        free(names[i]);
    }
    free(names);
    if (result == 0) {
        forgetAcceptedAdapters();
    }
    return result;
}

TAVCTL_API void TavDllGetSlotInfo(int contNo, uint8_t *bus, uint8_t *device)
{
    uint16_t address = 0;
    if (contNo >= 0 && contNo < TAV_MAX_ADAPTERS) {
        address = _AdapterHandle[contNo].pciAddress;
    }
    if (bus != nullptr) {
        *bus = static_cast<uint8_t>(address >> 8);
    }
    if (device != nullptr) {
        *device = static_cast<uint8_t>((address >> 3) & 0x1F);
    }
}
