// Trace lines and result-buffer texts of the pass-through library.
#include <stdio.h>
#include <string.h>

#include "tavpas_internal.h"

void TavPasTraceCall(const char *srcFile, unsigned line, const char *function)
{
    char title[128];
    snprintf(title, sizeof title, "CALL - %s()\n", function);
    dumpLog(srcFile, line, title, nullptr, 0);
}

void TavPasTraceParam(const char *srcFile, unsigned line, uint8_t detail)
{
    dumpLog(srcFile, line, "ERROR:PARAM", &detail, sizeof detail);
}

void TavPasTraceSystem(const char *srcFile, unsigned line, const char *call, int sysErrno)
{
    char title[128];
    snprintf(title, sizeof title, "ERROR:SYSTEM %s() ErrCode=%d\n", call, sysErrno);
    dumpLog(srcFile, line, title, nullptr, 0);
}

void TavPasTraceInfo(const char *srcFile, unsigned line, const PassThroughInfo *info)
{
    dumpLog(srcFile, line, "pPassThroughInfo", info, info != nullptr ? sizeof *info : 0);
}

void TavPasTraceResult(const char *srcFile, unsigned line, const uint8_t *result, const uint32_t *resultLength)
{
    dumpLog(srcFile, line, "pResultData", result, resultLength != nullptr ? *resultLength : 0);
}

void TavPasPutDetail(uint8_t *result, uint32_t *resultLength, uint8_t detail)
{
    if (result == nullptr) {
        return;
    }
    result[0] = detail;
    if (resultLength != nullptr) {
        *resultLength = 1;
    }
}

void TavPasRefuseParam(const char *srcFile, unsigned line, uint8_t detail, uint8_t *result, uint32_t *resultLength)
{
    if (detail <= TAVPAS_DETAIL_LENGTH) {
        TavPasPutDetail(result, resultLength, detail);
    }
    TavPasTraceParam(srcFile, line, detail);
}

void TavPasPutSystemText(uint8_t *result, uint32_t *resultLength, int sysErrno, const char *call)
{
    if (result == nullptr || resultLength == nullptr || *resultLength == 0) {
        return;
    }
    char text[64];
    int length = snprintf(text, sizeof text, "%04d%s", sysErrno, call);
    uint32_t size = static_cast<uint32_t>(length) < *resultLength ? static_cast<uint32_t>(length) : *resultLength;
    memcpy(result, text, size);
    if (size < *resultLength) {
        result[size] = '\0';
    }
    *resultLength = size;
}
