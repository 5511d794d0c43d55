// Public operations on the adapter: what it is, its parameter buffers, its
// rebuild priorities, patrol-read delay and G-list prevent limits, the library
// version and the system-log message version.
#include <stdio.h>
#include <string.h>

#include "raidctl_entry.h"
#include "raidctl_records.h"

const char LinuxDLLVer[10] = TAVCTL_VERSION;

namespace {

constexpr int BYTES_PER_MB_SHIFT = 20;

constexpr int PRIORITY_MIN = 1;
constexpr int PRIORITY_MAX = 3;

constexpr int OSLOG_VERSION_GROUP12 = 1;
constexpr int OSLOG_VERSION_OTHER_SERVER = 2;
constexpr int OSLOG_VERSION_GENERATION1 = 3;
constexpr int SERVER_GROUP_OTHER = 3;

const char *modelName(uint8_t cardType)
{
    switch (cardType) {
    case CARD_TYPE_ZN5120:
        return "ZN5120";
    case CARD_TYPE_ZN5121:
        return "ZN5121";
    default:
        return "";
    }
}

// Before initContData only the range of the number can be checked.
int checkContInfoNumber(int contNo)
{
    if (initContData_done) {
        return checkCONTno(contNo, "getContInfo", SRC_RAIDCTL, __LINE__);
    }
    if (contNo < 0 || contNo >= TAV_MAX_ADAPTERS) {
        return DllFailArg(DLL_ARG_ERROR_CONTNO, "getContInfo", __LINE__);
    }
    return 1;
}

}  // namespace

void fillControllerInfo(int contNo, const DLL_CONT_PARA &contPara, const uint8_t *page31, const uint8_t *page36,
                        DLL_GET_CONTROLLER_INFO *info)
{
    memset(info, 0, sizeof *info);
    info->contNo = static_cast<uint8_t>(contNo);
    TavDllGetSlotInfo(contNo, &info->pciBus, &info->pciDevice);
    info->adapterVersion = contPara.adapterVersion;
    for (int i = 0; i < 4; ++i) {
        info->driverVersion[i] = _DRVVER[contNo][i];
    }
    memcpy(info->contPara0, contPara.head, sizeof info->contPara0);
    memcpy(info->contPara74, contPara.value74, sizeof info->contPara74);
    info->totalMemoryMB = readBE32(contPara.totalMemory) >> BYTES_PER_MB_SHIFT;
    info->cacheSizeMB = readBE32(contPara.cacheSize) >> BYTES_PER_MB_SHIFT;
    info->writeCacheSizeMB = readBE32(contPara.writeCacheSize) >> BYTES_PER_MB_SHIFT;
    info->rebuildPriorityIdle = readBE16(page31 + P31_REBUILD_IDLE);
    info->rebuildPriorityBusy = readBE16(page31 + P31_REBUILD_BUSY);
    info->patrolDelay = readBE16(page36 + P36_PATROL_DELAY);
    info->contPara72 = contPara.byte72;
    snprintf(info->modelName, sizeof info->modelName, "%s", modelName(_CardType));
    memcpy(info->generalRevision, contPara.generalRevision, sizeof info->generalRevision);
    info->cardType = _TYPE[contNo];
}

namespace {

enum PrioritySetting { REBUILD_IDLE, REBUILD_BUSY, PATROL_DELAY };

int checkPriority(uint8_t value, const char *function, int line)
{
    if (value >= PRIORITY_MIN && value <= PRIORITY_MAX) {
        return 1;
    }
    return DllFailArg(DLL_ARG_ERROR_PRIORITY, function, line);
}

// Changes one of the three settings and sends the other two as the adapter
// reports them right now.
int changePrioritySetting(uint8_t contNo, PrioritySetting setting, uint8_t value, const char *function)
{
    DllEnter("CALL - %s() CONTno=%d priority=%d\n", function, contNo, value);
    if (!checkCONTno(contNo, function, SRC_RAIDCTL, __LINE__) || !checkPriority(value, function, __LINE__)) {
        return 0;
    }
    DLL_GET_CONTROLLER_INFO info;
    if (!DLL_NESTED_CALL(getContInfo(contNo, &info))) {
        return DllFailInner(function, __LINE__);
    }
    uint16_t idle = (setting == REBUILD_IDLE) ? value : info.rebuildPriorityIdle;
    uint16_t busy = (setting == REBUILD_BUSY) ? value : info.rebuildPriorityBusy;
    uint16_t patrol = (setting == PATROL_DELAY) ? value : info.patrolDelay;
    if (!TavDllRebuildPatrolPriority(contNo, idle, busy, patrol)) {
        return DllFailInner(function, __LINE__);
    }
    return 1;
}

// Reads one 256-byte parameter buffer of the adapter for the caller.
int readParameterBuffer(uint8_t contNo, uint8_t *para, int (*step)(uint8_t, uint8_t *), const char *title,
                        const char *function)
{
    DllEnter("CALL - %s() CONTno=%d\n", function, contNo);
    if (!DllCheckContAndRecord(contNo, para, function, __LINE__)) {
        return 0;
    }
    memset(para, 0, TAV_PARA_SIZE);
    if (!step(contNo, para)) {
        return DllFailInner(function, __LINE__);
    }
    TavDllCtlDump(title, para, TAV_PARA_SIZE);
    return 1;
}

}  // namespace

TAVCTL_API int getContNum(uint8_t *count)
{
    DllEnter("CALL - %s()\n", __func__);
    if (!DllCheckNull(count, __func__, __LINE__)) {
        return 0;
    }
    *count = ContCnt;
    return 1;
}

TAVCTL_API int getContInfo(int contNo, DLL_GET_CONTROLLER_INFO *info)
{
    DllEnter("CALL - %s() CONTno=%d\n", __func__, contNo);
    if (!checkContInfoNumber(contNo) || !DllCheckNull(info, __func__, __LINE__)) {
        return 0;
    }
    DLL_CONT_PARA contPara;
    uint8_t page31[PAGE31_SIZE];
    uint8_t page36[PAGE36_SIZE];
    uint8_t number = static_cast<uint8_t>(contNo);
    if (!TavDllAdapterRevInfo(number, reinterpret_cast<uint8_t *>(&contPara))) {
        return DllFailInner(__func__, __LINE__);
    }
    TavDllCtlDump("RD_CONTpara", &contPara, sizeof contPara);
    if (!TavDllAdapterSetInfo(number, page31, page36)) {
        return DllFailInner(__func__, __LINE__);
    }
    TavDllCtlDump("page31", page31, sizeof page31);
    TavDllCtlDump("page36", page36, sizeof page36);
    fillControllerInfo(contNo, contPara, page31, page36, info);
    TavDllCtlDump("DLL_GET_CONTROLLER_INFO", info, sizeof *info);
    return 1;
}

TAVCTL_API int getContPara(uint8_t contNo, DLL_CONT_PARA *para)
{
    return readParameterBuffer(contNo, reinterpret_cast<uint8_t *>(para), TavDllAdapterRevInfo, "DLL_CONT_PARA",
                               __func__);
}

TAVCTL_API int getSysPara(uint8_t contNo, uint8_t *para)
{
    return readParameterBuffer(contNo, para, TavDllAdapterInfo, "DLL_COMMONstatus", __func__);
}

TAVCTL_API int setHDDintv(uint8_t contNo, uint8_t code)
{
    return changePrioritySetting(contNo, PATROL_DELAY, code, __func__);
}

TAVCTL_API int setRESTintvIDLE(uint8_t contNo, uint8_t priority)
{
    return changePrioritySetting(contNo, REBUILD_IDLE, priority, __func__);
}

TAVCTL_API int setRESTintvBUSY(uint8_t contNo, uint8_t priority)
{
    return changePrioritySetting(contNo, REBUILD_BUSY, priority, __func__);
}

TAVCTL_API int getGListInfo(uint8_t contNo, DLL_GLIST_INFO *glist)
{
    DllEnter("CALL - %s() CONTno=%d\n", __func__, contNo);
    if (!DllCheckContAndRecord(contNo, glist, __func__, __LINE__)) {
        return 0;
    }
    memset(glist, 0, sizeof *glist);
    uint8_t page31[PAGE31_SIZE];
    uint8_t page36[PAGE36_SIZE];
    if (!TavDllAdapterSetInfo(contNo, page31, page36)) {
        return DllFailInner(__func__, __LINE__);
    }
    TavDllCtlDump("page31", page31, sizeof page31);
    TavDllCtlDump("page36", page36, sizeof page36);
    glist->preventLimit = readBE16(page36 + P36_GLIST_PREVENT);
    glist->oneMonth = readBE16(page36 + P36_GLIST_MONTH);
    glist->halfYear = readBE16(page36 + P36_GLIST_HALF_YEAR);
    glist->oneYear = readBE16(page36 + P36_GLIST_YEAR);
    return 1;
}

TAVCTL_API int setGListInfo(uint8_t contNo, const DLL_GLIST_INFO *glist)
{
    static const DLL_GLIST_INFO none = {};
    const DLL_GLIST_INFO &shown = (glist != nullptr) ? *glist : none;
    DllEnter("CALL - %s() CONTno=%d PreventLimit=%d HalfYear=%d OneMonth=%d OneYear=%d\n", __func__, contNo,
             shown.preventLimit, shown.halfYear, shown.oneMonth, shown.oneYear);
    if (!DllCheckContAndRecord(contNo, glist, __func__, __LINE__)) {
        return 0;
    }
    if (!TavDllSetGList(contNo, glist)) {
        return DllFailInner(__func__, __LINE__);
    }
    return 1;
}

TAVCTL_API int getDLLVersionSize(unsigned *size)
{
    DllEnter("CALL - %s()\n", __func__);
    if (!DllCheckNull(size, __func__, __LINE__)) {
        return 0;
    }
    *size = static_cast<unsigned>(strlen(LinuxDLLVer));
    return 1;
}

// Copies at most size characters: a size of the text's length or less leaves
// it unterminated, as the caller asked.
TAVCTL_API int getDLLVersion(char *buffer, unsigned size)
{
    DllEnter("CALL - %s() chVer_size=%d\n", __func__, size);
    if (!DllCheckNull(buffer, __func__, __LINE__)) {
        return 0;
    }
    size_t withZero = strlen(LinuxDLLVer) + 1;
    size_t copied = size < withZero ? size : withZero;
    memcpy(buffer, LinuxDLLVer, copied);
    TavDllCtlDump("getDLLVersion", buffer, static_cast<int>(copied));
    return 1;
}

TAVCTL_API int getOslogver(uint8_t contNo, uint8_t *version)
{
    DllEnter("CALL - %s() CONTno=%d\n", __func__, contNo);
    if (!DllCheckContAndRecord(contNo, version, __func__, __LINE__)) {
        return 0;
    }
    uint8_t sysPara[TAV_PARA_SIZE];
    if (!TavDllAdapterInfo(contNo, sysPara)) {
        return DllFailInner(__func__, __LINE__);
    }
    if (sysPara[TAV_SYSPARA_GENERATION] != TAV_GENERATION0_CODE) {
        *version = OSLOG_VERSION_GENERATION1;
        return 1;
    }
    uint8_t group = 0;
    if (!DLL_NESTED_CALL(getSrvModel(&group))) {
        return DllFailInner(__func__, __LINE__);
    }
    *version = (group == SERVER_GROUP_OTHER) ? OSLOG_VERSION_OTHER_SERVER : OSLOG_VERSION_GROUP12;
    return 1;
}
