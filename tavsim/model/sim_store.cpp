#include "sim_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavsim {

bool statePath(const char* root, char* out, size_t size) {
    int n = std::snprintf(out, size, "%s/var/lib/tavsim/state", root);
    return n > 0 && static_cast<size_t>(n) < size;
}

bool mediaPath(const char* root, int controller, int slot, char* out, size_t size) {
    int n = std::snprintf(out, size, "%s/var/lib/tavsim/media/c%d-d%02d.img", root, controller, slot);
    return n > 0 && static_cast<size_t>(n) < size;
}

static bool isStateOfThisLayout(const SimState* state) {
    return std::memcmp(state->magic, kStateMagic, sizeof kStateMagic) == 0 && state->layoutSize == sizeof(SimState);
}

bool mapState(const char* root, StateMapping* mapping) {
    char path[kPathMax];
    if (!statePath(root, path, sizeof path)) {
        errno = ENAMETOOLONG;
        return false;
    }
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) != sizeof(SimState)) {
        close(fd);
        errno = EINVAL;
        return false;
    }
    void* p = mmap(nullptr, sizeof(SimState), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p == MAP_FAILED) {
        int saved = errno;
        close(fd);
        errno = saved;
        return false;
    }
    auto* state = static_cast<SimState*>(p);
    if (!isStateOfThisLayout(state)) {
        munmap(p, sizeof(SimState));
        close(fd);
        errno = EINVAL;
        return false;
    }
    mapping->fd = fd;
    mapping->state = state;
    return true;
}

void unmapState(StateMapping* mapping) {
    if (mapping->state != nullptr) munmap(mapping->state, sizeof(SimState));
    if (mapping->fd >= 0) close(mapping->fd);
    mapping->state = nullptr;
    mapping->fd = -1;
}

bool writeStateFile(const char* path, const SimState& state) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&state);
    size_t done = 0;
    while (done < sizeof state) {
        ssize_t n = write(fd, bytes + done, sizeof state - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return close(fd) == 0;
}

bool resetMedia(const char* root, int controller, int slot, uint32_t blocks) {
    char path[kPathMax];
    if (!mediaPath(root, controller, slot, path, sizeof path)) return false;
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = ftruncate(fd, static_cast<off_t>(blocks) * kBlockSize) == 0;
    return close(fd) == 0 && ok;
}

StateLock::StateLock(const StateMapping& mapping) : fd_(mapping.fd) {
    while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

StateLock::~StateLock() { flock(fd_, LOCK_UN); }

}  // namespace tavsim
