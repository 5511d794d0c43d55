// tavcli's firmware image checks: the outer and image headers and the size
// they announce. Input: one flag byte (bit 0: the file has no outer header),
// then the image file.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fuzz_support.h"
#include "tavcli_update.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    std::string path = FuzzWriteFile("/image.bin", data + 1, size - 1);
    if (path.empty()) {
        return 0;
    }
    CliFwImage image;
    memset(&image, 0, sizeof image);
    image.fd = -1;
    image.noHeaderCheck = data[0] & 1;
    if (!CheckAttribute(path.c_str(), &image)) {
        abort();
    }
    if (CheckImagefile(&image)) {
        uint64_t headers = CLI_FW_IMAGE_HEADER + (image.noHeaderCheck ? 0 : CLI_FW_OUTER_HEADER);
        if (image.dataSize == 0 || image.dataSize + headers != size - 1) {
            fprintf(stderr, "accepted image of the wrong size\n");
            abort();
        }
    }
    if (image.fd >= 0) {
        close(image.fd);
    }
    return 0;
}
