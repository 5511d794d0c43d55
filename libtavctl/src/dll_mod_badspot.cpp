// Conversion of the adapter's bad-spot tables into the library's records.
#include "tavdllctl_util.h"

namespace {

// Drive table: header, then 16 entries of 16 bytes.
constexpr int BST_STATE = 1;
constexpr int BST_GROUP = 2;
constexpr int BST_BYTE3 = 3;
constexpr int BST_VALUE4 = 4;
constexpr int BST_BYTES8 = 8;
constexpr int BST_FIRST_ENTRY = 16;
constexpr int BST_ENTRY_SIZE = 16;
constexpr int BST_ENTRY_MARK = 8;
constexpr int BST_ENTRY_ADDRESS = 12;

// Logical-drive table: a count, then 64-bit addresses.
constexpr int LBST_COUNT = 0;
constexpr int LBST_ADDRESSES = 8;
constexpr int LBST_ADDRESS_SIZE = 8;

constexpr uint8_t BADSPOT_NONE = 0;
constexpr uint8_t BADSPOT_PRESENT = 6;
constexpr uint8_t BADSPOT_OVER_LIMIT = 22;

uint8_t badSpotState(uint8_t tableState)
{
    if (tableState == 0) {
        return BADSPOT_NONE;
    }
    return (tableState <= 2) ? BADSPOT_PRESENT : BADSPOT_OVER_LIMIT;
}

int nullTable(const char *function, int line)
{
    DLLSetErrorCode(DLL_ERROR_INTERNAL);
    DllReportError(DLL_ERROR_INTERNAL, function, SRC_DLL_MOD, line, 0);
    return 0;
}

}  // namespace

TAVCTL_API int rearrangeBadSpotInfo(const uint8_t *table, DLL_BADSPOT_INFO *info)
{
    if (table == nullptr || info == nullptr) {
        return nullTable(__func__, __LINE__);
    }
    memset(info, 0, sizeof *info);
    info->byte0 = table[0];
    info->state = badSpotState(table[BST_STATE]);
    info->groupNo = table[BST_GROUP];
    info->byte3 = table[BST_BYTE3];
    info->value4 = readBE32(table + BST_VALUE4);
    memcpy(info->bytes8, table + BST_BYTES8, sizeof info->bytes8);
    int count = 0;
    for (int i = 0; i < TAV_BADSPOT_ADDRESSES; ++i) {
        const uint8_t *entry = table + BST_FIRST_ENTRY + BST_ENTRY_SIZE * i;
        if (entry[BST_ENTRY_MARK] != 0) {
            info->address[count++] = readBE32(entry + BST_ENTRY_ADDRESS);
        }
    }
    return 1;
}

TAVCTL_API int rearrangeLDBadSpot64Info(const uint8_t *table, DLL_LD_BADSPOT_INFO64 *info)
{
    if (table == nullptr || info == nullptr) {
        return nullTable(__func__, __LINE__);
    }
    memset(info, 0, sizeof *info);
    info->count = readBE32(table + LBST_COUNT);
    for (int i = 0; i < TAV_LD_BADSPOT_ADDRESSES; ++i) {
        info->address[i] = readBE64(table + LBST_ADDRESSES + LBST_ADDRESS_SIZE * i);
    }
    return 1;
}
