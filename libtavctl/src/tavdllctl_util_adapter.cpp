// Adapter-level steps on the adapter's parameter buffers and setting pages.
#include "tavdllctl_util.h"

namespace {

// MODE SENSE of a page (with its 4-byte mode header) into a 256-byte buffer.
int senseModePage(uint8_t page, uint8_t *buffer)
{
    return CmdExe_ModeSenseSized(_PCIADR, 0, page, buffer, MODE_BUFFER_SIZE) == 0;
}

// Turns a sensed page back into a MODE SELECT parameter list and sends it:
// the mode data length byte is reserved on select, and the page code byte
// goes without its saveable bit.
int selectModePage(uint8_t page, uint8_t *buffer, uint8_t pageSize)
{
    buffer[0] = 0;
    buffer[MODE_HEADER_SIZE] = page;
    return CmdExe_ModeSelect(_PCIADR, 0, buffer, static_cast<uint8_t>(MODE_HEADER_SIZE + pageSize)) == 0;
}

}  // namespace

TAVCTL_API int TavDllAdapterInfo(uint8_t contNo, uint8_t *sysPara)
{
    return TavDllLcSetupAdapter(contNo) && TavDllReadBuffer(BUF_COMMON_STATUS, sysPara, TAV_PARA_SIZE, 0);
}

TAVCTL_API int TavDllAdapterRevInfo(uint8_t contNo, uint8_t *contPara)
{
    return TavDllLcSetupAdapter(contNo) && TavDllReadBuffer(BUF_CONT_PARA, contPara, TAV_PARA_SIZE, 0);
}

TAVCTL_API int TavDllAdapterSetInfo(uint8_t contNo, uint8_t *page31, uint8_t *page36)
{
    return TavDllLcSetupAdapter(contNo) && TavDllReadSettingPages(page31, page36);
}

int TavDllReadSettingPages(uint8_t *page31, uint8_t *page36)
{
    uint8_t buffer[MODE_BUFFER_SIZE];
    if (!senseModePage(PAGE_PRIORITY, buffer)) {
        return 0;
    }
    memcpy(page31, buffer + MODE_HEADER_SIZE, PAGE31_SIZE);
    if (!senseModePage(PAGE_PATROL, buffer)) {
        return 0;
    }
    memcpy(page36, buffer + MODE_HEADER_SIZE, PAGE36_SIZE);
    return 1;
}

TAVCTL_API int TavDllRebuildPatrolPriority(uint8_t contNo, uint16_t idle, uint16_t busy, uint16_t patrol)
{
    uint8_t priority[MODE_BUFFER_SIZE];
    uint8_t patrolPage[MODE_BUFFER_SIZE];
    if (!TavDllLcSetupAdapter(contNo) || !senseModePage(PAGE_PRIORITY, priority) ||
        !senseModePage(PAGE_PATROL, patrolPage)) {
        return 0;
    }
    writeBE16(priority + MODE_HEADER_SIZE + P31_REBUILD_IDLE, idle);
    writeBE16(priority + MODE_HEADER_SIZE + P31_REBUILD_BUSY, busy);
    writeBE16(patrolPage + MODE_HEADER_SIZE + P36_PATROL_DELAY, patrol);
    return selectModePage(PAGE_PRIORITY, priority, PAGE31_SIZE) && selectModePage(PAGE_PATROL, patrolPage, PAGE36_SIZE);
}

TAVCTL_API int TavDllSetGList(uint8_t contNo, const DLL_GLIST_INFO *glist)
{
    uint8_t buffer[MODE_BUFFER_SIZE];
    if (!TavDllLcSetupAdapter(contNo) || !senseModePage(PAGE_PATROL, buffer)) {
        return 0;
    }
    uint8_t *page = buffer + MODE_HEADER_SIZE;
    writeBE16(page + P36_GLIST_PREVENT, glist->preventLimit);
    writeBE16(page + P36_GLIST_MONTH, glist->oneMonth);
    writeBE16(page + P36_GLIST_HALF_YEAR, glist->halfYear);
    writeBE16(page + P36_GLIST_YEAR, glist->oneYear);
    return selectModePage(PAGE_PATROL, buffer, PAGE36_SIZE);
}
