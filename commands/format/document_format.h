#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <functional>
#include <optional>

// How a document's bytes become text and back: which encoding to read and which to write, and
// UTF-8 and UTF-16 as browsers read them (GB18030, the <meta> scan and the other encodings a page
// may declare have files of their own).
namespace zariza {

// Other: an encoding the page declares, read and written through a platform converter.
enum class DocumentEncoding { Gbk, Utf8, Utf16LE, Utf16BE, Other };

struct DecodedDocument {
    QString text; // U+FEFF stays at the start when the bytes began with a byte-order mark
    DocumentEncoding encoding; // what the bytes were read as
    bool clean = true;         // false when some bytes could not be decoded and became U+FFFD
    QByteArray converter;      // for Other, the converter's name
    // The label of a declared encoding this platform has no converter for; the bytes were then
    // read as if undeclared.
    QByteArray unsupportedCharset;
};

// A byte-order mark decides; else NULs in every other byte of the first KiB mean UTF-16 (with
// clean false when a unit is broken); else the page's <meta> declaration, found as browsers find
// it; else valid non-ASCII UTF-8 is UTF-8; else GBK. A declaration the bytes contradict loses to
// UTF-8 (or, for UTF-8, GBK) if that one decodes them cleanly. Never fails: undecodable bytes
// become U+FFFD and clean is false.
DecodedDocument decodeDocument(QByteArrayView bytes);

// UTF-8 when the text starts with U+FEFF or its <meta> declares UTF-8 (or UTF-16, which a browser
// reads as UTF-8 from a file); Other when it declares another encoding this platform can write;
// GBK otherwise. The <meta> is looked for in the text as it will be written.
DocumentEncoding encodingForText(QStringView text);

// The encoding a text is written in: Gbk, Utf8, or Other with the converter's name.
struct PageEncoding {
    DocumentEncoding encoding = DocumentEncoding::Gbk;
    QByteArray converter;
};

// As encodingForText; with `complete` false the text is only the start of one, and nothing is
// returned while the rest could still bring the declaration.
std::optional<PageEncoding> pageEncodingForText(QStringView text, bool complete);

// The text appended to `bytes` in that encoding.
void encodeInto(QStringView text, const PageEncoding &encoding, QByteArray &bytes);

// The text's bytes in encodingForText(text). No line end is appended.
QByteArray encodeDocument(QStringView text);

// The same bytes, handed to `write` a piece at a time as each piece is encoded, so that a large
// document can be written out without an encoded copy of all of it. Pieces hold at most
// encodingPieceLength characters and never split a surrogate pair.
constexpr qsizetype encodingPieceLength = 1 << 16;
void encodeDocument(QStringView text, const std::function<void(QByteArrayView)> &write);

struct OpenedDocument {
    QString text;
    bool clean = true;             // as in DecodedDocument
    QByteArray unsupportedCharset; // as in DecodedDocument
};

// The document a file's bytes hold: decoded as above, every line end (CR LF, LF or a lone CR)
// written as CR LF, and the file's last line end not part of the text, so that opening is the
// inverse of writeDocument. An empty file or one of only "\r\n" gives "".
OpenedDocument readDocument(QByteArrayView bytes);

// The file's bytes for `text`: the text in its encoding, then CR LF, handed to `write` a piece at
// a time as encodeDocument does.
void writeDocument(QStringView text, const std::function<void(QByteArrayView)> &write);

// Reads UTF-8 the way browsers do: each maximal invalid subsequence becomes one U+FFFD.
QString decodeUtf8(QByteArrayView bytes, bool *clean);

// The text only if the bytes are valid UTF-8.
std::optional<QString> decodeUtf8Cleanly(QByteArrayView bytes);

// UTF-8 with unpaired surrogates written as U+FFFD.
QByteArray encodeUtf8(QStringView text);

// The same bytes appended to `bytes`, so that one buffer serves piece after piece.
void encodeUtf8Into(QStringView text, QByteArray &bytes);

// Reads UTF-16 code units in the given byte order (a leading byte-order mark stays as U+FEFF);
// unpaired surrogates and an odd last byte become U+FFFD.
QString decodeUtf16(QByteArrayView bytes, DocumentEncoding byteOrder, bool *clean);

} // namespace zariza
