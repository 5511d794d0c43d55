// Lock files: a file whose flock keeps other processes out, created and
// removed by the processes that take it.
//
// Taking one never follows a link and never touches anything but a regular
// file with one name: the path is opened with O_NOFOLLOW and O_NONBLOCK (so a
// FIFO cannot hang the open), the descriptor is checked with fstat, and the
// mode is set through the descriptor. A lock counts only when, after the
// flock, the path still names the locked file (a holder may have removed it
// in between); otherwise it is taken again on the file the path names now.
// Release goes in the safe order: remove (while still locked, so nobody can
// lock a file that is about to lose its name), unlock, close.
#ifndef TAVBASE_LOCK_H
#define TAVBASE_LOCK_H

#include <sys/types.h>

namespace tavbase {

constexpr int kLockPathSize = 4096;

// A lock file while it is open; fd -1 when none.
struct LockFile {
    int fd;
    int created;  // this process created the file
    int shared;   // LOCK_SH instead of LOCK_EX
    pid_t owner;  // the process that took it: a forked child only inherits the descriptor
    char path[kLockPathSize];
};

// Flags of LockTake.
constexpr int kLockExclusive = 0;
constexpr int kLockShared = 1;  // several holders at once
constexpr int kLockWait = 2;    // wait in flock instead of failing when it is held

void LockInit(LockFile *lock);

// Opens PATH (creating it with MODE when missing), sets MODE on it through
// the descriptor and locks it. Returns 1 when held. Returns 0 with errno
// EWOULDBLOCK when another process holds it (or it kept changing hands), or
// with the failing call's errno and *failedCall set to "open", "fchmod" or
// "flock": ELOOP for a symbolic link, EINVAL for a file that is not regular,
// EMLINK for a file with more than one name. Nothing is left open then, and
// a file this call created and could still lock is removed again.
int LockTake(LockFile *lock, const char *path, mode_t mode, int flags, const char **failedCall);

// 1 when this process holds LOCK (not a copy inherited across fork).
int LockHeld(const LockFile *lock);

// Releases LOCK: when REMOVE is set, unlinks its path unless the path names
// another file (or another process shares the lock); a path that is gone
// makes the removal fail. Then unlocks and closes. A forked child that inherited the descriptor only closes its copy.
// Returns 1, or 0 with errno and *failedCall "remove", "flock" or "close";
// the descriptor is closed and LOCK reset in every case.
int LockRelease(LockFile *lock, int remove, const char **failedCall);

}  // namespace tavbase

#endif
