#include "tavbase/access.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

namespace tavbase {

int DriverAccessRefused(int sysErrno, char *out, size_t size)
{
    bool root = geteuid() == 0;
    if (sysErrno == 0 || (root && sysErrno != EACCES && sysErrno != EPERM) || size == 0) {
        return 0;
    }
    snprintf(out, size, "%s (%s)", root ? "access to the adapter driver was refused" : "must run as root",
             strerror(sysErrno));
    return 1;
}

}  // namespace tavbase
