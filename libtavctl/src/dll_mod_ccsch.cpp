// The consistency-check schedule file: its reader and its writer, shared by
// the library's schedule operations and the monitoring service.
//
// Layout: per controller c a line "adp<c>", then per logical drive l a line
// "ld<l>:" followed by nothing, three digits (DHH) or eleven (DHHYYYYMMDD).
// The reader tolerates anything else: lines it cannot place read as no
// schedule.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavbase/file.h"
#include "tavctl_internal.h"

namespace {

const char kScheduleFile[] = "/opt/morvane/tavutility/conf/ccschedule.conf";
const char kConfDirectory[] = "/opt/morvane/tavutility/conf";

constexpr int kLineSize = 256;       // lines of up to 255 characters
constexpr int kMaxStrayLines = 9;    // non-matching lines read per controller section
constexpr int kLabelLength = 4;      // "ld<l>:"
constexpr int kShortLineLength = 8;  // "ld<l>:DHH\n"
constexpr int kLongLineLength = 16;  // "ld<l>:DHHYYYYMMDD\n"
constexpr int kShortDigits = 3;
constexpr int kLongDigits = 11;
constexpr uint64_t kDateModulus = 100000000;  // YYYYMMDD, the last eight digits
constexpr size_t kFileTextSize = 1024;        // 36 lines of at most 17 characters
constexpr mode_t kNewFileMode = 0644;

// The value of a matching "ld" line, judged by its length (newline included):
// three or eleven digits after the label, the first three a day and an hour.
uint64_t lineValue(const char *line, int length, uint32_t latestDate)
{
    if (length != kShortLineLength && length != kLongLineLength) {
        return TAV_CCSCH_NONE;
    }
    char day = line[4], tens = line[5], units = line[6];
    bool hourOk = tens >= '0' && tens <= '2' && units >= '0' && units <= '9' && (tens != '2' || units <= '3');
    if (day < '0' || day > '6' || !hourOk) {
        return TAV_CCSCH_NONE;
    }
    char digits[kLongDigits + 1] = "";
    if (length == kShortLineLength) {
        memcpy(digits, line + kLabelLength, kShortDigits);
        return strtoull(digits, nullptr, 10);
    }
    // Eleven digits, or no schedule: a value read from fewer would stand for
    // another day and hour than the line shows and could not be written back.
    if (strspn(line + kLabelLength, "0123456789") < kLongDigits) {
        return TAV_CCSCH_NONE;
    }
    memcpy(digits, line + kLabelLength, kLongDigits);
    uint64_t value = strtoull(digits, nullptr, 10);
    if (latestDate != 0 && value % kDateModulus > latestDate) {
        return TAV_CCSCH_NONE;  // started "after today": the clock was set back
    }
    return value;
}

// Positions the file after the first line that contains "adp<c>": 1 found.
int findSection(FILE *file, int contNo)
{
    char label[16];
    snprintf(label, sizeof label, "adp%d", contNo);
    rewind(file);
    char line[kLineSize];
    while (fgetline(line, sizeof line, file) > 0) {
        if (strstr(line, label) != nullptr) {
            return 1;
        }
    }
    return 0;
}

// Reads the eight logical drives of one controller section, each searched
// from the line after the last one found. TAV_CCSCH_DONE or _POSITION.
int readSection(FILE *file, int contNo, CCScheduleTable *table, uint32_t latestDate)
{
    char nextSection[16];
    snprintf(nextSection, sizeof nextSection, "adp%d", contNo + 1);
    long resume = ftell(file);
    if (resume < 0) {
        return TAV_CCSCH_POSITION;
    }
    int stray = 0;
    for (int ld = 0; ld < TAV_CCSCH_LDS; ++ld) {
        char label[16];
        snprintf(label, sizeof label, "ld%d", ld);
        if (fseek(file, resume, SEEK_SET) != 0) {
            return TAV_CCSCH_POSITION;
        }
        char line[kLineSize];
        int length;
        while (stray < kMaxStrayLines && (length = fgetline(line, sizeof line, file)) > 0) {
            if (strncmp(line, nextSection, strlen(nextSection)) == 0) {
                return TAV_CCSCH_DONE;  // the section ends: the rest keep no schedule
            }
            if (strstr(line, label) == nullptr) {
                ++stray;
                continue;
            }
            table->value[contNo][ld] = lineValue(line, length, latestDate);
            resume = ftell(file);
            if (resume < 0) {
                return TAV_CCSCH_POSITION;
            }
            break;
        }
        if (stray >= kMaxStrayLines) {
            return TAV_CCSCH_DONE;
        }
    }
    return TAV_CCSCH_DONE;
}

// Creates the missing file empty (and its directory when that is missing);
// a link or other non-regular file left at the path is not written through.
int createEmpty(const char *path)
{
    int fd = tavbase::OpenFile(path, O_WRONLY | O_CREAT, kNewFileMode);
    if (fd < 0 && errno == ENOENT) {
        char directory[PATH_MAX];
        if (!Tool_ResolvePath(kConfDirectory, directory, sizeof directory) ||
            (mkdir(directory, 0755) != 0 && errno != EEXIST)) {
            return TAV_CCSCH_NO_DIRECTORY;
        }
        fd = tavbase::OpenFile(path, O_WRONLY | O_CREAT, kNewFileMode);
    }
    if (fd < 0) {
        return TAV_CCSCH_NO_FILE;
    }
    close(fd);
    return TAV_CCSCH_DONE;
}

void emptyTable(CCScheduleTable *table)
{
    for (int c = 0; c < TAV_CCSCH_CONTROLLERS; ++c) {
        for (int l = 0; l < TAV_CCSCH_LDS; ++l) {
            table->value[c][l] = TAV_CCSCH_NONE;
        }
    }
}

// The whole file text; its length, or 0 when it did not fit.
size_t formatTable(const CCScheduleTable *table, int emptyLineAtEnd, char *text, size_t size)
{
    size_t used = 0;
    for (int c = 0; c < TAV_CCSCH_CONTROLLERS; ++c) {
        Tool_AppendText(text, size, &used, "adp%d\n", c);
        for (int l = 0; l < TAV_CCSCH_LDS; ++l) {
            char digits[TAV_CCSCH_VALUE_TEXT] = "";
            uint64_t value = table->value[c][l];
            if (value != TAV_CCSCH_NONE) {
                decodeCCScheduleValue(value, digits, nullptr, nullptr, nullptr);
            }
            Tool_AppendText(text, size, &used, "ld%d:%s\n", l, digits);
        }
    }
    if (emptyLineAtEnd) {
        Tool_AppendText(text, size, &used, "\n");
    }
    return used < size ? used : 0;
}

}  // namespace

TAVCTL_API void decodeCCScheduleValue(uint64_t value, char text[TAV_CCSCH_VALUE_TEXT], uint8_t *day, uint8_t *hour,
                                      uint32_t *date)
{
    char digits[32];
    bool longForm = value > TAV_CCSCH_SHORT_MAX;
    snprintf(digits, sizeof digits, longForm ? "%011llu" : "%03llu", static_cast<unsigned long long>(value));
    if (text != nullptr) {
        snprintf(text, TAV_CCSCH_VALUE_TEXT, "%.*s", TAV_CCSCH_VALUE_TEXT - 1, digits);
    }
    if (day != nullptr) {
        *day = static_cast<uint8_t>(digits[0] - '0');
    }
    if (hour != nullptr) {
        *hour = static_cast<uint8_t>((digits[1] - '0') * 10 + (digits[2] - '0'));
    }
    if (date != nullptr) {
        *date = longForm ? static_cast<uint32_t>(value % kDateModulus) : 0;
    }
}

namespace {

// The table of an open file by the reading rules.
int readOpened(FILE *file, CCScheduleTable *table, uint32_t latestDate)
{
    emptyTable(table);
    int result = TAV_CCSCH_DONE;
    for (int c = 0; c < TAV_CCSCH_CONTROLLERS && result == TAV_CCSCH_DONE; ++c) {
        if (findSection(file, c)) {
            result = readSection(file, c, table, latestDate);
        }
    }
    return result;
}

// Whether rewriting the file from TABLE (read without a latest date) keeps
// every line of it: each line ends with a newline and holds no NUL byte, and
// is empty, a section head "adp<c>", or a drive line of the section it
// stands in, written as the table writes its value, each at most once.
bool fileUnderstood(FILE *file, const CCScheduleTable *table)
{
    rewind(file);
    int section = -1;
    bool seenSection[TAV_CCSCH_CONTROLLERS] = {};
    bool seenDrive[TAV_CCSCH_CONTROLLERS][TAV_CCSCH_LDS] = {};
    char line[kLineSize];
    int length;
    while ((length = fgetline(line, sizeof line, file)) > 0) {
        if (line[length - 1] != '\n' || strlen(line) != static_cast<size_t>(length)) {
            return false;  // a NUL byte, an over-long line, or a last line without its newline
        }
        if (length == 1) {
            continue;
        }
        bool known = false;
        char expected[kLineSize];
        for (int c = 0; c < TAV_CCSCH_CONTROLLERS && !known; ++c) {
            snprintf(expected, sizeof expected, "adp%d\n", c);
            if (strcmp(line, expected) == 0 && !seenSection[c]) {
                known = seenSection[c] = true;
                section = c;
            }
        }
        for (int l = 0; l < TAV_CCSCH_LDS && !known && section >= 0; ++l) {
            char digits[TAV_CCSCH_VALUE_TEXT] = "";
            uint64_t value = table->value[section][l];
            if (value != TAV_CCSCH_NONE) {
                decodeCCScheduleValue(value, digits, nullptr, nullptr, nullptr);
            }
            snprintf(expected, sizeof expected, "ld%d:%s\n", l, digits);
            if (strcmp(line, expected) == 0 && !seenDrive[section][l]) {
                known = seenDrive[section][l] = true;
            }
        }
        if (!known) {
            return false;
        }
    }
    return feof(file) && !ferror(file);  // a line that starts with a NUL byte reads as the end
}

// Opens the file for reading: the stream, or nullptr with *result set
// (the outcome of creating a missing file, or TAV_CCSCH_UNREADABLE).
FILE *openForReading(CCScheduleTable *table, int *result)
{
    emptyTable(table);
    char path[PATH_MAX];
    if (!Tool_ResolvePath(kScheduleFile, path, sizeof path)) {
        errno = ENAMETOOLONG;
        *result = TAV_CCSCH_NO_FILE;
        return nullptr;
    }
    FILE *file = tavbase::OpenReadStream(path);
    if (file == nullptr) {
        // Only a missing file means "no schedule"; any other failure (no
        // permission, no descriptor left) says nothing about its content.
        *result = errno == ENOENT ? createEmpty(path) : TAV_CCSCH_UNREADABLE;
    }
    return file;
}

int closeKeepingErrno(FILE *file, int result)
{
    int savedErrno = errno;
    fclose(file);
    errno = savedErrno;
    return result;
}

}  // namespace

TAVCTL_API int readCCScheduleFile(CCScheduleTable *table, uint32_t latestDate)
{
    int result = TAV_CCSCH_DONE;
    FILE *file = openForReading(table, &result);
    if (file == nullptr) {
        return result;
    }
    return closeKeepingErrno(file, readOpened(file, table, latestDate));
}

TAVCTL_API int readCCScheduleFileForRewrite(CCScheduleTable *table, uint32_t latestDate)
{
    int result = TAV_CCSCH_DONE;
    FILE *file = openForReading(table, &result);
    if (file == nullptr) {
        return result;
    }
    CCScheduleTable undated;
    result = readOpened(file, &undated, 0);
    if (result == TAV_CCSCH_DONE && !fileUnderstood(file, &undated)) {
        errno = EILSEQ;
        result = TAV_CCSCH_NOT_UNDERSTOOD;
    }
    if (result == TAV_CCSCH_DONE) {
        result = readOpened(file, table, latestDate);
    }
    return closeKeepingErrno(file, result);
}

TAVCTL_API int writeCCScheduleFile(const CCScheduleTable *table, int emptyLineAtEnd)
{
    char path[PATH_MAX];
    char text[kFileTextSize];
    size_t length = formatTable(table, emptyLineAtEnd, text, sizeof text);
    if (!Tool_ResolvePath(kScheduleFile, path, sizeof path) || length == 0) {
        errno = ENAMETOOLONG;
        return TAV_CCSCH_WRITE;
    }
    switch (Tool_ReplaceFile(path, text, length)) {
    case TOOL_FILE_REPLACED:
        return TAV_CCSCH_DONE;
    case TOOL_FILE_NOT_CREATED:
        return TAV_CCSCH_NO_FILE;
    default:
        return TAV_CCSCH_WRITE;
    }
}
