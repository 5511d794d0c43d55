// A drive's sectors: the slot's media file (shared with its logical drive),
// its capacity as set through the drive, and the blocks a long write broke.
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "sim_drive.h"
#include "sim_member_media.h"
#include "sim_store.h"

namespace tavsim {

uint32_t driveCapacity(const DriveCall& call) {
    uint64_t limit = call.drive.sata ? call.model.ataMaxAddress : call.model.capacityBlocks;
    return limit != 0 && limit < call.drive.blocks ? static_cast<uint32_t>(limit) : call.drive.blocks;
}

bool isCorrupt(const DriveModelRecord& model, uint64_t lba) {
    for (uint32_t i = 0; i < model.corruptCount && i < kMaxCorruptBlocks; ++i)
        if (model.corrupt[i] == lba) return true;
    return false;
}

void setCorrupt(DriveModelRecord& model, uint64_t lba, bool corrupt) {
    uint32_t count = model.corruptCount < kMaxCorruptBlocks ? model.corruptCount : kMaxCorruptBlocks;
    for (uint32_t i = 0; i < count; ++i) {
        if (model.corrupt[i] != lba) continue;
        if (!corrupt) {
            model.corrupt[i] = model.corrupt[count - 1];
            model.corruptCount = count - 1;
        }
        return;
    }
    if (corrupt && count < kMaxCorruptBlocks) {
        model.corrupt[count] = lba;
        model.corruptCount = count + 1;
    }
}

void blockEcc(const uint8_t* block, uint8_t* ecc) {
    for (uint32_t i = 0; i < kLongBlockSize - kBlockSize; ++i) ecc[i] = 0x5A;
    for (uint32_t i = 0; i < kBlockSize; ++i) ecc[i % (kLongBlockSize - kBlockSize)] ^= block[i];
}

Answer driveMediaTransfer(DriveCall& call, uint64_t lba, uint32_t blocks, uint8_t* data, bool write) {
    char path[kPathMax];
    int fd = mediaPath(call.ctx.root, static_cast<int>(call.controller), call.slot, path, sizeof path)
                 ? open(path, O_RDWR | O_CLOEXEC)
                 : -1;
    size_t size = size_t{blocks} * kBlockSize;
    ssize_t n = fd < 0 ? -1 : transferMedia(fd, data, size, static_cast<off_t>(lba * kBlockSize), write);
    if (fd >= 0) close(fd);
    if (n < 0 || (write && static_cast<size_t>(n) != size))
        return checkCondition(kSenseMediumError, write ? kAscWriteError : kAscUnrecoveredReadError);
    if (!write) std::memset(data + n, 0, size - static_cast<size_t>(n));
    return good();
}

Answer driveRead(DriveCall& call, uint64_t lba, uint32_t blocks, uint8_t* data) {
    Answer injected = injectedError(call, lba, blocks, false);
    if (injected.kind != AnswerKind::Good) return injected;
    for (uint32_t i = 0; i < blocks; ++i)
        if (isCorrupt(call.model, lba + i)) {
            Answer a = checkCondition(kSenseMediumError, kAscUnrecoveredReadError);
            a.information = static_cast<uint32_t>(lba + i);
            return a;
        }
    return driveMediaTransfer(call, lba, blocks, data, false);
}

Answer driveWrite(DriveCall& call, uint64_t lba, uint32_t blocks, const uint8_t* data) {
    Answer injected = injectedError(call, lba, blocks, true);
    if (injected.kind != AnswerKind::Good) return injected;
    // pwrite only reads the buffer.
    Answer a = driveMediaTransfer(call, lba, blocks, const_cast<uint8_t*>(data), true);
    if (a.kind == AnswerKind::Good)
        for (uint32_t i = 0; i < blocks; ++i) setCorrupt(call.model, lba + i, false);
    return a;
}

}  // namespace tavsim
