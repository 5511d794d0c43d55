// TavPasModeSelect: MODE SELECT(6) to a SCSI drive; the caller's CDB must name it.
#include "tavpas_internal.h"

#define SRC_FILE "tavpas_modeselect"
#define OPERATION_CODE 0x15

TAVPTH_API uint32_t TavPasModeSelect(PassThroughInfo *info, uint8_t *data, uint32_t length, uint8_t *result,
                                     uint32_t *resultLength)
{
    return TavPasWriteType(SRC_FILE, __func__, OPERATION_CODE, info, data, length, result, resultLength);
}
