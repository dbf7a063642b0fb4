#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <functional>

// How a document's bytes become text and back. Pure functions on QtCore only: GBK goes through
// the built-in table rather than QStringConverter, whose GBK support depends on ICU.
namespace zariza {

enum class DocumentEncoding { Gbk, Utf8, Utf16LE, Utf16BE };

struct DecodedDocument {
    QString text; // U+FEFF stays at the start when the bytes began with a byte-order mark
    DocumentEncoding encoding; // what the bytes were read as
    bool clean = true;         // false when some bytes could not be decoded and became U+FFFD
};

// A byte-order mark decides; else NULs in every other byte of the first KiB mean UTF-16 if the
// bytes read cleanly as such; else a <meta> declaration; else valid non-ASCII UTF-8 is UTF-8;
// else GBK. A declaration the bytes contradict loses to the other encoding if that one decodes
// them cleanly. Never fails: undecodable bytes become U+FFFD and clean is false.
DecodedDocument decodeDocument(QByteArrayView bytes);

// UTF-8 when the text starts with U+FEFF or its <meta> declares UTF-8 (or UTF-16, which a browser
// reads as UTF-8 from a file); GBK otherwise.
DocumentEncoding encodingForText(QStringView text);

// The text's bytes in encodingForText(text). No line end is appended.
QByteArray encodeDocument(QStringView text);

// The same bytes, handed to `write` a piece at a time as each piece is encoded, so that a large
// document can be written out without an encoded copy of all of it. Pieces hold at most
// encodingPieceLength characters and never split a surrogate pair.
constexpr qsizetype encodingPieceLength = 1 << 16;
void encodeDocument(QStringView text, const std::function<void(QByteArrayView)> &write);

// GBK with € as the single byte 80; characters GBK lacks get their GB18030 four-byte code and an
// unpaired surrogate is written as U+FFFD. Whatever decodeGb18030 reads cleanly comes back
// byte-identical.
QByteArray encodeGbk(QStringView text);

// Reads GB18030 (which includes GBK) the way browsers do. clean is set to false when bytes had to
// become U+FFFD, and also when a code reads as a character that encodeGbk writes differently
// (A2 E3 reads as € but € is written as 80; a four-byte code of an ideograph that has a two-byte
// code), so that a clean decode always writes back unchanged.
QString decodeGb18030(QByteArrayView bytes, bool *clean);

// Reads UTF-8 the way browsers do: each maximal invalid subsequence becomes one U+FFFD.
QString decodeUtf8(QByteArrayView bytes, bool *clean);

// UTF-8 with unpaired surrogates written as U+FFFD.
QByteArray encodeUtf8(QStringView text);

// Reads UTF-16 code units in the given byte order (a leading byte-order mark stays as U+FEFF);
// unpaired surrogates and an odd last byte become U+FFFD.
QString decodeUtf16(QByteArrayView bytes, DocumentEncoding byteOrder, bool *clean);

// The charset label the first <meta> that declares a known encoding gives, lowercased and trimmed,
// found the way a browser prescans a page: only within the first 1024 bytes (or characters),
// skipping comments and the attributes of other tags. Labels of encodings this program does not
// know are passed over, as a browser passes over labels it cannot resolve. Empty when none.
QByteArray prescanCharsetLabel(QByteArrayView bytes);
QByteArray prescanCharsetLabel(QStringView text);

} // namespace zariza
