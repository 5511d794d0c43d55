// The service's configuration files: tavlog.conf, eventid.conf and
// evtrang.conf. Input: the three files, separated by NUL bytes.
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "tavservice.h"

namespace {

const char *const kFiles[] = {"/opt/morvane/tavutility/conf/tavlog.conf",
                              "/opt/morvane/tavutility/conf/eventid.conf",
                              "/opt/morvane/tavutility/conf/evtrang.conf"};
const uint32_t kProbedIds[] = {0, 1, 22, 260, 0xFFFFFFFFu};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> parts = FuzzSplitParts(data, size, 3);
    for (size_t i = 0; i < 3; ++i) {
        if (i < parts.size()) {
            FuzzWriteFile(kFiles[i], reinterpret_cast<const uint8_t *>(parts[i].data()), parts[i].size());
        } else {
            FuzzRemoveFile(kFiles[i]);
        }
    }
    ServiceConfigs configs;
    memset(&configs, 0, sizeof configs);
    ReadConfigFile(&configs);
    if (memchr(configs.DumpDir, '\0', sizeof configs.DumpDir) == NULL ||
        (configs.eventIdCount != 0 && configs.eventIds == NULL)) {
        abort();
    }
    uint32_t threshold = 0;
    for (uint32_t i = 0; i < configs.eventIdCount; ++i) {
        ThresholdReadConfigFile(configs.eventIds[i], &threshold);
    }
    for (uint32_t id : kProbedIds) {
        ThresholdReadConfigFile(id, &threshold);
    }
    FreeConfigs(&configs);
    return 0;
}
