// Firmware dumps: the dump announced at start, the memory window after a
// micro-reboot and the incomplete dump an event reports, each copied into a
// file below the configured dump directory. Also opens the driver node.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavbase/file.h"
#include "tavbase/io.h"
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
// The dump is written to a temporary file in the controller directory and
// renamed over its name only once it is whole, so a failed or interrupted
// copy leaves the previous dump as it was.
int dumpFd = -1;
int dumpDirFd = -1;
char dumpName[8];
char dumpTemp[NAME_MAX + 1];

void CloseDumpDirectory(void)
{
    if (dumpDirFd >= 0) {
        close(dumpDirFd);
        dumpDirFd = -1;
    }
}

// Drops an unfinished dump: the temporary file goes, the old dump stays.
void DiscardDump(void)
{
    if (dumpFd >= 0) {
        tavbase::DiscardTempAt(dumpDirFd, dumpFd, dumpTemp);
        dumpFd = -1;
    }
    CloseDumpDirectory();
}

// Puts the whole dump in place; 0 with errno set when that failed.
int CommitDump(void)
{
    int ok = tavbase::CommitTempAt(dumpDirFd, dumpFd, dumpTemp, dumpName);
    dumpFd = -1;
    int saved = errno;
    CloseDumpDirectory();
    errno = saved;
    return ok;
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

void ReportWriteStopped(int contNo, int error)
{
    char number[16];
    snprintf(number, sizeof number, "%d", error);
    ReportStopped(contNo, number);
}

// Dump directories are made searchable (the files in them are 0644), and
// are opened without following a link, each relative to the one above.
constexpr mode_t kDirectoryMode = 0755;

// The directory NAME below DIR, existing or created now; -1 when it cannot
// be had or is no directory of its own (a file, a link).
int PrepareDirectory(int dir, const char *name)
{
    int fd = tavbase::OpenDirAt(dir, name, 1, kDirectoryMode);
    if (fd < 0) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
    }
    return fd;
}

// The directory of the controller's dumps, opened into dumpDirFd.
int PrepareDirectories(int contNo, const char *dumpDir)
{
    CloseDumpDirectory();
    if (CheckDumpDirectory(contNo, dumpDir) < 0)
        return -1;
    return CheckControllerDirectory(contNo, dumpDir);
}

// Copies `size` bytes in whole blocks from the adapter into the open dump
// file and puts it in place; 1, or 0 after reporting a failed read or write
// (the previous dump is kept). Closes the file.
int CopyBlocks(int contNo, int controlCode, uint32_t base, uint32_t size)
{
    Trace_Text(__FILE__, __LINE__, "ioctl CALL CONTROLCODE=0x%02x", static_cast<unsigned>(controlCode));
    uint8_t block[kBlock];
    for (uint32_t offset = 0; offset < size; offset += kBlock) {
        if (ExecIoControl(contNo, controlCode, block, kBlock, base + offset) < 0) {
            ReportStopped(contNo, "*");
            DiscardDump();
            return 0;
        }
        if (!tavbase::WriteAll(dumpFd, block, kBlock)) {
            ReportWriteStopped(contNo, errno);
            DiscardDump();
            return 0;
        }
    }
    if (!CommitDump()) {
        ReportWriteStopped(contNo, errno);
        return 0;
    }
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
    CloseDumpDirectory();
    dumpDirFd = PrepareDirectory(AT_FDCWD, dumpDir);
    return dumpDirFd < 0 ? -1 : 1;
}

// Opens contno<N> below the dump directory that CheckDumpDirectory opened.
int CheckControllerDirectory(int contNo, const char *dumpDir)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    char name[16];
    snprintf(name, sizeof name, "contno%d", contNo);
    int parent = dumpDirFd >= 0 ? dumpDirFd : PrepareDirectory(AT_FDCWD, dumpDir);
    int fd = parent < 0 ? -1 : PrepareDirectory(parent, name);
    if (parent >= 0)
        close(parent);
    dumpDirFd = fd;
    return fd < 0 ? -1 : 1;
}

// Opens a new temporary file for the dump of KIND in the controller
// directory (PrepareDirectories). The first dump is "dump0", later ones
// "dump", the incomplete dump "dump1"; a link or any other non-regular file
// at the name is refused and left alone.
int CheckDumpFile(int contNo, const char *dumpDir, int kind)
{
    TRACE_CALL(2, contNo, 0, 0, 0);
    int fd = -1;
    if (dumpDirFd >= 0) {
        struct stat st;
        const char *name = "dump1";
        if (kind != kKindIncomplete) {
            // Whatever stands at "dump0" counts as the first dump.
            name = fstatat(dumpDirFd, "dump0", &st, AT_SYMLINK_NOFOLLOW) == 0 ? "dump" : "dump0";
        }
        snprintf(dumpName, sizeof dumpName, "%s", name);
        int n = snprintf(dump_file_name, sizeof dump_file_name, "%s/contno%d/%s", dumpDir, contNo, name);
        if (n > 0 && static_cast<size_t>(n) < sizeof dump_file_name && tavbase::ReplaceableAt(dumpDirFd, name, nullptr)) {
            tavbase::RemoveStaleTempsAt(dumpDirFd, name);
            fd = tavbase::CreateTempAt(dumpDirFd, name, 0644, dumpTemp, sizeof dumpTemp);
        }
    } else {
        errno = EBADF;
    }
    if (fd < 0) {
        Trace_Logging(__FILE__, __LINE__, strerror(errno), errno);
        CloseDumpDirectory();
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
