#include "file_keeping.h"

#include <QList>
#include <QtGlobal>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace zariza {

namespace {

constexpr char accessAcl[] = "system.posix_acl_access";
// A temporary file no save has written for this long is no longer being written.
constexpr time_t staleAfterSeconds = 10;

QByteArray attribute(const QByteArray &path, const char *name) {
    const ssize_t size = ::lgetxattr(path.constData(), name, nullptr, 0);
    if (size < 0)
        return {};
    QByteArray value(size, Qt::Uninitialized);
    const ssize_t got = ::lgetxattr(path.constData(), name, value.data(), value.size());
    value.resize(got < 0 ? 0 : got);
    return value;
}

// The ACL (as the kernel stores it, so no ACL library is needed) and the user.* attributes.
// security.* and trusted.* need privileges to set and belong to the system, not the page.
// Returns whether the old file had an ACL.
bool copyAttributes(int descriptor, const QByteArray &oldPath) {
    const ssize_t size = ::llistxattr(oldPath.constData(), nullptr, 0);
    QByteArray names(size > 0 ? size : 0, Qt::Uninitialized);
    if (size <= 0 || ::llistxattr(oldPath.constData(), names.data(), names.size()) != size)
        return false;
    bool hadAcl = false;
    for (const QByteArray &name : names.split('\0')) {
        const bool acl = name == accessAcl;
        if (!acl && !name.startsWith("user."))
            continue;
        const QByteArray value = attribute(oldPath, name.constData());
        if (::fsetxattr(descriptor, name.constData(), value.constData(), value.size(), 0) == 0)
            hadAcl |= acl;
    }
    return hadAcl;
}

} // namespace

void takeOverRights(int descriptor, const QByteArray &oldPath, const struct stat &old) {
    // Owner first: changing it clears setgid. Only root may give the file to another user;
    // anyone may give it a group of their own.
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(descriptor, old.st_uid, old.st_gid) != 0)
        (void)::fchown(descriptor, uid_t(-1), old.st_gid);
    // The ACL before the mode: the mode's group bits are its mask, and set alone they would
    // give the owning group the rights of the mask. A default ACL of the folder gave the new
    // file one of its own, which the old file did not have.
    if (!copyAttributes(descriptor, oldPath))
        (void)::fremovexattr(descriptor, accessAcl);
    (void)::fchmod(descriptor, old.st_mode & 07777);
}

bool isTemporaryName(const char *name) {
    constexpr char prefix[] = ".zariza-";
    if (std::strncmp(name, prefix, sizeof prefix - 1) != 0)
        return false;
    const char *rest = name + sizeof prefix - 1;
    for (int i = 0; i < 8; ++i) {
        if (!((rest[i] >= 'a' && rest[i] <= 'z') || (rest[i] >= '0' && rest[i] <= '9')))
            return false;
    }
    return rest[8] == '\0';
}

void removeStaleTemporaries(const QByteArray &folder) {
    DIR *dir = ::opendir(folder.isEmpty() ? "." : folder.constData());
    if (!dir)
        return;
    const int dirDescriptor = ::dirfd(dir);
    const time_t now = ::time(nullptr);
    while (const dirent *entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name))
            continue;
        const int file = ::openat(dirDescriptor, entry->d_name,
                                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (file < 0)
            continue;
        struct stat status {};
        struct stat named {};
        // A save still writing holds a lock on its file; the name must still be this file.
        if (::fstat(file, &status) == 0 && S_ISREG(status.st_mode) &&
            status.st_uid == ::geteuid() && status.st_nlink == 1 &&
            now - status.st_mtime > staleAfterSeconds && ::flock(file, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirDescriptor, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_ino == status.st_ino && named.st_dev == status.st_dev)
            ::unlinkat(dirDescriptor, entry->d_name, 0);
        ::close(file);
    }
    ::closedir(dir);
}

bool isMountPoint(const QByteArray &path, const QByteArray &folder) {
#ifdef STATX_MNT_ID
    struct statx file {};
    struct statx parent {};
    return ::statx(AT_FDCWD, path.constData(), AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &file) == 0 &&
           ::statx(AT_FDCWD, folder.isEmpty() ? "." : folder.constData(), 0, STATX_MNT_ID,
                   &parent) == 0 &&
           (file.stx_mask & parent.stx_mask & STATX_MNT_ID) && file.stx_mnt_id != parent.stx_mnt_id;
#else
    Q_UNUSED(path);
    Q_UNUSED(folder);
    return false;
#endif
}

bool copyContents(int from, int to) {
    std::vector<char> buffer(1 << 20);
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return ::ftruncate(to, offset) == 0;
        for (ssize_t done = 0; done < got;) {
            const ssize_t written = ::pwrite(to, buffer.data() + done, got - done, offset + done);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                errno = written == 0 ? ENOSPC : errno;
                return false;
            }
            done += written;
        }
        offset += got;
    }
}

int createPrivateCopy(QByteArray *path) {
    const char *runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    for (const QByteArray &folder :
         {runtimeDir && runtimeDir[0] == '/' ? QByteArray(runtimeDir) : QByteArray(),
          QByteArray("/tmp")}) {
        if (folder.isEmpty())
            continue;
        QByteArray name = folder + "/zariza-old-XXXXXX";
        // mkostemp creates it 0600 and never opens a name that is already there.
        const int descriptor = ::mkostemp(name.data(), O_CLOEXEC);
        if (descriptor >= 0) {
            *path = name;
            return descriptor;
        }
    }
    return -1;
}

} // namespace zariza
