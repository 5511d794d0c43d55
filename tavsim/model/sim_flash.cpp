#include "sim_flash.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim_store.h"

namespace tavsim {

namespace {

constexpr uint8_t kModeDownloadSave = 0x05;
constexpr uint8_t kFirmwareBuffer = 0x01;
constexpr char kFirmwareMagic[8] = {'T', 'A', 'V', 'F', 'W', 'I', 'M', 'G'};

uint32_t be24(const uint8_t* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
uint32_t be32(const uint8_t* p) { return (uint32_t(p[0]) << 24) | be24(p + 1); }

// Writes a piece at its offset; the first piece starts the file anew.
bool storePiece(const char* root, unsigned controller, uint32_t offset, const uint8_t* data, uint32_t length) {
    char path[kPathMax];
    if (!firmwarePath(root, static_cast<int>(controller), path, sizeof path)) return false;
    std::string dir(path, std::strrchr(path, '/') - path);
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC | (offset == 0 ? O_TRUNC : 0), 0644);
    if (fd < 0) return false;
    bool ok = pwrite(fd, data, length, offset) == static_cast<ssize_t>(length);
    return close(fd) == 0 && ok;
}

// A first piece must carry the image's header and a total it can hold.
bool beginDownload(FlashRecord& flash, const uint8_t* data, uint32_t length) {
    if (length < kFirmwareHeaderSize || std::memcmp(data, kFirmwareMagic, sizeof kFirmwareMagic) != 0) return false;
    uint32_t total = be32(data + 12);
    if (total < kFirmwareHeaderSize || total > kFirmwareMaxSize) return false;
    flash.received = 0;
    flash.expected = total;
    flash.pending = 0;  // the flash is being overwritten
    return true;
}

}  // namespace

bool firmwarePath(const char* root, int controller, char* out, size_t size) {
    int n = std::snprintf(out, size, "%s/var/lib/tavsim/firmware/c%d.img", root, controller);
    return n > 0 && static_cast<size_t>(n) < size;
}

Answer writeBuffer(const ModelContext& ctx, unsigned controller, AdapterRecord& adapter, const Request& req) {
    if ((req.cdb[1] & 0x1F) != kModeDownloadSave || req.cdb[2] != kFirmwareBuffer)
        return illegalRequest(kAscInvalidFieldInCdb);
    uint32_t offset = be24(req.cdb + 3);
    uint32_t length = be24(req.cdb + 6);
    if (length == 0 || length > req.lengthIn) return illegalRequest(kAscParameterListLength);
    FlashRecord& flash = adapter.flash;
    if (offset == 0) {
        if (!beginDownload(flash, req.dataOut, length)) return illegalRequest(kAscInvalidFieldInParameters);
    } else if (flash.expected == 0 || offset != flash.received) {
        return illegalRequest(kAscInvalidFieldInCdb);  // out of order, overlapping, or nothing begun
    }
    if (length > flash.expected - flash.received) return illegalRequest(kAscInvalidFieldInCdb);
    if (!storePiece(ctx.root, controller, offset, req.dataOut, length))
        return checkCondition(kSenseMediumError, kAscWriteError);
    flash.received += length;
    if (flash.received == flash.expected) {
        char header[kFirmwareHeaderSize];
        char path[kPathMax];
        int fd = firmwarePath(ctx.root, static_cast<int>(controller), path, sizeof path)
                     ? open(path, O_RDONLY | O_CLOEXEC)
                     : -1;
        bool read = fd >= 0 && pread(fd, header, sizeof header, 0) == static_cast<ssize_t>(sizeof header);
        if (fd >= 0) close(fd);
        if (!read) return checkCondition(kSenseMediumError, kAscUnrecoveredReadError);
        std::memcpy(flash.pendingRevision, header + 8, sizeof flash.pendingRevision);
        flash.pending = 1;
    }
    return good();
}

void restartAdapter(AdapterRecord& adapter) {
    FlashRecord& flash = adapter.flash;
    if (flash.pending)
        std::memcpy(adapter.controller.generalRevision, flash.pendingRevision, sizeof flash.pendingRevision);
    std::memset(&flash, 0, sizeof flash);
}

}  // namespace tavsim
