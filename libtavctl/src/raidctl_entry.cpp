// Failure paths shared by the public entry points.
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>

#include "raidctl_entry.h"

void DllEnter(const char *format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    DllTraceCycleStart();
    DLL_Dprintf(3, "%s", line);
    DLLSetErrorCode(DLL_ERROR_NONE);
}

int DllCheckContAndRecord(uint8_t contNo, const void *record, const char *function, int line)
{
    return checkCONTno(contNo, function, SRC_RAIDCTL, line) && DllCheckNull(record, function, line);
}

int DllFailWord(uint32_t code, const char *function, int line)
{
    DLLSetErrorCode(code);
    DllReportError(code, function, SRC_RAIDCTL, line, 0);
    return 0;
}

int DllFailSystem(const char *call, const char *function, int line)
{
    int sysErrno = errno;
    DllSetFunction(call);
    DLLSetErrorCode(DLL_ERROR_SYSTEM);
    DllReportError(DLL_ERROR_SYSTEM, function, SRC_RAIDCTL, line, sysErrno);
    errno = sysErrno;
    return 0;
}

int DllFailArg(uint32_t argCode, const char *function, int line)
{
    return DllFailWord(DLL_ERROR_PARAM | argCode, function, line);
}

uint32_t DllInnerErrorWord(void)
{
    uint32_t inner = DLLGetLastError();
    switch (inner) {
    case DLL_ERROR_LD_STATE:
    case DLL_ERROR_NO_LD:
    case DLL_ERROR_HDD:
        return inner;
    default:
        return inner | DLL_ERROR_INNER;
    }
}

int DllFailInner(const char *function, int line)
{
    return DllFailWord(DllInnerErrorWord(), function, line);
}

int DllCheckNull(const void *pointer, const char *function, int line)
{
    if (pointer != nullptr) {
        return 1;
    }
    return DllFailArg(DLL_ARG_ERROR_NULL, function, line);
}

int DllEndNestedCall(int result)
{
    g_busy_flg = 0;
    return result;
}
