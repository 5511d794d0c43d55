// Fixture of the pass-through library's tests: a simulated server, requests
// for its drives, and two seams of the test program itself. The program
// defines `flock` and `ioctl`, which come before the C library and the driver
// shim in symbol lookup: a test can run code at the pass-through lock's
// flock calls (to interleave other processes deterministically) and see every
// request block the control library hands to the driver.
// Include it in one source file per test program.
#ifndef TAVPTH_FIXTURE_H
#define TAVPTH_FIXTURE_H

#include <dlfcn.h>
#include <stdarg.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <string>
#include <vector>

#include "tavpth.h"
#include "tavtest.h"

namespace tavpthtest {

// Runs around the pass-through lock's exclusive flock calls while set.
// `before` runs before the call, `after` with its result.
struct FlockSeam {
    std::function<void(int fd)> before;
    std::function<void(int fd, int result)> after;
    std::function<void(int fd)> unlock;  // before an unlock of the lock file
};
inline FlockSeam g_flockSeam;
// Set in a process forked from inside a seam: the seam stays as it is (it is
// running) but no longer acts.
inline bool g_seamOff = false;

// Request blocks seen by the driver while recording (lengths and the area head).
struct SeenRequest {
    uint32_t lengthIn;
    uint32_t lengthOut;
    uint8_t targetId;
    std::vector<uint8_t> area;  // the first 64 bytes of the area as sent
};
inline bool g_recording = false;
inline std::vector<SeenRequest> g_seen;

inline bool isPassThroughLock(int fd)
{
    char link[64];
    char target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) {
        return false;
    }
    target[n] = '\0';
    return strstr(target, "/.libtavpth.lock") != nullptr;
}

}  // namespace tavpthtest

extern "C" int flock(int fd, int operation)
{
    using namespace tavpthtest;
    static auto real = reinterpret_cast<int (*)(int, int)>(dlsym(RTLD_NEXT, "flock"));
    bool seam = !g_seamOff && isPassThroughLock(fd);
    if (seam && (operation & LOCK_EX) && g_flockSeam.before) {
        g_flockSeam.before(fd);
    }
    if (seam && (operation & LOCK_UN) && g_flockSeam.unlock) {
        g_flockSeam.unlock(fd);
    }
    int result = real(fd, operation);
    if (seam && (operation & LOCK_EX) && g_flockSeam.after) {
        int saved = errno;
        g_flockSeam.after(fd, result);
        errno = saved;
    }
    return result;
}

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    using namespace tavpthtest;
    static auto real = reinterpret_cast<int (*)(int, unsigned long, void *)>(dlsym(RTLD_NEXT, "ioctl"));
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);
    if (g_recording && request >= 0xC008740Aul && request <= 0xC008740Dul) {
        const uint8_t *block = static_cast<const uint8_t *>(argument);
        SeenRequest seen;
        memcpy(&seen.lengthIn, block, 4);
        memcpy(&seen.lengthOut, block + 8, 4);
        seen.targetId = block[4];
        seen.area.assign(block + 14, block + 14 + 64);
        g_seen.push_back(seen);
    }
    return real(fd, request, argument);
}

namespace tavpthtest {

// A request to drive `target` of controller 0.
inline PassThroughInfo request(uint32_t deviceType, uint32_t form, uint8_t target, uint8_t direction,
                               std::vector<uint8_t> cdb)
{
    PassThroughInfo info;
    memset(&info, 0, sizeof info);
    info.deviceType = deviceType;
    info.cdbForm = form;
    info.targetNo = target;
    info.direction = direction;
    memcpy(info.cdb, cdb.data(), cdb.size() < 16 ? cdb.size() : 16);
    info.cdbLength = static_cast<uint32_t>(cdb.size());
    return info;
}

// Wrapped SCSI command: 0xBB (from the drive) or 0xBA, the drive, its CDB.
inline PassThroughInfo wrapped(uint8_t drive, bool fromDrive, std::vector<uint8_t> driveCdb)
{
    driveCdb.insert(driveCdb.begin(), {static_cast<uint8_t>(fromDrive ? 0xBB : 0xBA), drive});
    return request(TAVPAS_DEVICE_SCSI, TAVPAS_FORM_WRAPPED, drive, fromDrive ? 1 : 0, driveCdb);
}

inline std::vector<uint8_t> rw10(uint8_t op, uint32_t lba, uint16_t blocks)
{
    return {op,           0, uint8_t(lba >> 24),   uint8_t(lba >> 16), uint8_t(lba >> 8),
            uint8_t(lba), 0, uint8_t(blocks >> 8), uint8_t(blocks),    0};
}

// SAT ATA PASS-THROUGH(16) with the 48-bit address in SAT order.
inline std::vector<uint8_t> sat16(uint8_t protocol, uint8_t flags, uint16_t count, uint64_t lba, uint8_t command)
{
    return {0x85,
            protocol,
            flags,
            0,
            0,
            uint8_t(count >> 8),
            uint8_t(count),
            uint8_t(lba >> 24),
            uint8_t(lba),
            uint8_t(lba >> 32),
            uint8_t(lba >> 8),
            uint8_t(lba >> 40),
            uint8_t(lba >> 16),
            0x40,
            command,
            0};
}

// What one call returned: code, result bytes and result length.
struct Outcome {
    uint32_t code;
    std::vector<uint8_t> result;
    uint32_t resultLength;
};

class PassThrough : public ::testing::Test {
protected:
    explicit PassThrough(const std::string &config = std::string()) : server(config) {}
    void SetUp() override
    {
        ASSERT_TRUE(server.ok()) << server.initOutput();
        server.activate();
    }
    void TearDown() override
    {
        g_flockSeam = FlockSeam{};
        g_recording = false;
        g_seen.clear();
    }

    // Runs `call` with a zeroed 260-byte result buffer of the given size.
    template <typename Call> Outcome run(Call call, uint32_t resultSize = TAVPAS_RESULT_SIZE)
    {
        Outcome o;
        o.result.assign(TAVPAS_RESULT_SIZE + 64, 0xEE);
        memset(o.result.data(), 0, TAVPAS_RESULT_SIZE);
        o.resultLength = resultSize;
        o.code = call(o.result.data(), &o.resultLength);
        return o;
    }

    Outcome any(PassThroughInfo &info, uint8_t *data, uint32_t length)
    {
        return run([&](uint8_t *r, uint32_t *rl) { return TavPasAnyCommand(&info, data, &length, r, rl); });
    }

    void inject(const std::vector<std::string> &fault) const
    {
        tavtest::RunResult r = server.inject(fault);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }

    nlohmann::json driveModel(int slot) const
    {
        nlohmann::json shown = nlohmann::json::parse(server.show());
        for (const auto &d : shown["adapters"][0]["drives"]) {
            if (d["slot"] == slot) {
                return d["drive_model"];
            }
        }
        return nlohmann::json();
    }

    bool lockFileExists() const { return tavtest::fileExists(server.path(TAVPAS_LOCK_PATH)); }

    tavtest::SimServer server;
};

}  // namespace tavpthtest

#endif
