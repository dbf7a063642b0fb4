#include "read_file.h"

#include "file_errors.h"
#include "large_buffers.h"
#include "regular_file.h"
#include "runtime_services.h"

#include <QFileInfo>
#include <algorithm>
#include <cerrno>

namespace zariza {

namespace {

[[noreturn]] void refuseAsTooLarge(const QString &fileName) {
    throw RuntimeError(QStringLiteral("文件太大（超过 %1 MB）").arg(maxReadBytes >> 20), fileName);
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
        throw RuntimeError(reasonForFileError(file, errno), fileName);
    if (bytes.size() > maxReadBytes)
        refuseAsTooLarge(fileName);
    return bytes;
}

} // namespace zariza
