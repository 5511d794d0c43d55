// tavlog's reader of its keys in tavlog.conf. Input: the file.
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "tavlog.h"

namespace {

const char kConfFile[] = "/opt/morvane/tavutility/conf/tavlog.conf";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (FuzzWriteFile(kConfFile, data, size).empty()) {
        return 0;
    }
    char value[256];
    memset(value, 'x', sizeof value);
    if (ReadConfigValue("DumpDir", value, sizeof value) && memchr(value, '\0', sizeof value) == NULL) {
        abort();
    }
    ConfigParmGet();
    char dir[4096];
    memset(dir, 'x', sizeof dir);
    if (GetDumpFileDir(dir, sizeof dir) && memchr(dir, '\0', sizeof dir) == NULL) {
        abort();
    }
    return 0;
}
