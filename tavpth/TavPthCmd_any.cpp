/* ANY: a SCSI command from a parameter file with an explicit data length
 * and, for a write, its data. A SATA drive's file is read with the SATA
 * grammar instead. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TavPth.h"

namespace {

const uint8_t kReadCapacity = 0x25;

struct AnyRequest {
    PassThroughInfo info;
    uint8_t *data;
    uint32_t length;
    int read;
};

/* Lines 3 on: CDB, direction, length and, for a write, the data. */
int readAnyBody(PthFile *file, int cont, int drive, AnyRequest *req)
{
    int direction = 0, count = 0, continuous = 0;
    char cdbText[PTH_PATH_SIZE];
    uint8_t cdb[14];
    if (!PthFileCdb(file, 0, sizeof cdb, cdb, &count, cdbText, sizeof cdbText))
        return 0;
    if (!PthFileDigit(file, "Direction", 0, &direction))
        return 0;
    if (direction > 1)
        return PthIllegal(PTH_AT, "Direction");
    if (!PthFileLength(file, 0, &req->length))
        return 0;
    req->read = direction == 0;
    PthWrapped(&req->info, cont, drive, req->read, cdb, static_cast<unsigned>(count));
    if (cdb[0] == kReadCapacity) {
        req->length = 8;
    }
    if (req->read) {
        return MakeAllocData(&req->data, req->length);
    }
    if (req->length != 0) {
        req->data = static_cast<uint8_t *>(calloc(1, req->length + 1));
        if (req->data == nullptr) {
            return PTH_FAIL(TavPthErr0007(PTH_AT, 12, "Failed in PassThrough"));
        }
    }
    if (!PthFileFlag(file, "Continuousness", 0, &continuous))
        return 0;
    return req->length == 0 || PthFileWriteData(file, req->data, req->length, continuous);
}

}  // namespace

int TavFreAnyPassThrough(int, char **argv)
{
    PthFile *file = nullptr;
    if (!PthOpenParameterFile(argv[2], 1023, &file)) {
        return 0;
    }
    int cont = 0, drive = 0;
    uint32_t type = TAVPAS_DEVICE_SCSI;
    if (!PthFileController(file, 0, &cont) || !PthFileDrive(file, 0, cont, &drive)) {
        PthFileClose(file);
        return 0;
    }
    if (getHddType(cont, drive, &type) && type == TAVPAS_DEVICE_SATA) {
        PthFileClose(file);
        return TavFreAnyPassThrough_SATA(argv[2]);
    }
    AnyRequest req;
    memset(&req, 0, sizeof req);
    int ok = readAnyBody(file, cont, drive, &req);
    PthFileClose(file);
    ok = ok && PthSendAndShow(&req.info, req.data, req.length, req.read);
    free(req.data);
    return ok;
}
