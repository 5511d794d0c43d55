// TavPasInquiry: INQUIRY to a SCSI drive.
#include "tavpas_internal.h"

#define SRC_FILE "tavpas_inquiry"
#define OPERATION_CODE 0x12

TAVPTH_API uint32_t TavPasInquiry(PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                                  uint32_t *resultLength)
{
    return TavPasReadType(SRC_FILE, __func__, OPERATION_CODE, info, data, length, result, resultLength);
}
