/* Failure paths shared by the public entry points: set the error word, write
 * the error line (and detail line) in the entry point's name, return 0. */
#ifndef RAIDCTL_ENTRY_H
#define RAIDCTL_ENTRY_H

#include "tavctl_internal.h"

/* Opens a public entry point: a new trace cycle (unless an outer operation
 * holds it), the call line at level 3, a cleared error word. */
void DllEnter(const char *format, ...) __attribute__((format(printf, 1, 2)));

/* checkCONTno, then the null check of the result record. */
int DllCheckContAndRecord(uint8_t contNo, const void *record, const char *function, int line);

/* Sets code as the error word and reports it; returns 0. */
int DllFailWord(uint32_t code, const char *function, int line);

/* A failed system call: DLL_ERROR_SYSTEM with the call's name and errno
 * (kept for the caller); returns 0. */
int DllFailSystem(const char *call, const char *function, int line);

/* An argument error: DLL_ERROR_PARAM plus argCode; returns 0. */
int DllFailArg(uint32_t argCode, const char *function, int line);

/* A failed inner step or call: its own verdicts (drive or group state, no
 * logical drive, no drive) stand as they are; any other word is marked as
 * coming from the inner call (OR DLL_ERROR_INNER). Returns 0. */
int DllFailInner(const char *function, int line);

/* The error word an inner failure leaves for the caller, as above. */
uint32_t DllInnerErrorWord(void);

/* 1 when pointer is set; else DLL_ARG_ERROR_NULL is reported and 0 returned. */
int DllCheckNull(const void *pointer, const char *function, int line);

/* Calls another public entry point inside the current trace cycle. */
#define DLL_NESTED_CALL(call) (g_busy_flg = 1, DllEndNestedCall(call))
int DllEndNestedCall(int result);

#endif
