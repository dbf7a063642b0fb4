#include "gb18030.h"

#include "split_decoding.h"

#include <array>
#include <cstdint>

namespace zariza {
namespace {

#include "gb18030_index.inc"

constexpr char16_t kReplacementCharacter = 0xFFFD;
constexpr char16_t kEuroSign = 0x20AC;
constexpr int kTrailsPerLead = 190;
constexpr int kTwoByteCount = 126 * kTrailsPerLead;
constexpr int kFourByteBmpCount = 39420;
constexpr int kFirstSupplementaryPointer = 189000;
constexpr int kLastSupplementaryPointer = kFirstSupplementaryPointer + 0x10FFFF - 0x10000;

static_assert(std::size(kGb18030TwoByte) == kTwoByteCount);

bool isDigit(uchar byte) {
    return byte >= 0x30 && byte <= 0x39;
}

// A character's bytes as one number: one byte below 0x100, two below 0x10000, four otherwise
// (no lead byte is below 0x81, so the lengths cannot be confused).
using PackedCode = std::uint32_t;

PackedCode twoByteCode(int pointer) {
    const int lead = pointer / kTrailsPerLead + 0x81;
    const int trailIndex = pointer % kTrailsPerLead;
    const int trail = trailIndex + (trailIndex < 0x3F ? 0x40 : 0x41);
    return PackedCode(lead << 8 | trail);
}

PackedCode fourByteCode(int pointer) {
    const PackedCode first = pointer / 12600 + 0x81;
    pointer %= 12600;
    const PackedCode second = pointer / 1260 + 0x30;
    pointer %= 1260;
    const PackedCode third = pointer / 10 + 0x81;
    const PackedCode fourth = pointer % 10 + 0x30;
    return first << 24 | second << 16 | third << 8 | fourth;
}

// Built once, on first use: the decoder needs the four-byte codes by pointer; the encoder needs
// every BMP character's code.
class Gb18030Tables {
public:
    Gb18030Tables() {
        constexpr PackedCode unassigned = 0xFFFFFFFF;
        m_bmpCode.fill(unassigned);
        for (char16_t ascii = 0; ascii < 0x80; ++ascii)
            m_bmpCode[ascii] = ascii;
        for (int pointer = 0; pointer < kTwoByteCount; ++pointer) {
            const char16_t codePoint = kGb18030TwoByte[pointer];
            if (m_bmpCode[codePoint] == unassigned)
                m_bmpCode[codePoint] = twoByteCode(pointer);
        }
        m_fourByteBmp.fill(0);
        for (const Gb18030FourByteRun &run : kGb18030FourByteRuns) {
            for (int offset = 0; offset < run.length; ++offset) {
                const int pointer = run.firstPointer + offset;
                const char32_t codePoint = run.firstCodePoint + offset;
                m_fourByteBmp[pointer] = char16_t(codePoint);
                if (m_bmpCode[codePoint] == unassigned)
                    m_bmpCode[codePoint] = fourByteCode(pointer);
            }
        }
        for (const Gb18030StandIn &standIn : kGb18030StandIns)
            m_bmpCode[standIn.privateUse] = m_bmpCode[standIn.standsFor];
        // Surrogates only get here unpaired, and anything the tables missed must still be
        // written as something that reads back as a character.
        const PackedCode replacementCode = m_bmpCode[kReplacementCharacter];
        for (PackedCode &code : m_bmpCode) {
            if (code == unassigned)
                code = replacementCode;
        }
    }

    PackedCode codeOf(char32_t codePoint) const {
        if (codePoint <= 0xFFFF)
            return m_bmpCode[codePoint];
        return fourByteCode(int(codePoint - 0x10000) + kFirstSupplementaryPointer);
    }

    PackedCode bmpCode(char16_t unit) const { return m_bmpCode[unit]; }

    // 0 when the pointer has no character.
    char32_t fourByteCodePoint(int pointer) const {
        if (pointer < kFourByteBmpCount)
            return m_fourByteBmp[pointer];
        if (pointer >= kFirstSupplementaryPointer && pointer <= kLastSupplementaryPointer)
            return char32_t(pointer - kFirstSupplementaryPointer + 0x10000);
        return 0;
    }

private:
    std::array<PackedCode, 0x10000> m_bmpCode;
    std::array<char16_t, kFourByteBmpCount> m_fourByteBmp;
};

// Kept out of line: inlined, the one-time guard changes the layout of the hot loops.
Q_NEVER_INLINE const Gb18030Tables &gb18030Tables() {
    static const Gb18030Tables tables;
    return tables;
}

char16_t *appendCodePoint(char16_t *out, char32_t codePoint) {
    if (codePoint <= 0xFFFF) {
        *out++ = char16_t(codePoint);
    } else {
        *out++ = QChar::highSurrogate(codePoint);
        *out++ = QChar::lowSurrogate(codePoint);
    }
    return out;
}

// One character read from the bytes. Bytes that do not read become U+FFFD; length counts the
// bytes consumed, and the rest of a broken sequence is read again.
struct ReadCode {
    char32_t codePoint;
    int length;
    bool clean;
};

ReadCode broken(int length) {
    return {kReplacementCharacter, length, false};
}

// A lead byte followed by a digit: the start of a four-byte code.
ReadCode readFourByteCode(const uchar *in, qsizetype available, const Gb18030Tables &tables) {
    if (available == 2)
        return broken(2);
    const uchar third = in[2];
    if (third < 0x81 || third == 0xFF)
        return broken(1);
    if (available == 3)
        return broken(3);
    const uchar fourth = in[3];
    if (!isDigit(fourth))
        return broken(1);
    const int pointer =
        (((in[0] - 0x81) * 10 + in[1] - 0x30) * 126 + third - 0x81) * 10 + fourth - 0x30;
    const char32_t codePoint = tables.fourByteCodePoint(pointer);
    if (codePoint == 0)
        return broken(4);
    return {codePoint, 4, true};
}

// The character at a byte of 80 or above.
ReadCode readNonAscii(const uchar *in, qsizetype available, const Gb18030Tables &tables) {
    const uchar lead = in[0];
    if (lead == 0x80)
        return {kEuroSign, 1, true};
    if (lead == 0xFF || available == 1)
        return broken(1);
    const uchar second = in[1];
    if (isDigit(second))
        return readFourByteCode(in, available, tables);
    if ((second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE)) {
        const int pointer = (lead - 0x81) * kTrailsPerLead + second - (second < 0x7F ? 0x40 : 0x41);
        return {kGb18030TwoByte[pointer], 2, true};
    }
    // An ASCII byte after the lead is read again on its own.
    return broken(second < 0x80 ? 1 : 2);
}

// Reads all of the bytes, or with stopAtFirstFault only as far as they read cleanly.
char16_t *decodeInto(QByteArrayView bytes, char16_t *out, bool stopAtFirstFault, bool *clean) {
    const Gb18030Tables &tables = gb18030Tables();
    const auto *in = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype size = bytes.size();
    for (qsizetype index = 0; index < size;) {
        if (in[index] < 0x80) {
            *out++ = in[index++];
            continue;
        }
        const ReadCode read = readNonAscii(in + index, size - index, tables);
        if (!read.clean) {
            *clean = false;
            if (stopAtFirstFault)
                break;
        }
        out = appendCodePoint(out, read.codePoint);
        index += read.length;
    }
    return out;
}

QString decode(QByteArrayView bytes, bool stopAtFirstFault, bool *clean) {
    return decodeInHalves(
        bytes,
        [stopAtFirstFault](QByteArrayView piece, char16_t *out, bool *pieceClean) {
            return decodeInto(piece, out, stopAtFirstFault, pieceClean);
        },
        clean);
}

} // namespace

void encodeGbkInto(QStringView text, QByteArray &bytes) {
    const Gb18030Tables &tables = gb18030Tables();
    const char16_t *in = text.utf16();
    const qsizetype size = text.size();
    // No code is longer than four bytes, and a surrogate pair takes four between its two units.
    // The room is not touched until written, and a buffer emptied for the next piece is reused.
    const qsizetype start = bytes.size();
    bytes.resize(start + size * 4);
    char *out = bytes.data() + start;
    for (qsizetype index = 0; index < size; ++index) {
        const char16_t unit = in[index];
        if (unit < 0x80) {
            *out++ = char(unit);
            continue;
        }
        PackedCode code;
        if (QChar::isHighSurrogate(unit) && index + 1 < size &&
            QChar::isLowSurrogate(in[index + 1])) {
            code = tables.codeOf(QChar::surrogateToUcs4(unit, in[index + 1]));
            ++index;
        } else {
            code = tables.bmpCode(unit);
        }
        if (code < 0x100) {
            *out++ = char(code);
        } else if (code < 0x10000) {
            *out++ = char(code >> 8);
            *out++ = char(code);
        } else {
            *out++ = char(code >> 24);
            *out++ = char(code >> 16);
            *out++ = char(code >> 8);
            *out++ = char(code);
        }
    }
    bytes.resize(out - bytes.data());
}

QByteArray encodeGbk(QStringView text) {
    QByteArray bytes;
    encodeGbkInto(text, bytes);
    return bytes;
}

QString decodeGb18030(QByteArrayView bytes, bool *clean) {
    return decode(bytes, false, clean);
}

std::optional<QString> decodeGb18030Cleanly(QByteArrayView bytes) {
    bool clean = false;
    QString text = decode(bytes, true, &clean);
    if (!clean)
        return std::nullopt;
    return text;
}

} // namespace zariza
