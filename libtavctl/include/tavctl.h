/* Control library: command channel, lifecycle and discovery, error registry,
 * debug trace and trace log file. Every exported function has C linkage. */
#ifndef TAVCTL_H
#define TAVCTL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define TAV_EXTERN_C extern "C"
#else
#define TAV_EXTERN_C extern
#endif
#define TAVCTL_API TAV_EXTERN_C __attribute__((visibility("default")))

/* ---- limits ---- */
#define TAV_MAX_ADAPTERS 4
#define TAV_MAX_DATA_LENGTH 65536
#define TAV_AREA_SIZE 65558

/* ---- error word (per thread) ---- */
#define DLL_ERROR_NONE 0x00000000u
#define DLL_ERROR_PARAM 0x00000010u
#define DLL_ERROR_LD_STATE 0x00000020u
#define DLL_ERROR_CC_BUSY 0x00000021u
#define DLL_ERROR_PARITY_BUSY 0x00000022u
#define DLL_ERROR_NO_LD 0x00000040u
#define DLL_ERROR_HDD 0x00000080u
#define DLL_ERROR_INTERNAL 0x00000100u
#define DLL_ERROR_SYSTEM 0x00000200u
#define DLL_ERROR_PARTITION 0x00000400u
#define DLL_ERROR_DRIVER_BUSY 0x00001000u
#define DLL_ERROR_COMMAND 0x00002000u
#define DLL_ERROR_LOCKED 0x00004000u
#define DLL_ERROR_IOCTL_BUSY 0x00008000u
#define DLL_ERROR_INNER 0x10000000u

/* argument codes, added to DLL_ERROR_PARAM */
#define DLL_ARG_ERROR_NO_SUCH_CONTROLLER 0x00010000u
#define DLL_ARG_ERROR_CONTNO 0x00020000u
#define DLL_ARG_ERROR_PRIORITY 0x00040000u
#define DLL_ARG_ERROR_GROUPNO 0x00080000u
#define DLL_ARG_ERROR_NULL 0x00100000u
#define DLL_ARG_ERROR_CONFIGLD 0x00200000u
#define DLL_ARG_ERROR_HDDNO 0x00400000u
#define DLL_ARG_ERROR_BUZZER 0x00800000u
#define DLL_ARG_ERROR_LOGINDEX 0x01000000u
#define DLL_ARG_ERROR_NVOFFSET 0x02000000u
#define DLL_ARG_ERROR_SIZESPEC 0x04000000u
#define DLL_ARG_ERROR_GLIST_PREVENTLIMIT 0x08000000u

/* ---- command channel ---- */

/* Result codes of Linux_CmdExe; the builders return bits 8-15. */
#define CMDEXE_OK 0x0000u
#define CMDEXE_SIZE_ERROR 0x0100u
#define CMDEXE_SENSE 0x0200u
#define CMDEXE_ADAPTER_ERROR 0x7F00u
#define CMDEXE_BUSY 0x8000u
#define CMDEXE_DRIVER_BUSY 0x8100u

/* One adapter command. The part from lengthIn on is the driver's request
 * block; its address is the ioctl argument. */
typedef struct __attribute__((packed)) SDllLinuxCmd {
    uint32_t target; /* bits 0-3 target id, bits 4-7 bus */
    uint8_t *data;   /* caller's buffer: outgoing and incoming data */
    uint8_t cdb[16];
    int32_t cdbLength;
    /* driver request block */
    uint32_t lengthIn; /* bit 24: fixed request layout */
    uint8_t targetId;
    uint8_t bus;
    uint8_t reserved[2];
    uint32_t lengthOut;
    uint8_t hostStatus;
    uint8_t cmdStatus;
    uint8_t area[TAV_AREA_SIZE];
} SDllLinuxCmd;

#ifdef __cplusplus
static_assert(offsetof(SDllLinuxCmd, target) == 0, "target");
static_assert(offsetof(SDllLinuxCmd, data) == 4, "data");
static_assert(offsetof(SDllLinuxCmd, cdb) == 12, "cdb");
static_assert(offsetof(SDllLinuxCmd, cdbLength) == 28, "cdbLength");
static_assert(offsetof(SDllLinuxCmd, lengthIn) == 32, "lengthIn");
static_assert(offsetof(SDllLinuxCmd, targetId) - offsetof(SDllLinuxCmd, lengthIn) == 4, "targetId");
static_assert(offsetof(SDllLinuxCmd, bus) - offsetof(SDllLinuxCmd, lengthIn) == 5, "bus");
static_assert(offsetof(SDllLinuxCmd, lengthOut) - offsetof(SDllLinuxCmd, lengthIn) == 8, "lengthOut");
static_assert(offsetof(SDllLinuxCmd, hostStatus) - offsetof(SDllLinuxCmd, lengthIn) == 12, "hostStatus");
static_assert(offsetof(SDllLinuxCmd, cmdStatus) - offsetof(SDllLinuxCmd, lengthIn) == 13, "cmdStatus");
static_assert(offsetof(SDllLinuxCmd, area) - offsetof(SDllLinuxCmd, lengthIn) == 14, "area");
static_assert(sizeof(SDllLinuxCmd) - offsetof(SDllLinuxCmd, lengthIn) == 65572, "request block size");
#endif

TAVCTL_API int Linux_Open(void);
TAVCTL_API int Linux_Close(void);
TAVCTL_API void Linux_InitCMD(SDllLinuxCmd *cmd, int target, uint8_t *data, int lengthIn, int lengthOut);
TAVCTL_API uint32_t Linux_CmdExe(uint16_t contNo, SDllLinuxCmd *cmd, uint8_t **detail);

TAVCTL_API int CmdExe_Inquiry(uint16_t contNo, uint8_t target, uint8_t *buffer);
TAVCTL_API int CmdExe_Read(uint16_t contNo, uint8_t target, uint8_t *buffer);
TAVCTL_API int CmdExe_Write(uint16_t contNo, uint8_t target, uint32_t lba, uint8_t *buffer);
TAVCTL_API int CmdExe_ModeSense(uint16_t contNo, uint8_t target, uint8_t page, uint8_t *buffer);
TAVCTL_API int CmdExe_ModeSelect(uint16_t contNo, uint8_t target, uint8_t *buffer, uint8_t length);
TAVCTL_API int CmdExe_ReadBuffer2(uint16_t contNo, uint8_t target, uint8_t mode, uint8_t bufferId, uint8_t *buffer,
                                  uint32_t length, uint32_t offset);
TAVCTL_API int CmdExe_ReadBuffer(uint16_t contNo, uint8_t target, uint8_t bufferId, uint8_t *buffer);

/* ---- lifecycle and discovery ---- */
TAVCTL_API int initContData(int exclus);
TAVCTL_API int finContData(void);
TAVCTL_API void TavDllProcessDetach(void);
TAVCTL_API int TavDll_Startup(void);
TAVCTL_API int TavDll_Terminate(void);
TAVCTL_API int AT_FindAdapter(void);
TAVCTL_API void TavDllGetSlotInfo(int contNo, uint8_t *bus, uint8_t *device);
TAVCTL_API int checkCONTno(int contNo, const char *caller, const char *file, int line);
/* 0, or the system error number with which the last start-up (initContData)
 * could not open the driver's device or list its /proc directory: it then
 * found no adapter (initContData still returns 1), for instance for a user
 * who is not root. */
TAVCTL_API int getDiscoveryErrno(void);

/* Exported data: in C++ a declaration inside extern "C" is not a definition. */
TAVCTL_API uint8_t initContData_done;
TAVCTL_API uint8_t ContCnt;

/* ---- error registry and debug trace ---- */
TAVCTL_API uint32_t DLLGetLastError(void);
TAVCTL_API int DLLSetErrorCode(uint32_t code);
TAVCTL_API int registerDLLError(void);
TAVCTL_API void initDLLError(void);
TAVCTL_API void freeDLLError(void);
TAVCTL_API int findDLLErrorIndex(int *index);
TAVCTL_API void DLL_Dprintf(int level, const char *format, ...) __attribute__((format(printf, 2, 3)));
TAVCTL_API void Debug_print_err(int level, uint32_t code, const char *function, const char *file, int line);
TAVCTL_API void Debug_print_msg(int level, uint32_t code, uint32_t commandError, uint32_t argCode, int sysErrno,
                                const char *file, int line);
TAVCTL_API void Debug_print_calledfuncname(int level, const char *name);
TAVCTL_API const char *ArgErrCode2msg(uint32_t argCode);
TAVCTL_API void TavDllCtlDump(const char *title, const void *data, int size);
TAVCTL_API int DebugOn(const char *fileName);
TAVCTL_API int DLLSetDebugLevel(int level);
TAVCTL_API int getInstallDir(int size, char *buffer);
TAVCTL_API char *Debug_time(char *buffer, int unused);

/* ---- trace log file ---- */
TAVCTL_API int initLog(const char *fileName, int maxSize);
TAVCTL_API int dumpLog(const char *srcFile, unsigned line, const char *title, const void *data, unsigned length);

/* ---- hex dump lines ----
 * One line of the suite's hex dumps (debug dump, trace log, the maintenance
 * tool's printer): "%08X: " offset, 16 x "%02X " (three blanks past the end),
 * one extra blank after the eighth byte, a blank, the bytes as characters
 * (letters and digits as they are, anything else "."). Writes no line end;
 * returns the line length, or 0 when `size` is below TAV_DUMP_LINE_SIZE. */
#define TAV_DUMP_BYTES_PER_LINE 16
#define TAV_DUMP_LINE_SIZE 96
#define TAV_DUMP_SEPARATOR "-----------------------------------------------------------------------------"
TAVCTL_API int TavDllFormatDumpLine(char *out, size_t size, unsigned offset, const uint8_t *bytes, unsigned count);

/* ---- paths ----
 * Resolves one of the suite's fixed absolute paths ("/dev/tavdrv",
 * "/var/run/libtavctl.pid", ...) below $TAV_ROOT when that is set and not
 * empty; otherwise copies it unchanged. Returns 1, or 0 when it does not fit. */
TAVCTL_API int Tool_ResolvePath(const char *fixedPath, char *out, size_t outSize);

#include "tavctl_info.h"
#include "tavctl_config.h"
#include "tavctl_ccsch.h"

#endif
