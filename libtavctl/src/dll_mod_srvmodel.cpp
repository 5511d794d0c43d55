// Server model: the server group of the machine, from the system version in
// its DMI table, which chooses the system-log message version.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "raidctl_entry.h"

namespace {

constexpr size_t SYSTEM_VERSION_CODE_LENGTH = 10;
constexpr uint8_t SERVER_GROUP_OTHER = 3;

struct ServerGroupCode {
    const char *code;
    uint8_t group;
};

const ServerGroupCode kServerGroups[] = {
    {"SVA1000001", 1}, {"SVA1000002", 1}, {"SVA2000003", 1}, {"SVA2000004", 1}, {"SVB1000001", 2}, {"SVB1000002", 2},
};

uint8_t serverGroupOf(const char *systemVersion)
{
    for (const ServerGroupCode &entry : kServerGroups) {
        if (strncmp(systemVersion, entry.code, SYSTEM_VERSION_CODE_LENGTH) == 0) {
            return entry.group;
        }
    }
    return SERVER_GROUP_OTHER;
}

}  // namespace

TAVCTL_API int getSrvModel(uint8_t *group)
{
    DllEnter("CALL - %s()\n", __func__);
    if (!DllCheckNull(group, __func__, __LINE__)) {
        return 0;
    }
    FILE *output = popen("dmidecode -s system-version", "r");
    if (output == nullptr) {
        return DllReportSystemFailure("popen", "getSrvModel", SRC_DLL_MOD, __LINE__, errno);
    }
    char word[256];
    errno = 0;
    int scanned = fscanf(output, "%255s", word);
    int scanErrno = errno;
    pclose(output);
    if (scanned != 1) {
        return DllReportSystemFailure("fscanf", "getSrvModel", SRC_DLL_MOD, __LINE__, scanErrno);
    }
    *group = serverGroupOf(word);
    return 1;
}
