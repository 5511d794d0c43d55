#include "tavbase/replace.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "tavbase/io.h"

namespace tavbase {

namespace {

constexpr int kNameAttempts = 64;

// 0 when NAME is missing or a regular file, else the errno of the refusal.
int refusalOf(int dirFd, const char *name)
{
    struct stat st;
    if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? 0 : errno;
    }
    if (S_ISREG(st.st_mode)) {
        return 0;
    }
    return S_ISLNK(st.st_mode) ? ELOOP : S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
}

unsigned long long randomWord(void)
{
    unsigned long long word = 0;
    if (getrandom(&word, sizeof word, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof word)) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        word ^= static_cast<unsigned long long>(now.tv_nsec) * 0x9E3779B97F4A7C15ull ^
                static_cast<unsigned long long>(getpid()) << 32;
    }
    return word;
}

// Creates ".NAME.XXXXXXXXXXXX" exclusively; the descriptor, or -1 with errno.
int createTemporary(int dirFd, const char *name, mode_t mode, char *tempName, size_t size)
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        int n = snprintf(tempName, size, ".%s.%012llx", name, randomWord() & 0xFFFFFFFFFFFFull);
        if (n < 0 || static_cast<size_t>(n) >= size) {
            errno = ENAMETOOLONG;
            return -1;
        }
        int fd = openat(dirFd, tempName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Makes the rename durable; the name holds a whole file either way.
void syncDirectory(int dirFd)
{
    int fd = openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

int ReplaceFileAt(int dirFd, const char *name, const void *data, size_t length, mode_t mode)
{
    int refusal = refusalOf(dirFd, name);
    if (refusal != 0) {
        errno = refusal;
        return 0;
    }
    char tempName[512];
    int fd = createTemporary(dirFd, name, mode, tempName, sizeof tempName);
    if (fd < 0) {
        return 0;
    }
    bool ok = WriteAll(fd, data, length) && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok) {
        // Checked again right before the rename: a link or directory put in
        // its place meanwhile is kept (rename would replace the link itself,
        // never write through it).
        error = refusalOf(dirFd, name);
        ok = error == 0 && renameat(dirFd, tempName, dirFd, name) == 0;
        if (!ok && error == 0) {
            error = errno;
        }
    }
    if (!ok) {
        unlinkat(dirFd, tempName, 0);
        errno = error;
        return 0;
    }
    syncDirectory(dirFd);
    return 1;
}

}  // namespace tavbase
