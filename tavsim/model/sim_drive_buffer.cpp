// READ BUFFER and WRITE BUFFER of a drive: a 64 KiB data buffer (mode 2), its
// descriptor (mode 3), and drive firmware downloads (modes 5 and 7) kept in
// the drive's "firmware" file.
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "sim_codec.h"
#include "sim_drive.h"
#include "sim_member_media.h"
#include "sim_store.h"

namespace tavsim {

namespace {

constexpr uint32_t kDataBufferSize = 0x10000;
constexpr uint32_t kMaxFirmwareSize = 0x100000;

// Moves bytes in or out of one of the drive's files; reads past its end give zeros.
bool driveFile(DriveCall& c, const char* kind, uint32_t offset, uint8_t* data, uint32_t size, bool write,
               bool truncate = false) {
    char path[kPathMax];
    if (!makeDriveDir(c.ctx.root) || !driveFilePath(c.ctx.root, c.controller, c.slot, kind, path, sizeof path))
        return false;
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : 0), 0644);
    if (fd < 0) return false;
    ssize_t n = transferMedia(fd, data, size, offset, write);
    close(fd);
    if (n < 0) return false;
    if (!write) std::memset(data + n, 0, size - static_cast<size_t>(n));
    return write ? static_cast<uint32_t>(n) == size : true;
}

Answer writeBuffer(DriveCall& c, uint8_t mode, uint32_t offset, uint32_t length) {
    if (length > c.req.lengthIn) return illegalRequest(kAscParameterListLength);
    uint8_t* data = const_cast<uint8_t*>(c.req.dataOut);  // only read by the write
    switch (mode) {
    case 0x02:
        if (offset + length > kDataBufferSize) return illegalRequest(kAscInvalidFieldInCdb);
        return driveFile(c, "buffer", offset, data, length, true) ? good() : checkCondition(0x04, 0x44);
    case 0x05:
    case 0x07:
        if ((mode == 0x05 && offset != 0) || offset > c.model.firmwareBytes || offset + length > kMaxFirmwareSize)
            return illegalRequest(kAscInvalidFieldInCdb);
        if (!driveFile(c, "firmware", offset, data, length, true, offset == 0)) return checkCondition(0x04, 0x44);
        c.model.firmwareBytes = offset + length;
        noteDownloadedImage(c, data, offset, length);
        return good();
    default:
        return illegalRequest(kAscInvalidFieldInCdb);
    }
}

Answer readBuffer(DriveCall& c, uint8_t mode, uint32_t offset, uint32_t length) {
    if (mode == 0x03) {
        const uint8_t descriptor[4] = {0x00, 0x01, 0x00, 0x00};  // offset boundary 0, capacity 64 KiB
        putAnswerData(c.req, descriptor, sizeof descriptor, length);
        return good();
    }
    if (mode != 0x02 || offset + length > kDataBufferSize) return illegalRequest(kAscInvalidFieldInCdb);
    return driveFile(c, "buffer", offset, c.req.area, length, false) ? good() : checkCondition(0x04, 0x44);
}

}  // namespace

Answer driveBuffer(DriveCall& c) {
    uint8_t mode = c.cdb[1] & 0x1F;
    uint32_t offset = get24(c.cdb + 3), length = get24(c.cdb + 6);
    if (length > kMaxTransfer) return illegalRequest(kAscInvalidFieldInCdb);
    return c.cdb[0] == 0x3B ? writeBuffer(c, mode, offset, length) : readBuffer(c, mode, offset, length);
}

}  // namespace tavsim
