// TavPasWriteSectorExt: ATA WRITE SECTOR(S) EXT to a SATA drive.
#include "tavpas_internal.h"

#define SRC_FILE "tavpas_writesectorext"
#define OPERATION_CODE 0x34

TAVPTH_API uint32_t TavPasWriteSectorExt(PassThroughInfo *info, uint8_t *data, uint32_t length, uint8_t *result,
                                         uint32_t *resultLength)
{
    uint32_t copy = length;
    return TavPasAtaType(SRC_FILE, __func__, OPERATION_CODE, true, info, data, &copy, result, resultLength);
}
