// The statistics parameter file performance.conf, read by the control
// library and by the service's collection; a running request read from it is
// written back and must read the same. Input: the file.
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "tavservice.h"

namespace {

const char kParaFile[] = "/opt/morvane/tavutility/conf/performance.conf";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (FuzzWriteFile(kParaFile, data, size).empty()) {
        return 0;
    }
    AutoStaticPara para;
    getAutoStaticPara(&para);
    AutoStaticPara service;
    read_reg_info(&service);
    if (memcmp(&para, &service, sizeof para) != 0) {
        abort();
    }
    if (para.state != TAV_AUTOSTAT_RUN || !writeAutoStaticFile(&para)) {
        return 0;
    }
    AutoStaticPara again;
    getAutoStaticPara(&again);
    if (memcmp(&para, &again, sizeof para) != 0) {
        abort();
    }
    return 0;
}
