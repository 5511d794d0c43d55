/* -AdpFwFlash: checks the firmware image file and the adapter's revision,
 * asks, and writes the image to each listed adapter. Any check that fails
 * ends the program with status 1 before a later adapter is touched; so
 * does a write that fails part-way. */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavcli_update.h"

#define FW_EXIT_FAILED 1

#define FW_OPT_FILE CLI_OPT_COMMAND
#define FW_OPT_NOVERCHK (CLI_OPT_COMMAND << 1)
#define FW_OPT_VERDOWN (CLI_OPT_COMMAND << 2)
#define FW_OPT_NOHEADCHK (CLI_OPT_COMMAND << 3)

static const char kOuterMark[] = "MORVANE TAV_RAIDV0";
static const char kImageMark[] = "Zephyrox";

/* The options as given. */
struct FlashOptions {
    CliTargets targets;
    char **argv;
    int accepted;     /* options accepted so far: the next is argv[2 + accepted] */
    const char *file; /* the file token's name, case kept */
    uint32_t flags;
};

/* ---- the file ---- */

static void FileMessage(const char *format, const char *path)
{
    CliLogging(CLI_LOG_TRACE, MOD_UPDATE, __LINE__, format, path);
}

int CheckAttribute(const char *file, CliFwImage *image)
{
    CLI_TRACE_ENTRY(MOD_UPDATE);
    if (access(file, F_OK) != 0) {
        FileMessage("Fatal error - %s: The specified file is not found.", file);
        return 0;
    }
    if (access(file, R_OK) != 0) {
        FileMessage("Fatal error - %s: file read failure.", file);
        return 0;
    }
    if (realpath(file, image->path) == NULL) {
        if (errno == ENOENT) {
            FileMessage("Fatal error - %s: The specified file is not found.", file);
        } else {
            CliInternalErrorCode(4, (uint32_t)errno, MOD_UPDATE, __LINE__);
        }
        return 0;
    }
    return 1;
}

static int ReadHeaders(CliFwImage *image)
{
    uint8_t outer[CLI_FW_OUTER_HEADER];
    if (!image->noHeaderCheck) {
        if (!CliFwReadAt(image, 0, outer, sizeof outer)) {
            FileMessage("Fatal error - %s: file read failure.", image->path);
            return 0;
        }
        if (memcmp(outer, kOuterMark, strlen(kOuterMark)) != 0) {
            FileMessage("Fatal error - %s: The specified file is not an image file.", image->path);
            return 0;
        }
    }
    off_t at = image->noHeaderCheck ? 0 : CLI_FW_OUTER_HEADER;
    if (!CliFwReadAt(image, at, image->header, sizeof image->header)) {
        FileMessage("Fatal error - %s: file read failure.", image->path);
        return 0;
    }
    if (memcmp(image->header, kImageMark, strlen(kImageMark)) != 0) {
        FileMessage("Fatal error - %s: The specified file is not an image file.", image->path);
        return 0;
    }
    return 1;
}

/* Opens the resolved file and keeps it open for the write. */
int CheckImagefile(CliFwImage *image)
{
    CLI_TRACE_ENTRY(MOD_UPDATE);
    image->fd = open(image->path, O_RDONLY | O_CLOEXEC);
    if (image->fd < 0) {
        FileMessage("Fatal error - %s: file open failure.", image->path);
        return 0;
    }
    struct stat st;
    if (fstat(image->fd, &st) != 0) {
        CliInternalErrorCode(4, (uint32_t)errno, MOD_UPDATE, __LINE__);
        return 0;
    }
    if (!ReadHeaders(image)) {
        return 0;
    }
    const uint8_t *size = image->header + CLI_FW_DATA_SIZE;
    image->dataSize = (uint32_t)size[0] << 24 | (uint32_t)size[1] << 16 | (uint32_t)size[2] << 8 | size[3];
    uint64_t expected =
        (uint64_t)image->dataSize + CLI_FW_IMAGE_HEADER + (image->noHeaderCheck ? 0 : CLI_FW_OUTER_HEADER);
    /* An image without data would be reported as written without a byte sent. */
    if (image->dataSize == 0 || expected != (uint64_t)st.st_size) {
        FileMessage("Fatal error - %s: file is broken.", image->path);
        return 0;
    }
    return 1;
}

/* ---- the revision and the question ---- */

static void PrintImageInformation(int adapter, const CliFwImage *image, const char *romRevision)
{
    char revision[5] = {0};
    char author[17] = {0};
    memcpy(revision, image->header + CLI_FW_REVISION, 4);
    memcpy(author, image->header + CLI_FW_AUTHOR, 16);
    const uint8_t *date = image->header + CLI_FW_DATE;
    printf("\nUpdate File Information\n");
    printf("\tROM General Revision : %s\n", romRevision);
    printf("\tUpdate file          : %s\n", image->path);
    printf("\tUpdate adapter       : %d\n", adapter);
    printf("\tGeneral Revision     : %s\n", revision);
    printf("\tDate of making       : %x%.2x/%x/%x\n", date[0], date[1], date[2], date[3]);
    printf("\tAuthor               : %s\n", author);
    printf("\tImage size           : %xH\n", image->dataSize);
    printf("\n");
    fflush(stdout);
}

int isGoUpdate(int adapter, const CliFwImage *image, uint32_t flags)
{
    CLI_TRACE_ENTRY(MOD_UPDATE);
    DLL_GET_CONTROLLER_INFO info;
    if (!CLI_CALL(adapter, MOD_UPDATE, getContInfo(adapter, &info))) {
        return 0;
    }
    char rom[5] = {0};
    memcpy(rom, info.generalRevision, 4);
    const char *revision = (const char *)image->header + CLI_FW_REVISION;
    if (rom[1] != revision[1]) {
        CliLogging(CLI_LOG_TRACE, MOD_UPDATE, __LINE__,
                   "Fatal error - Adapter %d: It is not possible to update it to this revision.", adapter);
        return 0;
    }
    if (!(flags & (FW_OPT_VERDOWN | FW_OPT_NOVERCHK)) && strncmp(rom, revision, 4) > 0) {
        CliLogging(CLI_LOG_TRACE, MOD_UPDATE, __LINE__,
                   "Fatal error - Adapter %d: The down of the version of Firmware has not been permitted.", adapter);
        return 0;
    }
    PrintImageInformation(adapter, image, rom);
    if (flags & FW_OPT_NOVERCHK) {
        return 1;
    }
    if (!CliAskConfirmation("\tIs the update executed?(Y/N)?")) {
        return 0;
    }
    CliLogging(CLI_LOG_STDOUT, MOD_UPDATE, __LINE__, "\n");
    return 1;
}

/* ---- one adapter ---- */

[[noreturn]] static void EndFailed(CliFwImage *image)
{
    if (image->fd >= 0) {
        close(image->fd);
    }
    exit(FW_EXIT_FAILED);
}

int start_update(int adapter, const char *file, uint32_t flags, int moreFollow)
{
    CLI_TRACE_ENTRY(MOD_UPDATE);
    CliFwImage image;
    memset(&image, 0, sizeof image);
    image.fd = -1;
    image.noHeaderCheck = (flags & FW_OPT_NOHEADCHK) != 0;
    if (!CheckAttribute(file, &image) || !CheckImagefile(&image) || !isGoUpdate(adapter, &image, flags) ||
        !WriteMain(adapter, &image)) {
        EndFailed(&image);
    }
    close(image.fd);
    CliLogging(CLI_LOG_STDOUT, MOD_UPDATE, __LINE__, "   Adapter %d: Firmware Update Completed.", adapter);
    if (!moreFollow) {
        CliLogging(CLI_LOG_STDOUT, MOD_UPDATE, __LINE__, "   When being reactivate next time, Firmware is renewed.");
    }
    return 1;
}

/* ---- options ---- */

static uint32_t ClassifyFlashOption(const char *option)
{
    static const CliKeyword flags[] = {
        {"noverchk", (int)FW_OPT_NOVERCHK}, {"verdown", (int)FW_OPT_VERDOWN}, {"noheadchk", (int)FW_OPT_NOHEADCHK}};
    int kind = CliFindKeyword(flags, CLI_KEYWORD_COUNT(flags), option);
    if (kind >= 0) {
        return (uint32_t)kind;
    }
    if (option[0] == 'f') {
        return FW_OPT_FILE;
    }
    return option[0] == 'a' ? CLI_OPT_ADAPTER : 0;
}

/* The file name of the file token, in the case it was typed: after the
 * first "-" (when something follows it) and the "f" or "F". */
static const char *FileName(const char *token)
{
    const char *dash = strchr(token, '-');
    const char *word = dash != NULL && dash[1] != '\0' ? dash + 1 : token;
    return word + 1;
}

static int AcceptFlashOption(uint32_t kind, const char *option, void *state)
{
    FlashOptions *options = (FlashOptions *)state;
    const char *token = options->argv[2 + options->accepted++];
    options->flags |= kind;
    if (kind == FW_OPT_FILE) {
        options->file = FileName(token);
        return options->file[0] != '\0';
    }
    return kind != CLI_OPT_ADAPTER || CliAcceptTarget(kind, option, &options->targets);
}

static int UpdateAdapter(const CliStep *step)
{
    const FlashOptions *options = (const FlashOptions *)step->context;
    const uint8_t *slot = (const uint8_t *)memchr(options->targets.adapters, step->adapter, CLI_ADAPTER_SLOTS);
    int moreFollow =
        slot != NULL && slot + 1 < options->targets.adapters + CLI_ADAPTER_SLOTS && slot[1] != CLI_EMPTY_SLOT;
    return start_update(step->adapter, options->file, options->flags, moreFollow);
}

int CliCmdExecAdpFwFlash(int argc, char *argv[])
{
    CLI_TRACE_ENTRY(MOD_UPDATE);
    static const CliOptionRules rules = {ClassifyFlashOption,
                                         NULL,
                                         AcceptFlashOption,
                                         FW_OPT_FILE | CLI_OPT_ADAPTER,
                                         0,
                                         FW_OPT_NOVERCHK | FW_OPT_VERDOWN | FW_OPT_NOHEADCHK,
                                         CLI_TOKEN_COMMAND};
    FlashOptions options;
    memset(&options, 0, sizeof options);
    memset(options.targets.adapters, CLI_EMPTY_SLOT, sizeof options.targets.adapters);
    memset(options.targets.lds, CLI_EMPTY_SLOT, sizeof options.targets.lds);
    memset(options.targets.pds, CLI_EMPTY_SLOT, sizeof options.targets.pds);
    options.argv = argv;
    uint32_t seen;
    if (CliWalkOptions(argc, argv, &rules, &options, &seen)) {
        CliWalkAdapters(&options.targets, 0, UpdateAdapter, &options, MOD_UPDATE);
    }
    return 0;
}
