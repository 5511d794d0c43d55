// Descriptor I/O that survives interruption: every call retries EINTR and
// short transfers, so a signal never leaves a file half written unnoticed.
#ifndef TAVBASE_IO_H
#define TAVBASE_IO_H

#include <stddef.h>

namespace tavbase {

// Writes all LENGTH bytes. Returns 1, or 0 with errno set by the failing write
// (ENOSPC for a write that made no progress).
int WriteAll(int fd, const void *data, size_t length);

}  // namespace tavbase

#endif
