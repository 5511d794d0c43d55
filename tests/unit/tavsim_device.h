// Talking to the adapter simulator the way the driver's callers do:
// hand-built request blocks sent with ioctl on $TAV_ROOT/dev/tavdrv through
// the preloaded shim. Layouts are written out here on purpose, independent of
// the product's headers.
#ifndef TAVSIM_DEVICE_H
#define TAVSIM_DEVICE_H

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include "tavtest.h"

namespace tavsimtest {

using tavtest::SimServer;

constexpr unsigned long kRequestController0 = 0xC008740AUL;
constexpr uint32_t kFixedFlag = 0x01000000u;

struct __attribute__((packed)) RequestBlock {
    uint32_t lengthIn;
    uint8_t targetId;
    uint8_t bus;
    uint8_t reserved[2];
    uint32_t lengthOut;
    uint8_t hostStatus;
    uint8_t cmdStatus;
    uint8_t area[65558];
};
static_assert(sizeof(RequestBlock) == 65572, "driver request block");

struct Result {
    int ret;
    int err;
};

// One open device node of a simulated server.
class Device {
public:
    explicit Device(const SimServer &server, bool fixed = true) : fixed_(fixed)
    {
        server.activate();
        fd_ = open((server.root() + "/dev/tavdrv").c_str(), O_RDWR);
    }
    ~Device()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

    // Sends cdb with outgoing data in the layout chosen for this device.
    Result send(uint8_t target, std::vector<uint8_t> cdb, const std::vector<uint8_t> &out, uint32_t lengthOut,
                bool fixed)
    {
        std::memset(block.get(), 0, sizeof(RequestBlock));
        block->lengthIn = static_cast<uint32_t>(out.size()) | (fixed ? kFixedFlag : 0);
        block->targetId = target;
        block->lengthOut = lengthOut;
        std::memcpy(block->area, cdb.data(), cdb.size());
        size_t at = fixed ? 16 : cdb.size();
        if (!out.empty())
            std::memcpy(block->area + at, out.data(), out.size());
        errno = 0;
        int ret = ioctl(fd_, kRequestController0, block.get());
        return {ret, errno};
    }
    Result send(uint8_t target, std::vector<uint8_t> cdb, const std::vector<uint8_t> &out = {}, uint32_t lengthOut = 0)
    {
        return send(target, std::move(cdb), out, lengthOut, fixed_);
    }

    Result readBuffer(uint8_t id, uint32_t length, uint32_t offset = 0)
    {
        return send(0,
                    {0x3C, 0x01, id, uint8_t(offset >> 16), uint8_t(offset >> 8), uint8_t(offset),
                     uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 0},
                    {}, length);
    }
    Result readBlocks(uint8_t target, uint32_t lba, uint16_t count)
    {
        return send(target, rw(0x28, lba, count), {}, count * 512u);
    }
    Result writeBlocks(uint8_t target, uint32_t lba, const std::vector<uint8_t> &data)
    {
        return send(target, rw(0x2A, lba, uint16_t(data.size() / 512)), data, 0);
    }
    std::vector<uint8_t> data(size_t n) const { return std::vector<uint8_t>(block->area, block->area + n); }

    std::unique_ptr<RequestBlock> block{new RequestBlock};

private:
    static std::vector<uint8_t> rw(uint8_t op, uint32_t lba, uint16_t count)
    {
        return {op,           0, uint8_t(lba >> 24),  uint8_t(lba >> 16), uint8_t(lba >> 8),
                uint8_t(lba), 0, uint8_t(count >> 8), uint8_t(count),     0};
    }
    int fd_ = -1;
    bool fixed_;
};

inline nlohmann::json showAdapter(const SimServer &server)
{
    return nlohmann::json::parse(server.show())["adapters"][0];
}

inline std::vector<uint8_t> randomBytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v)
        b = uint8_t(gen());
    return v;
}

inline std::vector<uint8_t> media(const SimServer &server, int slot, uint64_t lba, size_t blocks)
{
    char name[64];
    std::snprintf(name, sizeof name, "/var/lib/tavsim/media/c0-d%02d.img", slot);
    std::vector<uint8_t> v(blocks * 512);
    int fd = open(server.path(name).c_str(), O_RDONLY);
    EXPECT_GE(fd, 0) << name;
    EXPECT_EQ(pread(fd, v.data(), v.size(), off_t(lba * 512)), ssize_t(v.size()));
    close(fd);
    return v;
}

// Puts data straight onto a drive's media, as an earlier life of the drive left it.
inline void writeMedia(const SimServer &server, int slot, uint64_t lba, const std::vector<uint8_t> &data)
{
    char name[64];
    std::snprintf(name, sizeof name, "/var/lib/tavsim/media/c0-d%02d.img", slot);
    int fd = open(server.path(name).c_str(), O_WRONLY);
    ASSERT_GE(fd, 0) << name;
    EXPECT_EQ(pwrite(fd, data.data(), data.size(), off_t(lba * 512)), ssize_t(data.size()));
    close(fd);
}

inline void expectSense(const Device &dev, const Result &r, uint8_t key, uint8_t asc, uint8_t ascq = 0)
{
    EXPECT_EQ(r.ret, -1);
    EXPECT_EQ(r.err, EIO);
    EXPECT_EQ(dev.block->cmdStatus, 0x02);
    EXPECT_EQ(dev.block->area[0], 0x70);
    EXPECT_EQ(dev.block->area[2], key);
    EXPECT_EQ(dev.block->area[7], 10);
    EXPECT_EQ(dev.block->area[12], asc);
    EXPECT_EQ(dev.block->area[13], ascq);
}

// A MODE SELECT page of `size` bytes: code, page length, function, number.
inline std::vector<uint8_t> page(uint8_t code, size_t size, uint8_t function, uint8_t number)
{
    std::vector<uint8_t> p(size, 0);
    p[0] = code;
    p[1] = uint8_t(size - 2);
    p[2] = function;
    p[3] = number;
    return p;
}

// The action page 0x3C (logical drive or drive actions).
inline std::vector<uint8_t> groupAction(uint8_t function, uint8_t number, uint8_t parameter = 0)
{
    std::vector<uint8_t> p = page(0x3C, 16, function, number);
    p[4] = parameter;
    return p;
}

// MODE SELECT(6) of one page behind a zero 4-byte mode header, to target 0.
inline Result selectPage(Device &dev, const std::vector<uint8_t> &p)
{
    std::vector<uint8_t> list(4, 0);
    list.insert(list.end(), p.begin(), p.end());
    return dev.send(0, {0x15, 0x11, 0, 0, uint8_t(list.size()), 0}, list);
}

inline uint32_t be32(const std::vector<uint8_t> &b, size_t at)
{
    return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// A READ BUFFER image, empty when the read failed.
inline std::vector<uint8_t> buffer(Device &dev, uint8_t id, uint32_t length)
{
    if (dev.readBuffer(id, length).ret != 0)
        return {};
    return dev.data(length);
}

}  // namespace tavsimtest

#endif
