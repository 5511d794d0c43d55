// Error registry (one error word per process and thread), the trace table
// with its error and detail lines, the debug log file, the installation
// directory and the time stamp helper.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "tavbase/file.h"
#include "tavctl_internal.h"

#define DLL_ERROR_SLOTS 32
#define SLOT_FREE 255
#define SLOT_IN_USE 0
#define DPRINTF_BUFFER_SIZE 1024
#define DEBUG_LOG_NAME_SIZE 4096
#define DEBUG_LOG_NAME_USED 240
#define INSTALL_DIR "/opt/morvane/tavutility/"
#define DEBUG_TIME_SIZE 46

namespace {

struct DLLErrorSlot {
    uint32_t processId;
    pthread_t threadId;  // whole: two threads may differ only in the high half
    uint32_t errorCode;
    uint8_t freeMarker;
};

DLLErrorSlot DLLError[DLL_ERROR_SLOTS];
bool DLLErrorReady = false;
// Threads of one process register and free slots concurrently.
pthread_mutex_t DLLErrorLock = PTHREAD_MUTEX_INITIALIZER;

char Debuglogfile[DEBUG_LOG_NAME_SIZE];
int Debugflg = 0;
int Debuglevel = 1;
int DebugLogFd = -1;

void freeAllSlotsLocked()
{
    for (DLLErrorSlot &slot : DLLError) {
        slot = DLLErrorSlot{0, pthread_t{}, 0, SLOT_FREE};
    }
    DLLErrorReady = true;
}

// Index of the calling thread's slot, or -1. The table lock is held.
int findSlotLocked()
{
    if (!DLLErrorReady) {
        freeAllSlotsLocked();
    }
    uint32_t pid = static_cast<uint32_t>(getpid());
    pthread_t tid = pthread_self();
    for (int i = 0; i < DLL_ERROR_SLOTS; ++i) {
        const DLLErrorSlot &slot = DLLError[i];
        if (slot.freeMarker == SLOT_IN_USE && slot.processId == pid && pthread_equal(slot.threadId, tid) != 0) {
            return i;
        }
    }
    return -1;
}

bool debugEcho()
{
    return getenv("TAV_DEBUG") != nullptr;
}

struct tm localNow()
{
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    return local;
}

struct ArgErrorName {
    uint32_t code;
    const char *name;
};

const ArgErrorName ArgErrorNames[] = {
    {DLL_ARG_ERROR_NO_SUCH_CONTROLLER, "DLL_ARG_ERROR_NO_SUCH_CONTROLLER"},
    {DLL_ARG_ERROR_CONTNO, "DLL_ARG_ERROR_CONTNO"},
    {DLL_ARG_ERROR_PRIORITY, "DLL_ARG_ERROR_PRIORITY"},
    {DLL_ARG_ERROR_GROUPNO, "DLL_ARG_ERROR_GROUPNO"},
    {DLL_ARG_ERROR_NULL, "DLL_ARG_ERROR_NULL"},
    {DLL_ARG_ERROR_CONFIGLD, "DLL_ARG_ERROR_CONFIGLD"},
    {DLL_ARG_ERROR_HDDNO, "DLL_ARG_ERROR_HDDNO"},
    {DLL_ARG_ERROR_BUZZER, "DLL_ARG_ERROR_BUZZER"},
    {DLL_ARG_ERROR_LOGINDEX, "DLL_ARG_ERROR_LOGINDEX"},
    {DLL_ARG_ERROR_NVOFFSET, "DLL_ARG_ERROR_NVOFFSET"},
    {DLL_ARG_ERROR_SIZESPEC, "DLL_ARG_ERROR_SIZESPEC"},
    {DLL_ARG_ERROR_GLIST_PREVENTLIMIT, "DLL_ARG_ERROR_GLIST_PREVENTLIMIT"},
    {DLL_ERROR_IOCTL_BUSY, "DLL_ERROR_IOCTL_BUSY"},
};

}  // namespace

/* ---- error registry ---- */

TAVCTL_API void initDLLError(void)
{
    pthread_mutex_lock(&DLLErrorLock);
    freeAllSlotsLocked();
    pthread_mutex_unlock(&DLLErrorLock);
}

TAVCTL_API int findDLLErrorIndex(int *index)
{
    pthread_mutex_lock(&DLLErrorLock);
    int found = findSlotLocked();
    pthread_mutex_unlock(&DLLErrorLock);
    if (found < 0) {
        return 0;
    }
    if (index != nullptr) {
        *index = found;
    }
    return 1;
}

TAVCTL_API int registerDLLError(void)
{
    pthread_mutex_lock(&DLLErrorLock);
    int result = 1;
    if (findSlotLocked() < 0) {
        result = 0;
        for (DLLErrorSlot &slot : DLLError) {
            if (slot.freeMarker == SLOT_FREE) {
                slot = DLLErrorSlot{static_cast<uint32_t>(getpid()), pthread_self(), 0, SLOT_IN_USE};
                result = 1;
                break;
            }
        }
    }
    pthread_mutex_unlock(&DLLErrorLock);
    return result;
}

TAVCTL_API void freeDLLError(void)
{
    pthread_mutex_lock(&DLLErrorLock);
    int index = findSlotLocked();
    if (index >= 0) {
        DLLError[index] = DLLErrorSlot{0, pthread_t{}, 0, SLOT_FREE};
    }
    pthread_mutex_unlock(&DLLErrorLock);
}

TAVCTL_API uint32_t DLLGetLastError(void)
{
    pthread_mutex_lock(&DLLErrorLock);
    int index = findSlotLocked();
    uint32_t code = index >= 0 ? DLLError[index].errorCode : 0;
    pthread_mutex_unlock(&DLLErrorLock);
    return code;
}

TAVCTL_API int DLLSetErrorCode(uint32_t code)
{
    pthread_mutex_lock(&DLLErrorLock);
    int index = findSlotLocked();
    if (index >= 0) {
        DLLError[index].errorCode = code;
    }
    pthread_mutex_unlock(&DLLErrorLock);
    return index >= 0 ? 1 : 0;
}

/* ---- trace table ---- */

char g_trace_tbl[TRACE_TABLE_ENTRIES][TRACE_ENTRY_SIZE];
int g_trace_tbl_idx = 0;
int g_busy_flg = 0;
char g_function[256];

static void clearTraceTable()
{
    for (int i = 0; i < g_trace_tbl_idx && i < TRACE_TABLE_ENTRIES; ++i) {
        g_trace_tbl[i][0] = '\0';
    }
    g_trace_tbl_idx = 0;
}

void DllTraceCycleStart(void)
{
    if (g_busy_flg == 0) {
        clearTraceTable();
    }
}

void DllTraceFlush(void)
{
    for (int i = 0; i < g_trace_tbl_idx && i < TRACE_TABLE_ENTRIES; ++i) {
        dumpLog(nullptr, 0, g_trace_tbl[i], nullptr, 0);
    }
    clearTraceTable();
    g_busy_flg = 0;
}

void DllSetFunction(const char *name)
{
    snprintf(g_function, sizeof g_function, "%s", name != nullptr ? name : "");
}

TAVCTL_API void DLL_Dprintf(int level, const char *format, ...)
{
    (void)level;  // every level is kept; the level only documents the line's weight
    char message[DPRINTF_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (debugEcho()) {
        printf("DEBUG MSG : %s", message);
    }
    if (g_trace_tbl_idx < TRACE_TABLE_ENTRIES) {
        snprintf(g_trace_tbl[g_trace_tbl_idx], TRACE_ENTRY_SIZE, "%s", message);
        ++g_trace_tbl_idx;
    }
}

/* ---- error and detail lines ---- */

TAVCTL_API void Debug_print_err(int level, uint32_t code, const char *function, const char *file, int line)
{
    (void)level;
    bool echo = debugEcho();
    if (echo) {
        struct tm t = localNow();
        printf("****** ERROR ****** OS date: %04d/%02d/%02d ** OS time: %02d:%02d:%02d ***** \n", t.tm_year + 1900,
               t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    }
    char text[512];
    snprintf(text, sizeof text, "ERROR:DLLFUNC %s() DllErrCode=0x%.8x\n", function != nullptr ? function : "", code);
    if (echo) {
        printf("%s", text);
    }
    DllTraceFlush();
    dumpLog(file, static_cast<unsigned>(line), text, nullptr, 0);
}

TAVCTL_API void Debug_print_msg(int level, uint32_t code, uint32_t commandError, uint32_t argCode, int sysErrno,
                                const char *file, int line)
{
    (void)level;
    char detail[1024];
    if (code & DLL_ERROR_SYSTEM) {
        snprintf(detail, sizeof detail, "ERROR:SYSTEM %s() ErrCode=%d Detail=%s\n", g_function, sysErrno,
                 strerror(sysErrno));
    } else if (code & (DLL_ERROR_DRIVER_BUSY | DLL_ERROR_COMMAND)) {
        char inner[256];
        snprintf(inner, sizeof inner, "ErrCode=%d IOC_CODE=%d IOCerr=%d\n", static_cast<int>(code), sysErrno,
                 static_cast<int>(commandError));
        snprintf(detail, sizeof detail, "ERROR:IOCTL %s", inner);
    } else if (code & DLL_ERROR_PARAM) {
        snprintf(detail, sizeof detail, "ERROR:PARAM %s\n", ArgErrCode2msg(argCode));
    } else {
        return;
    }
    DllTraceFlush();
    dumpLog(file, static_cast<unsigned>(line), detail, nullptr, 0);
    if (debugEcho()) {
        printf("%s(%d) DEBUG MSG : %s", file != nullptr ? file : "", line, detail);
    }
}

TAVCTL_API void Debug_print_calledfuncname(int level, const char *name)
{
    DLL_Dprintf(level, "\tcalled funcname = %s\n", name != nullptr ? name : "");
}

TAVCTL_API const char *ArgErrCode2msg(uint32_t argCode)
{
    for (const ArgErrorName &entry : ArgErrorNames) {
        if (entry.code == argCode) {
            return entry.name;
        }
    }
    DLLSetErrorCode(DLL_ERROR_INTERNAL);
    Debug_print_err(1, DLL_ERROR_INTERNAL, "ArgErrCode2msg", SRC_DLL_MOD, __LINE__);
    return "";
}

void DllReportCommandError(uint32_t code, uint32_t commandError, const char *function, const char *file, int line,
                           int sysErrno)
{
    Debug_print_err(1, code, function, file, line);
    if (code & DLL_ERROR_INNER) {
        return;  // the inner call has written its own detail line
    }
    if (code & DLL_ERROR_SYSTEM) {
        Debug_print_msg(1, DLL_ERROR_SYSTEM, 0, 0, sysErrno, file, line);
    } else if (code & (DLL_ERROR_DRIVER_BUSY | DLL_ERROR_COMMAND)) {
        Debug_print_msg(1, code, commandError, 0, sysErrno, file, line);
    } else if (code & DLL_ERROR_PARAM) {
        Debug_print_msg(1, DLL_ERROR_PARAM, 0, code & ~DLL_ERROR_PARAM, 0, file, line);
    }
}

void DllReportError(uint32_t code, const char *function, const char *file, int line, int sysErrno)
{
    DllReportCommandError(code, 0, function, file, line, sysErrno);
}

static thread_local int t_lastSystemErrno = 0;

int DllLastSystemErrno(void)
{
    return t_lastSystemErrno;
}

int DllReportSystemFailure(const char *call, const char *function, const char *file, int line, int sysErrno)
{
    t_lastSystemErrno = sysErrno;
    DllSetFunction(call);
    DLLSetErrorCode(DLL_ERROR_SYSTEM);
    DllReportError(DLL_ERROR_SYSTEM, function, file, line, sysErrno);
    return 0;
}

/* ---- debug log file ---- */

void DllCloseDebugLog(void)
{
    if (DebugLogFd >= 0) {
        close(DebugLogFd);
        DebugLogFd = -1;
    }
}

static int debugOnFailure(const char *call, int sysErrno, int line)
{
    DllReportSystemFailure(call, "DebugOn", SRC_DLL_MOD, line, sysErrno);
    DllCloseDebugLog();
    Debugflg = 0;
    return 0;
}

static bool writeAll(int fd, const char *text)
{
    size_t length = strlen(text);
    return write(fd, text, length) == static_cast<ssize_t>(length);
}

TAVCTL_API int DebugOn(const char *fileName)
{
    DllTraceCycleStart();
    DLL_Dprintf(3, "CALL - %s() filename=%s\n", "DebugOn", fileName != nullptr ? fileName : "(null)");
    DLLSetErrorCode(DLL_ERROR_NONE);
    if (fileName == nullptr) {
        DLLSetErrorCode(DLL_ERROR_PARAM | DLL_ARG_ERROR_NULL);
        DllReportError(DLL_ERROR_PARAM | DLL_ARG_ERROR_NULL, "DebugOn", SRC_DLL_MOD, __LINE__, 0);
        return 0;
    }
    if (strlen(fileName) > DEBUG_LOG_NAME_USED) {
        // Cutting the name would open another file than the one asked for.
        return debugOnFailure("open", ENAMETOOLONG, __LINE__);
    }
    Debugflg = 1;
    snprintf(Debuglogfile, DEBUG_LOG_NAME_USED + 1, "%s", fileName);
    DllCloseDebugLog();
    DebugLogFd = tavbase::OpenFile(Debuglogfile, O_RDWR | O_CREAT, 0600);
    if (DebugLogFd < 0) {
        return debugOnFailure("open", errno, __LINE__);
    }
    if (fchmod(DebugLogFd, 0600) != 0) {
        return debugOnFailure("fchmod", errno, __LINE__);
    }
    if (lseek(DebugLogFd, 0, SEEK_END) < 0) {
        return debugOnFailure("lseek", errno, __LINE__);
    }
    struct tm t = localNow();
    char banner[512];
    snprintf(banner, sizeof banner,
             "============== raidctl Debug log file =================\n"
             "=====  OS date: %04d/%02d/%02d == time: %02d:%02d:%02d ==\n"
             "=====  compiled date: %s =====\n"
             "DLL version = %s\n",
             t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, __DATE__, TAVCTL_VERSION);
    if (!writeAll(DebugLogFd, banner)) {
        return debugOnFailure("write", errno, __LINE__);
    }
    return 1;
}

TAVCTL_API int DLLSetDebugLevel(int level)
{
    if (level < 1 || level > 4) {
        return 0;
    }
    Debuglevel = level;
    return 1;
}

/* ---- installation directory and time ---- */

// Copies the resolved installation directory into buffer: 1 when it exists,
// 0 when it does not fit, -1 when it is missing.
static int locateInstallDir(char *buffer, size_t size)
{
    char resolved[4096];
    if (buffer == nullptr || !Tool_ResolvePath(INSTALL_DIR, resolved, sizeof resolved) || strlen(resolved) >= size) {
        return 0;
    }
    struct stat info;
    if (stat(resolved, &info) != 0 || !S_ISDIR(info.st_mode)) {
        return -1;
    }
    snprintf(buffer, size, "%s", resolved);
    return 1;
}

int DllInstallDir(char *buffer, size_t size)
{
    return locateInstallDir(buffer, size) == 1 ? 1 : 0;
}

TAVCTL_API int getInstallDir(int size, char *buffer)
{
    if (size <= 0) {
        return 0;
    }
    int found = locateInstallDir(buffer, static_cast<size_t>(size));
    if (found < 0) {
        DllSetFunction("stat");
        DLLSetErrorCode(DLL_ERROR_SYSTEM);
    }
    return found == 1 ? 1 : 0;
}

TAVCTL_API char *Debug_time(char *buffer, int unused)
{
    (void)unused;
    if (buffer == nullptr) {
        return nullptr;
    }
    struct tm t = localNow();
    char stamp[128];
    snprintf(stamp, sizeof stamp, "-----  OS: date %04d/%02d/%02d -- time: %02d:%02d:%02d ", t.tm_year + 1900,
             t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    // The caller's buffer holds the 45-character stamp and its terminator.
    size_t length = strnlen(stamp, DEBUG_TIME_SIZE - 1);
    memcpy(buffer, stamp, length);
    buffer[length] = '\0';
    return buffer;
}
