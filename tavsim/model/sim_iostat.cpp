// Per-logical-drive I/O counting and the driver statistics reply.
#include "sim_iostat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "sim_store.h"

namespace tavsim {

namespace {

constexpr uint32_t kStatisticsReply = 512;
constexpr int kStatisticsHeader = 16;
constexpr uint64_t kNsPerSecond = 1000000000ull;
constexpr uint64_t kBlocksPerKb = 1024 / kBlockSize;

uint64_t nowNs() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * kNsPerSecond + static_cast<uint64_t>(ts.tv_nsec);
}

bool recordPath(const char* root, unsigned controller, char* out, size_t size, bool makeDirectory) {
    char dir[kPathMax];
    int n = std::snprintf(dir, sizeof dir, "%s/var/lib/tavsim/iostat", root);
    if (n < 0 || static_cast<size_t>(n) >= sizeof dir) return false;
    if (makeDirectory) mkdir(dir, 0755);
    n = std::snprintf(out, size, "%s/c%u.stat", dir, controller);
    return n >= 0 && static_cast<size_t>(n) < size;
}

// The adapter's record (zero when there is none yet); the caller holds the
// state lock, which serialises every change.
IoStatRecord loadRecord(const char* root, unsigned controller) {
    IoStatRecord rec;
    std::memset(&rec, 0, sizeof rec);
    char path[kPathMax];
    if (!recordPath(root, controller, path, sizeof path, false)) return rec;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return rec;
    if (read(fd, &rec, sizeof rec) != static_cast<ssize_t>(sizeof rec)) std::memset(&rec, 0, sizeof rec);
    close(fd);
    return rec;
}

bool storeRecord(const char* root, unsigned controller, const IoStatRecord& rec) {
    char path[kPathMax];
    if (!recordPath(root, controller, path, sizeof path, true)) return false;
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = pwrite(fd, &rec, sizeof rec, 0) == static_cast<ssize_t>(sizeof rec);
    close(fd);
    return ok;
}

uint64_t perSecond(uint64_t amount, uint64_t elapsedNs) {
    if (elapsedNs == 0) return 0;
    return static_cast<uint64_t>(static_cast<unsigned __int128>(amount) * kNsPerSecond / elapsedNs);
}

void putWord(uint8_t* reply, int ld, int index, uint64_t value) {
    std::memcpy(reply + kStatisticsHeader + (ld * 4 + index) * sizeof value, &value, sizeof value);
}

}  // namespace

void countGroupTransfer(const char* root, unsigned controller, int group, bool write, uint64_t blocks) {
    if (group < 0 || group >= kIoStatGroups) return;
    IoStatRecord rec = loadRecord(root, controller);
    if (rec.sinceNs == 0) rec.sinceNs = nowNs();
    IoCounters& c = rec.counted[group];
    (write ? c.writeCommands : c.readCommands) += 1;
    (write ? c.writeBlocks : c.readBlocks) += blocks;
    storeRecord(root, controller, rec);
}

Answer driverStatistics(const ModelContext& ctx, unsigned controller, const Request& req) {
    IoStatRecord rec = loadRecord(ctx.root, controller);
    uint64_t now = nowNs();
    uint64_t elapsed = (rec.sinceNs != 0 && now > rec.sinceNs) ? now - rec.sinceNs : 0;
    uint8_t reply[kStatisticsReply] = {};
    for (int ld = 0; ld < kIoStatGroups; ++ld) {
        const IoCounters& c = rec.counted[ld];
        const IoLoad& load = rec.load[ld];
        uint64_t loadReadKb = load.readPerSecond * load.blocksPerCommand / kBlocksPerKb;
        uint64_t loadWriteKb = load.writePerSecond * load.blocksPerCommand / kBlocksPerKb;
        putWord(reply, ld, 0, perSecond(c.readCommands, elapsed) + load.readPerSecond);
        putWord(reply, ld, 1, perSecond(c.readBlocks, elapsed * kBlocksPerKb) + loadReadKb);
        putWord(reply, ld, 2, perSecond(c.writeCommands, elapsed) + load.writePerSecond);
        putWord(reply, ld, 3, perSecond(c.writeBlocks, elapsed * kBlocksPerKb) + loadWriteKb);
    }
    std::memset(rec.counted, 0, sizeof rec.counted);
    rec.sinceNs = now;
    storeRecord(ctx.root, controller, rec);
    putAnswerData(req, reply, kStatisticsReply, req.lengthOut);
    return good();
}

bool setGroupLoad(const char* root, unsigned controller, int group, const IoLoad& load) {
    if (group < 0 || group >= kIoStatGroups) return false;
    IoStatRecord rec = loadRecord(root, controller);
    rec.load[group] = load;
    return storeRecord(root, controller, rec);
}

}  // namespace tavsim
