/* Adapter and driver logs: event log, NVRAM and firmware trace read block by
 * block, the dumps the service saved, the flash and working-memory dumps and
 * the driver trace. */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavbase/file.h"
#include "tavlog.h"

#define SRC_FILE "tavlog_log"
#define BLOCK_SIZE 512u
#define GENERATION0_MODEL 8
#define DUMP_INFO_SIZE 256u
#define COPY_PIECE 65536u
#define DRV_TRACE_SIZE 32768u
#define DRV_TRACE_HEADER 16u

namespace {

struct BlockLog {
    int code;
    uint8_t mode;
    uint8_t bufferId;
    uint32_t blocks;
    uint32_t base; /* byte offset of block 0 */
    const char *suffix;
};

uint32_t memoryBase(uint32_t generation0, uint32_t other)
{
    return Model == GENERATION0_MODEL ? generation0 : other;
}

BlockLog blockLogOf(int code)
{
    switch (code) {
    case LOG_RAID:
        return {code, 1, 0xA6, 4096, 0, "_RaidLog"};
    case LOG_NVRAM:
        return {code, 2, 8, 64, 0, "_NvramLog"};
    case LOG_FWTRC:
        return {code, 2, 7, 256, memoryBase(0xC00000, 0x1700000), "_FWTrcLog"};
    default:
        return {code, 2, 7, 2048, memoryBase(0xF00000, 0x1800000), "_TempMemDump"};
    }
}

/* Maps a failed channel result to the cause of the report. */
void readErrorCause(uint32_t result, const SDllLinuxCmd *cmd, const uint8_t *detail)
{
    switch (result) {
    case CMDEXE_BUSY:
        g_errDetail.detail = CAUSE_DRIVER_TIMEOUT;
        break;
    case CMDEXE_SENSE:
        g_errDetail.detail = CAUSE_CHECK_CONDITION;
        if (detail != nullptr) {
            g_errDetail.senseKey = detail[2] & 0x0F;
            g_errDetail.asc = detail[12];
            g_errDetail.ascq = detail[13];
        }
        break;
    case CMDEXE_ADAPTER_ERROR:
        g_errDetail.detail = CAUSE_DRIVER_ERROR;
        g_errDetail.adapterError = cmd->area[1];
        break;
    default:
        g_errDetail.detail = CAUSE_SYSTEM;
        break;
    }
}

/* Sends one prepared command to target 0 of the controller; reports a failure. */
int sendToAdapter(int contNo, SDllLinuxCmd *cmd, const uint8_t *cdb, int cdbLength, const char *function)
{
    memcpy(cmd->cdb, cdb, (size_t)cdbLength);
    cmd->cdbLength = cdbLength;
    uint8_t *detail = nullptr;
    uint32_t result = Linux_CmdExe((uint16_t)contNo, cmd, &detail);
    if (result == CMDEXE_OK) {
        return 1;
    }
    readErrorCause(result, cmd, detail);
    PrintError(MSG_GENERAL, ERR_KIND_MESSAGE, function, __LINE__);
    return 0;
}

/* Writes `blocks` blocks of a buffer into the open file. */
int writeBlocks(int fd, const BlockLog &log, uint32_t blocks)
{
    uint8_t block[BLOCK_SIZE];
    for (uint32_t i = 0; i < blocks; ++i) {
        if (!GetReadBufferLog(CONTno, log.mode, log.bufferId, block, BLOCK_SIZE, log.base + i * BLOCK_SIZE) ||
            !WriteAll(fd, block, sizeof block, "WriteBlockLog", __LINE__)) {
            return 0;
        }
    }
    return 1;
}

int writeBlockFile(const BlockLog &log, const char *suffix, uint32_t blocks)
{
    if (!ChooseOutputName(suffix)) {
        return 0;
    }
    int fd = CreateOutputFile(g_outFile);
    if (fd < 0) {
        return 0;
    }
    int written = writeBlocks(fd, log, blocks);
    return FinishOutput(fd, written, "WriteBlockLog", __LINE__);
}

int noDump(const char *source)
{
    fputs("TAV1001-I RAID there is not dump file.\n", stdout);
    fflush(stdout);
    dumpLog(SRC_FILE, __LINE__, "TAV1001-I RAID there is not dump file.", NULL, 0);
    dumpLog(SRC_FILE, __LINE__, source, NULL, 0);
    return 0;
}

/* Copies one saved dump; 1 copied, 0 not. */
int copyDumpFile(const char *source, const char *suffix)
{
    int in = tavbase::OpenReadFile(source);
    if (in < 0) {
        return errno == ENOENT || errno == EINVAL ? noDump(source) : SystemError(SRC_FILE, __LINE__, "open", errno);
    }
    struct stat st;
    if (fstat(in, &st) != 0 || st.st_size == 0) {
        close(in);
        return noDump(source);
    }
    if (!ChooseOutputName(suffix)) {
        close(in);
        return 0;
    }
    int out = CreateOutputFile(g_outFile);
    if (out < 0) {
        close(in);
        return 0;
    }
    static uint8_t piece[COPY_PIECE];
    uint64_t copied = 0;
    bool ok = true;
    ssize_t n;
    while ((n = read(in, piece, sizeof piece)) > 0) {
        if (!WriteAll(out, piece, (size_t)n, "CopyFwDump", __LINE__)) {
            ok = false;
            break;
        }
        copied += (uint64_t)n;
    }
    if (n < 0) {
        ok = SystemError(SRC_FILE, __LINE__, "read", errno);
    }
    if (close(in) != 0) {
        ok = SystemError(SRC_FILE, __LINE__, "close", errno);
    }
    if (!FinishOutput(out, ok && copied > 0, "CopyFwDump", __LINE__)) {
        AbandonOutput();
        return 0;
    }
    return 1;
}

}  // namespace

/* Names the output file: the run's prefix and `suffix` (the drive digit is
 * part of a drive log's suffix). */
int ChooseOutputName(const char *suffix)
{
    int n = snprintf(g_outFile, sizeof g_outFile, "%s%s", g_namePrefix, suffix);
    if (n < 0 || (size_t)n >= sizeof g_outFile) {
        g_outFile[0] = '\0';
        return SystemError(SRC_FILE, __LINE__, "snprintf", EOVERFLOW);
    }
    g_errDetail.fileFlag = 1;
    return 1;
}

/* The temporary file that the current output is collected in, until it is
 * whole and renamed to g_outFile; empty when none is open. */
static char g_outTemp[TAVLOG_NAME_SIZE + 32];

/* Creates a new output file; never opens an existing one. The log goes to a
 * temporary file beside it, which gets the name only when it is whole
 * (FinishOutput), so a killed run never leaves a partial log under it. */
int CreateOutputFile(const char *name)
{
    struct stat st;
    int error = EEXIST;
    g_outTemp[0] = '\0';
    if (fstatat(AT_FDCWD, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        error = errno;
    }
    if (error == ENOENT) {
        tavbase::RemoveStaleTempsAt(AT_FDCWD, name);
        int fd = tavbase::CreateTempAt(AT_FDCWD, name, 0644, g_outTemp, sizeof g_outTemp);
        if (fd >= 0) {
            return fd;
        }
        g_outTemp[0] = '\0';
        error = errno;
    }
    if (error == EEXIST) {
        g_outFile[0] = '\0'; /* not ours: never removed or renamed */
        PrintError(MSG_STARTED, ERR_KIND_MESSAGE, "CreateOutputFile", __LINE__);
    } else {
        SystemError(SRC_FILE, __LINE__, "open", error);
    }
    return -1;
}

/* Closes the output; when WHOLE, flushes it and gives it its name (never
 * over a file that appeared meanwhile). 1 when the log is in place. */
int FinishOutput(int fd, int whole, const char *function, int line)
{
    int ok = whole;
    if (ok && fsync(fd) != 0) {
        ok = SystemError(SRC_FILE, line, function, errno);
    }
    if (close(fd) != 0) {
        ok = ok ? SystemError(SRC_FILE, line, function, errno) : 0;
    }
    if (ok && g_outTemp[0] != '\0') {
        if (renameat2(AT_FDCWD, g_outTemp, AT_FDCWD, g_outFile, RENAME_NOREPLACE) != 0) {
            return SystemError(SRC_FILE, line, "rename", errno);
        }
        g_outTemp[0] = '\0';
    }
    return ok;
}

int CloseOutput(int fd, const char *function, int line)
{
    return FinishOutput(fd, 1, function, line);
}

/* A failed collection's output: an empty one goes; a partial one gets
 * "Incomplete" appended (replacing an older partial log of that name), so it
 * never passes for a whole log. */
void AbandonOutput(void)
{
    const char *current = g_outTemp[0] != '\0' ? g_outTemp : g_outFile;
    struct stat st;
    if (current[0] == '\0' || fstatat(AT_FDCWD, current, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        g_outTemp[0] = '\0';
        return;
    }
    if (st.st_size == 0) {
        unlink(current);
        g_outTemp[0] = '\0';
        return;
    }
    const char *mark = "Incomplete";
    size_t length = strlen(g_outFile);
    char partial[TAVLOG_NAME_SIZE + 16];
    bool marked = length >= strlen(mark) && strcmp(g_outFile + length - strlen(mark), mark) == 0;
    snprintf(partial, sizeof partial, "%s%s", g_outFile, marked ? "" : mark);
    if (strcmp(current, partial) != 0 && rename(current, partial) != 0) {
        TraceSystemError(SRC_FILE, __LINE__, "rename", errno);
    }
    g_outTemp[0] = '\0';
}

int WriteAll(int fd, const void *data, size_t length, const char *function, int line)
{
    const uint8_t *p = static_cast<const uint8_t *>(data);
    while (length > 0) {
        ssize_t n = write(fd, p, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            int error = n < 0 ? errno : ENOSPC;
            if (error == ENOSPC) {
                TraceSystemError(SRC_FILE, line, function, error);
                PrintError(MSG_DISK_FULL, ERR_KIND_MESSAGE, function, line);
                return 0;
            }
            return SystemError(SRC_FILE, line, function, error);
        }
        p += n;
        length -= (size_t)n;
    }
    return 1;
}

/* READ BUFFER(10) to target 0; buffer 7 lies above 16 MB and is addressed
 * as buffer 0x17 in units of 256 bytes. */
int GetReadBufferLog(int contNo, uint8_t mode, uint8_t bufferId, uint8_t *buffer, uint32_t length, uint32_t offset)
{
    static bool traced = false;
    if (!traced) {
        traced = true;
        TraceCall(SRC_FILE, __LINE__, 5, "GetReadBufferLog");
    }
    if (bufferId == 7) {
        bufferId = 0x17;
        offset /= 256;
    }
    static SDllLinuxCmd cmd;
    Linux_InitCMD(&cmd, 0, buffer, 0, (int)length);
    const uint8_t cdb[10] = {0x3C,
                             mode,
                             bufferId,
                             (uint8_t)(offset >> 16),
                             (uint8_t)(offset >> 8),
                             (uint8_t)offset,
                             (uint8_t)(length >> 16),
                             (uint8_t)(length >> 8),
                             (uint8_t)length,
                             0};
    return sendToAdapter(contNo, &cmd, cdb, sizeof cdb, "GetReadBufferLog");
}

/* Event log, NVRAM or firmware trace; an automatic trace run then rotates. */
int WriteBlockLog(int code)
{
    TraceCall(SRC_FILE, __LINE__, 5, "WriteBlockLog");
    BlockLog log = blockLogOf(code);
    if (!writeBlockFile(log, log.suffix, log.blocks)) {
        return 0;
    }
    if (code == LOG_FWTRC && WhoWokeMe == WOKE_AUTOMATIC) {
        /* The trace is whole: a failing rotation must not touch it. */
        char written[TAVLOG_NAME_SIZE];
        snprintf(written, sizeof written, "%s", g_outFile);
        g_outFile[0] = '\0';
        return RotateFwTrace(written);
    }
    return 1;
}

/* Copies the dumps the monitoring service saved below DumpDir. */
int CopyFwDump(void)
{
    TraceCall(SRC_FILE, __LINE__, 5, "CopyFwDump");
    static const char *const kNames[3] = {"dump", "dump0", "dump1"};
    static const char *const kSuffixes[3] = {"_FWDump", "_FWDumpOldest", "_FWDumpIncomplete"};
    char dumpDir[1024];
    if (!GetDumpFileDir(dumpDir, sizeof dumpDir)) {
        g_errDetail.detail = CAUSE_SYSTEM;
        PrintError(MSG_GENERAL, ERR_KIND_MESSAGE, "CopyFwDump", __LINE__);
        return 0;
    }
    int copied = 0;
    for (int i = 0; i < 3; ++i) {
        char source[TAVLOG_PATH_SIZE];
        snprintf(source, sizeof source, "%s/contno%d/%s", dumpDir, CONTno, kNames[i]);
        copied += copyDumpFile(source, kSuffixes[i]);
    }
    g_outFile[0] = '\0';
    return copied > 0;
}

/* The dump kept in the adapter's flash: its size and state come from the
 * dump information; without a complete dump all 4096 blocks are read. */
int WriteFwDumpFromFROM(void)
{
    TraceCall(SRC_FILE, __LINE__, 5, "WriteFwDumpFromFROM");
    uint8_t info[DUMP_INFO_SIZE];
    uint32_t blocks = 4096;
    const char *suffix = "_RaidFWDumpIncomplete";
    if (GetReadBufferLog(CONTno, 1, 0xA5, info, sizeof info, 0) && (info[153] == 1 || info[153] == 2)) {
        uint32_t size =
            ((uint32_t)info[146] << 24) | ((uint32_t)info[147] << 16) | ((uint32_t)info[148] << 8) | info[149];
        blocks = size / BLOCK_SIZE + (size % BLOCK_SIZE != 0 ? 1 : 0);
        suffix = "_RaidFWDump";
    }
    BlockLog log = {LOG_FWDUMP_FROM, 1, 0xA4, blocks, 0, suffix};
    return writeBlockFile(log, suffix, blocks);
}

int WriteFwDumpFromSDRAM(void)
{
    TraceCall(SRC_FILE, __LINE__, 5, "WriteFwDumpFromSDRAM");
    BlockLog log = blockLogOf(LOG_FWDUMP_SDRAM);
    return writeBlockFile(log, log.suffix, log.blocks);
}

/* The driver's trace: the command status, then the returned data from its
 * 17th byte on, under the fixed name that each collection replaces. The new
 * trace is written beside the old one and renamed over it, so a collection
 * that fails leaves the old trace whole; a link or anything but a regular
 * file under that name is refused. */
int WriteDrvTrac(void)
{
    TraceCall(SRC_FILE, __LINE__, 6, "WriteDrvTrac");
    snprintf(g_outFile, sizeof g_outFile, "%s", "TAV_DrvLog");
    g_errDetail.fileFlag = 1;
    static uint8_t data[DRV_TRACE_SIZE];
    static SDllLinuxCmd cmd;
    Linux_InitCMD(&cmd, 0, data, 0, (int)sizeof data);
    const uint8_t cdb[10] = {0xC0, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0};
    int ok = sendToAdapter(0, &cmd, cdb, sizeof cdb, "WriteDrvTrac");
    if (ok) {
        static uint8_t content[1 + DRV_TRACE_SIZE - DRV_TRACE_HEADER];
        content[0] = cmd.cmdStatus;
        memcpy(content + 1, data + DRV_TRACE_HEADER, sizeof content - 1);
        if (tavbase::ReplaceFileAt(AT_FDCWD, g_outFile, content, sizeof content, 0644) != tavbase::kReplaced) {
            int error = errno;
            if (error == ENOSPC) {
                TraceSystemError(SRC_FILE, __LINE__, "WriteDrvTrac", error);
                PrintError(MSG_DISK_FULL, ERR_KIND_MESSAGE, "WriteDrvTrac", __LINE__);
            } else {
                SystemError(SRC_FILE, __LINE__, "WriteDrvTrac", error);
            }
            ok = 0;
        }
    }
    if (!ok) {
        g_outFile[0] = '\0'; /* the old trace, if any, stays as it was */
    }
    return ok;
}
