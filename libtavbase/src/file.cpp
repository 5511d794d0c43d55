#include "tavbase/file.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "tavbase/io.h"

namespace tavbase {

namespace {

const char kTempMark[] = ".tmp";
constexpr int kTempAttempts = 64;

// Closes FD keeping errno; always -1.
int closeFailed(int fd)
{
    int saved = errno;
    close(fd);
    errno = saved;
    return -1;
}

// Checks what an O_NONBLOCK open got and makes the descriptor blocking.
int settle(int fd, bool writing, bool truncate)
{
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return closeFailed(fd);
    }
    if (!S_ISREG(st.st_mode) || (writing && st.st_nlink > 1)) {
        errno = EINVAL;
        return closeFailed(fd);
    }
    if (truncate && ftruncate(fd, 0) != 0) {
        return closeFailed(fd);
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return closeFailed(fd);
    }
    return fd;
}

uint32_t randomPart(unsigned attempt)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t x = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 20) ^
                 (static_cast<uint64_t>(getpid()) << 40) ^ (attempt * 0x9E3779B97F4A7C15ull);
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 29;
    return static_cast<uint32_t>(x & 0xFFFFFF);
}

// The process id that a temporary name of NAME carries, or 0.
pid_t tempOwner(const char *entry, const char *name)
{
    size_t n = strlen(name);
    if (strncmp(entry, name, n) != 0 || strncmp(entry + n, kTempMark, sizeof kTempMark - 1) != 0) {
        return 0;
    }
    const char *digits = entry + n + sizeof kTempMark - 1;
    char *end = nullptr;
    long pid = strtol(digits, &end, 10);
    if (end == digits || *end != '.' || pid <= 0 || pid > INT32_MAX) {
        return 0;
    }
    return static_cast<pid_t>(pid);
}

}  // namespace

int OpenFileAt(int dir, const char *name, int flags, mode_t mode)
{
    int fd = openat(dir, name, (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    if (fd < 0) {
        return -1;
    }
    return settle(fd, (flags & O_ACCMODE) != O_RDONLY, (flags & O_TRUNC) != 0);
}

int OpenFile(const char *path, int flags, mode_t mode)
{
    return OpenFileAt(AT_FDCWD, path, flags, mode);
}

int OpenReadFile(const char *path)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    return settle(fd, false, false);
}

FILE *OpenReadStream(const char *path)
{
    int fd = OpenReadFile(path);
    if (fd < 0) {
        return nullptr;
    }
    FILE *stream = fdopen(fd, "r");
    if (stream == nullptr) {
        closeFailed(fd);
    }
    return stream;
}

int OpenDirAt(int dir, const char *name, int create, mode_t mode)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = openat(dir, name, flags);
    if (fd >= 0 || errno != ENOENT || !create) {
        return fd;
    }
    if (mkdirat(dir, name, mode) != 0) {
        return -1;
    }
    fd = openat(dir, name, flags);
    // The mode asked for, whatever the process's umask took off.
    if (fd >= 0 && fchmod(fd, mode) != 0) {
        return closeFailed(fd);
    }
    return fd;
}

int CreateTempAt(int dir, const char *name, mode_t mode, char *temp, size_t size)
{
    for (unsigned attempt = 0; attempt < kTempAttempts; ++attempt) {
        int n = snprintf(temp, size, "%s%s%ld.%06x", name, kTempMark, static_cast<long>(getpid()),
                         static_cast<unsigned>(randomPart(attempt)));
        if (n < 0 || static_cast<size_t>(n) >= size || n > NAME_MAX) {
            errno = ENAMETOOLONG;
            return -1;
        }
        int fd = openat(dir, temp, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST) {
            continue;
        }
        if (fd < 0) {
            return -1;
        }
        if (fchmod(fd, mode) != 0) {
            int saved = errno;
            close(fd);
            unlinkat(dir, temp, 0);
            errno = saved;
            return -1;
        }
        return fd;
    }
    errno = EEXIST;
    return -1;
}

void DiscardTempAt(int dir, int fd, const char *temp)
{
    int saved = errno;
    close(fd);
    unlinkat(dir, temp, 0);
    errno = saved;
}

int CommitTempAt(int dir, int fd, const char *temp, const char *name)
{
    if (fsync(fd) != 0) {
        DiscardTempAt(dir, fd, temp);
        return 0;
    }
    if (close(fd) != 0) {
        DiscardTempAt(dir, -1, temp);
        return 0;
    }
    if (renameat(dir, temp, dir, name) != 0) {
        DiscardTempAt(dir, -1, temp);
        return 0;
    }
    // The rename is whole either way; this only makes it survive a crash.
    fsync(dir);
    return 1;
}

int ReplaceableAt(int dir, const char *name, mode_t *mode)
{
    struct stat st;
    if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? 1 : 0;
    }
    if (S_ISLNK(st.st_mode)) {
        errno = ELOOP;
        return 0;
    }
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return 0;
    }
    if (mode != nullptr) {
        *mode = st.st_mode & 07777;
    }
    return 1;
}

int ReplaceFileAt(int dir, const char *name, const void *data, size_t length, mode_t mode)
{
    if (!ReplaceableAt(dir, name, &mode)) {
        return kNotCreated;
    }
    RemoveStaleTempsAt(dir, name);
    char temp[NAME_MAX + 1];
    int fd = CreateTempAt(dir, name, mode, temp, sizeof temp);
    if (fd < 0) {
        return kNotCreated;
    }
    if (!WriteAll(fd, data, length)) {
        DiscardTempAt(dir, fd, temp);
        return kNotWritten;
    }
    return CommitTempAt(dir, fd, temp, name) ? kReplaced : kNotWritten;
}

int OpenParentDir(const char *path, char *name, size_t size)
{
    const char *slash = strrchr(path, '/');
    const char *last = slash == nullptr ? path : slash + 1;
    if (*last == '\0' || strcmp(last, ".") == 0 || strcmp(last, "..") == 0) {
        errno = EISDIR;
        return -1;
    }
    if (static_cast<size_t>(snprintf(name, size, "%s", last)) >= size) {
        errno = ENAMETOOLONG;
        return -1;
    }
    char directory[PATH_MAX];
    if (slash == nullptr) {
        snprintf(directory, sizeof directory, ".");
    } else if (slash == path) {
        snprintf(directory, sizeof directory, "/");
    } else if (static_cast<size_t>(slash - path) < sizeof directory) {
        snprintf(directory, sizeof directory, "%.*s", static_cast<int>(slash - path), path);
    } else {
        errno = ENAMETOOLONG;
        return -1;
    }
    return open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int ReplaceFile(const char *path, const void *data, size_t length, mode_t mode)
{
    char name[NAME_MAX + 1];
    int dir = OpenParentDir(path, name, sizeof name);
    if (dir < 0) {
        return kNotCreated;
    }
    int ok = ReplaceFileAt(dir, name, data, length, mode);
    int saved = errno;
    close(dir);
    errno = saved;
    return ok;
}

void RemoveStaleTempsAt(int dir, const char *name)
{
    int own = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (own < 0) {
        return;
    }
    DIR *d = fdopendir(own);
    if (d == nullptr) {
        close(own);
        return;
    }
    struct dirent *entry;
    while ((entry = readdir(d)) != nullptr) {
        pid_t owner = tempOwner(entry->d_name, name);
        struct stat st;
        if (owner == 0 || owner == getpid() || (kill(owner, 0) == 0 || errno != ESRCH) ||
            fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != geteuid()) {
            continue;
        }
        unlinkat(dir, entry->d_name, 0);
    }
    closedir(d);
}

}  // namespace tavbase
