#include "charset_prescan.h"

#include <QList>
#include <cstring>
#include <optional>
#include <utility>

namespace zariza {
namespace {

bool isAsciiWhitespace(char32_t c) {
    return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

} // namespace

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

namespace {

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
        : m_units(units), m_size(qMin(size, prescanLength)) {}

    QByteArray run() {
        while (m_position < m_size) {
            if (startsWith("<!--")) {
                if (!skipPast("-->", m_position + 2))
                    return {};
            } else if (startsWith("<meta") && m_position + 5 < m_size &&
                       (isAsciiWhitespace(at(m_position + 5)) || at(m_position + 5) == '/')) {
                m_position += 5;
                QByteArray label = readMeta();
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
} // namespace

QByteArray prescanCharsetLabel(QByteArrayView bytes) {
    return CharsetPrescan<uchar>(reinterpret_cast<const uchar *>(bytes.data()), bytes.size()).run();
}

QByteArray prescanCharsetLabel(QStringView text) {
    return CharsetPrescan<char16_t>(text.utf16(), text.size()).run();
}

} // namespace zariza
