/* The adapter-level TavDll layer ("util" names this layer; the Tool_ helpers
 * live in tavdllctl_tool*.cpp): the status tables that every adapter operation
 * refreshes first, the adapter's buffer and page positions, and the steps that
 * read and write them. Steps return 1 or 0 and leave the reason in the error
 * word; they open no trace cycle and write no error line of their own. They
 * are exported (C linkage) for the suite's own tools, tests and benchmarks. */
#ifndef TAVDLLCTL_UTIL_H
#define TAVDLLCTL_UTIL_H

#include <string.h>

#include "tavctl_internal.h"

/* ---- adapter buffers (READ BUFFER mode 1, target 0) ---- */
#define BUF_COMMON_STATUS 0x01 /* common status = system parameters */
#define BUF_CONT_PARA 0xA0
#define BUF_GROUP_PARA 0x30 /* + group number */
#define BUF_RESTORE_STATUS 0xBF
#define BUF_RESTORE_PARA 0xC0 /* + candidate number */
#define BUF_HDD_PARA 0x70     /* + drive number */
#define BUF_BADSPOT 0xE0      /* at drive number x 512 */
#define BUF_LD_BADSPOT 0xE2   /* at group number x 2048 */
#define READ_BUFFER_MODE 1
#define HDD_PARA_SIZE 512

/* ---- mode pages ---- */
#define PAGE_PRIORITY 0x31
#define PAGE_PATROL 0x36
#define PAGE_LD_ACTION 0x3C
#define PAGE_PD_ACTION 0x3E
#define MODE_HEADER_SIZE 4
#define MODE_BUFFER_SIZE 256
#define PAGE31_SIZE 44
#define PAGE36_SIZE 32
#define ACTION_PAGE_LENGTH 14
#define ACTION_SELECT_SIZE 20

/* page 0x31 / 0x36 positions (from the page code byte) */
#define P31_REBUILD_IDLE 2
#define P31_REBUILD_BUSY 4
#define P36_PATROL_DELAY 4
#define P36_GLIST_PREVENT 16
#define P36_GLIST_MONTH 26
#define P36_GLIST_HALF_YEAR 28
#define P36_GLIST_YEAR 30
/* page 0x3E: global hot-spare assignment bytes */
#define P3E_GHS 3

/* Action page function codes. */
#define ACTION_LOCATE_LED 0x32

/* ---- common status positions ---- */
#define CS_BYTE54 54
#define CS_VALUE58 58
#define CS_VALUE62 62
#define CS_BYTES84 84
#define CS_LD_STATE 116
#define CS_LD_STATE_COPY 32 /* bytes 116-147 kept with the tables */
#define CS_HDD_STATE 148

/* ---- restore status positions ---- */
#define RS_COUNT 0
#define RS_STATE 4

/* ---- group parameter positions ---- */
#define GP_MEMBER_COUNT 2
#define GP_RAID_LEVEL 3
#define GP_STRIPE 4
#define GP_MEMBERS 8
#define GP_MEMBER_SIZE 6
#define GP_MEMBER_DRIVE 0
#define GP_MEMBER_STATE 1
#define GP_MEMBER_COPY 5
#define GP_CAPACITY64 80
#define GP_CAPACITY32 84
#define GP_PROCESSED 144
#define GP_HOTSPARE_MODE 157
#define GP_READ_POLICY 200
#define GP_WRITE_POLICY 208
#define GP_BYTE218 218
#define GP_AUTO_REBUILD 219
#define GP_REBUILD_STATE 220
#define GP_MAINTENANCE 221
#define GP_ERROR_COUNT 222
#define GP_DATA_LOST 226
#define GP_RAW227 227

/* ---- drive parameter positions common to both card types ---- */
#define HP_GROUP 1
#define HP_BYTE2 2
#define HP_BYTE3 3
#define HP_CLASS 4
#define INQUIRY_SIZE 48
#define INQ_VENDOR 8
#define INQ_PRODUCT 16
#define INQ_REVISION 32

/* Drive parameter positions that differ between the card types. */
struct HddParaLayout {
    uint16_t rawValue; /* 32-bit, kept in the status table */
    uint16_t capacity; /* 32-bit block count */
    uint16_t inquiry;  /* 48 bytes of INQUIRY data */
    uint16_t value52;  /* 32-bit, passed on */
    uint16_t byte112;
    uint16_t statusByte;   /* kept in the status table */
    uint16_t statusDetail; /* passed on and kept */
    uint16_t linkSpeed;
    uint16_t smartState;
    uint16_t badSpotState;
    uint16_t badSpotCount; /* 16-bit */
};
const HddParaLayout &hddParaLayout(uint8_t cardType);

/* ---- status tables ---- */

/* One logical drive or restore candidate. */
struct LdStatEntry {
    uint32_t capacityMB;
    uint8_t raidLevel;
    uint8_t state;
    uint8_t maintenance;
    uint8_t autoRebuild;
    uint8_t rebuildState;
    uint8_t raw227[4]; /* group parameters 227-230, unconverted */
};

/* One physical drive. */
struct HddStatEntry {
    uint8_t state;
    uint32_t hddNo;
    uint32_t statusByte;
    uint32_t hddClass;
    uint8_t groupNo;
    uint32_t capacityMB;
    uint32_t rawValue;
    uint8_t raidLevel;
    uint8_t memberCount;
    uint8_t memberIndex;
    uint8_t memberState;
    uint8_t statusDetail;
    uint8_t linkSpeed;
};

extern LdStatEntry LogStat[TAV_MAX_GROUPS];
extern LdStatEntry RestStat[TAV_MAX_GROUPS];
extern HddStatEntry HddStat[TAV_MAX_DRIVES];
extern uint8_t GHSHdd[2];
extern uint8_t LdStateCopy[CS_LD_STATE_COPY];

/* While set, a status refresh also keeps the raw buffers it read: the common
 * status, the parameters of each defined logical drive and of each drive slot.
 * Lets one refresh serve every record of an adapter. */
struct StatusCapture {
    uint8_t common[TAV_PARA_SIZE];
    uint8_t groupPara[TAV_MAX_GROUPS][TAV_PARA_SIZE];
    uint8_t hddPara[TAV_MAX_DRIVES][HDD_PARA_SIZE];
};
extern StatusCapture *TavDllStatusCapture;

/* 1 when the drive slot has an entry with a drive present; else 0x40 for a
 * slot without entry (state and group 255) or 0x80 for a missing drive. */
int TavDllRequireDrive(uint8_t hddNo);

/* A state byte below 0x30 marks a defined logical drive or drive. */
inline bool isDefinedState(uint8_t state)
{
    return state < 0x30;
}

/* ---- byte order and capacity ---- */
inline uint16_t readBE16(const uint8_t *p)
{
    uint16_t v;
    memcpy(&v, p, sizeof v);
    Tool_ChangeEndianShort(&v);
    return v;
}
inline uint32_t readBE32(const uint8_t *p)
{
    uint32_t v;
    memcpy(&v, p, sizeof v);
    Tool_ChangeEndianLong(&v);
    return v;
}
inline uint64_t readBE64(const uint8_t *p)
{
    uint64_t v;
    memcpy(&v, p, sizeof v);
    Tool_ChangeEndianLongLong(&v);
    return v;
}
inline void writeBE16(uint8_t *p, uint16_t v)
{
    Tool_ChangeEndianShort(&v);
    memcpy(p, &v, sizeof v);
}

/* ((blocks / 1000) x 512) / 1000, integer division at each step. */
inline uint32_t blocksToMB(uint64_t blocks)
{
    return static_cast<uint32_t>(((blocks / 1000) * 512) / 1000);
}

/* Capacity of a group in blocks: 64-bit, but only the low 32 bits on card type 7. */
uint64_t groupCapacityBlocks(const uint8_t *groupPara, uint8_t cardType);

/* ---- status refresh ---- */
TAVCTL_API int TavDllLcSetupAdapter(uint8_t contNo);
TAVCTL_API int TavDllLcGetAllStat(uint8_t contNo);
TAVCTL_API int TavDllLcGetLogStat(uint8_t contNo);
TAVCTL_API int TavDllLcGetPhyStat(uint8_t contNo);
TAVCTL_API int TavDllLcGetGHSStat(uint8_t contNo);
TAVCTL_API int TavDllLcGetRestStat(uint8_t contNo);

/* ---- adapter ---- */
TAVCTL_API int TavDllAdapterInfo(uint8_t contNo, uint8_t *sysPara);
TAVCTL_API int TavDllAdapterRevInfo(uint8_t contNo, uint8_t *contPara);
TAVCTL_API int TavDllAdapterSetInfo(uint8_t contNo, uint8_t *page31, uint8_t *page36);
/* Both setting pages of the selected adapter, without a status refresh. */
int TavDllReadSettingPages(uint8_t *page31, uint8_t *page36);
TAVCTL_API int TavDllRebuildPatrolPriority(uint8_t contNo, uint16_t idle, uint16_t busy, uint16_t patrol);
TAVCTL_API int TavDllSetGList(uint8_t contNo, const DLL_GLIST_INFO *glist);

/* ---- drives ---- */
TAVCTL_API int TavDllLogicalDriveInfo(uint8_t contNo, uint8_t groupNo, uint8_t *groupPara);
TAVCTL_API int TavDllRestoreDriveInfo(uint8_t contNo, uint8_t candidateNo, uint8_t *groupPara);
TAVCTL_API int TavDllRestoreDriveStatus(uint8_t contNo, uint8_t *restoreStatus);
TAVCTL_API int TavDllPhysicalDriveInfo(uint8_t contNo, uint8_t hddNo, uint8_t *hddPara);
TAVCTL_API int TavDllBadSpotInfo(uint8_t contNo, uint8_t hddNo, uint8_t *table);
TAVCTL_API int TavDllLdBadSpotInfo64(uint8_t contNo, uint8_t groupNo, uint8_t *table);
TAVCTL_API int TavDllHDDLocate(uint8_t contNo, uint8_t hddNo, uint8_t ledState);
/* Starts a logical-drive (0x3C) or physical-drive (0x3E) action. */
TAVCTL_API int TavDllLcExe_Page3C(uint8_t contNo, uint8_t number, uint8_t function, uint8_t parameter);
TAVCTL_API int TavDllLcExe_Page3E(uint8_t contNo, uint8_t number, uint8_t function, uint8_t parameter);

/* One READ BUFFER (mode 1, target 0) from the selected adapter; 1 on success. */
int TavDllReadBuffer(uint8_t bufferId, uint8_t *buffer, uint32_t length, uint32_t offset);

#endif
