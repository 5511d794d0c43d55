// TavPasWriteExtend: WRITE(10) to a SCSI drive; the caller's CDB must name it.
#include "tavpas_internal.h"

#define SRC_FILE "tavpas_writeextend"
#define OPERATION_CODE 0x2A

TAVPTH_API uint32_t TavPasWriteExtend(PassThroughInfo *info, uint8_t *data, uint32_t length, uint8_t *result,
                                      uint32_t *resultLength)
{
    return TavPasWriteType(SRC_FILE, __func__, OPERATION_CODE, info, data, length, result, resultLength);
}
