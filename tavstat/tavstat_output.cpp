// Atomic replacement of the metrics file: a reader (node_exporter's textfile
// collector) sees either the old file or the whole new one, never a part.
// The temporary file sits in the same directory under a name the collector
// ignores (it reads *.prom only); those left by a killed run are removed.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "tavbase/file.h"
#include "tavstat.h"

int StatWriteAtomic(const std::string &path, const std::string &text)
{
    int result = tavbase::ReplaceFile(path.c_str(), text.data(), text.size(), 0644);
    if (result == tavbase::kReplaced) {
        return 1;
    }
    fprintf(stderr, "tavstat: %s %s: %s\n",
            result == tavbase::kNotCreated ? "cannot create a temporary file for" : "cannot write", path.c_str(),
            strerror(errno));
    return 0;
}
