#pragma once

#include <QByteArray>
#include <sys/stat.h>

// What a save on a Unix system needs beside open, write and rename: the rights of the file it
// replaces, its own leftovers, and a private copy of a file written in place.
namespace zariza {

// Gives the file open at `descriptor` what the file at `oldPath` (described by `old`) had, as far
// as this user may: owner and group, the POSIX ACL and user.* attributes, then the permission
// bits with setgid and sticky. Never wider than the old file at any step. Never throws.
void takeOverRights(int descriptor, const QByteArray &oldPath, const struct stat &old);

// ".zariza-" and eight letters or digits: the name of a temporary file beside its target.
bool isTemporaryName(const char *name);

// Removes from `folder` the temporary files a save that was killed half-way left: ours, plain,
// not locked by a save still writing, and not touched for a while. Never throws.
void removeStaleTemporaries(const QByteArray &folder);

// Whether `path` is a mount point of its own, as a file bind-mounted alone is: no file can be
// renamed over it.
bool isMountPoint(const QByteArray &path, const QByteArray &folder);

// Copies everything `from` holds over what `to` holds, from the start of both. Sets errno and
// returns false on failure.
bool copyContents(int from, int to);

// A file only this user can read, outside the folder of the file it copies: in
// $XDG_RUNTIME_DIR, else in /tmp. Its name goes to `path`; -1 and errno on failure.
int createPrivateCopy(QByteArray *path);

} // namespace zariza
