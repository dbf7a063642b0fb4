#include "utf.h"

#include <cstdint>
#include <cstring>

namespace zariza {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;

char16_t *appendCodePoint(char16_t *out, char32_t codePoint) {
    if (codePoint <= 0xFFFF) {
        *out++ = char16_t(codePoint);
    } else {
        *out++ = QChar::highSurrogate(codePoint);
        *out++ = QChar::lowSurrogate(codePoint);
    }
    return out;
}

// Every decoder here writes at most one UTF-16 unit per input byte, so the text is allocated
// once at the byte count and trimmed at the end.
class DecodeBuffer {
public:
    explicit DecodeBuffer(qsizetype maximumLength)
        : m_text(maximumLength, Qt::Uninitialized),
          m_begin(reinterpret_cast<char16_t *>(m_text.data())), m_out(m_begin) {}

    char16_t *&out() { return m_out; }

    QString take() {
        m_text.resize(m_out - m_begin);
        return std::move(m_text);
    }

private:
    QString m_text;
    char16_t *m_begin;
    char16_t *m_out;
};

std::optional<QString> decodeUtf8(QByteArrayView bytes, bool stopAtFirstFault, bool *clean) {
    const auto *in = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype size = bytes.size();
    DecodeBuffer buffer(size);
    char16_t *&out = buffer.out();
    bool isClean = true;
    qsizetype index = 0;
    while (index < size) {
        // Markup is mostly ASCII: copy it eight bytes at a time.
        while (index + 8 <= size) {
            std::uint64_t chunk;
            std::memcpy(&chunk, in + index, sizeof chunk);
            if (chunk & 0x8080808080808080u)
                break;
            for (int offset = 0; offset < 8; ++offset)
                out[offset] = in[index + offset];
            out += 8;
            index += 8;
        }
        if (index == size)
            break;
        const uchar lead = in[index];
        if (lead < 0x80) {
            *out++ = lead;
            ++index;
            continue;
        }
        int continuationCount = 0;
        char32_t codePoint = 0;
        uchar lowest = 0x80;
        uchar highest = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            continuationCount = 1;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            continuationCount = 2;
            codePoint = lead & 0x0F;
            // Rules out overlong forms and surrogates.
            if (lead == 0xE0)
                lowest = 0xA0;
            else if (lead == 0xED)
                highest = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            continuationCount = 3;
            codePoint = lead & 0x07;
            // Rules out overlong forms and code points past U+10FFFF.
            if (lead == 0xF0)
                lowest = 0x90;
            else if (lead == 0xF4)
                highest = 0x8F;
        }
        qsizetype next = index + 1;
        bool complete = continuationCount > 0;
        for (int read = 0; complete && read < continuationCount; ++read, ++next) {
            if (next == size || in[next] < lowest || in[next] > highest) {
                complete = false;
                break;
            }
            codePoint = codePoint << 6 | (in[next] & 0x3F);
            lowest = 0x80;
            highest = 0xBF;
        }
        index = next;
        if (complete) {
            out = appendCodePoint(out, codePoint);
            continue;
        }
        // The bytes read so far become one U+FFFD; the one that broke the sequence is read again.
        isClean = false;
        if (stopAtFirstFault)
            break;
        *out++ = kReplacementCharacter;
    }
    *clean = isClean;
    if (!isClean && stopAtFirstFault)
        return std::nullopt;
    return buffer.take();
}

} // namespace

QString decodeUtf8(QByteArrayView bytes, bool *clean) {
    return *decodeUtf8(bytes, false, clean);
}

std::optional<QString> decodeUtf8Cleanly(QByteArrayView bytes) {
    bool clean = false;
    return decodeUtf8(bytes, true, &clean);
}

QString decodeUtf16(QByteArrayView bytes, QStringConverter::Encoding byteOrder, bool *clean) {
    const auto *in = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype unitCount = bytes.size() / 2;
    const bool hasOddByte = bytes.size() % 2 != 0;
    const bool littleEndian = byteOrder == QStringConverter::Utf16LE;
    auto unitAt = [&](qsizetype index) {
        const uchar first = in[2 * index];
        const uchar second = in[2 * index + 1];
        return char16_t(littleEndian ? (second << 8 | first) : (first << 8 | second));
    };
    DecodeBuffer buffer(unitCount + 1);
    char16_t *&out = buffer.out();
    bool isClean = !hasOddByte;
    bool oddByteEndsCharacter = false;
    for (qsizetype index = 0; index < unitCount; ++index) {
        const char16_t unit = unitAt(index);
        if (!QChar::isSurrogate(unit)) {
            *out++ = unit;
            continue;
        }
        if (QChar::isHighSurrogate(unit) && index + 1 < unitCount &&
            QChar::isLowSurrogate(unitAt(index + 1))) {
            *out++ = unit;
            *out++ = unitAt(++index);
            continue;
        }
        isClean = false;
        *out++ = kReplacementCharacter;
        // A high surrogate cut off by the odd last byte is one broken character, not two.
        oddByteEndsCharacter = hasOddByte && index + 1 == unitCount && QChar::isHighSurrogate(unit);
    }
    if (hasOddByte && !oddByteEndsCharacter)
        *out++ = kReplacementCharacter;
    *clean = isClean;
    return buffer.take();
}

void encodeUtf8Into(QStringView text, QByteArray &bytes) {
    const char16_t *in = text.utf16();
    const qsizetype size = text.size();
    // At most three bytes per unit: a surrogate pair is two units for four bytes.
    bytes.resize(size * 3);
    auto *out = reinterpret_cast<uchar *>(bytes.data());
    for (qsizetype index = 0; index < size; ++index) {
        char32_t codePoint = in[index];
        if (codePoint < 0x80) {
            *out++ = uchar(codePoint);
            continue;
        }
        if (QChar::isSurrogate(codePoint)) {
            if (QChar::isHighSurrogate(codePoint) && index + 1 < size &&
                QChar::isLowSurrogate(in[index + 1])) {
                codePoint = QChar::surrogateToUcs4(char16_t(codePoint), in[++index]);
            } else {
                codePoint = kReplacementCharacter;
            }
        }
        if (codePoint < 0x800) {
            *out++ = uchar(0xC0 | codePoint >> 6);
        } else if (codePoint < 0x10000) {
            *out++ = uchar(0xE0 | codePoint >> 12);
            *out++ = uchar(0x80 | (codePoint >> 6 & 0x3F));
        } else {
            *out++ = uchar(0xF0 | codePoint >> 18);
            *out++ = uchar(0x80 | (codePoint >> 12 & 0x3F));
            *out++ = uchar(0x80 | (codePoint >> 6 & 0x3F));
        }
        *out++ = uchar(0x80 | (codePoint & 0x3F));
    }
    bytes.resize(reinterpret_cast<char *>(out) - bytes.data());
}

QByteArray encodeUtf8(QStringView text) {
    QByteArray bytes;
    encodeUtf8Into(text, bytes);
    return bytes;
}

} // namespace zariza
