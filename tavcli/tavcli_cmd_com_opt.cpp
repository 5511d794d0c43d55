/* Recognition of a command's options: keywords, "nochk" and the target
 * options, each kind at most once, and the syntax-error message that names
 * the argument before the one at fault. */
#include <string.h>

#include "tavcli.h"

int CliInvalidToken(char *argv[], int named)
{
    CliLogging(CLI_LOG_TRACE, MOD_CMD_COM, __LINE__, MSG_INVALID_TOKEN, argv[named]);
    return 0;
}

int CliWalkOptions(int argc, char *argv[], const CliOptionRules *rules, void *state, uint32_t *seen)
{
    CLI_TRACE_ENTRY(MOD_CMD_COM);
    uint32_t allowed = rules->required | rules->oneOrMore | rules->optional;
    *seen = 0;
    for (int i = 2; i < argc; ++i) {
        char option[CLI_WORD_SIZE];
        uint32_t kind = NormalizeOption(argv[i], option, sizeof option) ? rules->classify(option) : 0;
        if ((kind & allowed) == 0) {
            return CliInvalidToken(argv, rules->foreignIndex != 0 ? rules->foreignIndex : i - 1);
        }
        uint32_t conflicts = rules->conflicts != NULL ? rules->conflicts(kind) : 0;
        if ((*seen & conflicts) != 0 || !CliMarkOption(seen, kind) || !rules->accept(kind, option, state)) {
            return CliInvalidToken(argv, i - 1);
        }
    }
    int complete = (*seen & rules->required) == rules->required;
    if (rules->oneOrMore != 0 && (*seen & rules->oneOrMore) == 0) {
        complete = 0;
    }
    return complete ? 1 : CliInvalidToken(argv, argc - 1);
}

int CliMarkOption(uint32_t *seen, uint32_t kind)
{
    if (*seen & kind) {
        return 0;
    }
    *seen |= kind;
    return 1;
}

int CliFindKeyword(const CliKeyword *table, size_t count, const char *option)
{
    for (size_t i = 0; i < count; ++i) {
        if (strcmp(table[i].word, option) == 0) {
            return table[i].value;
        }
    }
    return -1;
}

int CliIsNoCheck(const char *option)
{
    return strncmp(option, "nochk", 5) == 0;
}

uint32_t CliTargetKind(const char *option)
{
    if (strncmp(option, "physdrv[", 8) == 0) {
        return CLI_OPT_PD;
    }
    if (option[0] == 'l') {
        return CLI_OPT_LD;
    }
    if (option[0] == 'a') {
        return CLI_OPT_ADAPTER;
    }
    return 0;
}

int CliAcceptTarget(uint32_t kind, const char *option, CliTargets *targets)
{
    switch (kind) {
    case CLI_OPT_ADAPTER:
        targets->allAdapters = strcmp(option, "aall") == 0;
        return GetAdapterNo(option, targets->adapters);
    case CLI_OPT_LD:
        return GetLogicalDriveNo(option, targets->lds);
    case CLI_OPT_PD:
        return GetPhysicalDriveNo(option, targets->pds, targets->keepPdOrder);
    default:
        return 0;
    }
}
