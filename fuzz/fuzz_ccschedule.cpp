// The consistency-check schedule file: read, written back and read again,
// which must give the same table. Input: the file.
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "tavctl.h"

namespace {

const char kScheduleFile[] = "/opt/morvane/tavutility/conf/ccschedule.conf";
const uint32_t kLatestDate = 20260101;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (FuzzWriteFile(kScheduleFile, data, size).empty()) {
        return 0;
    }
    CCScheduleTable dated;
    readCCScheduleFile(&dated, kLatestDate);
    CCScheduleTable table;
    if (readCCScheduleFile(&table, 0) != TAV_CCSCH_DONE) {
        return 0;
    }
    for (const auto &row : table.value) {
        for (uint64_t value : row) {
            char text[TAV_CCSCH_VALUE_TEXT];
            decodeCCScheduleValue(value, text, NULL, NULL, NULL);
            if (memchr(text, '\0', sizeof text) == NULL) {
                abort();
            }
        }
    }
    if (writeCCScheduleFile(&table, 0) != TAV_CCSCH_DONE) {
        return 0;
    }
    CCScheduleTable again;
    if (readCCScheduleFile(&again, 0) == TAV_CCSCH_DONE && memcmp(&again, &table, sizeof table) != 0) {
        abort();
    }
    return 0;
}
