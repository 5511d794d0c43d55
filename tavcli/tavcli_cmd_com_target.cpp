/* Target options: adapters (-a), logical drives (-L, -SL, -DL), physical
 * drives (-PhysDrv[E:S,...]) and G-list limit values, parsed into number
 * lists; and the adapter x LD matrix built from them. */
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "tavcli.h"

#define MAX_ADAPTER_NO 3
#define MAX_LD_NO 7
#define MAX_PD_NO 7
#define GLIST_DIGITS 5
#define GLIST_MAX_VALUE 65535u

/* Ascending order, CLI_EMPTY_SLOT last. */
static void SortSlots(uint8_t *slots, size_t count)
{
    for (size_t i = 1; i < count; ++i) {
        uint8_t value = slots[i];
        size_t j = i;
        for (; j > 0 && slots[j - 1] > value; --j) {
            slots[j] = slots[j - 1];
        }
        slots[j] = value;
    }
}

static int Contains(const uint8_t *slots, size_t count, uint8_t value)
{
    return memchr(slots, value, count) != NULL;
}

/* A comma-separated list of one-digit numbers up to maxNo, none repeated,
 * stored in the order given. A trailing "," is accepted when allowed. Each
 * number is handed to confirm (when not NULL) as soon as it is stored, before
 * the rest of the list is read. */
static int ParseNumberList(const char *text, uint8_t *slots, size_t count, int maxNo, int trailingComma,
                           void (*confirm)(uint8_t number))
{
    size_t used = 0;
    int digits = 0;
    if (*text == '\0') {
        return 0;
    }
    for (const char *p = text;; ++p) {
        if (isdigit((unsigned char)*p)) {
            if (++digits > 1) {
                return 0;
            }
            continue;
        }
        if (*p != ',' && *p != '\0') {
            return 0;
        }
        if (digits == 0) {
            /* "," without a number before it, or the list ends with ",". */
            return *p == '\0' && trailingComma;
        }
        uint8_t value = (uint8_t)(p[-1] - '0');
        if (value > maxNo || Contains(slots, used, value) || used >= count) {
            return 0;
        }
        slots[used++] = value;
        if (confirm != NULL) {
            confirm(value);
        }
        digits = 0;
        if (*p == '\0') {
            return 1;
        }
    }
}

/* Why a listed adapter could not be confirmed decides whether the command can
 * go on: a busy channel or a missing adapter ends the process. */
static void ConfirmAdapter(uint8_t adapter, int fromAll)
{
    DLL_GET_CONTROLLER_INFO info;
    if (getContInfo(adapter, &info)) {
        return;
    }
    uint32_t code = DLLGetLastError();
    if (code & DLL_ERROR_IOCTL_BUSY) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, MSG_COMPETITION);
        CliFatalStop(adapter, MOD_CMD_COM, __LINE__);
    }
    if (code & (DLL_ARG_ERROR_NO_SUCH_CONTROLLER | DLL_ARG_ERROR_CONTNO)) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, "Fatal error - The specified %s: %d doesn't exist.", "Adapter",
                   adapter);
        CliFatalStop(adapter, MOD_CMD_COM, __LINE__);
    }
    if (fromAll) {
        InternalError(adapter, MOD_CMD_COM, __LINE__);
        CliFatalStop(adapter, MOD_CMD_COM, __LINE__);
    }
}

static void ConfirmListedAdapter(uint8_t adapter)
{
    ConfirmAdapter(adapter, 0);
}

static int AllAdapters(uint8_t adapters[CLI_ADAPTER_SLOTS])
{
    uint8_t count = 0;
    if (!CLI_CALL(CLI_NO_ADAPTER, MOD_CMD_COM, getContNum(&count))) {
        CliFatalStop(CLI_NO_ADAPTER, MOD_CMD_COM, __LINE__);
    }
    if (count == 0) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, "Fatal error - There is no Adapter.");
        exit(CLI_EXIT_FATAL);
    }
    for (uint8_t i = 0; i < count && i < CLI_ADAPTER_SLOTS; ++i) {
        adapters[i] = i;
        ConfirmAdapter(i, 1);
    }
    return 1;
}

int GetAdapterNo(const char *option, uint8_t adapters[CLI_ADAPTER_SLOTS])
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    memset(adapters, CLI_EMPTY_SLOT, CLI_ADAPTER_SLOTS);
    if (strcmp(option, "aall") == 0) {
        return AllAdapters(adapters);
    }
    if (option[0] == '\0' ||
        !ParseNumberList(option + 1, adapters, CLI_ADAPTER_SLOTS, MAX_ADAPTER_NO, 0, ConfirmListedAdapter)) {
        memset(adapters, CLI_EMPTY_SLOT, CLI_ADAPTER_SLOTS);
        return 0;
    }
    SortSlots(adapters, CLI_ADAPTER_SLOTS);
    return 1;
}

/* -SLx / -DLx: one LD number, or none at all. */
static int ParseSingleLd(const char *digits, uint8_t lds[CLI_LD_SLOTS])
{
    if (*digits == '\0') {
        return 1;
    }
    if (!isdigit((unsigned char)digits[0]) || digits[1] != '\0' || digits[0] - '0' > MAX_LD_NO) {
        return 0;
    }
    lds[0] = (uint8_t)(digits[0] - '0');
    return 1;
}

int GetLogicalDriveNo(const char *option, uint8_t lds[CLI_LD_SLOTS])
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    memset(lds, CLI_EMPTY_SLOT, CLI_LD_SLOTS);
    if (strcmp(option, "lall") == 0) {
        for (uint8_t i = 0; i < CLI_LD_SLOTS; ++i) {
            lds[i] = i;
        }
        return 1;
    }
    int valid = 0;
    if (strncmp(option, "sl", 2) == 0 || strncmp(option, "dl", 2) == 0) {
        valid = ParseSingleLd(option + 2, lds);
    } else if (option[0] != '\0') {
        valid = ParseNumberList(option + 1, lds, CLI_LD_SLOTS, MAX_LD_NO, 1, NULL);
    }
    if (!valid) {
        memset(lds, CLI_EMPTY_SLOT, CLI_LD_SLOTS);
    }
    return valid;
}

/* One "E:S" item from its ":": the S number, then "," and the next item's
 * E part, or the closing "]" as the last character. Returns the position of
 * the next item's ":", the end of the text after "]", or NULL. */
static const char *ParseDriveItem(const char *colon, uint8_t *pds, size_t *used)
{
    const char *p = colon + 1;
    if (!isdigit((unsigned char)p[0]) || isdigit((unsigned char)p[1])) {
        return NULL;
    }
    uint8_t value = (uint8_t)(p[0] - '0');
    if (value > MAX_PD_NO || Contains(pds, *used, value)) {
        return NULL;
    }
    pds[(*used)++] = value;
    ++p;
    if (*p == ']') {
        return p[1] == '\0' ? p + 1 : NULL;
    }
    if (*p != ',' || !isdigit((unsigned char)p[1])) {
        return NULL;
    }
    /* The E part is not interpreted, but it stays inside its item. */
    size_t eLength = strcspn(p + 1, ":,[]");
    return p[1 + eLength] == ':' ? p + 1 + eLength : NULL;
}

int GetPhysicalDriveNo(const char *option, uint8_t pds[CLI_PD_SLOTS], int keepOrder)
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    static const char prefix[] = "physdrv[";
    memset(pds, CLI_EMPTY_SLOT, CLI_PD_SLOTS);
    if (strncmp(option, prefix, sizeof prefix - 1) != 0) {
        return 0;
    }
    const char *firstE = option + sizeof prefix - 1;
    size_t eLength = strcspn(firstE, ":,[]");
    const char *at = firstE[eLength] == ':' ? firstE + eLength : NULL;
    size_t used = 0;
    while (at != NULL && *at == ':') {
        at = ParseDriveItem(at, pds, &used);
    }
    if (at == NULL) {
        memset(pds, CLI_EMPTY_SLOT, CLI_PD_SLOTS);
        return 0;
    }
    if (!keepOrder) {
        SortSlots(pds, CLI_PD_USED);
    }
    return 1;
}

int GetGListPLNo(const char *option, uint16_t *value)
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    size_t nameLength = strncmp(option, "all", 3) == 0 ? 3 : 2;
    if (strnlen(option, nameLength) < nameLength) {
        return 0;
    }
    const char *digits = option + nameLength;
    size_t count = strspn(digits, "0123456789");
    if (digits[count] != '\0' || count > GLIST_DIGITS) {
        return 0;
    }
    if (count == 0) {
        return 1;
    }
    char buffer[GLIST_DIGITS + 1];
    memcpy(buffer, digits, count);
    buffer[count] = '\0';
    unsigned long number = strtoul(buffer, NULL, 10);
    if (number > GLIST_MAX_VALUE) {
        return 0;
    }
    *value = (uint16_t)number;
    return 1;
}

int CliIsAllLds(const uint8_t lds[CLI_LD_SLOTS])
{
    return !Contains(lds, CLI_LD_SLOTS, CLI_EMPTY_SLOT);
}

int CliReadRaidStatus(uint8_t adapter, DLL_GET_RAID_STATUS *status, const char *module, unsigned line)
{
    return CliCallOk(getRaidStatus(adapter, status) != 0, adapter, module, line);
}

int CliReadGeneration(uint8_t adapter, uint8_t *generation, const char *module)
{
    uint8_t para[TAV_PARA_SIZE];
    if (!CLI_CALL(adapter, module, getSysPara(adapter, para))) {
        return 0;
    }
    *generation = para[TAV_SYSPARA_GENERATION];
    return 1;
}

int CliHasAnyLd(const DLL_GET_RAID_STATUS *status)
{
    for (size_t i = 0; i < CLI_LD_SLOTS; ++i) {
        if (status->ldState[i] != TAV_STATE_UNDEFINED) {
            return 1;
        }
    }
    return 0;
}

struct MatrixFill {
    uint8_t (*matrix)[CLI_LD_SLOTS];
    int all;
};

static int MarkExistingLd(const CliStep *step)
{
    MatrixFill *fill = (MatrixFill *)step->context;
    if (step->state != TAV_STATE_UNDEFINED) {
        fill->matrix[step->adapter][step->target] = CLI_LD_SELECTED;
    } else if (!fill->all) {
        CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, "Fatal error - Adapter %d-The specified %s: %d doesn't exist.",
                   step->adapter, "Virtual Drives", step->target);
        CliFatalStop(step->adapter, MOD_CMD_COM, __LINE__);
    }
    return 1;
}

int getAdpLdArray(const uint8_t adapters[CLI_ADAPTER_SLOTS], const uint8_t lds[CLI_LD_SLOTS],
                  uint8_t matrix[CLI_ADAPTER_SLOTS][CLI_LD_SLOTS])
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    memset(matrix, CLI_EMPTY_SLOT, CLI_ADAPTER_SLOTS * CLI_LD_SLOTS);
    CliTargets targets;
    memset(&targets, CLI_EMPTY_SLOT, sizeof targets);
    memcpy(targets.adapters, adapters, sizeof targets.adapters);
    memcpy(targets.lds, lds, sizeof targets.lds);
    MatrixFill fill = {matrix, CliIsAllLds(lds)};
    CliWalk walk = {CLI_WALK_LDS, 1, NULL, NULL, MOD_CMD_COM};
    return CliWalkTargets(&targets, &walk, MarkExistingLd, &fill);
}
