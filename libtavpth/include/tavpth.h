/* Pass-through library: sends one SCSI command, or one ATA command to a SATA
 * drive, to one physical drive behind a RAID adapter. Every exported function
 * has C linkage.
 *
 * The library binds Linux_CmdExe, initContData, finContData,
 * initContData_done, dumpLog and Tool_ResolvePath from the process that loads
 * it: only a program linked with the control library can use it. */
#ifndef TAVPTH_H
#define TAVPTH_H

#include <stddef.h>
#include <stdint.h>

#include "tavctl.h"

#define TAVPTH_API TAV_EXTERN_C __attribute__((visibility("default")))

/* ---- return codes ---- */
#define TAVPAS_OK 0u
#define TAVPAS_PARAM_ERROR 1u
#define TAVPAS_NOT_SUPPORTED 2u
#define TAVPAS_COMMAND_ERROR 3u
#define TAVPAS_CHECK_CONDITION 4u
#define TAVPAS_SYSTEM_ERROR 5u
#define TAVPAS_LOCKED 6u
#define TAVPAS_BUSY 8u

/* ---- detail codes (first result byte with TAVPAS_PARAM_ERROR) ---- */
#define TAVPAS_DETAIL_INFO 1u          /* request missing, form or direction not allowed */
#define TAVPAS_DETAIL_DATA 2u          /* data buffer missing */
#define TAVPAS_DETAIL_LENGTH 3u        /* length missing or 0, or refused by the controller */
#define TAVPAS_DETAIL_RESULT 4u        /* result buffer missing (logged only) */
#define TAVPAS_DETAIL_RESULT_LENGTH 5u /* result length missing or 0 (logged only) */

/* ---- request fields ---- */
#define TAVPAS_DEVICE_SCSI 0u
#define TAVPAS_DEVICE_SATA 1u
#define TAVPAS_FORM_WRAPPED 0u
#define TAVPAS_FORM_PLAIN 1u
#define TAVPAS_TO_DRIVE 0u
#define TAVPAS_FROM_DRIVE 1u
#define TAVPAS_NO_DATA 2u

#define TAVPAS_WRAP_READ 0xBBu  /* controller's pass-through, data from the drive */
#define TAVPAS_WRAP_WRITE 0xBAu /* controller's pass-through, data to the drive or none */
#define TAVPAS_SATA_EXCHANGE 0xBCu
#define TAVPAS_SENSE_MAX 256u
#define TAVPAS_RESULT_SIZE 260u /* what callers give as result buffer */
#define TAVPAS_LOCK_PATH "/var/run/.libtavpth.lock"

/* The request record of every entry point; partly written back. */
typedef struct __attribute__((packed)) PassThroughInfo {
    uint32_t deviceType; /* 0 SCSI (SAS), 1 SATA */
    uint32_t cdbForm;    /* 0 wrapped in 0xBB/0xBA, 1 plain */
    uint8_t controllerNo;
    uint8_t targetNo;  /* physical drive number */
    uint8_t direction; /* 0 to the drive, 1 from the drive, 2 no data (SATA) */
    uint8_t cdb[16];
    uint32_t cdbLength;
    uint8_t status;       /* out: controller status, 2 after a check condition, 8 busy */
    uint8_t transferUnit; /* SATA: 0 bytes, 1 sent to the controller in 512-byte blocks */
} PassThroughInfo;

#ifdef __cplusplus
static_assert(offsetof(PassThroughInfo, deviceType) == 0, "deviceType");
static_assert(offsetof(PassThroughInfo, cdbForm) == 4, "cdbForm");
static_assert(offsetof(PassThroughInfo, controllerNo) == 8, "controllerNo");
static_assert(offsetof(PassThroughInfo, targetNo) == 9, "targetNo");
static_assert(offsetof(PassThroughInfo, direction) == 10, "direction");
static_assert(offsetof(PassThroughInfo, cdb) == 11, "cdb");
static_assert(offsetof(PassThroughInfo, cdbLength) == 27, "cdbLength");
static_assert(offsetof(PassThroughInfo, status) == 31, "status");
static_assert(offsetof(PassThroughInfo, transferUnit) == 32, "transferUnit");
static_assert(sizeof(PassThroughInfo) == 33, "PassThroughInfo size");
#endif

/* ---- the frame ---- */
TAVPTH_API uint32_t TavPasAnyCommand(PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                                     uint32_t *resultLength);
TAVPTH_API int ParamCheck_DataIN(PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                                 uint32_t *resultLength);
TAVPTH_API int ParamCheck_DataOUT(PassThroughInfo *info, uint8_t *data, uint32_t length, uint8_t *result,
                                  uint32_t *resultLength);
TAVPTH_API void TavMakeIoctlCMD(SDllLinuxCmd *cmd, PassThroughInfo *info, uint8_t *data, uint32_t *length,
                                uint8_t *result, uint32_t *resultLength);
TAVPTH_API uint32_t TavMakeIoctlCMDSata(PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                                        uint32_t *resultLength);
TAVPTH_API int TavLockRelease(int fd);

/* ---- one entry point per drive command ---- */
#define TAVPAS_READ_TYPE(name)                                                                        \
    TAVPTH_API uint32_t name(PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result, \
                             uint32_t *resultLength)
#define TAVPAS_WRITE_TYPE(name)                                                                      \
    TAVPTH_API uint32_t name(PassThroughInfo *info, uint8_t *data, uint32_t length, uint8_t *result, \
                             uint32_t *resultLength)

TAVPAS_READ_TYPE(TavPasInquiry);
TAVPAS_READ_TYPE(TavPasLogSense);
TAVPAS_READ_TYPE(TavPasModeSense);
TAVPAS_READ_TYPE(TavPasReadBuffer);
TAVPAS_READ_TYPE(TavPasReadExtend);
TAVPAS_READ_TYPE(TavPasReadLong);
TAVPAS_READ_TYPE(TavPasRequestInternalLog);
TAVPAS_WRITE_TYPE(TavPasModeSelect);
TAVPAS_WRITE_TYPE(TavPasWriteBuffer);
TAVPAS_WRITE_TYPE(TavPasWriteExtend);
TAVPAS_WRITE_TYPE(TavPasWriteLong);
TAVPAS_READ_TYPE(TavPasIdentifyDevice);
TAVPAS_READ_TYPE(TavPasReadSectorExt);
TAVPAS_WRITE_TYPE(TavPasWriteSectorExt);

#undef TAVPAS_READ_TYPE
#undef TAVPAS_WRITE_TYPE

/* Identification banner: four 72-byte lines. */
#define TAVPTH_RCSID_SIZE 72
TAVPTH_API const char tavpth_rcsid0[TAVPTH_RCSID_SIZE];
TAVPTH_API const char tavpth_rcsid1[TAVPTH_RCSID_SIZE];
TAVPTH_API const char tavpth_rcsid2[TAVPTH_RCSID_SIZE];
TAVPTH_API const char tavpth_rcsid3[TAVPTH_RCSID_SIZE];

#endif
