// The reason given when a program finds no adapter because it was refused
// access to the adapter driver, so that a user who is not root is told so
// instead of "no adapter".
#ifndef TAVBASE_ACCESS_H
#define TAVBASE_ACCESS_H

#include <stddef.h>

namespace tavbase {

// SYSERRNO: the error with which the driver's device or /proc directory
// could not be opened (0: it could). Returns 1 when that was a refusal of
// access (the effective user is not root, or EACCES / EPERM) and then writes
// into OUT (SIZE bytes) "must run as root (TEXT)" for a user who is not root,
// else "access to the adapter driver was refused (TEXT)", TEXT being the system's
// text for SYSERRNO. Returns 0, OUT untouched, otherwise: a driver that is
// not there means no adapter.
int DriverAccessRefused(int sysErrno, char *out, size_t size);

}  // namespace tavbase

#endif
