#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// The encodings besides UTF-8, UTF-16 and GB18030 that a page may declare (Big5, Shift_JIS,
// EUC-KR, windows-1252, ...), read and written through the platform's converters: ICU on Linux,
// the system's code pages on Windows.
namespace zariza {

// The converter that reads an encoding as browsers name it (see encodingNameForLabel) the way
// browsers read it, if this platform has one.
std::optional<QByteArray> converterForEncoding(QByteArrayView encodingName);

// Bytes no code reads and codes that browsers read as no character become U+FFFD, and clean is
// false.
QString decodeWithConverter(QByteArrayView bytes, QByteArrayView converter, bool *clean);

// The text appended to `bytes`; characters the encoding lacks are written as numeric character
// references ("&#36825;"), which browsers show as the characters themselves.
void encodeWithConverterInto(QStringView text, QByteArrayView converter, QByteArray &bytes);

} // namespace zariza
