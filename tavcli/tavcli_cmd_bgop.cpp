/* Option recognition of the background-operation commands. */
#include "tavcli_cmd_bgop.h"

static const CliKeyword kActionKeywords[] = {
    {"start", (int)CLI_OPT_START},
    {"abort", (int)CLI_OPT_ABORT},
    {"showprog", (int)CLI_OPT_SHOWPROG},
    {"progdsply", (int)CLI_OPT_PROGDSPLY},
};

uint32_t CliClassifyActionOption(const char *option)
{
    int kind = CliFindKeyword(kActionKeywords, CLI_KEYWORD_COUNT(kActionKeywords), option);
    return kind >= 0 ? (uint32_t)kind : CliTargetKind(option);
}

uint32_t CliActionConflicts(uint32_t kind)
{
    return (kind & CLI_OPT_ACTIONS) ? CLI_OPT_ACTIONS : 0;
}
