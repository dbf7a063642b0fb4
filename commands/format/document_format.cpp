#include "document_format.h"

#include "charset_prescan.h"
#include "gb18030.h"
#include "line_ends.h"
#include "utf.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace zariza {
namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;

bool hasNonAsciiByte(QByteArrayView bytes) {
    for (const char byte : bytes) {
        if (uchar(byte) >= 0x80)
            return true;
    }
    return false;
}

bool declaresUtf8(CharsetFamily family) {
    // A UTF-16 label in a page read from bytes cannot be right; browsers read it as UTF-8.
    return family == CharsetFamily::Utf8 || family == CharsetFamily::Utf16;
}

DecodedDocument decodedAs(DocumentEncoding encoding, QByteArrayView bytes) {
    DecodedDocument document{QString(), encoding};
    switch (encoding) {
    case DocumentEncoding::Gbk:
        document.text = decodeGb18030(bytes, &document.clean);
        break;
    case DocumentEncoding::Utf8:
        document.text = decodeUtf8(bytes, &document.clean);
        break;
    case DocumentEncoding::Utf16LE:
    case DocumentEncoding::Utf16BE:
        document.text =
            decodeUtf16(bytes,
                        encoding == DocumentEncoding::Utf16LE ? QStringConverter::Utf16LE
                                                              : QStringConverter::Utf16BE,
                        &document.clean);
        break;
    }
    return document;
}

// The text, only if the bytes decode cleanly in that encoding.
std::optional<DecodedDocument> cleanlyDecodedAs(DocumentEncoding encoding, QByteArrayView bytes) {
    std::optional<QString> text =
        encoding == DocumentEncoding::Utf8 ? decodeUtf8Cleanly(bytes) : decodeGb18030Cleanly(bytes);
    if (!text)
        return std::nullopt;
    return DecodedDocument{std::move(*text), encoding, true};
}

// UTF-16 saved without a byte-order mark: its ASCII markup puts a NUL in every other byte of
// the first KiB. Chinese characters have no NUL, except the few like 一 (U+4E00) and the
// ideographic space that have one at the other parity, so those may occur but must stay rare.
// A GBK or UTF-8 file with a few stray NULs has too few, or has them at both parities.
std::optional<DocumentEncoding> byteOrderOfUnmarkedUtf16(QByteArrayView bytes) {
    if (bytes.isEmpty() || bytes.size() % 2 != 0)
        return std::nullopt;
    const QByteArrayView head = bytes.first(std::min<qsizetype>(bytes.size(), 1024));
    std::array<qsizetype, 2> nulsAtParity{};
    for (qsizetype index = 0; index < head.size(); ++index) {
        if (head[index] == 0)
            ++nulsAtParity[index % 2];
    }
    const qsizetype unitCount = head.size() / 2;
    // The parity of a unit's high byte, which is NUL for ASCII.
    for (const auto &[byteOrder, highByte] :
         {std::pair{DocumentEncoding::Utf16LE, 1}, std::pair{DocumentEncoding::Utf16BE, 0}}) {
        const qsizetype ascii = nulsAtParity[highByte];
        const qsizetype otherNuls = nulsAtParity[1 - highByte];
        if (ascii >= 4 && ascii * 8 >= unitCount && otherNuls * 4 <= ascii)
            return byteOrder;
    }
    return std::nullopt;
}

} // namespace

DecodedDocument decodeDocument(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodedAs(DocumentEncoding::Utf8, bytes);
    if (bytes.startsWith("\xFF\xFE"))
        return decodedAs(DocumentEncoding::Utf16LE, bytes);
    if (bytes.startsWith("\xFE\xFF"))
        return decodedAs(DocumentEncoding::Utf16BE, bytes);
    // Ahead of any <meta>: whatever a UTF-16 page declares, its bytes are UTF-16.
    if (const std::optional<DocumentEncoding> byteOrder = byteOrderOfUnmarkedUtf16(bytes)) {
        DecodedDocument utf16 = decodedAs(*byteOrder, bytes);
        if (utf16.clean)
            return utf16;
    }

    const CharsetFamily declared = charsetFamily(prescanCharsetLabel(bytes));
    if (declaresUtf8(declared)) {
        DecodedDocument utf8 = decodedAs(DocumentEncoding::Utf8, bytes);
        if (utf8.clean)
            return utf8;
        // Pages re-saved in GBK often keep their old declaration.
        if (std::optional<DecodedDocument> gbk = cleanlyDecodedAs(DocumentEncoding::Gbk, bytes))
            return std::move(*gbk);
        return utf8;
    }
    if (declared == CharsetFamily::Gbk) {
        DecodedDocument gbk = decodedAs(DocumentEncoding::Gbk, bytes);
        if (gbk.clean)
            return gbk;
        if (std::optional<DecodedDocument> utf8 = cleanlyDecodedAs(DocumentEncoding::Utf8, bytes))
            return std::move(*utf8);
        return gbk;
    }
    // Undeclared: a non-ASCII file that is valid UTF-8 is almost never meant as GBK.
    if (hasNonAsciiByte(bytes)) {
        if (std::optional<DecodedDocument> utf8 = cleanlyDecodedAs(DocumentEncoding::Utf8, bytes))
            return std::move(*utf8);
    }
    return decodedAs(DocumentEncoding::Gbk, bytes);
}

DocumentEncoding encodingForText(QStringView text) {
    if (text.startsWith(QChar(kByteOrderMark)))
        return DocumentEncoding::Utf8;
    return declaresUtf8(charsetFamily(prescanCharsetLabel(text))) ? DocumentEncoding::Utf8
                                                                  : DocumentEncoding::Gbk;
}

void encodeDocument(QStringView text, const std::function<void(QByteArrayView)> &write) {
    const auto encodeInto =
        encodingForText(text) == DocumentEncoding::Utf8 ? encodeUtf8Into : encodeGbkInto;
    QByteArray bytes;
    while (!text.isEmpty()) {
        qsizetype length = std::min(text.size(), encodingPieceLength);
        if (length < text.size() && text[length - 1].isHighSurrogate())
            --length; // its low surrogate belongs with it in the next piece
        encodeInto(text.first(length), bytes);
        write(bytes);
        text = text.sliced(length);
    }
}

QByteArray encodeDocument(QStringView text) {
    return encodingForText(text) == DocumentEncoding::Utf8 ? encodeUtf8(text) : encodeGbk(text);
}

OpenedDocument readDocument(QByteArrayView bytes) {
    DecodedDocument decoded = decodeDocument(bytes);
    // The decoded string itself, not a copy, when its line ends are all CR LF already.
    QString text = withCrLfLineEnds(std::move(decoded.text));
    if (text.endsWith(u"\r\n"))
        text.chop(2);
    return {std::move(text), decoded.clean};
}

void writeDocument(QStringView text, const std::function<void(QByteArrayView)> &write) {
    encodeDocument(text, write);
    write("\r\n");
}

} // namespace zariza
