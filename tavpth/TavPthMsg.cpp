/* The tool's numbered messages: each goes to standard output and, with the
 * place that raised it, to the trace log. */
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TavPth.h"

namespace {

const char kUsageRule[] = "------------------------------------------------------------------------";

const char kUsage[] = "tavpth L\n"
                      "tavpth F <firmware filename>\n"
                      "tavpth P <parameter filename>\n"
                      "tavpth E <parameter filename>\n"
                      "tavpth N <parameter filename>\n"
                      "tavpth R <parameter filename>\n"
                      "tavpth W <parameter filename>\n"
                      "tavpth D <ControllerNo> <PhysicalDriveNo> <Address> <Save Filename>\n"
                      "tavpth r <ControllerNo> <LogicalDriveNo> <Address>\n"
                      "tavpth w <ControllerNo> <LogicalDriveNo> <Address> <DataHDD>\n"
                      "tavpth ANY <parameter filename>\n"
                      "tavpth PDOneSectorRead <ControllerNo> <PhysicalDriveNo> <Address>\n"
                      "tavpth PDPrintModePage <ControllerNo> <PhysicalDriveNo> <PageCode> <SubPageCode> <DataSize> \n"
                      "tavpth PDOneSectorWrite <ControllerNo> <PhysicalDriveNo> <Address>\n"
                      "tavpth PDHDDCapaChange <ControllerNo> <PhysicalDriveNo> <Capacity>\n"
                      "tavpth LDOneSectorRead <ControllerNo> <LogicalDriveNo> <Address>\n"
                      "tavpth LDOneSectorWrite <ControllerNo> <LogicalDriveNo> <Address>\n"
                      "tavpth N5 <parameter filename>\n"
                      "tavpth r64 <ControllerNo> <LogicalDriveNo> <Address>\n"
                      "tavpth w64 <ControllerNo> <LogicalDriveNo> <Address> <DataHDD>\n"
                      "tavpth A <parameter filename>\n"
                      "tavpth e <parameter filename>\n";

/* The trace names a source by its file name without directory and extension. */
void traceAt(PthWhere at, const char *text)
{
    char module[64];
    const char *base = strrchr(at.file, '/');
    base = base != nullptr ? base + 1 : at.file;
    snprintf(module, sizeof module, "%s", base);
    char *dot = strrchr(module, '.');
    if (dot != nullptr) {
        *dot = '\0';
    }
    char line[1024];
    snprintf(line, sizeof line, "%s", text);
    size_t length = strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r')) {
        line[--length] = '\0';
    }
    dumpLog(module, at.line, line, nullptr, 0);
}

void vmessage(PthWhere at, bool addLineEnd, const char *format, va_list args)
{
    char text[1024];
    vsnprintf(text, sizeof text, format, args);
    fputs(text, stdout);
    if (addLineEnd) {
        fputc('\n', stdout);
    }
    fflush(stdout);
    traceAt(at, text);
}

/* A message whose text carries its own line end ("...\n"). */
void message(PthWhere at, const char *format, ...) __attribute__((format(printf, 2, 3)));
void message(PthWhere at, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vmessage(at, false, format, args);
    va_end(args);
}

/* A message printed as one line (puts). */
void line(PthWhere at, const char *text)
{
    char copy[256];
    snprintf(copy, sizeof copy, "%s", text);
    fputs(copy, stdout);
    fputc('\n', stdout);
    fflush(stdout);
    traceAt(at, copy);
}

}  // namespace

void PthShow(PthWhere at, const char *format, ...)
{
    char text[PTH_PATH_SIZE + 64];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    fputs(text, stdout);
    fflush(stdout);
    PthTrace(at, "## %s", text);
}

void PthTrace(PthWhere at, const char *format, ...)
{
    char text[PTH_PATH_SIZE + 80];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    traceAt(at, text);
}

void TavPthErr0000(PthWhere at)
{
    line(at, "TAV000-I The mistake is found in the parameter.");
    char usage[sizeof kUsage + 2 * sizeof kUsageRule + 4];
    snprintf(usage, sizeof usage, "%s\n%s%s", kUsageRule, kUsage, kUsageRule);
    puts(usage);
    fflush(stdout);
}

void TavPthErr0002(PthWhere at)
{
    line(at, "TAV0002-I PassThrough Tool abnormal end.");
}
void TavPthErr0003(PthWhere at)
{
    line(at, "TAV0003-E Morvane Raid Controller is not found.");
}

void TavPthCause(PthWhere at, const char *cause)
{
    message(at, "Cause: %s.\n", cause);
}

void TavPthErr0004(PthWhere at, const char *call, const char *detail)
{
    message(at, "TAV0004-E %s() failed. detail=%s\n", call, detail);
}

void TavPthErr0004d(PthWhere at, const char *call, uint32_t detail)
{
    message(at, "TAV0004-E %s() failed. detail=0x%08x\n", call, detail);
}

void TavPthErr0005(PthWhere at, unsigned key, unsigned asc, unsigned ascq)
{
    message(at, "TAV0005-E Request sense data  KEY:%02X  ASC:%02X  ASCQ:%02X\n", key, asc, ascq);
}

void TavPthErr0006(PthWhere at, int err)
{
    message(at, "TAV0006-E Parameter file open error. errno=%d, detail=%s\n", err, strerror(err));
}

void TavPthErr0007(PthWhere at, int err, const char *detail)
{
    message(at, "TAV0007-E Memory alloc fail. errno=%d detail=%s\n", err, detail);
}

void TavPthErr0008(PthWhere at, int err)
{
    message(at, "TAV0008-E Firmware data file open error. errno=%d\n", err);
}
void TavPthErr0009(PthWhere at)
{
    line(at, "TAV0009-E Your target DeviceNo doesn't exist.");
}
void TavPthErr0011(PthWhere at, int err)
{
    message(at, "TAV0011-E Saved file open error. errno=%d\n", err);
}

void TavPthErr0013(PthWhere at, const char *call, int err)
{
    message(at, "TAV0013-E %s() failed. errno=%d, detail=%s\n", call, err, strerror(err));
}

void TavPthErr0014(PthWhere at, int argno)
{
    if (argno == 0) {
        line(at, "TAV0014-E Parameter error. argno=*");
    } else {
        message(at, "TAV0014-E Parameter error. argno=%d\n", argno);
    }
}

void TavPthErr0015(PthWhere at)
{
    line(at, "TAV0015-E Unsupported command error.");
}
void TavPthErr0016(PthWhere at, const char *detail)
{
    message(at, "TAV0016-E PassThrough execution error. detail=%s\n", detail);
}
void TavPthErr0017(PthWhere at)
{
    line(at, "TAV0017-E Read and Write command cannot be executed at the same time.");
}
void TavPthErr0021(PthWhere at)
{
    line(at, "TAV0021-E Please do not specify 0 or less for a size of data.");
}

void TavPthErr0022(PthWhere at, const char *label)
{
    message(at, "TAV0022-E Ileagal Parameter. detail=%s\n", label != nullptr ? label : "NULL");
}

void TavPthErr0023(PthWhere at)
{
    line(at, "TAV0023-E Request time out.");
}
void TavPthErr0024(PthWhere at, const char *kind)
{
    message(at, "TAV0024-E <%s> drive does not support this command.\n", kind);
}
void TavPthErr0025(PthWhere at)
{
    line(at, "TAV0025-E This command is vendor specific.");
}
void TavPthErr0026(PthWhere at, const char *vendor)
{
    message(at, "TAV0026-I Supprted by %s.\n", vendor);
}

int PthIllegal(PthWhere at, const char *label)
{
    TavPthErr0022(at, label);
    TavPthErr0002(at);
    return 0;
}

int TavIsErr(uint32_t code, const uint8_t *result)
{
    char text[TAVPAS_RESULT_SIZE + 1];
    memcpy(text, result, TAVPAS_RESULT_SIZE);
    text[TAVPAS_RESULT_SIZE] = '\0';
    switch (code) {
    case TAVPAS_PARAM_ERROR:
        TavPthErr0014(PTH_AT, result[0]);
        break;
    case TAVPAS_NOT_SUPPORTED:
        TavPthErr0015(PTH_AT);
        break;
    case TAVPAS_COMMAND_ERROR:
        PthCutLineEnd(text);
        TavPthErr0016(PTH_AT, text);
        break;
    case TAVPAS_CHECK_CONDITION:
        TavPthErr0005(PTH_AT, result[2] & 0x0Fu, result[12], result[13]);
        break;
    case TAVPAS_SYSTEM_ERROR: {
        char digits[5];
        memcpy(digits, text, 4);
        digits[4] = '\0';
        TavPthErr0013(PTH_AT, strlen(text) > 4 ? text + 4 : "", atoi(digits));
        break;
    }
    case TAVPAS_LOCKED:
        TavPthErr0017(PTH_AT);
        break;
    case 7:
        TavPthErr0007(PTH_AT, atoi(text), "Failed in Library");
        break;
    case TAVPAS_BUSY:
        TavPthErr0023(PTH_AT);
        break;
    default:
        TavPthErr0004(PTH_AT, "TavIsErr", strerror(static_cast<int>(code)));
        break;
    }
    TavPthErr0002(PTH_AT);
    return 0;
}
