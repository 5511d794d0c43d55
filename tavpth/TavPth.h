/* The maintenance tool tavpth: what its sources share. */
#ifndef TAVPTH_TOOL_H
#define TAVPTH_TOOL_H

#include <stddef.h>
#include <stdint.h>

#include "tavpth.h"

#define PTH_LOG_NAME "tavpth.log"
#define PTH_LOG_SIZE 2000000
#define PTH_PATH_SIZE 4096
#define PTH_SECTOR 512u
#define PTH_PIECE 0x10000u /* the largest single transfer */
#define PTH_STRIPE_HALF_BLOCKS 128u
#define PTH_LAST_DRIVE 7
#define PTH_KIND_PD 0
#define PTH_KIND_LD 1
#define PTH_MAX_LBA48 0xFFFFFFFFFFFFull

/* Where a message was raised: the source file and line written to the trace. */
struct PthWhere {
    const char *file;
    unsigned line;
};
#define PTH_AT (PthWhere{__FILE__, __LINE__})

/* ---- messages (TavPthMsg) ----
 * Each prints its text on standard output and traces it with the place. */
void TavPthErr0000(PthWhere at);
void TavPthErr0002(PthWhere at);
void TavPthErr0003(PthWhere at);
/* The line after a message that says why it happened: "Cause: %s.". */
void TavPthCause(PthWhere at, const char *cause);
void TavPthErr0004(PthWhere at, const char *call, const char *detail);
void TavPthErr0004d(PthWhere at, const char *call, uint32_t detail);
void TavPthErr0005(PthWhere at, unsigned key, unsigned asc, unsigned ascq);
void TavPthErr0006(PthWhere at, int err);
void TavPthErr0007(PthWhere at, int err, const char *detail);
void TavPthErr0008(PthWhere at, int err);
void TavPthErr0009(PthWhere at);
void TavPthErr0011(PthWhere at, int err);
void TavPthErr0013(PthWhere at, const char *call, int err);
void TavPthErr0014(PthWhere at, int argno);
void TavPthErr0015(PthWhere at);
void TavPthErr0016(PthWhere at, const char *detail);
void TavPthErr0017(PthWhere at);
void TavPthErr0021(PthWhere at);
void TavPthErr0022(PthWhere at, const char *label);
void TavPthErr0023(PthWhere at);
void TavPthErr0024(PthWhere at, const char *kind);
void TavPthErr0025(PthWhere at);
void TavPthErr0026(PthWhere at, const char *vendor);
/* TAV0022 with its label, then TAV0002; yields 0. */
int PthIllegal(PthWhere at, const char *label);
/* A message followed by TAV0002 is the common ending of a refusal. */
#define PTH_FAIL(call) (call, TavPthErr0002(PTH_AT), 0)

/* Prints a formatted text and traces it behind "## " (line ends dropped). */
void PthShow(PthWhere at, const char *format, ...) __attribute__((format(printf, 2, 3)));
/* Traces one formatted line. */
void PthTrace(PthWhere at, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* Reports a failed libtavpth call (TavIsErr); always 0. */
int TavIsErr(uint32_t code, const uint8_t *result);

/* ---- hex printer (TavPthDmp) ---- */
int TavPasPrintData(const char *title, const uint8_t *data, int length, int firstRow, int total);
/* Appends one mode-page report ("\r\n" line ends) to a file; 1/0. */
int FileWriteModePage(const char *fileName, const uint8_t *data, int length);

/* ---- numbers of the command line and of parameter files (TavPthCmd_arg) ---- */
void PthCutLineEnd(char *text);
/* One decimal digit. */
int PthParseDigit(const char *text, int *value);
/* Optional "0x", 1 to maxDigits hexadecimal digits, nothing else. */
int PthParseHex(const char *text, unsigned maxDigits, uint64_t *value);
/* Controller or drive number of the command line: TAV0022 with the label on error. */
int PthArgDigit(const char *arg, const char *label, int *value);
/* A hexadecimal address of the command line: TAV0022 "Address" on error. */
int PthArgAddress(const char *arg, unsigned maxDigits, uint64_t *value);
/* Controller and drive numbers, their checks and the two lines naming them. */
int PthArgTarget(const char *contArg, const char *driveArg, int kind, int *cont, int *drive);

/* ---- checks (TavPthCmd_check) ---- */
int ControllerCheck(int cont);
int DriveCheck(int cont, int drive, int kind);
int DriveCheck_Silence(int cont, int drive);
int getHddType(int cont, int drive, uint32_t *deviceType);
int GetInquiry(int cont, int drive, char *vendor, char *product, char *revision, int report);
/* Prints the two lines naming controller and drive. */
void PthShowTarget(int cont, int drive, int kind);

/* ---- request helpers (TavPthCmd_request) ---- */
/* A wrapped SCSI request to a physical drive: 0xBB (read) or 0xBA, the drive, its CDB. */
void PthWrapped(PassThroughInfo *info, int cont, int drive, int read, const uint8_t *cdb, unsigned cdbLength);
/* A plain SCSI request to a logical drive. */
void PthPlain(PassThroughInfo *info, int cont, int ld, int read, const uint8_t *cdb, unsigned cdbLength);
void PthPutBe(uint8_t *out, uint64_t value, unsigned bytes);
uint64_t PthGetBe(const uint8_t *in, unsigned bytes);
/* A SAT ATA PASS-THROUGH(16) request to a SATA drive. */
void PthSata(PassThroughInfo *info, int cont, int drive, const uint8_t *cdb16, uint8_t direction, uint8_t unit);
void setAtaAddress48bit(uint8_t *cdb16, uint64_t lba);
/* Prints a request's CDB and an empty line. */
void PthPrintCdb(const PassThroughInfo *info);
/* Prints the CDB, sends with `send` and reports a failure; 1/0. */
typedef uint32_t (*PthReadCall)(PassThroughInfo *, uint8_t *, uint32_t *, uint8_t *, uint32_t *);
typedef uint32_t (*PthWriteCall)(PassThroughInfo *, uint8_t *, uint32_t, uint8_t *, uint32_t *);
int PthSendRead(PthReadCall send, PassThroughInfo *info, uint8_t *data, uint32_t length);
int PthSendWrite(PthWriteCall send, PassThroughInfo *info, uint8_t *data, uint32_t length);
/* TavPasAnyCommand with a report of its failure; 1/0. */
int PthSendAny(PassThroughInfo *info, uint8_t *data, uint32_t length);

/* ---- parameter files (TavPthCmd_file) ---- */
struct PthFile;
/* Resolves and opens a parameter file (TAV0004 realpath / TAV0006); NULL after the message. */
PthFile *PthFileOpen(const char *name, char *resolved, size_t resolvedSize, unsigned maxLine);
/* The next counted line with its line end cut: 1; 0 at the end of the file
 * or after a read error; -1 for a counted line longer than the grammar allows. */
int PthFileNext(PthFile *file, char *line, size_t size);
int PthFileError(const PthFile *file);
int PthFileLines(const PthFile *file);
void PthFileRewind(PthFile *file);
void PthFileClose(PthFile *file);
/* A file that ended early: TAV0004 "fgets" after a read error, else TAV0014
 * with argno (0 prints "*", -1 the number of lines read); then TAV0002.
 * Yields 0. */
int PthFileEnded(PthFile *file, int argno);
/* The next counted line as a field: an over-long line is TAV0022 with the
 * label, the end of the file as PthFileEnded with argno. 1/0. */
int PthFileField(PthFile *file, char *line, size_t size, const char *label, int argno);
/* Hex byte pairs; an odd last character is ignored. Yields the count or -1. */
int PthHexBytes(const char *text, uint8_t *out, size_t max);

/* ---- parameter-file pass-through (TavPthCmd_param, _fix) ---- */
int MakeAllocData(uint8_t **buffer, uint32_t length);
void CopyWriteData(uint8_t *buffer, uint32_t total, uint32_t filled);
int endianChange(int flag, const uint8_t *data, uint32_t length, uint8_t *output);
uint32_t TavPthGetAddress(uint8_t code, const char *cdbText, int *valid);
uint32_t GetDataLen(uint8_t code, const char *cdbText, int *valid);
int AddressSetting(PassThroughInfo *info, uint32_t address);
int DataLenSetting(PassThroughInfo *info, uint32_t length);
/* Opens a parameter file and prints its resolved name. */
int PthOpenParameterFile(const char *name, unsigned maxLine, PthFile **file);
/* Lines of the grammars; each reports its own refusal (argno as PthFileEnded). */
int PthFileDigit(PthFile *file, const char *label, int argno, int *value);
int PthFileFlag(PthFile *file, const char *label, int argno, int *value);
int PthFileController(PthFile *file, int argno, int *cont);
int PthFileDrive(PthFile *file, int argno, int cont, int *drive);
int PthFileCdb(PthFile *file, int argno, size_t maxBytes, uint8_t *cdb, int *count, char *text, size_t textSize);
int PthFileLength(PthFile *file, int argno, uint32_t *length);
/* Data lines of a write, appended up to `length`; continuous repeats them. */
int PthFileWriteData(PthFile *file, uint8_t *buffer, uint32_t length, int continuous);
/* Prints the CDB, sends with TavPasAnyCommand and prints what a read returned. */
int PthSendAndShow(PassThroughInfo *info, uint8_t *data, uint32_t length, int read);

/* ---- drive maintenance (TavPthCmd_media, _SATA_maint) ---- */
struct PthMediaErrors {
    int cont;
    int drive;
    uint64_t address;
    int count;
    int skip;
};
/* The E and e file; refusedKind names the drive type the command refuses
 * ("SATA" for E, "SAS" for e). Prints the values read. */
int PthReadMediaErrorFile(const char *name, const char *refusedKind, PthMediaErrors *errors);
uint32_t ReadLongCommand(int cont, int drive, int *success);
int WriteLongCommand(int cont, int drive, uint32_t address, uint32_t length);
int getIdentifyDevice(int cont, int drive, int flag, uint8_t *identify);
int getNumberFromLineBuf(int base, const char *line, unsigned digits, uint32_t *value);

/* ---- log pages (TavPthCmd_logsense, _logpage32) ---- */
#define PTH_LOG32_BUFFER 376
int LogPage31Command(int cont, int drive);
void PrintLogPage31(const uint8_t *data, uint32_t length);
int LogPage32Command(int cont, int drive);
void PrintLogPage32Fix73(const uint8_t *data);
void PrintLogPage32Fix146(const uint8_t *data);
void PrintLogPage32Fix36(const uint8_t *data);

/* ---- handlers ---- */
typedef int (*PthHandler)(int argc, char **argv);
int TavPrintLogsense(int argc, char **argv);
int TavFirmwareUpdate(int argc, char **argv);
int TavFixAnyPassThrough(int argc, char **argv);
int TavPDHDDMediaErrorSet(int argc, char **argv);
int TavPDHDDErrorInjectionSet(int argc, char **argv);
int TavLDOneOneStripeRead(int argc, char **argv);
int TavLDOneOneStripeWrite(int argc, char **argv);
int TavPDOneSectorReadDump(int argc, char **argv);
int TavLDOneOneStripeRead2(int argc, char **argv);
int TavLDOneOneStripeWrite2(int argc, char **argv);
int TavFreAnyPassThrough(int argc, char **argv);
int TavPDOneSectorRead(int argc, char **argv);
int TavPDPrintModePage(int argc, char **argv);
int TavPDOneSectorWrite(int argc, char **argv);
int TavPDHDDCapaChange(int argc, char **argv);
int TavLDOneSectorRead(int argc, char **argv);
int TavLDOneSectorWrite(int argc, char **argv);
int TavPDHDDErrorInjectionSet5(int argc, char **argv);
int TavLDOneOneStripeRead264(int argc, char **argv);
int TavLDOneOneStripeWrite264(int argc, char **argv);
int TavPDHDDMediaErrorSet_SATA(int argc, char **argv);
int TavPDHDDErrorInjectionSet_SATA(int argc, char **argv);

/* SATA twins (TavPthCmd_SATA). */
int TavPDOneSectorRead_SATA(int argc, char **argv);
int TavPDOneSectorWrite_SATA(int argc, char **argv);
int TavFreAnyPassThrough_SATA(const char *fileName);

/* ---- frame (TavPthCmd) ---- */
void HistoryLog(int argc, char **argv);
void signal_setup(void);
void signal_handler(int signo);
void crash_handler(int signo);
/* Ends the run (its message, the library closed, status 1) when a signal
 * arrived and is not deferred; called before every drive command. */
void PthSignalCheck(void);
/* While deferred, a signal waits: both halves of a stripe write are sent.
 * Ending the deferral acts on a signal that came meanwhile. */
void PthDeferSignals(int deferred);
/* The descriptor of the parameter file being read (-1: none). A signal puts
 * an empty input in its place, so a read that would wait (a FIFO) ends at
 * once and the run reaches the point where the signal is acted on. */
void PthSetSignalInput(int fd);

#endif
