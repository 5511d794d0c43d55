// Controller discovery from the driver's /proc text, one file per adapter.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "tavctl_internal.h"
#include "tavservice.h"

namespace {

const char kProcDirectory[] = "/proc/scsi/tavdrv";
constexpr int kStatisticsRows = 16;

struct ProcParse {
    ProcAdapterInfo info;
    int32_t (*statistics)[4];
    int statisticsMode;
};

int ByteOrder(const struct dirent **a, const struct dirent **b)
{
    return strcmp((*a)->d_name, (*b)->d_name);
}

uint8_t Byte(int value)
{
    return static_cast<uint8_t>(value);
}

void ParseStatisticsRow(const char *line, ProcParse *parse)
{
    int row, v[4];
    if (sscanf(line, "%d: %d %d %d %d", &row, &v[0], &v[1], &v[2], &v[3]) != 5 || row < 0 || row >= kStatisticsRows) {
        return;
    }
    memcpy(parse->statistics[row], v, sizeof v);
    if (row == kStatisticsRows - 1) {
        parse->statisticsMode = 0;
    }
}

void ParseProcLine(const char *line, ProcParse *parse)
{
    while (*line == ' ' || *line == '\t') {
        ++line;
    }
    ProcAdapterInfo *info = &parse->info;
    int a = 0, b = 0;
    if (parse->statisticsMode) {
        ParseStatisticsRow(line, parse);
    } else if (ptnmatch(line, "tav card no :") && sscanf(line, "tav card no : %d", &a) == 1) {
        info->cardNo = Byte(a);
    } else if (ptnmatch(line, "host no :") && sscanf(line, "host no : %d", &a) == 1) {
        info->hostNo = Byte(a);
    } else if (ptnmatch(line, "pci bus/slot :") && sscanf(line, "pci bus/slot : %d/%d", &a, &b) == 2) {
        info->pciBus = Byte(a);
        info->pciSlot = Byte(b);
    } else if (ptnmatch(line, "card type :")) {
        sscanf(line, "card type : %31s", info->cardType);
    } else if (ptnmatch(line, "max channel :") && sscanf(line, "max channel : %d", &a) == 1) {
        info->maxChannel = Byte(a);
    } else if (ptnmatch(line, "can queue depth :") && sscanf(line, "can queue depth : %d", &a) == 1) {
        info->canQueue = Byte(a);
    } else if (ptnmatch(line, "cmd per lun :") && sscanf(line, "cmd per lun : %d", &a) == 1) {
        info->cmdPerLun = Byte(a);
    } else if (ptnmatch(line, "driver version :")) {
        sscanf(line, "driver version : %31s", info->driverVersion);
    } else if (ptnmatch(line, "Statistics")) {
        parse->statisticsMode = 1;
    }
}

// Reads the file in 4096-byte chunks and hands on whole lines. Of a line
// longer than PROC_LINE_KEEP characters the first PROC_LINE_KEEP are used and
// the rest is dropped up to its newline, so it never reads as a line of its own.
int ReadProcFile(const char *path, ProcParse *parse)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
        return 0;
    }
    char chunk[4096];
    char line[PROC_LINE_KEEP + 1];
    size_t used = 0;
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0) {
        for (ssize_t i = 0; i < got; ++i) {
            if (chunk[i] == '\n') {
                line[used] = '\0';
                ParseProcLine(line, parse);
                used = 0;
            } else if (used < PROC_LINE_KEEP) {
                line[used++] = chunk[i];
            }
        }
    }
    if (used > 0) {
        line[used] = '\0';
        ParseProcLine(line, parse);
    }
    close(fd);
    return 1;
}

int IsSupportedCard(const char *cardType)
{
    return strcmp(cardType, "ZN5121") == 0 || strcmp(cardType, "ZN5120") == 0;
}

}  // namespace

int ParseProcDirectory(const char *directory, RaidControllerEntry *controllers, int maxControllers)
{
    struct dirent **names = nullptr;
    int count = scandir(directory, &names, nullptr, ByteOrder);
    if (count < 0) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
        return -1;
    }
    int slot = 0;
    for (int i = 0; i < count; ++i) {
        const char *name = names[i]->d_name;
        char path[4096];
        int n = snprintf(path, sizeof path, "%s/%s", directory, name);
        bool wanted = slot < maxControllers && strcmp(name, ".") != 0 && strcmp(name, "..") != 0 && n > 0 &&
                      static_cast<size_t>(n) < sizeof path;
        ProcParse parse{};
        if (wanted) {
            parse.statistics = controllers[slot].driverStatistics;
        }
        if (wanted && ReadProcFile(path, &parse)) {
            RaidControllerEntry *c = &controllers[slot++];
            c->procInfo = parse.info;
            snprintf(c->name, sizeof c->name, "%s", parse.info.cardType);
            c->found = 1;
            c->supported = IsSupportedCard(parse.info.cardType);
        }
        free(names[i]);
    }
    free(names);
    return slot;
}

int GetControllerInfomation(void)
{
    TRACE_CALL(1, 0, 0, 0, 0);
    char directory[4096];
    if (!Tool_ResolvePath(kProcDirectory, directory, sizeof directory)) {
        return -1;
    }
    return ParseProcDirectory(directory, RaidController, TAV_MAX_CONTROLLERS) < 0 ? -1 : 1;
}

int ProcessLogsInit(void)
{
    TRACE_CALL(1, 0, 0, 0, 0);
    if (GetControllerInfomation() < 0) {
        ServiceLog(PRI_ERR,
                   "tavutil: tavservice was stopped : failed to get controller information. EventID: 00021. "
                   "Detailedcode: %08x.",
                   0x00FFFFFFu);
        return -1;
    }
    return 1;
}
