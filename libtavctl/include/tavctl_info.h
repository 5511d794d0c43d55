/* Control library: adapter, logical-drive and physical-drive information and
 * the adapter-wide settings, with the records handed to programs. Records are
 * byte blocks with fixed positions; multi-byte fields are in host order unless
 * said otherwise. Included by tavctl.h. */
#ifndef TAVCTL_INFO_H
#define TAVCTL_INFO_H

#include <stddef.h>
#include <stdint.h>

#include "tavctl.h"

#ifdef __cplusplus
#define TAV_INFO_ASSERT(cond, what) static_assert(cond, what)
#else
#define TAV_INFO_ASSERT(cond, what) _Static_assert(cond, what)
#endif

#define TAV_MAX_GROUPS 12
#define TAV_MAX_DRIVES 12
#define TAV_PARA_SIZE 256

/* Drive and logical-drive state bytes of the adapter. */
#define TAV_STATE_UNDEFINED 0xFFu /* no group / no drive entry */
#define TAV_STATE_NO_DRIVE 0x80u  /* drive slot without a drive */

/* ---- adapter ---- */

/* getContInfo. */
typedef struct __attribute__((packed)) DLL_GET_CONTROLLER_INFO {
    uint8_t contNo;
    uint8_t reserved1[11];
    uint8_t pciBus;
    uint8_t pciDevice;
    uint8_t adapterVersion; /* controller parameters byte 69 */
    uint8_t reserved15[5];
    uint16_t driverVersion[4];
    uint8_t contPara0[4];  /* controller parameters bytes 0-3 unchanged */
    uint8_t contPara74[4]; /* controller parameters bytes 74-77 unchanged */
    uint8_t reserved36[8];
    uint32_t totalMemoryMB;
    uint32_t cacheSizeMB;
    uint32_t writeCacheSizeMB;
    uint16_t rebuildPriorityIdle; /* 1-3 */
    uint16_t rebuildPriorityBusy; /* 1-3 */
    uint16_t patrolDelay;         /* 1-3 */
    uint8_t contPara72;           /* controller parameters byte 72 */
    uint8_t reserved63[3];
    char modelName[8]; /* "ZN5120" / "ZN5121", zero-padded */
    char generalRevision[4];
    uint8_t reserved78;
    uint8_t cardType; /* 7 or 16 */
    uint8_t reserved80[4];
} DLL_GET_CONTROLLER_INFO;

TAV_INFO_ASSERT(sizeof(DLL_GET_CONTROLLER_INFO) == 84, "DLL_GET_CONTROLLER_INFO size");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, contNo) == 0, "contNo");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, pciBus) == 12, "pciBus");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, pciDevice) == 13, "pciDevice");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, adapterVersion) == 14, "adapterVersion");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, driverVersion) == 20, "driverVersion");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, contPara0) == 28, "contPara0");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, contPara74) == 32, "contPara74");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, totalMemoryMB) == 44, "totalMemoryMB");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, cacheSizeMB) == 48, "cacheSizeMB");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, writeCacheSizeMB) == 52, "writeCacheSizeMB");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, rebuildPriorityIdle) == 56, "rebuildPriorityIdle");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, rebuildPriorityBusy) == 58, "rebuildPriorityBusy");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, patrolDelay) == 60, "patrolDelay");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, contPara72) == 62, "contPara72");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, modelName) == 66, "modelName");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, generalRevision) == 74, "generalRevision");
TAV_INFO_ASSERT(offsetof(DLL_GET_CONTROLLER_INFO, cardType) == 79, "cardType");

/* getContPara: the adapter's controller parameter buffer as read, big-endian. */
typedef struct __attribute__((packed)) DLL_CONT_PARA {
    uint8_t head[4]; /* 0-3 */
    uint8_t reserved4[12];
    uint8_t cacheSize[4];      /* bytes, big-endian */
    uint8_t writeCacheSize[4]; /* bytes, big-endian */
    uint8_t reserved24[18];
    char bootRevision[8]; /* boot firmware revision text */
    char generalRevision[4];
    uint8_t reserved54[10];
    char processorRevision[4];
    uint8_t reserved68;
    uint8_t adapterVersion;
    uint8_t reserved70[2];
    uint8_t byte72;
    uint8_t reserved73;
    uint8_t value74[4];     /* 74-77 */
    uint8_t totalMemory[4]; /* bytes, big-endian */
    uint8_t reserved82[10];
    uint8_t sasAddress[8];
    char flashRevisionBank1[4];
    char flashRevisionBank2[4];
    uint8_t flashState; /* flash bank and checksum state */
    uint8_t reserved109[147];
} DLL_CONT_PARA;

TAV_INFO_ASSERT(sizeof(DLL_CONT_PARA) == TAV_PARA_SIZE, "DLL_CONT_PARA size");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, cacheSize) == 16, "cacheSize");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, writeCacheSize) == 20, "writeCacheSize");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, bootRevision) == 42, "bootRevision");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, generalRevision) == 50, "generalRevision");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, processorRevision) == 64, "processorRevision");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, adapterVersion) == 69, "adapterVersion");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, byte72) == 72, "byte72");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, value74) == 74, "value74");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, totalMemory) == 78, "totalMemory");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, sasAddress) == 92, "sasAddress");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, flashRevisionBank1) == 100, "flashRevisionBank1");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, flashRevisionBank2) == 104, "flashRevisionBank2");
TAV_INFO_ASSERT(offsetof(DLL_CONT_PARA, flashState) == 108, "flashState");

/* System parameters (getSysPara): byte 0 is the adapter generation code. */
#define TAV_SYSPARA_GENERATION 0
#define TAV_GENERATION0_CODE 8
#define TAV_GENERATION1_CODE 16

/* getGListInfo / setGListInfo: grown-defect-list prevent limits. */
typedef struct __attribute__((packed)) DLL_GLIST_INFO {
    uint16_t preventLimit;
    uint16_t oneMonth;
    uint16_t halfYear;
    uint16_t oneYear;
} DLL_GLIST_INFO;

TAV_INFO_ASSERT(sizeof(DLL_GLIST_INFO) == 8, "DLL_GLIST_INFO size");
TAV_INFO_ASSERT(offsetof(DLL_GLIST_INFO, oneMonth) == 2, "oneMonth");
TAV_INFO_ASSERT(offsetof(DLL_GLIST_INFO, halfYear) == 4, "halfYear");
TAV_INFO_ASSERT(offsetof(DLL_GLIST_INFO, oneYear) == 6, "oneYear");

/* ---- logical drives ---- */

/* getRaidStatus. */
typedef struct __attribute__((packed)) DLL_GET_RAID_STATUS {
    uint8_t contNo;
    uint8_t reserved1[11];
    uint8_t ldState[TAV_MAX_GROUPS];  /* common status 116-127 */
    uint8_t status84[12];             /* common status 84-95 */
    uint8_t hddState[TAV_MAX_DRIVES]; /* common status 148-159 */
    uint8_t reserved48[16];
    uint32_t value58; /* common status 58-61 */
    uint32_t value62; /* common status 62-65 */
    uint8_t byte54;   /* common status 54 */
    uint8_t reserved73[27];
} DLL_GET_RAID_STATUS;

TAV_INFO_ASSERT(sizeof(DLL_GET_RAID_STATUS) == 100, "DLL_GET_RAID_STATUS size");
TAV_INFO_ASSERT(offsetof(DLL_GET_RAID_STATUS, ldState) == 12, "ldState");
TAV_INFO_ASSERT(offsetof(DLL_GET_RAID_STATUS, status84) == 24, "status84");
TAV_INFO_ASSERT(offsetof(DLL_GET_RAID_STATUS, hddState) == 36, "hddState");
TAV_INFO_ASSERT(offsetof(DLL_GET_RAID_STATUS, value58) == 64, "value58");
TAV_INFO_ASSERT(offsetof(DLL_GET_RAID_STATUS, value62) == 68, "value62");
TAV_INFO_ASSERT(offsetof(DLL_GET_RAID_STATUS, byte54) == 72, "byte54");

/* One member drive of a logical drive, as the record carries it. The member
 * state is the drive's role in the group (0 in use, 2 group hot spare, 3 a
 * spare standing in); the drive state is the drive's own state code, the one
 * the physical-drive state table carries. */
typedef struct __attribute__((packed)) DLL_LD_MEMBER {
    uint8_t hddNo;       /* group member byte 0 */
    uint8_t memberState; /* member byte 1 */
    uint8_t driveState;  /* member byte 3 */
    uint8_t byte4;       /* member byte 4 */
    uint8_t copyTarget;  /* member byte 5: the drive taking its place during a copy */
    uint8_t byte2;       /* member byte 2 */
} DLL_LD_MEMBER;

TAV_INFO_ASSERT(sizeof(DLL_LD_MEMBER) == 6, "DLL_LD_MEMBER size");
TAV_INFO_ASSERT(offsetof(DLL_LD_MEMBER, memberState) == 1, "memberState");
TAV_INFO_ASSERT(offsetof(DLL_LD_MEMBER, driveState) == 2, "driveState");
TAV_INFO_ASSERT(offsetof(DLL_LD_MEMBER, copyTarget) == 4, "copyTarget");

/* getLogicalDriveInfo; getRestoreLDInfo fills the same layout. */
typedef struct __attribute__((packed)) DLL_GET_LOGICAL_DISK_INFO {
    uint8_t contNo;
    uint8_t groupNo;
    uint8_t reserved2[10];
    uint8_t memberCount;
    DLL_LD_MEMBER member[TAV_MAX_DRIVES];
    uint8_t hotSpareMode; /* 0 global, 1 group, 2 none */
    uint8_t raidLevel;    /* 0, 1, 5, 6 */
    uint8_t reserved87;
    uint32_t stripeSize; /* blocks */
    uint8_t byte218;
    uint8_t reserved93;
    uint8_t autoRebuild;  /* 0 enabled, 1 disabled */
    uint8_t rebuildState; /* 0 not needed, 1 needed, 2 executing */
    uint8_t maintenance;  /* 0 none, 1 checking parity, 2 writing parity */
    uint8_t progress;     /* percent */
    uint8_t dataLost;
    uint8_t reserved99[9];
    uint32_t errorCount;
    uint8_t reserved112[9];
    uint8_t readCache; /* 0 read-ahead, 1 none */
    uint8_t reserved122[7];
    uint8_t writeCache; /* 0 write-back, 1 write-through */
    uint8_t reserved130[50];
    uint32_t capacityMB;
    uint8_t reserved184[48];
} DLL_GET_LOGICAL_DISK_INFO;

typedef DLL_GET_LOGICAL_DISK_INFO DLL_RESTORE_LD_INFO;

TAV_INFO_ASSERT(sizeof(DLL_GET_LOGICAL_DISK_INFO) == 232, "DLL_GET_LOGICAL_DISK_INFO size");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, groupNo) == 1, "groupNo");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, memberCount) == 12, "memberCount");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, member) == 13, "member");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, hotSpareMode) == 85, "hotSpareMode");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, raidLevel) == 86, "raidLevel");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, stripeSize) == 88, "stripeSize");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, byte218) == 92, "byte218");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, autoRebuild) == 94, "autoRebuild");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, rebuildState) == 95, "rebuildState");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, maintenance) == 96, "maintenance");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, progress) == 97, "progress");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, dataLost) == 98, "dataLost");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, errorCount) == 108, "errorCount");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, readCache) == 121, "readCache");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, writeCache) == 129, "writeCache");
TAV_INFO_ASSERT(offsetof(DLL_GET_LOGICAL_DISK_INFO, capacityMB) == 180, "capacityMB");

/* getRestoreLDsts. */
typedef struct __attribute__((packed)) DLL_RESTORE_LD_STATUS {
    uint8_t contNo;
    uint8_t reserved1[11];
    uint8_t count;
    uint8_t state[TAV_MAX_GROUPS];
    uint8_t reserved25[11];
} DLL_RESTORE_LD_STATUS;

TAV_INFO_ASSERT(sizeof(DLL_RESTORE_LD_STATUS) == 36, "DLL_RESTORE_LD_STATUS size");
TAV_INFO_ASSERT(offsetof(DLL_RESTORE_LD_STATUS, count) == 12, "count");
TAV_INFO_ASSERT(offsetof(DLL_RESTORE_LD_STATUS, state) == 13, "state");

/* ---- physical drives ---- */

/* Drive classes. */
#define TAV_CLASS_MEMBER 0
#define TAV_CLASS_MEMBER_NOT_USED 1
#define TAV_CLASS_SPARE_IN_USE 2
#define TAV_CLASS_SPARE_NOT_USED 3
#define TAV_CLASS_FRESH 4
#define TAV_CLASS_RESTORE 5

/* getPhysicalDriveInfo, the same for both card types. */
typedef struct __attribute__((packed)) DLL_GET_HDD_INFO {
    uint8_t reserved0[12];
    uint8_t byte3; /* drive parameters byte 3 */
    uint8_t byte2; /* drive parameters byte 2 */
    char vendor[8];
    char product[16];
    char revision[4];
    uint8_t groupNo;
    uint8_t hddClass;
    uint32_t capacityMB;
    uint8_t reserved48[4];
    uint32_t value52;
    uint8_t inquiry[48]; /* standard INQUIRY data */
    uint8_t reserved104[2];
    uint8_t statusDetail; /* drive parameters 377 (ZN5121) or 248 (ZN5120) */
    uint8_t linkSpeed;    /* 7 1.5 Gbit/s, 8 3.0 Gbit/s, 0xFE link error, 0xFF PHY disabled */
    uint8_t smartState;   /* 0 none, 4 trip received */
    uint8_t badSpotState; /* 0 none, 6 bad spots, 0x16 over the limit */
    uint16_t badSpotCount;
    uint8_t byte112;
    uint8_t reserved113[11];
} DLL_GET_HDD_INFO;

TAV_INFO_ASSERT(sizeof(DLL_GET_HDD_INFO) == 124, "DLL_GET_HDD_INFO size");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, byte3) == 12, "byte3");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, byte2) == 13, "byte2");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, vendor) == 14, "vendor");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, product) == 22, "product");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, revision) == 38, "revision");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, groupNo) == 42, "groupNo");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, hddClass) == 43, "hddClass");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, capacityMB) == 44, "capacityMB");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, value52) == 52, "value52");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, inquiry) == 56, "inquiry");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, statusDetail) == 106, "statusDetail");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, linkSpeed) == 107, "linkSpeed");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, smartState) == 108, "smartState");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, badSpotState) == 109, "badSpotState");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, badSpotCount) == 110, "badSpotCount");
TAV_INFO_ASSERT(offsetof(DLL_GET_HDD_INFO, byte112) == 112, "byte112");

#define TAV_BADSPOT_ADDRESSES 16

/* getBadspotInfo. */
typedef struct __attribute__((packed)) DLL_BADSPOT_INFO {
    uint8_t byte0;
    uint8_t state;   /* 0 none, 6 bad spots, 22 over the limit */
    uint8_t groupNo; /* logical drive the entries belong to */
    uint8_t byte3;
    uint32_t value4;
    uint8_t bytes8[8];
    uint32_t address[TAV_BADSPOT_ADDRESSES]; /* marked entries, packed from the start */
} DLL_BADSPOT_INFO;

TAV_INFO_ASSERT(sizeof(DLL_BADSPOT_INFO) == 80, "DLL_BADSPOT_INFO size");
TAV_INFO_ASSERT(offsetof(DLL_BADSPOT_INFO, state) == 1, "state");
TAV_INFO_ASSERT(offsetof(DLL_BADSPOT_INFO, groupNo) == 2, "groupNo");
TAV_INFO_ASSERT(offsetof(DLL_BADSPOT_INFO, byte3) == 3, "byte3");
TAV_INFO_ASSERT(offsetof(DLL_BADSPOT_INFO, value4) == 4, "value4");
TAV_INFO_ASSERT(offsetof(DLL_BADSPOT_INFO, bytes8) == 8, "bytes8");
TAV_INFO_ASSERT(offsetof(DLL_BADSPOT_INFO, address) == 16, "address");

#define TAV_LD_BADSPOT_ADDRESSES 255

/* getLDBadspotInfo64. */
typedef struct __attribute__((packed)) DLL_LD_BADSPOT_INFO64 {
    uint32_t count;
    uint8_t reserved4[4];
    uint64_t address[TAV_LD_BADSPOT_ADDRESSES];
} DLL_LD_BADSPOT_INFO64;

TAV_INFO_ASSERT(sizeof(DLL_LD_BADSPOT_INFO64) == 2048, "DLL_LD_BADSPOT_INFO64 size");
TAV_INFO_ASSERT(offsetof(DLL_LD_BADSPOT_INFO64, address) == 8, "address");

/* Raw bad-spot tables as the adapter keeps them. */
#define TAV_BADSPOT_TABLE_SIZE 272
#define TAV_BADSPOT_TABLE_READ 512
#define TAV_LD_BADSPOT_TABLE_SIZE 2048

/* Locate LED states accepted by setHDDLocateLED. */
#define TAV_LED_OFF 0x00
#define TAV_LED_ON 0x30

/* ---- entry points: 1 success, 0 failure (reason in the error word) ---- */

/* adapter */
TAVCTL_API int getContNum(uint8_t *count);
TAVCTL_API int getContInfo(int contNo, DLL_GET_CONTROLLER_INFO *info);
TAVCTL_API int getContPara(uint8_t contNo, DLL_CONT_PARA *para);
TAVCTL_API int getSysPara(uint8_t contNo, uint8_t *para /* TAV_PARA_SIZE bytes */);
TAVCTL_API int setHDDintv(uint8_t contNo, uint8_t code);
TAVCTL_API int setRESTintvIDLE(uint8_t contNo, uint8_t priority);
TAVCTL_API int setRESTintvBUSY(uint8_t contNo, uint8_t priority);
TAVCTL_API int getGListInfo(uint8_t contNo, DLL_GLIST_INFO *glist);
TAVCTL_API int setGListInfo(uint8_t contNo, const DLL_GLIST_INFO *glist);
TAVCTL_API int getDLLVersionSize(unsigned *size);
/* Copies at most size characters of the version text: the copy is terminated
 * only when size exceeds the length getDLLVersionSize gives. */
TAVCTL_API int getDLLVersion(char *buffer, unsigned size);
TAVCTL_API int getSrvModel(uint8_t *group);
TAVCTL_API int getOslogver(uint8_t contNo, uint8_t *version);

/* logical drives */
TAVCTL_API int getRaidStatus(uint8_t contNo, DLL_GET_RAID_STATUS *status);
TAVCTL_API int getLogicalDriveInfo(uint8_t contNo, uint8_t groupNo, DLL_GET_LOGICAL_DISK_INFO *info);
TAVCTL_API int getRestoreLDsts(uint8_t contNo, DLL_RESTORE_LD_STATUS *status);
TAVCTL_API int getRestoreLDInfo(uint8_t contNo, uint8_t candidateNo, DLL_RESTORE_LD_INFO *info);
TAVCTL_API int checkGROUPno(int groupNo, const char *caller, const char *file, int line);
TAVCTL_API int checkGROUPsts(uint8_t contNo, int groupNo, const char *caller, const char *file, int line);

/* physical drives */
TAVCTL_API int getPhysicalDriveInfo(uint8_t contNo, uint8_t hddNo, DLL_GET_HDD_INFO *info);
TAVCTL_API int getBadspotInfo(uint8_t contNo, uint8_t hddNo, DLL_BADSPOT_INFO *info);
TAVCTL_API int getLDBadspotInfo64(uint8_t contNo, uint8_t groupNo, DLL_LD_BADSPOT_INFO64 *info);
TAVCTL_API int setHDDLocateLED(uint8_t contNo, uint8_t hddNo, uint8_t ledState);
TAVCTL_API int getSMARTInfo(uint8_t contNo, uint8_t hddNo, uint8_t *buffer);
TAVCTL_API int getSMARTThreshold(uint8_t contNo, uint8_t hddNo, uint8_t *buffer);
TAVCTL_API int getSMARTsts(uint8_t contNo, uint8_t hddNo, uint8_t *buffer);

/* Bad-spot table conversions: raw adapter table (TAV_BADSPOT_TABLE_SIZE or
 * TAV_LD_BADSPOT_TABLE_SIZE bytes) into the record. 0 with error word 0x100 on
 * a null pointer. */
TAVCTL_API int rearrangeBadSpotInfo(const uint8_t *table, DLL_BADSPOT_INFO *info);
TAVCTL_API int rearrangeLDBadSpot64Info(const uint8_t *table, DLL_LD_BADSPOT_INFO64 *info);

/* ---- text, number and byte-order helpers ---- */
TAVCTL_API int Tool_strlen(const char *text);
TAVCTL_API char *Tool_strcpy(char *dst, const char *src);         /* returns the end of dst */
TAVCTL_API char *Tool_strcat(char *dst, const char *src);         /* returns the end of dst */
TAVCTL_API int Tool_strcmp(const char *a, const char *b);         /* 0 equal, 1 different */
TAVCTL_API void Tool_InitStr(char *buffer, char fill, int count); /* count chars + zero */
TAVCTL_API char *Tool_hextostr(int width, uint32_t value, char *buffer);
TAVCTL_API char *Tool_dectostr(int width, uint32_t value, char *buffer);
TAVCTL_API uint32_t Tool_dectobin(const char *text);
TAVCTL_API uint32_t Tool_hextobin(const char *text);
TAVCTL_API char *Tool_delspace(const char *src, char *dst);
TAVCTL_API void Tool_ChangeEndianShort(uint16_t *value);
TAVCTL_API void Tool_ChangeEndianLong(uint32_t *value);
TAVCTL_API void Tool_ChangeEndianLongLong(uint64_t *value);

#endif
