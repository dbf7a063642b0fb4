#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// The system's converters for the legacy encodings a page may declare (Big5, Shift_JIS,
// windows-1252, ...), named as ICU names them ("Big5-HKSCS", "windows-31j", "windows-1252"):
// ICU through Qt on Linux, the system's code pages on Windows, whose Qt is built without ICU.
namespace zariza {

// Whether this system has a converter by that name.
bool hasPageConverter(QByteArrayView name);

// Bytes no code reads become U+FFFD, and clean is false.
QString decodeWithPageConverter(QByteArrayView bytes, QByteArrayView name, bool *clean);

// Nothing when some character of the text has no code in the encoding.
std::optional<QByteArray> encodeWithPageConverter(QStringView text, QByteArrayView name);

} // namespace zariza
