/* F: drive firmware download with WRITE BUFFER mode 7 to every SCSI drive
 * of the MBA/MBB families on every controller. */
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TavPth.h"
#include "tavbase/file.h"

namespace {

const uint32_t kMaxImage = 0xC0000;

/* Reads at most kMaxImage bytes of the image; NULL after the message. */
uint8_t *loadImage(const char *name, uint32_t *size)
{
    char path[PATH_MAX];
    if (realpath(name, path) == nullptr) {
        TavPthErr0004(PTH_AT, "realpath", strerror(errno));
        TavPthErr0002(PTH_AT);
        return nullptr;
    }
    FILE *file = tavbase::OpenReadStream(path);
    if (file == nullptr) {
        TavPthErr0008(PTH_AT, errno);
        TavPthErr0002(PTH_AT);
        return nullptr;
    }
    uint8_t *image = static_cast<uint8_t *>(malloc(kMaxImage));
    if (image == nullptr) {
        fclose(file);
        TavPthErr0007(PTH_AT, ENOMEM, "Failed in PassThrough");
        TavPthErr0002(PTH_AT);
        return nullptr;
    }
    *size = static_cast<uint32_t>(fread(image, 1, kMaxImage, file));
    int failed = ferror(file);
    fclose(file);
    if (failed) {
        free(image);
        TavPthErr0004(PTH_AT, "fread", strerror(EIO));
        TavPthErr0002(PTH_AT);
        return nullptr;
    }
    return image;
}

/* A SCSI drive of a family that takes this download; prints its identity. */
int qualifies(int cont, int drive)
{
    uint32_t type = TAVPAS_DEVICE_SCSI;
    if (!getHddType(cont, drive, &type)) {
        return 0;
    }
    if (type == TAVPAS_DEVICE_SATA) {
        PthTrace(PTH_AT, "[%s] drive of controller[%d] Hdd[%d] skipped for not supported [%s] command.", "SATA", cont,
                 drive, "TavFirmwareUpdate");
        return 0;
    }
    char vendor[9] = {}, product[17] = {}, revision[5] = {};
    if (!GetInquiry(cont, drive, vendor, product, revision, 0) || strncmp(product, "MB", 2) != 0 ||
        (product[2] != 'A' && product[2] != 'B')) {
        return 0;
    }
    PthShowTarget(cont, drive, PTH_KIND_PD);
    PthShow(PTH_AT, "Vendor ID:%s\n", vendor);
    PthShow(PTH_AT, "Product ID:%s\n", product);
    PthShow(PTH_AT, "Product Rev:%c%c%c%c\n\n", revision[0], revision[1], revision[2], revision[3]);
    return 1;
}

int download(int cont, int drive, uint8_t *image, uint32_t size)
{
    for (uint32_t offset = 0; offset < size; offset += PTH_PIECE) {
        uint32_t piece = size - offset < PTH_PIECE ? size - offset : PTH_PIECE;
        uint8_t cdb[10] = {0x3B, 0x07, 0x00};
        PthPutBe(cdb + 3, offset, 3);
        PthPutBe(cdb + 6, piece, 3);
        PassThroughInfo info;
        PthWrapped(&info, cont, drive, 0, cdb, sizeof cdb);
        if (offset == 0) {
            PthPrintCdb(&info);
        }
        if (!PthSendWrite(TavPasWriteBuffer, &info, image + offset, piece)) {
            return 0;
        }
    }
    return 1;
}

}  // namespace

int TavFirmwareUpdate(int, char **argv)
{
    uint32_t size = 0;
    uint8_t *image = loadImage(argv[2], &size);
    if (image == nullptr) {
        return 0;
    }
    uint8_t count = 0;
    int ok = getContNum(&count);
    for (int cont = 0; ok && cont < count; ++cont) {
        for (int drive = 0; ok && drive <= PTH_LAST_DRIVE; ++drive) {
            if (DriveCheck_Silence(cont, drive) && qualifies(cont, drive)) {
                ok = download(cont, drive, image, size);
            }
        }
    }
    free(image);
    return ok;
}
