// TavPasWriteBuffer: WRITE BUFFER (drive firmware download) to a SCSI drive.
// Only the wrapped form passes: a plain CDB reaches whatever the adapter maps
// the target number to (a logical drive, or the adapter itself at target 0).
#include "tavpas_internal.h"

#define SRC_FILE "tavpas_writebuffer"
#define OPERATION_CODE 0x3B

TAVPTH_API uint32_t TavPasWriteBuffer(PassThroughInfo *info, uint8_t *data, uint32_t length, uint8_t *result,
                                      uint32_t *resultLength)
{
    if (info != nullptr && info->cdb[0] != TAVPAS_WRAP_WRITE) {
        return TavPasRefuseForm(SRC_FILE, __LINE__, __func__, result, resultLength, TAVPAS_PARAM_ERROR);
    }
    return TavPasWriteType(SRC_FILE, __func__, OPERATION_CODE, info, data, length, result, resultLength);
}
