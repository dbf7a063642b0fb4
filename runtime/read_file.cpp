#include "read_file.h"

#include "file_errors.h"
#include "large_buffers.h"
#include "runtime_services.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zariza {

namespace {

// A Chinese reason for a failed read; errno is read right after the failing call.
QString reasonFor(const QFileDevice &file, int savedErrno) {
    QString reason = reasonForErrno(savedErrno);
    if (!reason.isEmpty())
        return reason;
    if (file.error() == QFileDevice::PermissionsError)
        return QStringLiteral("没有权限");
    return QStringLiteral("无法访问（%1）").arg(file.errorString());
}

[[noreturn]] void refuseAsTooLarge(const QString &fileName) {
    throw RuntimeError(QStringLiteral("文件太大（超过 %1 MB）").arg(maxReadBytes >> 20), fileName);
}

// The checks before this can be outrun: a FIFO put in the file's place afterwards would block
// open() and freeze the window. So open without blocking and check what was actually opened.
void openRegularFile(QFile &file, const QString &fileName) {
#ifdef Q_OS_UNIX
    const int descriptor =
        ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const QString reason = reasonForErrno(errno);
        throw RuntimeError(reason.isEmpty() ? QStringLiteral("无法打开") : reason, fileName);
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        throw RuntimeError(QStringLiteral("这不是普通文件"), fileName);
    }
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        throw RuntimeError(reasonFor(file, errno), fileName);
    }
#else
    file.setFileName(fileName);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(reasonFor(file, errno), fileName);
#endif
}

} // namespace

QByteArray readRegularFile(const QString &fileName) {
    if (fileName.isEmpty())
        throw RuntimeError(QStringLiteral("没有指定文件名"));
    const QFileInfo info(fileName);
    if (!info.exists())
        throw RuntimeError(QStringLiteral("文件不存在"), fileName);
    if (info.isDir())
        throw RuntimeError(QStringLiteral("这是一个文件夹，不是文件"), fileName);
    if (!info.isFile())
        throw RuntimeError(QStringLiteral("这不是普通文件"), fileName);
    if (info.size() > maxReadBytes)
        refuseAsTooLarge(fileName);
    QFile file;
    openRegularFile(file, fileName);
    // A buffer the size of the file, not of the limit: QIODevice::read allocates all it is asked
    // for. One byte more shows that the file grew since the check; then read on to one byte past
    // the limit, so that it is still read whole or refused.
    const qint64 expectedSize = info.size();
    QByteArray bytes(expectedSize + 1, Qt::Uninitialized);
    // Touching 16 MB of fresh 4 KiB pages can take longer than reading the file.
    adviseLargePages(bytes.data(), bytes.size());
    const qint64 got = file.read(bytes.data(), bytes.size());
    bytes.resize(std::max<qint64>(got, 0));
    if (bytes.size() > expectedSize && file.error() == QFileDevice::NoError)
        bytes += file.read(maxReadBytes + 1 - bytes.size());
    if (file.error() != QFileDevice::NoError)
        throw RuntimeError(reasonFor(file, errno), fileName);
    if (bytes.size() > maxReadBytes)
        refuseAsTooLarge(fileName);
    return bytes;
}

} // namespace zariza
