#include "utf.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>

namespace zariza {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;
constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr qsizetype kHeadLength = 1 << 16;

// U+FEFF at the start stays part of the text; a sequence cut off at the end is a fault, not
// something to wait for more bytes for.
constexpr QStringConverter::Flags kWholeText =
    QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless;

// How many continuation bytes a UTF-8 lead byte takes, and the range its first one must be in,
// which rules out overlong forms, surrogates and code points past U+10FFFF.
struct Utf8Lead {
    int continuations; // 0 for a byte that cannot start a character
    char32_t bits;
    uchar lowest;
    uchar highest;
};

Utf8Lead utf8Lead(uchar lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return {1, char32_t(lead & 0x1F), 0x80, 0xBF};
    if (lead >= 0xE0 && lead <= 0xEF)
        return {2, char32_t(lead & 0x0F), uchar(lead == 0xE0 ? 0xA0 : 0x80),
                uchar(lead == 0xED ? 0x9F : 0xBF)};
    if (lead >= 0xF0 && lead <= 0xF4)
        return {3, char32_t(lead & 0x07), uchar(lead == 0xF0 ? 0x90 : 0x80),
                uchar(lead == 0xF4 ? 0x8F : 0xBF)};
    return {0, 0, 0, 0};
}

// Invalid UTF-8 as browsers read it: each maximal invalid subsequence is one U+FFFD, where Qt
// may write one for each of its bytes.
QString decodeInvalidUtf8(QByteArrayView bytes) {
    const auto *in = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype size = bytes.size();
    QString text;
    text.reserve(size);
    qsizetype index = 0;
    while (index < size) {
        const uchar lead = in[index++];
        if (lead < 0x80) {
            text += QChar(lead);
            continue;
        }
        Utf8Lead expected = utf8Lead(lead);
        char32_t codePoint = expected.bits;
        int read = 0;
        // The byte that breaks a sequence is read again as the start of the next.
        for (; read < expected.continuations; ++read, ++index) {
            if (index == size || in[index] < expected.lowest || in[index] > expected.highest)
                break;
            codePoint = codePoint << 6 | (in[index] & 0x3F);
            expected.lowest = 0x80;
            expected.highest = 0xBF;
        }
        if (expected.continuations == 0 || read < expected.continuations)
            codePoint = kReplacementCharacter;
        text += QChar::fromUcs4(codePoint);
    }
    return text;
}

// Qt passes unpaired surrogates through from UTF-16; browsers read each as U+FFFD. Whether
// there were any.
bool replaceUnpairedSurrogates(QString &text) {
    bool replaced = false;
    const qsizetype size = text.size();
    QChar *units = text.data();
    for (qsizetype index = 0; index < size; ++index) {
        if (!units[index].isSurrogate())
            continue;
        if (units[index].isHighSurrogate() && index + 1 < size &&
            units[index + 1].isLowSurrogate()) {
            ++index;
        } else {
            units[index] = QChar(kReplacementCharacter);
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
    if (bytes.startsWith(kUtf8ByteOrderMark)) {
        QStringDecoder decoder(QStringConverter::Utf8, kWholeText);
        QString text = decoder.decode(bytes);
        if (decoder.hasError())
            return std::nullopt;
        return text;
    }
    QString text = QString::fromUtf8(bytes);
    if (text.contains(QChar(kReplacementCharacter)) && !bytes.isValidUtf8())
        return std::nullopt;
    return text;
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
    bytes.resize(encoder.requiredSpace(text.size()));
    bytes.resize(encoder.appendToBuffer(bytes.data(), text) - bytes.data());
}

QByteArray encodeUtf8(QStringView text) {
    QByteArray bytes;
    encodeUtf8Into(text, bytes);
    return bytes;
}

QString decodeUtf16(QByteArrayView bytes, QStringConverter::Encoding byteOrder, bool *clean) {
    const bool hasOddByte = bytes.size() % 2 != 0;
    QString text = QStringDecoder(byteOrder, kWholeText)
                       .decode(bytes.first(bytes.size() - (hasOddByte ? 1 : 0)));
    // A high surrogate cut off by the odd last byte is one broken character, not two.
    const bool oddByteEndsCharacter =
        hasOddByte && !text.isEmpty() && text.back().isHighSurrogate();
    *clean = !replaceUnpairedSurrogates(text) && !hasOddByte;
    if (hasOddByte && !oddByteEndsCharacter)
        text += QChar(kReplacementCharacter);
    return text;
}

} // namespace zariza
