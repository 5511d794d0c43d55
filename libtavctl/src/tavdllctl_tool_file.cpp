// Whole-file replacement for the configuration files that other processes
// read without a lock: the new text goes to a unique temporary file beside
// the old one, is flushed to disk and renamed over it, so a reader sees
// either the old or the new file, never a part of one. A link or any other
// non-regular file at the path is refused, never followed.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavbase/file.h"
#include "tavbase/io.h"
#include "tavctl_internal.h"

int Tool_ReplaceFile(const char *path, const char *text, size_t length)
{
    // A new file gets the mode fopen gives under the usual umask.
    switch (tavbase::ReplaceFile(path, text, length, 0644)) {
    case tavbase::kReplaced:
        return TOOL_FILE_REPLACED;
    case tavbase::kNotCreated:
        return TOOL_FILE_NOT_CREATED;
    default:
        return TOOL_FILE_NOT_WRITTEN;
    }
}

void Tool_AppendText(char *text, size_t size, size_t *used, const char *format, ...)
{
    if (*used >= size) {
        return;
    }
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text + *used, size - *used, format, args);
    va_end(args);
    *used = (n < 0) ? size : *used + static_cast<size_t>(n);
}
