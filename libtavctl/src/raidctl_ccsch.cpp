// Public operations on the consistency-check schedule file: set, read and
// delete one logical drive's weekly schedule, and read the whole table.
// The file is read afresh by every call; callers that change it hold the
// schedule lock.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <syslog.h>

#include "raidctl_entry.h"

namespace {

constexpr int kDetailDeletedOnRequest = 4;  // detailed error of the 04500 report
constexpr uint8_t kMessageVariantSyslog = 3;
constexpr uint8_t kMessageVariantDefault = 1;

// The controller, then the logical-drive number: checkGROUPno's range, and
// the table's eight places within it.
int checkScheduleTarget(int contNo, int groupNo, const char *function, int line)
{
    if (!checkCONTno(contNo, function, SRC_RAIDCTL, line) || !checkGROUPno(groupNo, function, SRC_RAIDCTL, line)) {
        return 0;
    }
    if (groupNo >= TAV_CCSCH_LDS) {
        return DllFailArg(DLL_ARG_ERROR_GROUPNO, function, line);
    }
    return 1;
}

int failedRead(int result, const char *function, int line)
{
    const char *call = "fopen";
    if (result == TAV_CCSCH_POSITION) {
        call = "ftell";
    } else if (result == TAV_CCSCH_NOT_UNDERSTOOD) {
        call = "fgets";
    }
    return DllFailSystem(call, function, line);
}

int readTable(CCScheduleTable *table, const char *function, int line)
{
    int result = readCCScheduleFile(table, 0);
    return result == TAV_CCSCH_DONE ? 1 : failedRead(result, function, line);
}

int writeTable(const CCScheduleTable *table, const char *function, int line)
{
    int result = writeCCScheduleFile(table, 0);
    if (result == TAV_CCSCH_DONE) {
        return 1;
    }
    return DllFailSystem(result == TAV_CCSCH_NO_FILE ? "fopen" : "rename", function, line);
}

// Stores one value: read the table, change it, write it back. A file with
// lines the table would not keep is left as it is (system error EILSEQ).
int storeValue(int contNo, int groupNo, uint64_t value, const char *function)
{
    CCScheduleTable table;
    int result = readCCScheduleFileForRewrite(&table, 0);
    if (result != TAV_CCSCH_DONE) {
        return failedRead(result, function, __LINE__);
    }
    table.value[contNo][groupNo] = value;
    return writeTable(&table, function, __LINE__);
}

// The controller's message variant; a failure counts as variant 1 and is
// only traced.
uint8_t messageVariant(int contNo, const char *function)
{
    uint8_t variant = kMessageVariantDefault;
    if (!DLL_NESTED_CALL(getOslogver(static_cast<uint8_t>(contNo), &variant))) {
        uint32_t inner = DLLGetLastError() | DLL_ERROR_INNER;
        DllReportError(inner, function, SRC_RAIDCTL, __LINE__, 0);
        DLLSetErrorCode(DLL_ERROR_NONE);
        variant = kMessageVariantDefault;
    }
    return variant;
}

void reportDeletion(int contNo, int groupNo, uint8_t variant)
{
    if (variant == kMessageVariantSyslog) {
        char controller[16], drive[16], detail[16];
        snprintf(controller, sizeof controller, "%d", contNo);
        snprintf(drive, sizeof drive, "%d", groupNo);
        snprintf(detail, sizeof detail, "0x%02d", kDetailDeletedOnRequest);
        openlog("tavservice", LOG_PID | LOG_CONS, LOG_DAEMON);
        syslog(LOG_DAEMON | LOG_INFO,
               "tavutil: Controller [%s] Logical Drive [%s] The schedule of Consistency Check was deleted. "
               "detailed error: %s. EventID: 04500.",
               controller, drive, detail);
        closelog();
        return;
    }
    DllTraceFlush();  // a full trace table would drop the line
    DLL_Dprintf(1,
                "Controller [%d] Logical Drive [%d] The schedule of Consistency Check was deleted. "
                "detailed error: 0x%02d.\n",
                contNo, groupNo, kDetailDeletedOnRequest);
    DllTraceFlush();
}

}  // namespace

TAVCTL_API int getConfCCSchedule(CCScheduleTable *table)
{
    DLLSetErrorCode(DLL_ERROR_NONE);
    if (!DllCheckNull(table, __func__, __LINE__)) {
        return 0;
    }
    return readTable(table, __func__, __LINE__);
}

TAVCTL_API int setCCSchedule(int contNo, int groupNo, int day, int hour)
{
    DllEnter("CALL - %s() CONTno=%d GROUPno=%d\n", __func__, contNo, groupNo);
    if (!checkScheduleTarget(contNo, groupNo, __func__, __LINE__)) {
        return 0;
    }
    char text[32];
    snprintf(text, sizeof text, "%d%02d", day, hour);
    return storeValue(contNo, groupNo, strtoull(text, nullptr, 10), __func__);
}

TAVCTL_API int getCCSchedule(int contNo, int groupNo, uint8_t *isSet, uint8_t *day, uint8_t *hour)
{
    DllEnter("CALL - %s() CONTno=%d GROUPno=%d\n", __func__, contNo, groupNo);
    if (!checkScheduleTarget(contNo, groupNo, __func__, __LINE__) || !DllCheckNull(isSet, __func__, __LINE__) ||
        !DllCheckNull(day, __func__, __LINE__) || !DllCheckNull(hour, __func__, __LINE__)) {
        return 0;
    }
    *isSet = *day = *hour = 0;
    CCScheduleTable table;
    if (!readTable(&table, __func__, __LINE__)) {
        return 0;
    }
    uint64_t value = table.value[contNo][groupNo];
    if (value != TAV_CCSCH_NONE) {
        decodeCCScheduleValue(value, nullptr, day, hour, nullptr);
        *isSet = 1;
    }
    return 1;
}

TAVCTL_API int deleteCCSchedule(int contNo, int groupNo)
{
    DllEnter("CALL - %s() CONTno=%d GROUPno=%d\n", __func__, contNo, groupNo);
    if (!checkScheduleTarget(contNo, groupNo, __func__, __LINE__)) {
        return 0;
    }
    uint8_t variant = messageVariant(contNo, __func__);
    if (!storeValue(contNo, groupNo, TAV_CCSCH_NONE, __func__)) {
        return 0;
    }
    reportDeletion(contNo, groupNo, variant);
    return 1;
}
