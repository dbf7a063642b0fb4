#include "document_format.h"

#include "charset_prescan.h"
#include "document_writer.h"
#include "gb18030.h"
#include "line_ends.h"
#include "page_encodings.h"
#include "split_decoding.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <array>
#include <optional>
#include <utility>

namespace zariza {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;

constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr qsizetype kHeadLength = 1 << 16;

// U+FEFF at the start stays part of the text; a sequence cut off at the end is a fault, not
// something to wait for more bytes for.
constexpr QStringConverter::Flags kWholeText =
    QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless;

// How many continuation bytes a UTF-8 lead byte takes (-1 for one that cannot start a
// character), and the range the first must be in, which rules out overlong forms, surrogates
// and code points past U+10FFFF.
struct Utf8Lead {
    int continuations;
    char32_t bits;
    uchar lowest;
    uchar highest;
};

Utf8Lead utf8Lead(uchar lead) {
    if (lead < 0x80)
        return {0, lead, 0, 0};
    if (lead >= 0xC2 && lead <= 0xDF)
        return {1, char32_t(lead & 0x1F), 0x80, 0xBF};
    if (lead >= 0xE0 && lead <= 0xEF)
        return {2, char32_t(lead & 0x0F), uchar(lead == 0xE0 ? 0xA0 : 0x80),
                uchar(lead == 0xED ? 0x9F : 0xBF)};
    if (lead >= 0xF0 && lead <= 0xF4)
        return {3, char32_t(lead & 0x07), uchar(lead == 0xF0 ? 0x90 : 0x80),
                uchar(lead == 0xF4 ? 0x8F : 0xBF)};
    return {-1, kReplacementCharacter, 0, 0};
}

// Invalid UTF-8 as browsers read it: each maximal invalid subsequence is one U+FFFD, where Qt
// may write one for each of its bytes.
QString decodeInvalidUtf8(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size());
    for (qsizetype index = 0; index < bytes.size();) {
        Utf8Lead expected = utf8Lead(bytes[index++]);
        char32_t codePoint = expected.bits;
        // The byte that breaks a sequence is read again as the start of the next.
        for (int read = 0; read < expected.continuations; ++read, ++index) {
            const uchar next = index < bytes.size() ? bytes[index] : 0;
            if (next < expected.lowest || next > expected.highest) {
                codePoint = kReplacementCharacter;
                break;
            }
            codePoint = codePoint << 6 | (next & 0x3F);
            expected.lowest = 0x80;
            expected.highest = 0xBF;
        }
        text += QChar::fromUcs4(codePoint);
    }
    return text;
}

// Qt passes unpaired surrogates through from UTF-16; browsers read each as U+FFFD. Whether
// there were any.
bool replaceUnpairedSurrogates(QString &text) {
    bool replaced = false;
    for (qsizetype index = 0; index < text.size(); ++index) {
        if (text[index].isHighSurrogate() && index + 1 < text.size() &&
            text[index + 1].isLowSurrogate()) {
            ++index;
        } else if (text[index].isSurrogate()) {
            text[index] = QChar(kReplacementCharacter);
            replaced = true;
        }
    }
    return replaced;
}

// QString::fromUtf8 is the fastest decoder Qt has, half as fast again as QStringDecoder, but it
// reports no faults and drops a byte-order mark at the start. What it reads without U+FFFD was
// valid; only a text with U+FFFD needs the bytes checked. Files with a mark, which the document
// keeps, go through QStringDecoder.
std::optional<QString> decodeValidUtf8(QByteArrayView bytes) {
    const bool marked = bytes.startsWith(kUtf8ByteOrderMark);
    bool decodedWithoutError = true;
    QString text = decodeInHalves(
        bytes,
        [](QByteArrayView piece, char16_t *out, bool *clean) {
            QStringDecoder decoder(QStringConverter::Utf8, kWholeText);
            QChar *end = decoder.appendToBuffer(reinterpret_cast<QChar *>(out), piece);
            if (decoder.hasError())
                *clean = false;
            return reinterpret_cast<char16_t *>(end);
        },
        &decodedWithoutError);
    if (marked ? !decodedWithoutError
               : text.contains(QChar(kReplacementCharacter)) && !bytes.isValidUtf8())
        return std::nullopt;
    return text;
}

DecodedDocument decodedAs(DocumentEncoding encoding, QByteArrayView bytes) {
    DecodedDocument document{QString(), encoding};
    if (encoding == DocumentEncoding::Gbk)
        document.text = decodeGb18030(bytes, &document.clean);
    else if (encoding == DocumentEncoding::Utf8)
        document.text = decodeUtf8(bytes, &document.clean);
    else
        document.text = decodeUtf16(bytes, encoding, &document.clean);
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
// A file cut one byte short is still UTF-16, with a flaw.
std::optional<DocumentEncoding> byteOrderOfUnmarkedUtf16(QByteArrayView bytes) {
    if (bytes.isEmpty())
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

// The declared encoding, unless the bytes contradict it and the other one reads them cleanly.
DecodedDocument declaredUnlessContradicted(DecodedDocument declared, DocumentEncoding other,
                                           QByteArrayView bytes) {
    if (declared.clean)
        return declared;
    if (std::optional<DecodedDocument> cleaner = cleanlyDecodedAs(other, bytes))
        return std::move(*cleaner);
    return declared;
}

DecodedDocument undeclared(QByteArrayView bytes) {
    // A non-ASCII file that is valid UTF-8 is almost never meant as GBK.
    if (std::any_of(bytes.begin(), bytes.end(), [](char byte) { return uchar(byte) >= 0x80; })) {
        if (std::optional<DecodedDocument> utf8 = cleanlyDecodedAs(DocumentEncoding::Utf8, bytes))
            return std::move(*utf8);
    }
    return decodedAs(DocumentEncoding::Gbk, bytes);
}

// Pages re-saved in GBK often keep their old UTF-8 declaration, and the other way round.
DecodedDocument declared(const QByteArray &label, QByteArrayView bytes) {
    const QByteArray encoding = encodingNameForLabel(label);
    switch (charsetFamily(label)) {
    case CharsetFamily::Utf8:
    case CharsetFamily::Utf16: // cannot be right in a page read from bytes: browsers read UTF-8
        return declaredUnlessContradicted(decodedAs(DocumentEncoding::Utf8, bytes),
                                          DocumentEncoding::Gbk, bytes);
    case CharsetFamily::Gbk:
        return declaredUnlessContradicted(decodedAs(DocumentEncoding::Gbk, bytes),
                                          DocumentEncoding::Utf8, bytes);
    case CharsetFamily::Other:
        if (const std::optional<QByteArray> converter = converterForEncoding(encoding)) {
            DecodedDocument document{QString(), DocumentEncoding::Other, true, *converter};
            document.text = decodeWithConverter(bytes, *converter, &document.clean);
            return declaredUnlessContradicted(std::move(document), DocumentEncoding::Utf8, bytes);
        }
        break;
    case CharsetFamily::Unknown:
        return undeclared(bytes);
    }
    DecodedDocument document = undeclared(bytes);
    document.unsupportedCharset = label;
    return document;
}

} // namespace

QString decodeUtf8(QByteArrayView bytes, bool *clean) {
    std::optional<QString> text = decodeValidUtf8(bytes);
    *clean = text.has_value();
    return *clean ? std::move(*text) : decodeInvalidUtf8(bytes);
}

std::optional<QString> decodeUtf8Cleanly(QByteArrayView bytes) {
    // Most files asked about are GBK, and the Chinese near their start shows it without decoding
    // all of them. The head is cut after a '>' so that it ends between characters.
    const QByteArrayView head = bytes.first(std::min<qsizetype>(bytes.size(), kHeadLength));
    if (!head.first(head.lastIndexOf('>') + 1).isValidUtf8())
        return std::nullopt;
    return decodeValidUtf8(bytes);
}

void encodeUtf8Into(QStringView text, QByteArray &bytes) {
    // Stateless writes an unpaired surrogate at the end as U+FFFD too, rather than keeping it
    // for a next call that never comes.
    QStringEncoder encoder(QStringConverter::Utf8, kWholeText);
    const qsizetype start = bytes.size();
    bytes.resize(start + encoder.requiredSpace(text.size()));
    bytes.resize(encoder.appendToBuffer(bytes.data() + start, text) - bytes.data());
}

QByteArray encodeUtf8(QStringView text) {
    QByteArray bytes;
    encodeUtf8Into(text, bytes);
    return bytes;
}

QString decodeUtf16(QByteArrayView bytes, DocumentEncoding byteOrder, bool *clean) {
    const auto qtByteOrder = byteOrder == DocumentEncoding::Utf16LE ? QStringConverter::Utf16LE
                                                                    : QStringConverter::Utf16BE;
    // Qt reads an odd last byte as U+FFFD, but does not count it as a fault.
    QString text = QStringDecoder(qtByteOrder, kWholeText).decode(bytes);
    const bool hasOddByte = bytes.size() % 2 != 0;
    // A high surrogate cut off by the odd last byte is one broken character, not two.
    if (hasOddByte && text.size() >= 2 && text[text.size() - 2].isHighSurrogate())
        text.chop(1);
    *clean = !replaceUnpairedSurrogates(text) && !hasOddByte;
    return text;
}

DecodedDocument decodeDocument(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodedAs(DocumentEncoding::Utf8, bytes);
    if (bytes.startsWith("\xFF\xFE"))
        return decodedAs(DocumentEncoding::Utf16LE, bytes);
    if (bytes.startsWith("\xFE\xFF"))
        return decodedAs(DocumentEncoding::Utf16BE, bytes);
    // Ahead of any <meta>: whatever a UTF-16 page declares, its bytes are UTF-16, and a broken
    // unit in it is a flaw to ask about, not a reason to read NULs as GBK.
    if (const std::optional<DocumentEncoding> byteOrder = byteOrderOfUnmarkedUtf16(bytes))
        return decodedAs(*byteOrder, bytes);
    return declared(prescanCharsetLabel(bytes), bytes);
}

OpenedDocument readDocument(QByteArrayView bytes) {
    DecodedDocument decoded = decodeDocument(bytes);
    // The decoded string itself, not a copy, when its line ends are all CR LF already.
    QString text = withCrLfLineEnds(std::move(decoded.text));
    if (text.endsWith(u"\r\n"))
        text.chop(2);
    return {std::move(text), decoded.clean, std::move(decoded.unsupportedCharset)};
}

void writeDocument(QStringView text, const std::function<void(QByteArrayView)> &write) {
    DocumentWriter writer(write);
    writer.add(text);
    writer.finishDocument();
}

} // namespace zariza
