// A fake adapter set for the targets that run a program's own option and
// file parsers: four adapters, each with every logical drive and drive
// present. These definitions take the place of the control library's
// (the program's own symbols come first), so no driver is needed and no
// parser path ends the process for a missing adapter.
#include <string.h>

#include "tavctl.h"

namespace {

const uint8_t kAdapters = 4;
const uint8_t kPresent = 0;

}  // namespace

TAVCTL_API int getContNum(uint8_t *count)
{
    *count = kAdapters;
    return 1;
}

TAVCTL_API int getContInfo(int contNo, DLL_GET_CONTROLLER_INFO *info)
{
    memset(info, 0, sizeof *info);
    return contNo >= 0 && contNo < kAdapters;
}

TAVCTL_API int getRaidStatus(uint8_t contNo, DLL_GET_RAID_STATUS *status)
{
    memset(status, 0, sizeof *status);
    memset(status->ldState, kPresent, sizeof status->ldState);
    memset(status->hddState, kPresent, sizeof status->hddState);
    return contNo < kAdapters;
}
