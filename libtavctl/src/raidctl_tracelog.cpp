// The trace log file: a ring of 201-byte lines (200 characters and a
// newline) followed by an end marker line, shared by several processes
// under an exclusive flock around every write.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "tavbase/file.h"
#include "tavctl_internal.h"

#define LOG_LINE_WIDTH 200
#define LOG_LINE_SIZE (LOG_LINE_WIDTH + 1)
#define LOG_END_MARKER "<END>"
#define LOG_END_MARKER_LENGTH 5
// The first write reads the ring in blocks of whole lines (about 64 KiB).
#define LOG_SEARCH_LINES 326
#define LOG_SAME_DATA_LINE "                         ---  same data  ---"

namespace {

int g_trace_fd = -1;
int g_trace_maxfilesz = 0;
int g_tracecnt = 0;     // ring index (from 1) of the line written next; 0 before the first write
off_t g_fpos_end = 0;   // end marker offset when it was found in a full ring
off_t g_trace_pos = 0;  // where this process writes next

int ringCapacity()
{
    int slots = g_trace_maxfilesz / LOG_LINE_WIDTH;
    return slots < 2 ? 2 : slots;  // a line and its end marker at least
}

int traceSystemError(const char *call, int sysErrno, int line)
{
    DllSetFunction(call);
    DLLSetErrorCode(DLL_ERROR_SYSTEM);
    DLL_Dprintf(3, "%s(%d) ERROR:SYSTEM %s() DLLErrCode=0x%08X ErrCode=%d\n", SRC_RAIDCTL, line, g_function,
                DLL_ERROR_SYSTEM, sysErrno);
    return 0;
}

bool writeAllAt(const char *bytes, size_t length, off_t offset)
{
    while (length > 0) {
        ssize_t written = pwrite(g_trace_fd, bytes, length, offset);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
        offset += written;
    }
    return true;
}

// Fills out[0..200] with text cut or padded to 200 characters, control
// characters replaced by spaces, and the newline.
void layoutLine(char *out, const char *text, size_t length)
{
    if (length > LOG_LINE_WIDTH) {
        length = LOG_LINE_WIDTH;
    }
    for (size_t i = 0; i < LOG_LINE_WIDTH; ++i) {
        unsigned char c = i < length ? static_cast<unsigned char>(text[i]) : ' ';
        out[i] = (c < 0x20 || c == 0x7F) ? ' ' : static_cast<char>(c);
    }
    out[LOG_LINE_WIDTH] = '\n';
}

// First write of the process: the line after the last one is where the end
// marker stands; without a marker, writing starts over at the top.
int searchEndMarker()
{
    static char block[LOG_SEARCH_LINES * LOG_LINE_SIZE];
    const int capacity = ringCapacity();
    off_t offset = 0;
    int count = 0;
    while (count < capacity) {
        ssize_t got = pread(g_trace_fd, block, sizeof block, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return traceSystemError("fread", errno, __LINE__);
        }
        int lines = static_cast<int>(got / LOG_LINE_SIZE);
        for (int i = 0; i < lines && count < capacity; ++i) {
            ++count;
            const char *line = block + i * LOG_LINE_SIZE;
            if (memcmp(line, LOG_END_MARKER, LOG_END_MARKER_LENGTH) == 0) {
                g_tracecnt = count;
                g_trace_pos = offset + static_cast<off_t>(i) * LOG_LINE_SIZE;
                if (count >= capacity) {
                    g_fpos_end = g_trace_pos;
                }
                return 1;
            }
        }
        if (lines == 0) {
            break;  // end of file, or a partial last line
        }
        offset += static_cast<off_t>(lines) * LOG_LINE_SIZE;
    }
    g_trace_pos = 0;
    g_tracecnt = 1;
    return 1;
}

// Whether the end marker still stands where this process left it; another
// process that wrote since has moved it.
bool markerStillHere()
{
    char head[LOG_END_MARKER_LENGTH];
    ssize_t got;
    do {
        got = pread(g_trace_fd, head, sizeof head, g_trace_pos);
    } while (got < 0 && errno == EINTR);
    return got == LOG_END_MARKER_LENGTH && memcmp(head, LOG_END_MARKER, LOG_END_MARKER_LENGTH) == 0;
}

int dumpLogSrhEnd()
{
    struct stat info;
    if (fstat(g_trace_fd, &info) != 0) {
        return traceSystemError("fstat", errno, __LINE__);
    }
    if (info.st_size == 0) {
        g_tracecnt = 1;
        g_trace_pos = 0;
        return 1;
    }
    if (g_tracecnt != 0) {
        if (g_tracecnt > ringCapacity()) {
            g_trace_pos = 0;
            g_tracecnt = 1;
        }
        return 1;
    }
    return searchEndMarker();
}

// Writes one line at this process's position, followed by the end marker,
// wrapping to the top when the ring is full.
int writeRingLine(const char *text, size_t length)
{
    if (!dumpLogSrhEnd()) {
        return 0;
    }
    char lines[2 * LOG_LINE_SIZE];
    layoutLine(lines, text, length);
    layoutLine(lines + LOG_LINE_SIZE, LOG_END_MARKER, LOG_END_MARKER_LENGTH);
    const off_t linePos = g_trace_pos;
    off_t markerPos = linePos + LOG_LINE_SIZE;
    if (++g_tracecnt > ringCapacity()) {
        g_tracecnt = 1;
        markerPos = 0;
    }
    bool written =
        markerPos == linePos + LOG_LINE_SIZE
            ? writeAllAt(lines, sizeof lines, linePos)
            : writeAllAt(lines, LOG_LINE_SIZE, linePos) && writeAllAt(lines + LOG_LINE_SIZE, LOG_LINE_SIZE, markerPos);
    if (!written) {
        return traceSystemError("fwrite", errno, __LINE__);
    }
    g_trace_pos = markerPos;
    return 1;
}

const char *baseName(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

int dumpLogHeader(const char *srcFile, unsigned line, const char *title)
{
    struct timeval now;
    gettimeofday(&now, nullptr);
    struct tm t;
    localtime_r(&now.tv_sec, &t);
    char header[1024];
    int length = snprintf(header, sizeof header, "[%04d/%02d/%02d %02d:%02d:%02d.%03d] pid=%05d", t.tm_year + 1900,
                          t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(now.tv_usec / 1000),
                          static_cast<int>(getpid()));
    if (srcFile != nullptr && length < LOG_LINE_WIDTH) {
        length += snprintf(header + length, sizeof header - length, " %s", baseName(srcFile));
    }
    if (line != 0 && length < LOG_LINE_WIDTH) {
        length += snprintf(header + length, sizeof header - length, "(%u)", line);
    }
    if (length > LOG_LINE_WIDTH) {
        length = LOG_LINE_WIDTH;
    }
    if (title != nullptr && length < LOG_LINE_WIDTH) {
        // A title that would pass the line's end is cut to fill it exactly.
        size_t room = static_cast<size_t>(LOG_LINE_WIDTH - length - 1);
        length += snprintf(header + length, sizeof header - length, " %.*s", static_cast<int>(room), title);
    }
    return writeRingLine(header, static_cast<size_t>(length));
}

int dumpLogData(const uint8_t *data, unsigned length)
{
    if (!writeRingLine(DUMP_SEPARATOR, strlen(DUMP_SEPARATOR))) {
        return 0;
    }
    char previous[DUMP_LINE_SIZE] = "";
    char line[DUMP_LINE_SIZE];
    bool skipped = false;
    for (unsigned offset = 0; offset < length; offset += DUMP_BYTES_PER_LINE) {
        int size = TavDllFormatDumpLine(line, sizeof line, offset, data + offset, length - offset);
        bool last = length - offset <= DUMP_BYTES_PER_LINE;
        bool same =
            offset != 0 && memcmp(line + DUMP_OFFSET_COLUMN, previous + DUMP_OFFSET_COLUMN, DUMP_HEX_COLUMNS) == 0;
        if (same && !last) {
            skipped = true;
            continue;
        }
        if (skipped && !writeRingLine(LOG_SAME_DATA_LINE, strlen(LOG_SAME_DATA_LINE))) {
            return 0;
        }
        skipped = false;
        if (!writeRingLine(line, static_cast<size_t>(size))) {
            return 0;
        }
        memcpy(previous, line, sizeof line);
    }
    return 1;
}

int lockTraceFile(int operation, int line)
{
    while (flock(g_trace_fd, operation) != 0) {
        if (errno != EINTR) {
            return traceSystemError("flock", errno, line);
        }
    }
    return 1;
}

}  // namespace

void DllCloseTraceLog(void)
{
    if (g_trace_fd >= 0) {
        close(g_trace_fd);
        g_trace_fd = -1;
    }
    g_tracecnt = 0;
    g_fpos_end = 0;
    g_trace_pos = 0;
}

TAVCTL_API int dumpLog(const char *srcFile, unsigned line, const char *title, const void *data, unsigned length)
{
    if (g_trace_fd < 0) {
        return 0;
    }
    if (!lockTraceFile(LOCK_EX, __LINE__)) {
        return 0;
    }
    if (g_tracecnt != 0 && !markerStillHere()) {
        g_tracecnt = 0;  // others wrote since: find the newest line again
    }
    int ok = dumpLogHeader(srcFile, line, title);
    if (ok && data != nullptr && length != 0) {
        ok = dumpLogData(static_cast<const uint8_t *>(data), length);
    }
    if (!lockTraceFile(LOCK_UN, __LINE__)) {
        ok = 0;
    }
    return ok;
}

// The file name alone lands in the installation directory, or in the
// working directory when that directory is missing.
static bool traceLogPath(const char *fileName, char *path, size_t size)
{
    char installDir[4096];
    int needed;
    if (strchr(fileName, '/') == nullptr && DllInstallDir(installDir, sizeof installDir)) {
        needed = snprintf(path, size, "%s%s", installDir, fileName);
    } else {
        needed = snprintf(path, size, "%s", fileName);
    }
    return needed >= 0 && static_cast<size_t>(needed) < size;
}

TAVCTL_API int initLog(const char *fileName, int maxSize)
{
    DllTraceCycleStart();
    if (fileName != nullptr) {
        DLL_Dprintf(3, "CALL - %s() TraceFile=%s MaxFileSize=%d\n", "initLog", fileName, maxSize);
    } else {
        DLL_Dprintf(3, "CALL - %s() MaxFileSize=%d\n", "initLog", maxSize);
    }
    if (!initContData_done) {
        DllResetControllerTable();
        initDLLError();
        registerDLLError();
    }
    DLLSetErrorCode(DLL_ERROR_NONE);
    if (fileName == nullptr || fileName[0] == '\0') {
        DLLSetErrorCode(DLL_ERROR_PARAM | DLL_ARG_ERROR_NULL);
        DLL_Dprintf(3, "%s(%d) ERROR:PARAM DLLErrCode=0x%08X\n", SRC_RAIDCTL, __LINE__,
                    DLL_ERROR_PARAM | DLL_ARG_ERROR_NULL);
        return 0;
    }
    char path[4096];
    if (!traceLogPath(fileName, path, sizeof path)) {
        return traceSystemError("fopen", ENAMETOOLONG, __LINE__);
    }
    DllCloseTraceLog();
    // Never through a symbolic link or a second hard link, and only into a
    // regular file: the log must not overwrite or change the mode of any
    // other file, and a FIFO at the path must not hold up the open.
    int fd = tavbase::OpenFile(path, O_RDWR | O_CREAT, 0744);
    if (fd < 0) {
        return traceSystemError("fopen", errno, __LINE__);
    }
    if (fchmod(fd, 0744) != 0) {
        int sysErrno = errno;
        close(fd);
        return traceSystemError("fchmod", sysErrno, __LINE__);
    }
    g_trace_fd = fd;
    g_trace_maxfilesz = maxSize;
    return 1;
}
