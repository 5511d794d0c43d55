#include "tavbase/io.h"

#include <errno.h>
#include <unistd.h>

namespace tavbase {

int WriteAll(int fd, const void *data, size_t length)
{
    const char *next = static_cast<const char *>(data);
    while (length > 0) {
        ssize_t n = write(fd, next, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return 0;
        }
        if (n == 0) {
            errno = ENOSPC;
            return 0;
        }
        next += n;
        length -= static_cast<size_t>(n);
    }
    return 1;
}

}  // namespace tavbase
