// TavPasModeSense: MODE SENSE(6) to a SCSI drive.
#include "tavpas_internal.h"

#define SRC_FILE "tavpas_modesense"
#define OPERATION_CODE 0x1A

TAVPTH_API uint32_t TavPasModeSense(PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                                    uint32_t *resultLength)
{
    return TavPasReadType(SRC_FILE, __func__, OPERATION_CODE, info, data, length, result, resultLength);
}
