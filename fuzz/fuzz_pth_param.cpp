// tavpth's parameter files, in their SCSI and SATA forms, read by the
// commands' own entry points: ANY, P, the media error and error injection
// settings. The adapter set is the fake one of fuzz_adapter.cpp; nothing
// reaches a drive (the command to send fails without a driver). Input: one
// byte picking the command, then the file.
#include <stdio.h>
#include <string.h>

#include "TavPth.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    std::string path = FuzzWriteFile("/param.txt", data + 1, size - 1);
    if (path.empty()) {
        return 0;
    }
    // Picked by the first byte: 0 ANY, 1 P, 2 E, 3 N, 4 A, 5 e, 6 N5, 7 the SATA form of ANY.
    static int (*const kCommands[])(int, char **) = {
        TavFreAnyPassThrough,           TavFixAnyPassThrough,        TavPDHDDMediaErrorSet,
        TavPDHDDErrorInjectionSet,      TavPDHDDErrorInjectionSet_SATA, TavPDHDDMediaErrorSet_SATA,
        TavPDHDDErrorInjectionSet5};
    const size_t count = sizeof kCommands / sizeof kCommands[0];
    size_t pick = data[0] % (count + 1);
    if (pick == count) {
        TavFreAnyPassThrough_SATA(path.c_str());
    } else {
        std::vector<std::string> words = {"tavpth", "file", path};
        std::vector<char *> argv = FuzzArgv(words);
        kCommands[pick](3, argv.data());
    }
    fflush(stdout);
    return 0;
}
