// Performance statistics logging: once per tick of the main loop the service
// reads the request in performance.conf and, while a collection runs, every
// `interval` ticks appends the driver's I/O rates of the selected logical
// drives to the requested file, as text or comma-separated values, until
// `count` samples are written or a stop is requested.
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "tavservice.h"

MonitorTable monitor_table;
FILE *pm_fp = nullptr;
int init_fp = 0;

namespace {

constexpr size_t kTraceLine = 151;  // 150 characters and the terminator
constexpr mode_t kWritableMode = 0700;
constexpr mode_t kProtectedMode = 0500;

// The lines of one output format.
struct StatFormat {
    const char *header1;
    const char *header2;
    const char *firstAdapter;
    const char *furtherAdapter;
    const char *drive;
    const char *failedDate;
    const char *failedText;
    const char *complete;
    const char *stopped;
};

const StatFormat kText = {
    "--- Driver Information ---\n",
    "Count Date              Adapter LD    Read[KB/sec]   Write[KB/sec]   Read[IOs/sec]  Write[IOs/sec]\n",
    "%5d %4d/%02d/%02d/%02d:%02d  %-7d     %14llu  %14llu  %14llu  %14llu\n",
    "                        %-7d     %14llu  %14llu  %14llu  %14llu\n",
    "                        %-7d %2d  %14llu  %14llu  %14llu  %14llu\n",
    "%5d %4d/%02d/%02d/%02d:%02d\n",
    "      Statistics information cannot output due to internal error.\n",
    "The output of statistics information was completed.\n",
    "The output of statistics information stopped.\n",
};

const StatFormat kComma = {
    "--- Driver Information ---,\n",
    "Count, Date,Adapter,LD,Read[KB/sec],Write[KB/sec],Read[IOs/sec],Write[IOs/sec],\n",
    "%5d,%4d/%02d/%02d/%02d:%02d,%-7d,,%14llu,%14llu,%14llu,%14llu,\n",
    ",,%-7d,,%14llu,%14llu,%14llu,%14llu,\n",
    ",,%-7d,%2d,%14llu,%14llu,%14llu,%14llu,\n",
    "%5d,%4d/%02d/%02d/%02d:%02d,\n",
    ",Statistics information cannot output due to internal error.,\n",
    "The output of statistics information was completed.,\n",
    "The output of statistics information stopped.,\n",
};

unsigned long long figure(const DrvStatistics &s, int entry, int which)
{
    return static_cast<unsigned long long>(s.entry[entry][which]);
}

struct tm localNow()
{
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    return local;
}

// A path that must not be followed or written through: a symbolic link, a
// directory or anything but a regular file. Ends the collection.
void refuseOutput(const char *why)
{
    prmlogging(__FILE__, __LINE__, "!ERR func=%s %s", "call_open_file", why);
    call_del_regi();
}

void writeSample(const StatFormat &f, const uint8_t read[TAV_MAX_CONTROLLERS],
                 const DrvStatistics stats[TAV_MAX_CONTROLLERS])
{
    if (!call_open_file()) {
        return;
    }
    struct tm t = localNow();
    int first = 1;
    for (int a = 0; a < TAV_MAX_CONTROLLERS; ++a) {
        if (!read[a]) {
            continue;
        }
        const DrvStatistics &s = stats[a];
        if (first) {
            fprintf(pm_fp, f.firstAdapter, monitor_table.taken, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                    t.tm_min, a, figure(s, 0, TAV_STAT_READ_KB), figure(s, 0, TAV_STAT_WRITE_KB),
                    figure(s, 0, TAV_STAT_READ_IOS), figure(s, 0, TAV_STAT_WRITE_IOS));
        } else {
            fprintf(pm_fp, f.furtherAdapter, a, figure(s, 0, TAV_STAT_READ_KB), figure(s, 0, TAV_STAT_WRITE_KB),
                    figure(s, 0, TAV_STAT_READ_IOS), figure(s, 0, TAV_STAT_WRITE_IOS));
        }
        first = 0;
    }
    fputs("\n", pm_fp);
    for (int a = 0; a < TAV_MAX_CONTROLLERS; ++a) {
        for (int l = 0; read[a] && l < TAV_AUTOSTAT_LDS; ++l) {
            if (monitor_table.ldSelected[a][l]) {
                const DrvStatistics &s = stats[a];
                fprintf(pm_fp, f.drive, a, l, figure(s, l + 1, TAV_STAT_READ_KB), figure(s, l + 1, TAV_STAT_WRITE_KB),
                        figure(s, l + 1, TAV_STAT_READ_IOS), figure(s, l + 1, TAV_STAT_WRITE_IOS));
            }
        }
    }
    fputs("\n", pm_fp);
    call_close_file();
}

void writeFailed(const StatFormat &f)
{
    if (!call_open_file()) {
        return;
    }
    struct tm t = localNow();
    fprintf(pm_fp, f.failedDate, monitor_table.taken, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min);
    fputs(f.failedText, pm_fp);
    fputs("\n", pm_fp);
    call_close_file();
}

void writeLine(const char *line)
{
    if (!call_open_file()) {
        return;
    }
    fputs(line, pm_fp);
    call_close_file();
}

const StatFormat &formatOf(uint8_t format)
{
    return format == TAV_AUTOSTAT_TEXT ? kText : kComma;
}

// Sets the collection up from the request; 0 when its output path is refused.
int setUp(const AutoStaticPara &para)
{
    memset(&monitor_table, 0, sizeof monitor_table);
    monitor_table.countdown = para.interval;
    monitor_table.interval = para.interval;
    monitor_table.total = para.count;
    snprintf(monitor_table.fileName, sizeof monitor_table.fileName, "%s", para.fileName);
    monitor_table.format = para.format;
    for (int a = 0; a < TAV_MAX_CONTROLLERS; ++a) {
        for (int l = 0; l < TAV_AUTOSTAT_LDS; ++l) {
            monitor_table.ldSelected[a][l] = para.ldSelected[a][l];
            monitor_table.adapterActive[a] |= para.ldSelected[a][l];
        }
    }
    init_fp = 0;
    struct stat st;
    if (lstat(monitor_table.fileName, &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            refuseOutput("not a regular file");
            return 0;
        }
        if (fchmodat(AT_FDCWD, monitor_table.fileName, kWritableMode, AT_SYMLINK_NOFOLLOW) != 0) {
            prmlogging(__FILE__, __LINE__, "func=%s chmod errno=%d", "prfm_chk_getstate", errno);
        }
        if (unlink(monitor_table.fileName) == 0) {
            prmlogging(__FILE__, __LINE__, "func=%s %s", "prfm_chk_getstate", "file rewrite");
        }
    }
    prmlogging(__FILE__, __LINE__, "func=%s inner table", "prfm_chk_getstate");
    return 1;
}

// One sample of every active adapter: 1 when each answered.
int takeSample(uint8_t read[TAV_MAX_CONTROLLERS], DrvStatistics stats[TAV_MAX_CONTROLLERS])
{
    int any = 0;
    for (int a = 0; a < TAV_MAX_CONTROLLERS; ++a) {
        read[a] = 0;
        if (!monitor_table.adapterActive[a]) {
            continue;
        }
        if (!getDrvstatic(a, &stats[a])) {
            prmlogging(__FILE__, __LINE__, "!ERR func=%s %s val=%d val=%d", "prfm_chk_getstate", "call getDrvstatic", a,
                       static_cast<int>(DLLGetLastError()));
            return 0;
        }
        read[a] = 1;
        any = 1;
    }
    return any;
}

void runState(const AutoStaticPara &para)
{
    prmlogging(__FILE__, __LINE__, "func=%s %s", "prfm_chk_getstate", "call RUN_STATE");
    if (monitor_table.taken != 0 && monitor_table.total <= monitor_table.taken) {
        call_del_regi();
        return;
    }
    if (monitor_table.total == 0 && !setUp(para)) {
        return;
    }
    if (--monitor_table.countdown != 0) {
        prmlogging(__FILE__, __LINE__, "func=%s %s", "prfm_chk_getstate", "next interval");
        return;
    }
    uint8_t read[TAV_MAX_CONTROLLERS];
    DrvStatistics stats[TAV_MAX_CONTROLLERS];
    int ok = takeSample(read, stats);
    ++monitor_table.taken;
    if (ok) {
        prmlogging(__FILE__, __LINE__, "func=%s %s", "prfm_chk_getstate", "disp drv stat");
        monitor_table.format == TAV_AUTOSTAT_TEXT ? TavLogWristatic_t(read, stats) : TavLogWristatic_c(read, stats);
    } else {
        prmlogging(__FILE__, __LINE__, "func=%s %s", "prfm_chk_getstate", "disp err_msg");
        monitor_table.format == TAV_AUTOSTAT_TEXT ? TavLogWristatic_err_t() : TavLogWristatic_err_c();
    }
    if (monitor_table.total == 0) {
        return;  // the output was refused and the collection ended
    }
    if (monitor_table.taken >= monitor_table.total) {
        prmlogging(__FILE__, __LINE__, "func=%s %s", "prfm_chk_getstate", "get compleat");
        monitor_table.format == TAV_AUTOSTAT_TEXT ? TavLogWristatic_fin_t() : TavLogWristatic_fin_c();
        call_del_regi();
        return;
    }
    monitor_table.countdown = para.interval;
    prmlogging(__FILE__, __LINE__, "func=%s %s", "prfm_chk_getstate", "set interval");
}

void stopState(void)
{
    prmlogging(__FILE__, __LINE__, "func=%s %s", "prfm_chk_getstate", "call WAIT_STATE");
    if (monitor_table.total != 0) {
        if (monitor_table.format == TAV_AUTOSTAT_TEXT) {
            TavLogWristatic_stp_t();
        } else if (monitor_table.format == TAV_AUTOSTAT_CSV) {
            TavLogWristatic_stp_c();
        }
        monitor_table.format = 0;
    }
    call_del_regi();
}

void invalidState(void)
{
    prmlogging(__FILE__, __LINE__, "func=%s %s", "prfm_chk_getstate", "call ill STATE");
    prmlogging(__FILE__, __LINE__, "func=%s %s", "prfm_chk_getstate", "disp err_msg");
    if (monitor_table.total != 0 && monitor_table.total > monitor_table.taken && monitor_table.format != 0) {
        ++monitor_table.taken;
        const StatFormat &f = formatOf(monitor_table.format);
        writeFailed(f);
        if (monitor_table.total != 0) {
            writeLine(f.stopped);
        }
        monitor_table.format = 0;
    }
    call_del_regi();
}

}  // namespace

void prmlogging(const char *file, int line, const char *format, ...)
{
    char text[kTraceLine];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Trace_Text(file, line, "%s", text);
}

int read_reg_info(AutoStaticPara *para)
{
    if (!getAutoStaticPara(para)) {
        prmlogging(__FILE__, __LINE__, "!ERR func=%s %s val=%d", "read_reg_info", "call getAutoStaticPara",
                   static_cast<int>(DLLGetLastError()));
        return 1;
    }
    return 0;
}

int del_AutoStatic(void)
{
    AutoStaticPara idle;
    memset(&idle, 0, sizeof idle);
    idle.state = TAV_AUTOSTAT_IDLE;
    idle.format = TAV_AUTOSTAT_TEXT;
    if (!writeAutoStaticFile(&idle)) {
        prmlogging(__FILE__, __LINE__, "!ERR func=%s %s val=%d", "del_AutoStatic", "call fopen", errno);
        return 0;
    }
    memset(&monitor_table, 0, sizeof monitor_table);
    return 1;
}

int call_del_regi(void)
{
    return del_AutoStatic();
}

// Opens the output for appending without following a symbolic link, and
// protects it; writes the header lines first in a new collection.
int call_open_file(void)
{
    const StatFormat &f = formatOf(monitor_table.format);
    const char *path = monitor_table.fileName;
    int flags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = open(path, flags, 0600);
    if (fd < 0 && errno == EACCES && fchmodat(AT_FDCWD, path, kWritableMode, AT_SYMLINK_NOFOLLOW) == 0) {
        fd = open(path, flags, 0600);
    }
    struct stat st;
    if (fd < 0 && (errno == ELOOP || errno == EISDIR || errno == ENXIO)) {
        refuseOutput("not a regular file");
        return 0;
    }
    if (fd < 0) {
        prmlogging(__FILE__, __LINE__, "!ERR func=%s %s val=%d", "call_open_file", "call fopen", errno);
        return 0;
    }
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        refuseOutput("not a regular file");
        return 0;
    }
    if (fchmod(fd, kProtectedMode) != 0) {
        close(fd);
        prmlogging(__FILE__, __LINE__, "!ERR func=%s %s", "call_open_file", "call chmod");
        return 0;
    }
    pm_fp = fdopen(fd, "a");
    if (pm_fp == nullptr) {
        close(fd);
        prmlogging(__FILE__, __LINE__, "!ERR func=%s %s val=%d", "call_open_file", "call fopen", errno);
        return 0;
    }
    if (!init_fp) {
        fputs(f.header1, pm_fp);
        fputs(f.header2, pm_fp);
        init_fp = 1;
    }
    return 1;
}

void call_close_file(void)
{
    if (pm_fp != nullptr) {
        fclose(pm_fp);
        pm_fp = nullptr;
    }
}

void TavLogWristatic_t(const uint8_t read[TAV_MAX_CONTROLLERS], const DrvStatistics stats[TAV_MAX_CONTROLLERS])
{
    writeSample(kText, read, stats);
}

void TavLogWristatic_c(const uint8_t read[TAV_MAX_CONTROLLERS], const DrvStatistics stats[TAV_MAX_CONTROLLERS])
{
    writeSample(kComma, read, stats);
}

void TavLogWristatic_err_t(void)
{
    writeFailed(kText);
}
void TavLogWristatic_err_c(void)
{
    writeFailed(kComma);
}
void TavLogWristatic_fin_t(void)
{
    writeLine(kText.complete);
}
void TavLogWristatic_fin_c(void)
{
    writeLine(kComma.complete);
}
void TavLogWristatic_stp_t(void)
{
    writeLine(kText.stopped);
}
void TavLogWristatic_stp_c(void)
{
    writeLine(kComma.stopped);
}

void prfm_call_ini(void)
{
    call_del_regi();
    memset(&monitor_table, 0, sizeof monitor_table);
    prmlogging(__FILE__, __LINE__, "func=%s %s", "prfm_call_ini", "init monitor_table");
}

void prfm_chk_getstate(void)
{
    AutoStaticPara para;
    int result = read_reg_info(&para);
    if (result != 0) {
        prmlogging(__FILE__, __LINE__, "!ERR func=%s %s val=%d", "prfm_chk_getstate", "call read_reg_info", result);
        return;
    }
    switch (para.state) {
    case TAV_AUTOSTAT_RUN:
        runState(para);
        break;
    case TAV_AUTOSTAT_STOP:
        stopState();
        break;
    case TAV_AUTOSTAT_IDLE:
        memset(&monitor_table, 0, sizeof monitor_table);
        break;
    default:
        invalidState();
        break;
    }
}
