// Positions in the adapter's buffers that depend on the card type.
#include "tavdllctl_util.h"

namespace {

const HddParaLayout kZn5121Layout = {
    12,  /* rawValue */
    20,  /* capacity */
    24,  /* inquiry */
    76,  /* value52 */
    351, /* byte112 */
    376, /* statusByte */
    377, /* statusDetail */
    378, /* linkSpeed */
    379, /* smartState */
    380, /* badSpotState */
    381, /* badSpotCount */
};

const HddParaLayout kZn5120Layout = {
    8,   /* rawValue */
    12,  /* capacity */
    16,  /* inquiry */
    68,  /* value52 */
    211, /* byte112 */
    247, /* statusByte */
    248, /* statusDetail */
    249, /* linkSpeed */
    250, /* smartState */
    251, /* badSpotState */
    252, /* badSpotCount */
};

}  // namespace

const HddParaLayout &hddParaLayout(uint8_t cardType)
{
    return (cardType == CARD_TYPE_ZN5120) ? kZn5120Layout : kZn5121Layout;
}

uint64_t groupCapacityBlocks(const uint8_t *groupPara, uint8_t cardType)
{
    if (cardType == CARD_TYPE_ZN5120) {
        return readBE32(groupPara + GP_CAPACITY32);
    }
    return readBE64(groupPara + GP_CAPACITY64);
}
