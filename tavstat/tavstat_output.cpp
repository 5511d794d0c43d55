// Atomic replacement of the metrics file: a reader (node_exporter's textfile
// collector) sees either the old file or the whole new one, never a part.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tavbase/io.h"
#include "tavstat.h"

namespace {

int fail(const char *what, const std::string &path)
{
    fprintf(stderr, "tavstat: %s %s: %s\n", what, path.c_str(), strerror(errno));
    return 0;
}

// The directory entry of the rename is made durable too.
void syncDirectory(const std::string &path)
{
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

int StatWriteAtomic(const std::string &path, const std::string &text)
{
    // A name the collector ignores (it reads *.prom only) in the same directory.
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        return fail("cannot create a temporary file for", path);
    }
    int ok = fchmod(fd, 0644) == 0 && tavbase::WriteAll(fd, text.data(), text.size()) && fsync(fd) == 0;
    if (close(fd) != 0) {
        ok = 0;
    }
    if (!ok || rename(temp.c_str(), path.c_str()) != 0) {
        int saved = errno;
        unlink(temp.c_str());
        errno = saved;
        return fail("cannot write", path);
    }
    syncDirectory(path);
    return 1;
}
