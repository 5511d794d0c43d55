// tavpth's parameter files of the ANY command, in their SCSI and SATA
// forms, read by the command's own entry points. The adapter set is the
// fake one of fuzz_adapter.cpp; nothing reaches a drive (the command to send
// fails without a driver). Input: one byte (bit 0: the SATA form), then the
// file.
#include <stdio.h>
#include <string.h>

#include "TavPth.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzRoot();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    std::string path = FuzzWriteFile("/param.txt", data + 1, size - 1);
    if (path.empty()) {
        return 0;
    }
    if (data[0] & 1) {
        TavFreAnyPassThrough_SATA(path.c_str());
    } else {
        std::vector<std::string> words = {"tavpth", "any", path};
        std::vector<char *> argv = FuzzArgv(words);
        TavFreAnyPassThrough(3, argv.data());
    }
    fflush(stdout);
    return 0;
}
