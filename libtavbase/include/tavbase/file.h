// Files opened, created, replaced and removed without following a planted
// link, waiting on a FIFO or writing through a second hard link: every write
// names a regular file of its own, every replacement renames a complete new
// file over the old one, and modes change only through the descriptor.
#ifndef TAVBASE_FILE_H
#define TAVBASE_FILE_H

#include <stddef.h>
#include <stdio.h>
#include <sys/types.h>

namespace tavbase {

// Opens NAME relative to directory DIR (AT_FDCWD for the working directory)
// with FLAGS (access mode, O_CREAT, O_EXCL, O_APPEND, O_TRUNC). A symbolic
// link at NAME fails with ELOOP; anything but a regular file fails with
// EINVAL, and so does a file opened for writing that has another hard link.
// The open never waits on a FIFO; O_TRUNC is applied only once the file is
// known to be regular. The descriptor is close-on-exec and blocking.
// Returns the descriptor, or -1 with errno set (ENOENT: no such file).
int OpenFileAt(int dir, const char *name, int flags, mode_t mode);
int OpenFile(const char *path, int flags, mode_t mode);

// Opens a file for reading only. A link at the path is followed (the files
// read are named by the administrator); a FIFO or any other non-regular
// file fails with EINVAL instead of blocking. ENOENT means "missing"; every
// other errno means "there but unreadable".
int OpenReadFile(const char *path);
// The same as a stdio stream (mode "r"); nullptr with errno set.
FILE *OpenReadStream(const char *path);

// Opens the directory NAME below DIR without following a link at NAME.
// With CREATE non-zero a missing directory is made with MODE first.
// Returns the descriptor, or -1 with errno set (ENOTDIR: NAME is no directory).
int OpenDirAt(int dir, const char *name, int create, mode_t mode);

// Creates a new, unique temporary file for NAME beside it in DIR (O_EXCL,
// never a link), with MODE; its name goes to TEMP (SIZE bytes). The name is
// NAME followed by ".tmp", the creator's process id, "." and a random part.
// Returns the descriptor, or -1 with errno set.
int CreateTempAt(int dir, const char *name, mode_t mode, char *temp, size_t size);

// Puts the complete temporary file in place of NAME: flushes FD to disk,
// closes it, renames TEMP over NAME and flushes DIR. On failure the
// temporary file is removed, the old NAME stays as it was and errno tells
// why. FD is closed in every case. Returns 1 or 0.
int CommitTempAt(int dir, int fd, const char *temp, const char *name);
// Closes FD and removes TEMP (a failed write); errno is kept.
void DiscardTempAt(int dir, int fd, const char *temp);

// Whether NAME in DIR may be replaced: 1 when it is missing or a regular
// file (its permission bits go to *MODE when MODE is not null), else 0 with
// errno ELOOP (a link) or EINVAL (anything else that is not a regular file).
int ReplaceableAt(int dir, const char *name, mode_t *mode);

// Replaces NAME in DIR with LENGTH bytes of DATA: a temporary file is
// written, flushed and renamed over it (stale temporaries of NAME are
// cleared first). An existing file keeps its permission bits; a new one gets
// MODE. A link or non-regular file at NAME is refused and left alone.
// Returns kReplaced, kNotCreated (refused, or no temporary file could be
// made) or kNotWritten (writing, flushing or renaming failed), errno set and
// NAME as it was on either failure.
constexpr int kReplaced = 1;
constexpr int kNotCreated = 0;
constexpr int kNotWritten = -1;
int ReplaceFileAt(int dir, const char *name, const void *data, size_t length, mode_t mode);
// The same for a path: its directory is opened, then the last component replaced.
int ReplaceFile(const char *path, const void *data, size_t length, mode_t mode);

// Splits PATH into its directory, opened (links in the directory part are
// followed), and the last component, copied into NAME (SIZE bytes).
// Returns the directory descriptor, or -1 with errno set.
int OpenParentDir(const char *path, char *name, size_t size);

// Removes the temporaries of NAME in DIR that CreateTempAt made in processes
// that no longer run (killed before they could rename or remove them). Only
// regular files owned by this user are removed.
void RemoveStaleTempsAt(int dir, const char *name);

}  // namespace tavbase

#endif
