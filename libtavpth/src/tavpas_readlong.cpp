// TavPasReadLong: READ LONG(10) from a SCSI drive.
#include "tavpas_internal.h"

#define SRC_FILE "tavpas_readlong"
#define OPERATION_CODE 0x3E

TAVPTH_API uint32_t TavPasReadLong(PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                                   uint32_t *resultLength)
{
    return TavPasReadType(SRC_FILE, __func__, OPERATION_CODE, info, data, length, result, resultLength);
}
