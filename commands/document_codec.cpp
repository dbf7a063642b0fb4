#include "document_codec.h"

#include <QList>
#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace zariza {
namespace {

#include "gb18030_index.inc"

constexpr char16_t kReplacementCharacter = 0xFFFD;
constexpr char16_t kByteOrderMark = 0xFEFF;
constexpr char16_t kEuroSign = 0x20AC;
constexpr int kTrailsPerLead = 190;
constexpr int kTwoByteCount = 126 * kTrailsPerLead;
constexpr int kFourByteBmpCount = 39420;
constexpr int kFirstSupplementaryPointer = 189000;
constexpr int kLastSupplementaryPointer = kFirstSupplementaryPointer + 0x10FFFF - 0x10000;

static_assert(std::size(kGb18030TwoByte) == kTwoByteCount);

// Decoders either replace what they cannot read, or give up at the first such byte when the
// caller only wants the text if it is clean.
enum class OnError { Replace, Stop };

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

// Built once, on first use: the decoder needs the four-byte codes by pointer and which two-byte
// codes do not write back unchanged; the encoder needs every BMP character's code.
class Gb18030Tables {
public:
    Gb18030Tables() {
        constexpr PackedCode unassigned = 0xFFFFFFFF;
        m_bmpCode.fill(unassigned);
        for (char16_t ascii = 0; ascii < 0x80; ++ascii)
            m_bmpCode[ascii] = ascii;
        m_bmpCode[kEuroSign] = 0x80;
        for (int pointer = 0; pointer < kTwoByteCount; ++pointer) {
            const char32_t codePoint = kGb18030TwoByte[pointer];
            if (codePoint > 0xFFFF)
                m_supplementaryTwoByte.emplace_back(codePoint, twoByteCode(pointer));
            else if (codePoint != 0 && m_bmpCode[codePoint] == unassigned)
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
        for (const Gb18030EncodeOnly &extra : kGb18030EncodeOnly) {
            if (m_bmpCode[extra.codePoint] == unassigned)
                m_bmpCode[extra.codePoint] = extra.twoByteCode;
        }
        // Surrogates only get here unpaired, and anything the tables missed must still be
        // written as something that reads back as a character.
        const PackedCode replacementCode = m_bmpCode[kReplacementCharacter];
        for (PackedCode &code : m_bmpCode) {
            if (code == unassigned)
                code = replacementCode;
        }
        for (int pointer = 0; pointer < kTwoByteCount; ++pointer) {
            const char32_t codePoint = kGb18030TwoByte[pointer];
            if (codePoint != 0 && codeOf(codePoint) != twoByteCode(pointer))
                m_nonCanonicalTwoByte.set(pointer);
        }
    }

    PackedCode codeOf(char32_t codePoint) const {
        if (codePoint <= 0xFFFF)
            return m_bmpCode[codePoint];
        for (const auto &[supplementary, code] : m_supplementaryTwoByte) {
            if (supplementary == codePoint)
                return code;
        }
        return fourByteCode(int(codePoint - 0x10000) + kFirstSupplementaryPointer);
    }

    PackedCode bmpCode(char16_t unit) const { return m_bmpCode[unit]; }
    bool isCanonicalTwoByte(int pointer) const { return !m_nonCanonicalTwoByte.test(pointer); }

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
    std::vector<std::pair<char32_t, PackedCode>> m_supplementaryTwoByte;
    std::bitset<kTwoByteCount> m_nonCanonicalTwoByte;
};

const Gb18030Tables &gb18030Tables() {
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

std::optional<QString> decodeGb18030(QByteArrayView bytes, OnError onError, bool *clean) {
    const Gb18030Tables &tables = gb18030Tables();
    const auto *in = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype size = bytes.size();
    DecodeBuffer buffer(size);
    char16_t *&out = buffer.out();
    bool isClean = true;
    qsizetype index = 0;
    // Called with how many bytes the failed sequence consumes; the rest are read again.
    auto fail = [&](qsizetype consumed) {
        isClean = false;
        *out++ = kReplacementCharacter;
        index += consumed;
        return onError == OnError::Replace;
    };
    while (index < size) {
        const uchar lead = in[index];
        if (lead < 0x80) {
            *out++ = lead;
            ++index;
            continue;
        }
        if (lead == 0x80) {
            *out++ = kEuroSign;
            ++index;
            continue;
        }
        if (lead == 0xFF || index + 1 == size) {
            if (!fail(1))
                break;
            continue;
        }
        const uchar second = in[index + 1];
        if (isDigit(second)) {
            if (index + 2 == size) {
                if (!fail(2))
                    break;
                continue;
            }
            const uchar third = in[index + 2];
            if (third < 0x81 || third == 0xFF) {
                if (!fail(1))
                    break;
                continue;
            }
            if (index + 3 == size) {
                if (!fail(3))
                    break;
                continue;
            }
            const uchar fourth = in[index + 3];
            if (!isDigit(fourth)) {
                if (!fail(1))
                    break;
                continue;
            }
            const int pointer =
                (((lead - 0x81) * 10 + second - 0x30) * 126 + third - 0x81) * 10 + fourth - 0x30;
            const char32_t codePoint = tables.fourByteCodePoint(pointer);
            if (codePoint == 0) {
                if (!fail(4))
                    break;
                continue;
            }
            const PackedCode code =
                PackedCode(lead) << 24 | PackedCode(second) << 16 | PackedCode(third) << 8 | fourth;
            if (tables.codeOf(codePoint) != code) {
                isClean = false;
                if (onError == OnError::Stop)
                    break;
            }
            out = appendCodePoint(out, codePoint);
            index += 4;
            continue;
        }
        if ((second >= 0x40 && second <= 0x7E) || (second >= 0x80 && second <= 0xFE)) {
            const int pointer =
                (lead - 0x81) * kTrailsPerLead + second - (second < 0x7F ? 0x40 : 0x41);
            const char32_t codePoint = kGb18030TwoByte[pointer];
            if (codePoint != 0) {
                if (!tables.isCanonicalTwoByte(pointer)) {
                    isClean = false;
                    if (onError == OnError::Stop)
                        break;
                }
                out = appendCodePoint(out, codePoint);
                index += 2;
                continue;
            }
        }
        // An ASCII byte after the lead is read again on its own.
        if (!fail(second < 0x80 ? 1 : 2))
            break;
    }
    *clean = isClean;
    if (!isClean && onError == OnError::Stop)
        return std::nullopt;
    return buffer.take();
}

std::optional<QString> decodeUtf8(QByteArrayView bytes, OnError onError, bool *clean) {
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
        if (onError == OnError::Stop)
            break;
        *out++ = kReplacementCharacter;
    }
    *clean = isClean;
    if (!isClean && onError == OnError::Stop)
        return std::nullopt;
    return buffer.take();
}

bool hasNonAsciiByte(QByteArrayView bytes) {
    for (const char byte : bytes) {
        if (uchar(byte) >= 0x80)
            return true;
    }
    return false;
}

enum class CharsetFamily { Unknown, Utf8, Gbk, Utf16 };

bool isAsciiWhitespace(char32_t c) {
    return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

CharsetFamily charsetFamily(QByteArrayView label) {
    static constexpr std::pair<const char *, CharsetFamily> knownLabels[] = {
        {"unicode-1-1-utf-8", CharsetFamily::Utf8},
        {"unicode11utf8", CharsetFamily::Utf8},
        {"unicode20utf8", CharsetFamily::Utf8},
        {"utf-8", CharsetFamily::Utf8},
        {"utf8", CharsetFamily::Utf8},
        {"x-unicode20utf8", CharsetFamily::Utf8},
        {"chinese", CharsetFamily::Gbk},
        {"csgb2312", CharsetFamily::Gbk},
        {"csiso58gb231280", CharsetFamily::Gbk},
        {"gb2312", CharsetFamily::Gbk},
        {"gb_2312", CharsetFamily::Gbk},
        {"gb_2312-80", CharsetFamily::Gbk},
        {"gbk", CharsetFamily::Gbk},
        {"iso-ir-58", CharsetFamily::Gbk},
        {"x-gbk", CharsetFamily::Gbk},
        {"gb18030", CharsetFamily::Gbk},
        {"utf-16", CharsetFamily::Utf16},
        {"utf-16le", CharsetFamily::Utf16},
        {"utf-16be", CharsetFamily::Utf16},
        {"unicode", CharsetFamily::Utf16},
        {"ucs-2", CharsetFamily::Utf16},
        {"csunicode", CharsetFamily::Utf16},
        {"iso-10646-ucs-2", CharsetFamily::Utf16},
        {"unicodefffe", CharsetFamily::Utf16},
    };
    while (!label.isEmpty() && isAsciiWhitespace(uchar(label.front())))
        label = label.sliced(1);
    while (!label.isEmpty() && isAsciiWhitespace(uchar(label.back())))
        label.chop(1);
    for (const auto &[known, family] : knownLabels) {
        if (label.compare(QByteArrayView(known), Qt::CaseInsensitive) == 0)
            return family;
    }
    return CharsetFamily::Unknown;
}

// The label trimmed when it names an encoding this program knows, else empty.
QByteArray knownLabel(const QByteArray &label) {
    return charsetFamily(label) == CharsetFamily::Unknown ? QByteArray() : label.trimmed();
}

// The label after "charset=" in a content attribute such as "text/html; charset=gbk".
QByteArray charsetFromContent(const QByteArray &content) {
    qsizetype position = 0;
    while (true) {
        const qsizetype found = content.indexOf("charset", position);
        if (found < 0)
            return {};
        position = found + 7;
        while (position < content.size() && isAsciiWhitespace(uchar(content[position])))
            ++position;
        if (position == content.size() || content[position] != '=')
            continue;
        ++position;
        while (position < content.size() && isAsciiWhitespace(uchar(content[position])))
            ++position;
        if (position == content.size())
            return {};
        const char quote = content[position];
        if (quote == '"' || quote == '\'') {
            const qsizetype end = content.indexOf(quote, position + 1);
            return end < 0 ? QByteArray() : content.sliced(position + 1, end - position - 1);
        }
        qsizetype end = position;
        while (end < content.size() && !isAsciiWhitespace(uchar(content[end])) &&
               content[end] != ';')
            ++end;
        return content.sliced(position, end - position);
    }
}

// Looks for the charset a page declares the way a browser does before it parses the page.
// Works on bytes or on UTF-16 units alike; non-ASCII units never take part in a match.
template <typename Unit> class CharsetPrescan {
public:
    CharsetPrescan(const Unit *units, qsizetype size)
        : m_units(units), m_size(qMin<qsizetype>(size, 1024)) {}

    QByteArray run() {
        while (m_position < m_size) {
            if (startsWith("<!--")) {
                if (!skipPast("-->", m_position + 2))
                    return {};
            } else if (startsWith("<meta") && m_position + 5 < m_size &&
                       (isAsciiWhitespace(at(m_position + 5)) || at(m_position + 5) == '/')) {
                m_position += 5;
                const QByteArray label = readMeta();
                if (m_aborted)
                    return {};
                if (!label.isEmpty())
                    return label;
                ++m_position;
            } else if (at(m_position) == '<' &&
                       (isAsciiLetter(m_position + 1) ||
                        (m_position + 1 < m_size && at(m_position + 1) == '/' &&
                         isAsciiLetter(m_position + 2)))) {
                // Another tag: its attribute values may contain anything, "<meta" included.
                while (m_position < m_size && !isAsciiWhitespace(at(m_position)) &&
                       at(m_position) != '>')
                    ++m_position;
                while (nextAttribute()) {
                }
                if (m_aborted)
                    return {};
                ++m_position;
            } else if (startsWith("<!") || startsWith("</") || startsWith("<?")) {
                if (!skipPast(">", m_position + 1))
                    return {};
            } else {
                ++m_position;
            }
        }
        return {};
    }

private:
    struct Attribute {
        QByteArray name;
        QByteArray value;
    };

    char32_t at(qsizetype position) const { return m_units[position]; }

    static char asciiLower(char32_t c) {
        if (c >= 'A' && c <= 'Z')
            return char(c - 'A' + 'a');
        // Any non-ASCII unit stands in as one byte that no keyword or label contains.
        return c < 0x80 ? char(c) : char(0x80);
    }

    bool isAsciiLetter(qsizetype position) const {
        if (position >= m_size)
            return false;
        const char32_t c = at(position);
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    }

    bool startsWith(const char *ascii) const {
        const qsizetype length = qsizetype(std::strlen(ascii));
        if (m_position + length > m_size)
            return false;
        for (qsizetype offset = 0; offset < length; ++offset) {
            if (asciiLower(at(m_position + offset)) != ascii[offset])
                return false;
        }
        return true;
    }

    // Moves past the first occurrence of the ASCII marker at or after from.
    bool skipPast(const char *marker, qsizetype from) {
        const qsizetype length = qsizetype(std::strlen(marker));
        for (qsizetype start = from; start + length <= m_size; ++start) {
            qsizetype matched = 0;
            while (matched < length && at(start + matched) == char32_t(marker[matched]))
                ++matched;
            if (matched == length) {
                m_position = start + length;
                return true;
            }
        }
        return false;
    }

    // Running off the end of the scanned prefix gives up on the whole scan.
    bool atEnd() {
        if (m_position < m_size)
            return false;
        m_aborted = true;
        return true;
    }

    bool skipWhitespace() {
        while (!atEnd() && isAsciiWhitespace(at(m_position)))
            ++m_position;
        return !m_aborted;
    }

    std::optional<Attribute> nextAttribute() {
        while (!atEnd() && (isAsciiWhitespace(at(m_position)) || at(m_position) == '/'))
            ++m_position;
        if (m_aborted || at(m_position) == '>')
            return std::nullopt;
        Attribute attribute;
        while (true) {
            if (atEnd())
                return std::nullopt;
            const char32_t c = at(m_position);
            if (c == '=' && !attribute.name.isEmpty())
                break;
            if (isAsciiWhitespace(c)) {
                if (!skipWhitespace())
                    return std::nullopt;
                if (at(m_position) != '=')
                    return attribute;
                break;
            }
            if (c == '/' || c == '>')
                return attribute;
            attribute.name.append(asciiLower(c));
            ++m_position;
        }
        ++m_position; // past '='
        if (!skipWhitespace())
            return std::nullopt;
        const char32_t first = at(m_position);
        if (first == '"' || first == '\'') {
            while (true) {
                ++m_position;
                if (atEnd())
                    return std::nullopt;
                if (at(m_position) == first) {
                    ++m_position;
                    return attribute;
                }
                attribute.value.append(asciiLower(at(m_position)));
            }
        }
        if (first == '>')
            return attribute;
        while (true) {
            if (atEnd())
                return std::nullopt;
            const char32_t c = at(m_position);
            if (isAsciiWhitespace(c) || c == '>')
                return attribute;
            attribute.value.append(asciiLower(c));
            ++m_position;
        }
    }

    // The charset this <meta> declares, or empty. A content attribute only counts next to
    // http-equiv="content-type"; a charset attribute always does.
    QByteArray readMeta() {
        enum class NeedPragma { Unset, Yes, No };
        QList<QByteArray> seenNames;
        bool gotPragma = false;
        NeedPragma needPragma = NeedPragma::Unset;
        // Unset, a known label, or empty for a label that names nothing we know.
        std::optional<QByteArray> charset;
        while (const std::optional<Attribute> attribute = nextAttribute()) {
            if (seenNames.contains(attribute->name))
                continue;
            seenNames.append(attribute->name);
            if (attribute->name == "http-equiv") {
                if (attribute->value == "content-type")
                    gotPragma = true;
            } else if (attribute->name == "content") {
                const QByteArray label = knownLabel(charsetFromContent(attribute->value));
                if (!label.isEmpty() && !charset) {
                    charset = label;
                    needPragma = NeedPragma::Yes;
                }
            } else if (attribute->name == "charset") {
                charset = knownLabel(attribute->value);
                needPragma = NeedPragma::No;
            }
        }
        if (m_aborted || needPragma == NeedPragma::Unset)
            return {};
        if (needPragma == NeedPragma::Yes && !gotPragma)
            return {};
        return charset.value_or(QByteArray());
    }

    const Unit *m_units;
    qsizetype m_size;
    qsizetype m_position = 0;
    bool m_aborted = false;
};

bool declaresUtf8(CharsetFamily family) {
    // A UTF-16 label in a page read from bytes cannot be right; browsers read it as UTF-8.
    return family == CharsetFamily::Utf8 || family == CharsetFamily::Utf16;
}

DecodedDocument decodedAs(DocumentEncoding encoding, QByteArrayView bytes) {
    DecodedDocument document{QString(), encoding};
    switch (encoding) {
    case DocumentEncoding::Gbk:
        document.text = *decodeGb18030(bytes, OnError::Replace, &document.clean);
        break;
    case DocumentEncoding::Utf8:
        document.text = *decodeUtf8(bytes, OnError::Replace, &document.clean);
        break;
    case DocumentEncoding::Utf16LE:
    case DocumentEncoding::Utf16BE:
        document.text = zariza::decodeUtf16(bytes, encoding, &document.clean);
        break;
    }
    return document;
}

// The text, only if the bytes decode cleanly in that encoding.
std::optional<DecodedDocument> cleanlyDecodedAs(DocumentEncoding encoding, QByteArrayView bytes) {
    bool clean = false;
    std::optional<QString> text = encoding == DocumentEncoding::Utf8
                                      ? decodeUtf8(bytes, OnError::Stop, &clean)
                                      : decodeGb18030(bytes, OnError::Stop, &clean);
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

QString decodeGb18030(QByteArrayView bytes, bool *clean) {
    return *decodeGb18030(bytes, OnError::Replace, clean);
}

QString decodeUtf8(QByteArrayView bytes, bool *clean) {
    return *decodeUtf8(bytes, OnError::Replace, clean);
}

QString decodeUtf16(QByteArrayView bytes, DocumentEncoding byteOrder, bool *clean) {
    const auto *in = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype unitCount = bytes.size() / 2;
    const bool hasOddByte = bytes.size() % 2 != 0;
    const bool littleEndian = byteOrder == DocumentEncoding::Utf16LE;
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

namespace {

// The encoders write into a buffer the caller may reuse from piece to piece.
void encodeGbkInto(QStringView text, QByteArray &bytes) {
    const Gb18030Tables &tables = gb18030Tables();
    const char16_t *in = text.utf16();
    const qsizetype size = text.size();
    // Two bytes per unit covers ASCII and the two-byte codes; grown once to the worst case when
    // four-byte codes need more.
    bytes.resize(size * 2);
    char *out = bytes.data();
    char *end = out + bytes.size();
    for (qsizetype index = 0; index < size; ++index) {
        const char16_t unit = in[index];
        if (unit < 0x80 && out != end) {
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
        if (end - out < 4) {
            const qsizetype written = out - bytes.data();
            bytes.resize(written + (size - index) * 4 + 4);
            out = bytes.data() + written;
            end = bytes.data() + bytes.size();
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

template <typename Encode> QByteArray encodedWhole(QStringView text, Encode encodeInto) {
    QByteArray bytes;
    encodeInto(text, bytes);
    return bytes;
}

} // namespace

QByteArray encodeGbk(QStringView text) {
    return encodedWhole(text, encodeGbkInto);
}

QByteArray encodeUtf8(QStringView text) {
    return encodedWhole(text, encodeUtf8Into);
}

QByteArray prescanCharsetLabel(QByteArrayView bytes) {
    return CharsetPrescan<uchar>(reinterpret_cast<const uchar *>(bytes.data()), bytes.size()).run();
}

QByteArray prescanCharsetLabel(QStringView text) {
    return CharsetPrescan<char16_t>(text.utf16(), text.size()).run();
}

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

} // namespace zariza
