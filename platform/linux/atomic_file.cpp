#include "atomic_file.h"

#include "file_errors.h"
#include "runtime_error.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
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
QByteArray temporaryNameBeside(const QByteArray &target) {
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = target.left(target.lastIndexOf('/') + 1) + ".zariza-";
    for (int i = 0; i < 8; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return name;
}

} // namespace

AtomicFile::AtomicFile(QString fileName, LinkHandling links)
    : m_fileName(std::move(fileName)), m_links(links) {}

AtomicFile::~AtomicFile() {
    cancel();
}

void AtomicFile::open() {
    refuseUnsuitableTarget();
    m_target =
        m_links == LinkHandling::Follow ? followLinks(m_fileName) : QFile::encodeName(m_fileName);
    // The rename could replace a file the user may not write to; a read-only file is kept.
    if (::access(m_target.constData(), W_OK) != 0 && errno != ENOENT)
        fail(errno);
    for (int attempt = 0; m_descriptor < 0; ++attempt) {
        m_temporary = temporaryNameBeside(m_target);
        m_descriptor = ::open(m_temporary.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_descriptor < 0 && (errno != EEXIST || attempt == 100)) {
            m_temporary.clear();
            fail(errno);
        }
    }
    // A file written over keeps its group where the user may give it (a colleague's page in a
    // shared folder stays writable for the group) and its permission bits; errors are not fatal.
    struct stat old {};
    if (::lstat(m_target.constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (old.st_gid != ::getegid())
            (void)::fchown(m_descriptor, uid_t(-1), old.st_gid);
        (void)::fchmod(m_descriptor, old.st_mode & 0777);
    }
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
    const int descriptor = std::exchange(m_descriptor, -1);
    if (::close(descriptor) != 0)
        fail(errno);
    replaceTarget();
}

// rename() replaces the name itself and never writes through a link planted there.
void AtomicFile::replaceTarget() {
    if (::rename(m_temporary.constData(), m_target.constData()) != 0)
        fail(errno);
    m_temporary.clear();
}

void AtomicFile::cancel() noexcept {
    if (m_descriptor >= 0)
        ::close(std::exchange(m_descriptor, -1));
    if (!m_temporary.isEmpty())
        ::unlink(std::exchange(m_temporary, QByteArray()).constData());
}

void AtomicFile::fail(int error) {
    cancel();
    throw RuntimeError(describeErrno(error), m_fileName);
}

} // namespace zariza
