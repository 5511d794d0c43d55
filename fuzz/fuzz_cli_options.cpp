// tavcli's options: every word through the option normaliser and the target
// parsers, then the whole argument vector through the drive, adapter, -Pfm
// and -CCSchSet option walkers. Input: the words after the program name,
// separated by NUL or newline.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "tavcli.h"
#include "tavcli_cmd_ld_opt.h"

namespace {

const size_t kMaxWords = 16;

void Require(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "broken invariant: %s\n", what);
        abort();
    }
}

// Every slot is a number up to maxNo or empty; all empty after a refusal.
void CheckSlots(int valid, const uint8_t *slots, size_t count, int maxNo, const char *what)
{
    for (size_t i = 0; i < count; ++i) {
        Require(slots[i] == CLI_EMPTY_SLOT || (valid && slots[i] <= maxNo), what);
    }
}

// The filled slots come first and, when sorted, ascending.
void CheckOrder(int valid, const uint8_t *slots, size_t count, const char *what)
{
    for (size_t i = 1; valid && i < count; ++i) {
        Require(slots[i] == CLI_EMPTY_SLOT || (slots[i - 1] != CLI_EMPTY_SLOT && slots[i - 1] < slots[i]), what);
    }
}

void CheckWord(const char *word)
{
    char option[CLI_WORD_SIZE];
    memset(option, 'x', sizeof option);
    int fits = NormalizeOption(word, option, sizeof option);
    Require(memchr(option, '\0', sizeof option) != NULL, "normalised option unterminated");
    Require(fits || option[0] == '\0', "refused option not empty");
    for (const char *p = option; *p != '\0'; ++p) {
        Require(*p < 'A' || *p > 'Z', "normalised option not lower case");
    }
    if (!fits) {
        return;
    }
    uint8_t lds[CLI_LD_SLOTS];
    CheckSlots(GetLogicalDriveNo(option, lds), lds, sizeof lds, 7, "LD list");
    uint8_t pds[CLI_PD_SLOTS];
    for (int keepOrder = 0; keepOrder <= 1; ++keepOrder) {
        int valid = GetPhysicalDriveNo(option, pds, keepOrder);
        CheckSlots(valid, pds, sizeof pds, 7, "drive list");
        if (!keepOrder) {
            CheckOrder(valid, pds, sizeof pds, "drive list order");
        }
    }
    uint16_t limit = 0;
    GetGListPLNo(option, &limit);
    if (CliTargetKind(option) == CLI_OPT_ADAPTER) {
        uint8_t adapters[CLI_ADAPTER_SLOTS];
        int valid = GetAdapterNo(option, adapters);
        CheckSlots(valid, adapters, sizeof adapters, 3, "adapter list");
        CheckOrder(valid, adapters, sizeof adapters, "adapter list order");
    }
}

void CheckDriveOptions(int argc, char *argv[])
{
    static const CliOptionRules rules = {CliClassifyDriveTarget, NULL, CliAcceptDriveOption, 0,
                                         CLI_OPT_ADAPTER,        CLI_OPT_LD | CLI_OPT_PD | CLI_OPT_NOCHK,
                                         CLI_TOKEN_BEFORE};
    CliDriveOptions options;
    uint32_t seen = 0;
    if (CliParseDriveOptions(argc, argv, &rules, CLI_OPT_LD, &options, &seen)) {
        Require((seen & CLI_OPT_ADAPTER) != 0, "drive options without an adapter");
        Require(options.targets.lds[1] == CLI_EMPTY_SLOT, "single LD names more than one");
    }
    CliParseAdapterOption(argc, argv, CLI_TOKEN_BEFORE, &options);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> words = FuzzSplitWords(data, size, kMaxWords);
    words.insert(words.begin(), "tavcli");
    for (size_t i = 1; i < words.size(); ++i) {
        CheckWord(words[i].c_str());
    }
    std::vector<char *> argv = FuzzArgv(words);
    int argc = static_cast<int>(words.size());
    CheckDriveOptions(argc, argv.data());
    PfmOptions pfm;
    if (CliParsePfmOptions(argc, argv.data(), &pfm)) {
        Require(memchr(pfm.file, '\0', sizeof pfm.file) != NULL, "-Pfm file unterminated");
    }
    ScheduleOptions schedule;
    uint32_t seen = 0;
    if (CliParseScheduleSetOptions(argc, argv.data(), &schedule, &seen)) {
        Require(schedule.hour >= 0 && schedule.hour <= 23, "schedule hour");
    }
    return 0;
}
