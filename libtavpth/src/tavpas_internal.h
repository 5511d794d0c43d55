// Shared pieces of the pass-through library: trace lines, the result buffer,
// the exclusion lock and the completion mapping of one controller command.
#ifndef TAVPAS_INTERNAL_H
#define TAVPAS_INTERNAL_H

#include <stdint.h>

#include "tavpth.h"

#define SRC_ANYCOMMAND "tavpas_anycommand"

// Trace lines in the calling program's trace log (nothing without one).
void TavPasTraceCall(const char *srcFile, unsigned line, const char *function);
void TavPasTraceParam(const char *srcFile, unsigned line, uint8_t detail);
void TavPasTraceSystem(const char *srcFile, unsigned line, const char *call, int sysErrno);
void TavPasTraceInfo(const char *srcFile, unsigned line, const PassThroughInfo *info);
void TavPasTraceResult(const char *srcFile, unsigned line, const uint8_t *result, const uint32_t *resultLength);

// Writes one detail byte into the result buffer when there is one (whatever
// its length says: callers give 260 bytes) and sets the result length to 1
// when there is one.
void TavPasPutDetail(uint8_t *result, uint32_t *resultLength, uint8_t detail);
// A refused argument: details 1-3 go into the result buffer as above, 4 and
// 5 (no result buffer or length to write to) are only traced.
void TavPasRefuseParam(const char *srcFile, unsigned line, uint8_t detail, uint8_t *result, uint32_t *resultLength);
// Writes "%04d%s" (errno, call) and its length, bounded by the buffer's size.
void TavPasPutSystemText(uint8_t *result, uint32_t *resultLength, int sysErrno, const char *call);

// Takes the exclusion lock. Returns the locked descriptor, or -1 with the
// return code (5 or 6) in *code after writing the result text and trace.
int TavPasLockTake(uint8_t *result, uint32_t *resultLength, uint32_t *code);

// Maps a non-zero return of Linux_CmdExe to the library's return code.
uint32_t TavPasMapCompletion(uint32_t cmdResult, const SDllLinuxCmd *cmd, const uint8_t *sense, PassThroughInfo *info,
                             uint8_t *result, uint32_t *resultLength);

// The three shapes of the typed entry points: a SCSI command that reads from
// the drive (the code is placed), one that writes (the code is checked), and an
// ATA command for a SATA drive. `srcFile` and `name` are the entry point's.
uint32_t TavPasReadType(const char *srcFile, const char *name, uint8_t opcode, PassThroughInfo *info, uint8_t *data,
                        uint32_t *length, uint8_t *result, uint32_t *resultLength);
uint32_t TavPasWriteType(const char *srcFile, const char *name, uint8_t opcode, PassThroughInfo *info, uint8_t *data,
                         uint32_t length, uint8_t *result, uint32_t *resultLength);
uint32_t TavPasAtaType(const char *srcFile, const char *name, uint8_t ataCommand, bool toDrive, PassThroughInfo *info,
                       uint8_t *data, uint32_t *length, uint8_t *result, uint32_t *resultLength);
// Refuses a typed request: detail code 1, result length 1, trace; returns `code`.
uint32_t TavPasRefuseForm(const char *srcFile, unsigned line, const char *name, uint8_t *result, uint32_t *resultLength,
                          uint32_t code);

#endif
