#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringConverter>
#include <QStringView>
#include <optional>

// UTF-8 and UTF-16 as browsers read them.
namespace zariza {

// Reads UTF-8 the way browsers do: each maximal invalid subsequence becomes one U+FFFD.
QString decodeUtf8(QByteArrayView bytes, bool *clean);

// The text only if the bytes are valid UTF-8.
std::optional<QString> decodeUtf8Cleanly(QByteArrayView bytes);

// UTF-8 with unpaired surrogates written as U+FFFD.
QByteArray encodeUtf8(QStringView text);

// The same bytes in place of what `bytes` held, so that one buffer serves piece after piece.
void encodeUtf8Into(QStringView text, QByteArray &bytes);

// Reads UTF-16 code units in the given byte order, QStringConverter::Utf16LE or Utf16BE (a
// leading byte-order mark stays as U+FEFF); unpaired surrogates and an odd last byte become
// U+FFFD.
QString decodeUtf16(QByteArrayView bytes, QStringConverter::Encoding byteOrder, bool *clean);

} // namespace zariza
