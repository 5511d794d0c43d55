// Firmware dumps: the dump announced at start, the memory window after a
// micro-reboot and the incomplete dump an event reports, each copied into a
// file below the configured dump directory. Also opens the driver node.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavservice.h"

namespace {

constexpr uint32_t kBlock = 512;
constexpr uint32_t kMicroRebootSize = 0x100000;
constexpr uint32_t kIncompleteDumpSize = 0x200000;
constexpr int kKindMicroReboot = 0;
constexpr int kKindNormal = 1;
constexpr int kKindIncomplete = 2;

uint8_t dumpinfo[DUMP_INFO_SIZE];
// The full path of the dump being written. The path is kept whole (the
// system's 64-character field would cut a longer dump directory into a
// different path); a path that does not fit PATH_MAX fails like any other.
char dump_file_name[4096];
int dumpFd = -1;

void CloseDump(void)
{
    if (dumpFd >= 0) {
        close(dumpFd);
        dumpFd = -1;
    }
}

void ReportNotCreated(int contNo)
{
    if (Oslog_ver == 1)
        ServiceLog(PRI_INFO, "tavutil: Dump file was not created. EventID: 00269.");
    else
        ServiceLog(PRI_WARNING, "tavutil: Controller [%d] Dump file was not created. EventID: 00269.", contNo);
}

void ReportStopped(int contNo, const char *errnoText)
{
    if (Oslog_ver == 1) {
        ServiceLog(PRI_INFO, "tavutil: tavservice stopped writing Dump file. errno = %s. EventID: 00270.", errnoText);
    } else {
        ServiceLog(PRI_WARNING,
                   "tavutil: Controller [%d] tavservice stopped writing Dump file. errno = %s. EventID: 00270.", contNo,
                   errnoText);
    }
}

// An existing directory, or one created now with mode 0644.
int PrepareDirectory(const char *path)
{
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        errno = ENOTDIR;
        return -1;
    }
    if (errno == EISDIR)
        return 1;
    if (errno == ENOENT && mkdir(path, 0644) == 0)
        return 1;
    Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
    return -1;
}

int PrepareDirectories(int contNo, const char *dumpDir)
{
    return CheckDumpDirectory(contNo, dumpDir) > 0 && CheckControllerDirectory(contNo, dumpDir) > 0 ? 1 : -1;
}

// Copies `size` bytes in whole blocks from the adapter into the open dump
// file; 1, or 0 after reporting a failed read or write. Closes the file.
int CopyBlocks(int contNo, int controlCode, uint32_t base, uint32_t size)
{
    Trace_Text(__FILE__, __LINE__, "ioctl CALL CONTROLCODE=0x%02x", static_cast<unsigned>(controlCode));
    uint8_t block[kBlock];
    for (uint32_t offset = 0; offset < size; offset += kBlock) {
        if (ExecIoControl(contNo, controlCode, block, kBlock, base + offset) < 0) {
            ReportStopped(contNo, "*");
            CloseDump();
            return 0;
        }
        if (write(dumpFd, block, kBlock) != static_cast<ssize_t>(kBlock)) {
            char number[16];
            snprintf(number, sizeof number, "%d", errno);
            ReportStopped(contNo, number);
            CloseDump();
            return 0;
        }
    }
    CloseDump();
    return 1;
}

int ReportCopied(int contNo, int copied)
{
    if (copied)
        ServiceLog(PRI_INFO, "tavutil: Controller [%d] Dump file was created. EventID: 00268.", contNo);
    return copied;
}

uint32_t DumpSize(void)
{
    return uint32_t{dumpinfo[146]} << 24 | uint32_t{dumpinfo[147]} << 16 | uint32_t{dumpinfo[148]} << 8 | dumpinfo[149];
}

}  // namespace

int tavservice_init(void)
{
    TRACE_CALL(1, 0, 0, 0, 0);
    Fd = OpenDevice();
    if (Fd < 0) {
        ServiceLog(Oslog_ver == 1 ? PRI_ERR : PRI_WARNING,
                   "tavutil: tavservice failed to open an device file. errno = %d. EventID: 00066.", errno);
        return -1;
    }
    return 1;
}

int GetDumpInfo(int contNo)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    return ExecIoControl(contNo, CTL_DUMP_INFO, dumpinfo, DUMP_INFO_SIZE, 0);
}

int GetDumpAndWriteDump(RaidControllerEntry *controllers, ServiceConfigs *configs, FoundEventList *found)
{
    TRACE_CALL(1, 0, 0, 0, 0);
    for (int c = 0; c < TAV_MAX_CONTROLLERS; ++c) {
        if (!controllers[c].supported)
            continue;
        if (GetDumpInfo(c) < 0) {
            if (Oslog_ver != 1) {
                ServiceLog(PRI_ERR, "tavutil: Dump Information does not read. EventID: 04754. Detailedcode: %08x.",
                           DetailedCode(52, c, 0x00FFFFFFu));
            }
            continue;
        }
        WriteDumpToFile(c, configs, &found[c]);
    }
    return 1;
}

int WriteDumpToFile(int contNo, ServiceConfigs *configs, FoundEventList *found)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    uint8_t status = dumpinfo[153];
    if (status == 0 || status == 2)
        return 1;
    if (status != 1) {
        uint32_t code = DetailedCode(5, contNo, 0x00FFFFFFu);
        if (Oslog_ver == 1)
            ServiceLog(PRI_ERR, "tavutil: Dump status is invalid. EventID: 00260. Detailedcode: %08x.", code);
        else
            ServiceLog(PRI_ERR, "tavutil: Controller [%d] Dump status is invalid. EventID: 00260. Detailedcode: %08x.",
                       contNo, code);
        AddFoundEvent(found, 260);
        return -1;
    }
    if (PrepareDirectories(contNo, configs->DumpDir) < 0) {
        ReportNotCreated(contNo);
        return -1;
    }
    if (CheckDumpFile(contNo, configs->DumpDir, kKindNormal) < 0)
        return -1;
    if (!CopyBlocks(contNo, CTL_DUMP_DATA, 0, DumpSize()))
        return -1;
    if (Oslog_ver == 1)
        ServiceLog(PRI_INFO, "tavutil: Dump file was created. EventID: 00268.");
    else
        ServiceLog(PRI_INFO, "tavutil: Controller [%d] Dump file was created. EventID: 00268.", contNo);
    return 1;
}

int CheckDumpDirectory(int contNo, const char *dumpDir)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    return PrepareDirectory(dumpDir);
}

int CheckControllerDirectory(int contNo, const char *dumpDir)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    char path[4096];
    int n = snprintf(path, sizeof path, "%s/contno%d/", dumpDir, contNo);
    if (n < 0 || static_cast<size_t>(n) >= sizeof path)
        return -1;
    return PrepareDirectory(path);
}

int CheckDumpFile(int contNo, const char *dumpDir, int kind)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    char first[4096], target[4096];
    int n =
        snprintf(first, sizeof first, "%s/contno%d/%s", dumpDir, contNo, kind == kKindIncomplete ? "dump1" : "dump0");
    int m =
        snprintf(target, sizeof target, "%s/contno%d/%s", dumpDir, contNo, kind == kKindIncomplete ? "dump1" : "dump");
    int fd = -1;
    if (n > 0 && m > 0 && static_cast<size_t>(n) < sizeof first && static_cast<size_t>(m) < sizeof target) {
        int existing = open(first, O_RDWR | O_CLOEXEC);
        if (existing >= 0) {
            close(existing);
            unlink(target);
            fd = open(target, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            snprintf(dump_file_name, sizeof dump_file_name, "%s", target);
        } else if (errno == ENOENT) {
            fd = open(first, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            snprintf(dump_file_name, sizeof dump_file_name, "%s", first);
        }
    }
    if (fd < 0) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
        ReportNotCreated(contNo);
        return -1;
    }
    dumpFd = fd;
    return 1;
}

int MicroRebootDump(int contNo, ServiceConfigs *configs)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    if (PrepareDirectories(contNo, configs->DumpDir) < 0) {
        ReportNotCreated(contNo);
        return 0;
    }
    if (CheckDumpFile(contNo, configs->DumpDir, kKindMicroReboot) < 0)
        return 0;
    uint32_t start = Model == 8 ? 0xF00000u : 0x1800000u;
    return ReportCopied(contNo, CopyBlocks(contNo, CTL_FIRMWARE_MEMORY, start, kMicroRebootSize));
}

int GetIncmpleteDumpFile(int contNo, ServiceConfigs *configs)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    if (PrepareDirectories(contNo, configs->DumpDir) < 0) {
        ReportNotCreated(contNo);
        return -1;
    }
    if (CheckDumpFile(contNo, configs->DumpDir, kKindIncomplete) < 0)
        return -1;
    return ReportCopied(contNo, CopyBlocks(contNo, CTL_DUMP_DATA, 0, kIncompleteDumpSize));
}
