#include "atomic_file.h"

#include "file_errors.h"
#include "file_keeping.h"
#include "runtime_error.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zariza {

namespace {

// The file a chain of links ends at, even when that file does not exist yet.
QByteArray followLinks(const QString &fileName) {
    QFileInfo file(fileName);
    for (int depth = 0; depth < 40 && file.isSymLink(); ++depth)
        file.setFile(file.symLinkTarget());
    return QFile::encodeName(file.isSymLink() ? fileName : file.filePath());
}

// Short whatever the target's name, so any name the file system takes can be written over.
QByteArray temporaryNameIn(const QByteArray &folder) {
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = folder + ".zariza-";
    for (int i = 0; i < 8; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return name;
}

// Empty for the current folder, else ending in '/'.
QByteArray folderOf(const QByteArray &target) {
    return target.left(target.lastIndexOf('/') + 1);
}

const char *openable(const QByteArray &folder) {
    return folder.isEmpty() ? "." : folder.constData();
}

} // namespace

void AtomicFile::open() {
    refuseUnsuitableTarget();
    m_target =
        m_links == LinkHandling::Follow ? followLinks(m_fileName) : QFile::encodeName(m_fileName);
    // The rename could replace a file the user may not write to; a read-only file is kept.
    if (::access(m_target.constData(), W_OK) != 0 && errno != ENOENT)
        fail(errno);
    const QByteArray folder = folderOf(m_target);
    struct stat old {};
    const bool replacing = ::lstat(m_target.constData(), &old) == 0 && S_ISREG(old.st_mode);
    // Only a name the user chose is written in place; where anyone could plant a file, the
    // name gets a new file or none.
    const bool inPlaceAllowed = replacing && m_links == LinkHandling::Follow;
    if (inPlaceAllowed && isMountPoint(m_target, folder))
        return openInPlace();
    removeStaleTemporaries(folder);
    m_descriptor = createBeside(folder, replacing);
    if (m_descriptor < 0) {
        const int error = errno;
        if (inPlaceAllowed && (error == EACCES || error == EPERM))
            return openInPlace();
        fail(error);
    }
    // Tells saves in other processes that this file is still being written.
    (void)::flock(m_descriptor, LOCK_EX);
    if (replacing)
        takeOverRights(m_descriptor, m_target, old);
}

// Unnamed where the file system can, so that nobody can open it and a killed save leaves nothing.
// A file that replaces another is made this user's alone until it has the old file's rights; a
// new file is created as any new file is.
int AtomicFile::createBeside(const QByteArray &folder, bool replacing) {
    const mode_t mode = replacing ? 0600 : 0666;
#ifdef O_TMPFILE
    const int unnamed = ::open(openable(folder), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (unnamed >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return unnamed;
#endif
    for (int attempt = 0;; ++attempt) {
        m_temporary = temporaryNameIn(folder);
        const int named = ::open(m_temporary.constData(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (named >= 0)
            return named;
        if (errno != EEXIST || attempt == 100) {
            const int error = errno;
            m_temporary.clear();
            errno = error;
            return -1;
        }
    }
}

// The old bytes go to a private copy first, which puts them back should the write fail.
void AtomicFile::openInPlace() {
    m_descriptor = ::open(m_target.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (m_descriptor < 0)
        fail(errno);
    struct stat status {};
    if (::fstat(m_descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        cancel();
        throw RuntimeError(QStringLiteral("这不是普通文件"), m_fileName);
    }
    m_oldCopyDescriptor = createPrivateCopy(&m_oldCopy);
    if (m_oldCopyDescriptor < 0 || !copyContents(m_descriptor, m_oldCopyDescriptor) ||
        ::fsync(m_oldCopyDescriptor) != 0)
        fail(errno);
    m_inPlace = true;
    if (::ftruncate(m_descriptor, 0) != 0)
        fail(errno);
}

void AtomicFile::write(QByteArrayView bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written = ::write(m_descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            fail(written == 0 ? ENOSPC : errno);
        done += written;
    }
}

void AtomicFile::commit() {
    // On disk before it takes the target's place: a crash leaves the old bytes or all the new.
    if (::fdatasync(m_descriptor) != 0)
        fail(errno);
    if (m_inPlace) {
        m_inPlace = false;
        cancel();
        return;
    }
    if (m_temporary.isEmpty())
        linkIn(folderOf(m_target));
    const int descriptor = std::exchange(m_descriptor, -1);
    if (::close(descriptor) != 0)
        fail(errno);
    replaceTarget();
}

// The unnamed file gets a name only now, complete: a rename cannot take an unnamed file.
void AtomicFile::linkIn(const QByteArray &folder) {
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_descriptor);
    for (int attempt = 0; m_temporary.isEmpty(); ++attempt) {
        const QByteArray name = temporaryNameIn(folder);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) ==
            0)
            m_temporary = name;
        else if (errno != EEXIST || attempt == 100)
            fail(errno);
    }
}

// rename() replaces the name itself and never writes through a link planted there.
void AtomicFile::replaceTarget() {
    if (::rename(m_temporary.constData(), m_target.constData()) != 0)
        fail(errno);
    m_temporary.clear();
}

bool AtomicFile::putBackInPlace() noexcept {
    return copyContents(m_oldCopyDescriptor, m_descriptor) && ::fdatasync(m_descriptor) == 0;
}

void AtomicFile::cancel() noexcept {
    // Where the old bytes cannot be put back, their copy is left for the user.
    const bool oldBytesSafe = !std::exchange(m_inPlace, false) || putBackInPlace();
    if (m_descriptor >= 0)
        ::close(std::exchange(m_descriptor, -1));
    if (m_oldCopyDescriptor >= 0)
        ::close(std::exchange(m_oldCopyDescriptor, -1));
    if (oldBytesSafe && !m_oldCopy.isEmpty())
        ::unlink(std::exchange(m_oldCopy, QByteArray()).constData());
    if (!m_temporary.isEmpty())
        ::unlink(std::exchange(m_temporary, QByteArray()).constData());
}

void AtomicFile::fail(int error) {
    cancel();
    QString reason = describeErrno(error);
    if (!m_oldCopy.isEmpty())
        reason += QStringLiteral("；原来的内容保存在 ") + QFile::decodeName(m_oldCopy);
    throw RuntimeError(reason, m_fileName);
}

} // namespace zariza
