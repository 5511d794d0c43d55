#include "sim_member_media.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "sim_store.h"
#include "sim_topology.h"

namespace tavsim {

MemberMedia::MemberMedia(const ModelContext& ctx, unsigned controller, const AdapterRecord& adapter,
                         const GroupRecord& group)
    : ctx_(ctx), controller_(controller), adapter_(adapter), group_(group) {
    for (int& fd : fds_) fd = -1;
}

MemberMedia::~MemberMedia() {
    for (int fd : fds_)
        if (fd >= 0) close(fd);
}

bool MemberMedia::usable(int pos) const {
    const MemberRecord& m = group_.members[pos];
    return m.state == kMemberInUse && driveUsable(adapter_.drives[m.servingDrive % kMaxDrives]);
}

ssize_t transferMedia(int fd, uint8_t* data, size_t size, off_t offset, bool out) {
    size_t done = 0;
    while (done < size) {
        off_t at = offset + static_cast<off_t>(done);
        ssize_t n = out ? pwrite(fd, data + done, size - done, at) : pread(fd, data + done, size - done, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || (n == 0 && out)) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool MemberMedia::read(int pos, uint64_t lba, uint8_t* out, uint32_t blocks) {
    int fd = open(pos);
    size_t size = size_t{blocks} * kBlockSize;
    ssize_t n = fd < 0 ? -1 : transferMedia(fd, out, size, static_cast<off_t>(lba * kBlockSize), false);
    if (n < 0) return false;
    std::memset(out + n, 0, size - static_cast<size_t>(n));  // past the end of the media
    return true;
}

bool MemberMedia::write(int pos, uint64_t lba, const uint8_t* data, uint32_t blocks) {
    int fd = open(pos);
    size_t size = size_t{blocks} * kBlockSize;
    // pwrite only reads the buffer.
    return fd >= 0 && transferMedia(fd, const_cast<uint8_t*>(data), size, static_cast<off_t>(lba * kBlockSize), true) ==
                          static_cast<ssize_t>(size);
}

bool MemberMedia::clear(int pos) {
    int fd = open(pos);
    if (fd < 0) return false;
    off_t size = static_cast<off_t>(adapter_.drives[group_.members[pos].servingDrive % kMaxDrives].blocks) * kBlockSize;
    return ftruncate(fd, 0) == 0 && ftruncate(fd, size) == 0;
}

bool MemberMedia::nextData(int pos, uint64_t lba, uint64_t* found) {
    int fd = open(pos);
    if (fd < 0) return false;
    off_t at = lseek(fd, static_cast<off_t>(lba * kBlockSize), SEEK_DATA);
    if (at >= 0) {
        *found = static_cast<uint64_t>(at) / kBlockSize;
        return true;
    }
    if (errno != EINVAL) return false;  // ENXIO: no data after lba
    *found = lba;                       // holes not reported: take every block as data
    return true;
}

int MemberMedia::open(int pos) {
    if (fds_[pos] >= 0) return fds_[pos];
    char path[kPathMax];
    int slot = group_.members[pos].servingDrive % kMaxDrives;
    if (!mediaPath(ctx_.root, static_cast<int>(controller_), slot, path, sizeof path)) return -1;
    fds_[pos] = ::open(path, O_RDWR | O_CLOEXEC);
    return fds_[pos];
}

}  // namespace tavsim
