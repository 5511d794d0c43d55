// Performance statistics: the driver's I/O rates per logical drive, and the
// parameter file performance.conf that carries the automatic collection's
// requests from the command-line tool to the monitoring service.
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "raidctl_entry.h"
#include "tavbase/file.h"
#include "tavctl_perform.h"

namespace {

const char kParaFile[] = "/opt/morvane/tavutility/conf/performance.conf";
const char kConfDirectory[] = "/opt/morvane/tavutility/conf";
const char kHeadLabel[] = "static_para:";

constexpr int kReplySize = 512;
constexpr int kReplyHeader = 16;
constexpr int kAttempts = 5;
constexpr useconds_t kRetryPause = 5000;
constexpr int kLineSize = 5120;  // lines of up to 5119 characters
constexpr size_t kFileTextSize = TAV_AUTOSTAT_PATH + 512;

// Reply record of one logical drive: read I/Os, read KB, write I/Os, write KB.
constexpr int kReplyOrder[4] = {TAV_STAT_READ_IOS, TAV_STAT_READ_KB, TAV_STAT_WRITE_IOS, TAV_STAT_WRITE_KB};

// Sends the statistics command: 1 with the reply, 0 with the error word set.
int readStatistics(int contNo, uint8_t *reply, const char *function)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        SDllLinuxCmd cmd;
        Linux_InitCMD(&cmd, 0, reply, 0, kReplySize);
        cmd.cdb[0] = 0xC0;
        cmd.cdb[1] = 0xFE;
        cmd.cdbLength = 16;
        uint8_t *detail = nullptr;
        uint32_t result = Linux_CmdExe(static_cast<uint16_t>(contNo), &cmd, &detail);
        if (result == 0) {
            return 1;
        }
        if (result == CMDEXE_DRIVER_BUSY) {
            break;
        }
        usleep(kRetryPause);
    }
    return DllFailWord(DLL_ERROR_COMMAND, function, __LINE__);
}

void storeStatistics(const uint8_t *reply, DrvStatistics *statistics)
{
    for (int ld = 0; ld < TAV_STAT_LDS; ++ld) {
        for (int i = 0; i < 4; ++i) {
            uint64_t value;
            memcpy(&value, reply + kReplyHeader + (ld * 4 + i) * sizeof value, sizeof value);
            statistics->entry[ld + 1][kReplyOrder[i]] = value;
            statistics->entry[0][kReplyOrder[i]] += value;
        }
    }
}

// The whole file text; its length, or 0 when it did not fit.
size_t formatPara(const AutoStaticPara *para, char *text, size_t size)
{
    size_t used = 0;
    Tool_AppendText(text, size, &used, "%s%d,%d,%d,%.*s,%s\n", kHeadLabel, para->state, para->interval, para->count,
                    TAV_AUTOSTAT_PATH - 1, para->fileName, para->format == TAV_AUTOSTAT_TEXT ? "txt" : "csv");
    for (int a = 0; a < TAV_AUTOSTAT_ADAPTERS; ++a) {
        Tool_AppendText(text, size, &used, "adp%d:\n", a);
        for (int l = 0; l < TAV_AUTOSTAT_LDS; ++l) {
            Tool_AppendText(text, size, &used, "ld%d:%d\n", l, para->ldSelected[a][l]);
        }
    }
    return used < size ? used : 0;
}

int writeRequest(const AutoStaticPara *para, const char *function)
{
    if (!writeAutoStaticFile(para)) {
        return DllFailSystem("fopen", function, __LINE__);
    }
    return 1;
}

/* ---- reading ---- */

// Reads one line without its newline: 1, or 0 at the end of the file.
int readLine(FILE *file, char *line)
{
    if (fgets(line, kLineSize, file) == nullptr) {
        return 0;
    }
    size_t length = strlen(line);
    if (length > 0 && line[length - 1] == '\n') {
        line[length - 1] = '\0';
    }
    return 1;
}

// A whole decimal number from lowest to highest; -1 when it is not one.
long fieldNumber(const char *field, long lowest, long highest)
{
    if (*field == '\0' || strlen(field) > 9 || strspn(field, "0123456789") != strlen(field)) {
        return -1;
    }
    long value = strtol(field, nullptr, 10);
    return (value < lowest || value > highest) ? -1 : value;
}

// The head line's fields; the state read, or TAV_AUTOSTAT_INVALID.
uint8_t parseHead(char *line, AutoStaticPara *para)
{
    if (strstr(line, kHeadLabel) == nullptr || strlen(line) < sizeof kHeadLabel - 1) {
        return TAV_AUTOSTAT_INVALID;
    }
    char *fields[6] = {};
    int count = 0;
    char *rest = line + sizeof kHeadLabel - 1;
    for (char *field = strsep(&rest, ","); field != nullptr && count < 6; field = strsep(&rest, ",")) {
        fields[count++] = field;
    }
    long state = fieldNumber(fields[0], TAV_AUTOSTAT_IDLE, TAV_AUTOSTAT_STOP);
    if (state != TAV_AUTOSTAT_RUN) {
        return state < 0 ? TAV_AUTOSTAT_INVALID : static_cast<uint8_t>(state);
    }
    if (count != 5) {
        return TAV_AUTOSTAT_INVALID;
    }
    long interval = fieldNumber(fields[1], 1, TAV_AUTOSTAT_MAX_INTERVAL);
    long samples = fieldNumber(fields[2], 1, TAV_AUTOSTAT_MAX_COUNT);
    size_t nameLength = strlen(fields[3]);
    uint8_t format = strcmp(fields[4], "txt") == 0   ? TAV_AUTOSTAT_TEXT
                     : strcmp(fields[4], "csv") == 0 ? TAV_AUTOSTAT_CSV
                                                     : 0;
    if (interval < 0 || samples < 0 || nameLength == 0 || nameLength >= TAV_AUTOSTAT_PATH || format == 0) {
        return TAV_AUTOSTAT_INVALID;
    }
    para->interval = static_cast<uint16_t>(interval);
    para->count = static_cast<uint16_t>(samples);
    memcpy(para->fileName, fields[3], nameLength + 1);
    para->format = format;
    return TAV_AUTOSTAT_RUN;
}

// The selection of one adapter: its "adp<a>:" line, then eight lines
// "ld<l>:0" or "ld<l>:1". 1 read, 0 missing or malformed.
int parseSection(FILE *file, int adapter, AutoStaticPara *para)
{
    char label[16];
    snprintf(label, sizeof label, "adp%d:", adapter);
    char line[kLineSize];
    int found = 0;
    while (!found && readLine(file, line)) {
        found = strstr(line, label) != nullptr;
    }
    if (!found) {
        return 0;
    }
    for (int l = 0; l < TAV_AUTOSTAT_LDS; ++l) {
        char off[16], on[16];
        int length = snprintf(off, sizeof off, "ld%d:0", l);
        snprintf(on, sizeof on, "ld%d:1", l);
        if (!readLine(file, line)) {
            return 0;
        }
        if (strncmp(line, on, static_cast<size_t>(length)) == 0) {
            para->ldSelected[adapter][l] = 1;
        } else if (strncmp(line, off, static_cast<size_t>(length)) != 0) {
            return 0;
        }
    }
    return 1;
}

uint8_t parseFile(FILE *file, AutoStaticPara *para)
{
    char line[kLineSize];
    if (!readLine(file, line)) {
        return TAV_AUTOSTAT_INVALID;
    }
    uint8_t state = parseHead(line, para);
    if (state != TAV_AUTOSTAT_RUN) {
        return state;
    }
    for (int a = 0; a < TAV_AUTOSTAT_ADAPTERS; ++a) {
        if (!parseSection(file, a, para)) {
            return TAV_AUTOSTAT_INVALID;
        }
    }
    return TAV_AUTOSTAT_RUN;
}

// The parameter file opened for reading; a missing file has its directory
// made (for the writers that follow). nullptr with the error word set.
FILE *openPara(const char *function)
{
    char path[PATH_MAX];
    if (!Tool_ResolvePath(kParaFile, path, sizeof path)) {
        errno = ENAMETOOLONG;
        DllFailSystem("fopen", function, __LINE__);
        return nullptr;
    }
    FILE *file = tavbase::OpenReadStream(path);
    if (file != nullptr) {
        return file;
    }
    int openErrno = errno;
    char directory[PATH_MAX];
    if (openErrno == ENOENT && Tool_ResolvePath(kConfDirectory, directory, sizeof directory) &&
        mkdir(directory, 0755) != 0 && errno != EEXIST) {
        DLL_Dprintf(3, "func=getAutoStaticPara no mkdir val=%d\n", errno);
    }
    errno = openErrno;
    DllFailSystem("fopen", function, __LINE__);
    return nullptr;
}

}  // namespace

TAVCTL_API int writeAutoStaticFile(const AutoStaticPara *para)
{
    char path[PATH_MAX];
    char text[kFileTextSize];
    size_t length = formatPara(para, text, sizeof text);
    if (!Tool_ResolvePath(kParaFile, path, sizeof path) || length == 0) {
        errno = ENAMETOOLONG;
        return 0;
    }
    return Tool_ReplaceFile(path, text, length) == TOOL_FILE_REPLACED;
}

TAVCTL_API int getDrvstatic(int contNo, DrvStatistics *statistics)
{
    if (statistics == nullptr) {
        return 0;
    }
    DllEnter("CALL - %s() CONTno=%d\n", __func__, contNo);
    memset(statistics, 0, sizeof *statistics);
    if (!checkCONTno(contNo, __func__, SRC_RAIDCTL, __LINE__)) {
        return 0;
    }
    uint8_t reply[kReplySize] = {};
    if (!readStatistics(contNo, reply, __func__)) {
        return 0;
    }
    storeStatistics(reply, statistics);
    return 1;
}

TAVCTL_API int start_AutoStatic(AutoStaticPara para)
{
    DllEnter("CALL - %s()\n", __func__);
    para.state = TAV_AUTOSTAT_RUN;
    para.fileName[TAV_AUTOSTAT_PATH - 1] = '\0';
    return writeRequest(&para, __func__);
}

TAVCTL_API int stop_AutoStatic(void)
{
    DllEnter("CALL - %s()\n", __func__);
    AutoStaticPara para;
    memset(&para, 0, sizeof para);
    para.state = TAV_AUTOSTAT_STOP;
    para.format = TAV_AUTOSTAT_TEXT;
    return writeRequest(&para, __func__);
}

TAVCTL_API int getAutoStaticPara(AutoStaticPara *para)
{
    if (para == nullptr) {
        return 0;
    }
    DllEnter("CALL - %s()\n", __func__);
    memset(para, 0, sizeof *para);
    para->state = TAV_AUTOSTAT_INVALID;
    FILE *file = openPara(__func__);
    if (file == nullptr) {
        return 1;
    }
    AutoStaticPara read;
    memset(&read, 0, sizeof read);
    uint8_t state = parseFile(file, &read);
    fclose(file);
    if (state == TAV_AUTOSTAT_RUN) {
        *para = read;
    }
    para->state = state;
    return 1;
}
