// Resolution of the suite's fixed absolute paths below an alternative root.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tavctl_internal.h"

TAVCTL_API int Tool_ResolvePath(const char *fixedPath, char *out, size_t outSize)
{
    if (fixedPath == nullptr || out == nullptr || outSize == 0) {
        return 0;
    }
    // Read at every call: a process may change its root between calls.
    const char *root = getenv("TAV_ROOT");
    if (root == nullptr) {
        root = "";
    }
    // "/srv/root/" and "/srv/root" name the same root.
    int rootLength = static_cast<int>(strlen(root));
    while (rootLength > 0 && root[rootLength - 1] == '/') {
        --rootLength;
    }
    int written = snprintf(out, outSize, "%.*s%s", rootLength, root, fixedPath);
    return (written >= 0 && static_cast<size_t>(written) < outSize) ? 1 : 0;
}
