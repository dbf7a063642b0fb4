#pragma once

#include <QByteArray>
#include <QString>

namespace zariza::testing {

QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);
// "3c 74 0d 0a" -> bytes; blanks are ignored.
QByteArray hexBytes(const char *hex);

} // namespace zariza::testing
