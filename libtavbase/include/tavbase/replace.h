// Whole-file replacement of a fixed name: the new content goes to a fresh,
// uniquely named file in the same directory and is renamed over the old one,
// so the name always holds either the old file whole or the new one whole.
#ifndef TAVBASE_REPLACE_H
#define TAVBASE_REPLACE_H

#include <stddef.h>
#include <sys/types.h>

namespace tavbase {

// Replaces NAME in the directory DIRFD (AT_FDCWD: the current directory) by
// LENGTH bytes of DATA, creating it with MODE (less the umask) when it does
// not exist. Never writes through a link: the temporary file is created
// exclusively without following links, and a NAME that is a symbolic link
// (ELOOP), a directory (EISDIR) or anything else but a regular file (EEXIST)
// is refused and left as it is. Returns 1, or 0 with errno set; on failure
// the temporary file is gone and NAME is untouched.
int ReplaceFileAt(int dirFd, const char *name, const void *data, size_t length, mode_t mode);

}  // namespace tavbase

#endif
