#include "test_files.h"

#include <QFile>
#include <stdexcept>

namespace zariza::testing {

QByteArray readBytes(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

void writeBytes(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

QByteArray hexBytes(const char *hex) {
    return QByteArray::fromHex(QByteArray(hex));
}

} // namespace zariza::testing
