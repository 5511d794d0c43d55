// TavPasReadSectorExt: ATA READ SECTOR(S) EXT from a SATA drive.
#include "tavpas_internal.h"

#define SRC_FILE "tavpas_readsectorext"
#define OPERATION_CODE 0x24

TAVPTH_API uint32_t TavPasReadSectorExt(PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                                        uint32_t *resultLength)
{
    return TavPasAtaType(SRC_FILE, __func__, OPERATION_CODE, false, info, data, length, result, resultLength);
}
