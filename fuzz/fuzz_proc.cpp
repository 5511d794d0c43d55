// The driver's /proc adapter file, read by the control library's adapter
// discovery and by the service's controller discovery. Input: the file.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "tavctl_internal.h"
#include "tavservice.h"

namespace {

const char kProcFile[] = "/proc/scsi/tavdrv/0";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (FuzzWriteFile(kProcFile, data, size).empty()) {
        return 0;
    }
    AT_FindAdapter();
    static RaidControllerEntry controllers[TAV_MAX_CONTROLLERS];
    memset(controllers, 0, sizeof controllers);
    std::string directory = FuzzRoot() + "/proc/scsi/tavdrv";
    int found = ParseProcDirectory(directory.c_str(), controllers, TAV_MAX_CONTROLLERS);
    if (found < 0 || found > 1) {
        abort();
    }
    for (const RaidControllerEntry &c : controllers) {
        if (memchr(c.name, '\0', sizeof c.name) == NULL ||
            memchr(c.procInfo.cardType, '\0', sizeof c.procInfo.cardType) == NULL ||
            memchr(c.procInfo.driverVersion, '\0', sizeof c.procInfo.driverVersion) == NULL) {
            abort();
        }
    }
    return 0;
}
