#include "charset_prescan.h"

#include <QList>
#include <cstring>
#include <optional>

namespace zariza {
namespace {

bool isAsciiWhitespace(char32_t c) {
    return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

QByteArrayView trimmed(QByteArrayView label) {
    while (!label.isEmpty() && isAsciiWhitespace(uchar(label.front())))
        label = label.sliced(1);
    while (!label.isEmpty() && isAsciiWhitespace(uchar(label.back())))
        label.chop(1);
    return label;
}

// Elements whose text is not markup, so a "<meta" in it is only text.
bool hasTextContent(const QByteArray &tag) {
    for (const char *name :
         {"script", "style", "title", "textarea", "xmp", "iframe", "noembed", "noframes"}) {
        if (tag == name)
            return true;
    }
    return false;
}

// Tags that may stand in a head: any other tag ends it, as does any end tag but these.
bool keepsTheHead(const QByteArray &tag, bool endTag) {
    for (const char *name :
         {"script", "noscript", "style", "link", "meta", "object", "title", "base"}) {
        if (tag == name)
            return true;
    }
    return !endTag && (tag == "html" || tag == "head");
}

// Looks for the charset a page declares the way a browser's parser does, tag by tag. Works on
// bytes or on UTF-16 units alike; non-ASCII units never take part in a match.
template <typename Unit> class CharsetScanner {
public:
    CharsetScanner(const Unit *units, qsizetype size, const HonouredAfterHead &honoured)
        : m_units(units), m_size(size), m_honoured(honoured) {}

    // With ranOut() true afterwards, the text ended while a declaration could still come.
    QByteArray run() {
        while (m_position < m_size) {
            if (!m_inHead && m_position >= prescanLength)
                return {};
            if (at(m_position) != '<') {
                ++m_position;
                continue;
            }
            if (startsWith("<!--")) {
                if (!skipComment())
                    return {};
            } else if (isAsciiLetter(m_position + 1)) {
                const qsizetype tagStart = m_position++;
                const QByteArray label = readStartTag();
                if (m_ranOut || m_sawPlainText)
                    return {};
                if (!label.isEmpty())
                    return m_inHead || m_honoured(tagStart, label) ? label : QByteArray();
            } else if (startsWith("</") && isAsciiLetter(m_position + 2)) {
                m_position += 2;
                const QByteArray tag = readTagName();
                skipAttributes();
                if (m_ranOut)
                    return {};
                m_inHead = m_inHead && keepsTheHead(tag, true);
            } else if (startsWith("<!") || startsWith("</") || startsWith("<?")) {
                if (!skipPast(">", m_position + 1))
                    return {};
            } else {
                ++m_position;
            }
        }
        m_ranOut = true;
        return {};
    }

    bool ranOut() const { return m_ranOut; }

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

    // Moves past the first occurrence of the ASCII marker at or after from (compared in lower
    // case); running off the end ends the scan.
    bool skipPast(const char *marker, qsizetype from) {
        const qsizetype length = qsizetype(std::strlen(marker));
        for (m_position = from; m_position + length <= m_size; ++m_position) {
            if (startsWith(marker)) {
                m_position += length;
                return true;
            }
        }
        m_position = m_size;
        m_ranOut = true;
        return false;
    }

    // A comment ends at "-->" or "--!>"; "<!-->" and "<!--->" are empty ones.
    bool skipComment() {
        for (qsizetype from = m_position + 2; from < m_size; ++from) {
            m_position = from;
            if (startsWith("-->") || startsWith("--!>")) {
                m_position += at(from + 2) == '!' ? 4 : 3;
                return true;
            }
        }
        m_position = m_size;
        m_ranOut = true;
        return false;
    }

    // The text of a script, style, title and the like ends at its own end tag.
    void skipTextContent(const QByteArray &tag) {
        const QByteArray endTag = "</" + tag;
        while (skipPast(endTag.constData(), m_position)) {
            if (m_position == m_size || isAsciiWhitespace(at(m_position)) ||
                at(m_position) == '/' || at(m_position) == '>') {
                m_position -= endTag.size();
                return;
            }
        }
    }

    QByteArray readTagName() {
        QByteArray name;
        while (m_position < m_size && !isAsciiWhitespace(at(m_position)) && at(m_position) != '/' &&
               at(m_position) != '>')
            name.append(asciiLower(at(m_position++)));
        return name;
    }

    // Past a tag's attributes and the '>' that closes it.
    void skipAttributes() {
        while (nextAttribute()) {
        }
        if (!m_ranOut)
            ++m_position;
    }

    // The label a <meta> declares, or empty; past the start tag and any text it holds.
    QByteArray readStartTag() {
        const QByteArray tag = readTagName();
        QByteArray label;
        if (tag == "meta")
            label = readMeta();
        else
            skipAttributes();
        if (m_ranOut || !label.isEmpty())
            return label;
        m_inHead = m_inHead && keepsTheHead(tag, false);
        if (tag == "plaintext") {
            m_sawPlainText = true; // all the rest is text
        } else if (hasTextContent(tag)) {
            skipTextContent(tag);
        }
        return {};
    }

    bool atEnd() {
        if (m_position < m_size)
            return false;
        m_ranOut = true;
        return true;
    }

    bool skipWhitespace() {
        while (!atEnd() && isAsciiWhitespace(at(m_position)))
            ++m_position;
        return !m_ranOut;
    }

    std::optional<Attribute> nextAttribute() {
        while (!atEnd() && (isAsciiWhitespace(at(m_position)) || at(m_position) == '/'))
            ++m_position;
        if (m_ranOut || at(m_position) == '>')
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

    // The known label this <meta> declares, or empty. A charset attribute decides, else the
    // first content attribute that gives a label, which only counts next to
    // http-equiv="content-type".
    QByteArray readMeta() {
        QList<QByteArray> seenNames;
        bool gotPragma = false;
        bool needPragma = false;
        QByteArray charset;
        while (const std::optional<Attribute> attribute = nextAttribute()) {
            if (seenNames.contains(attribute->name))
                continue;
            seenNames.append(attribute->name);
            if (attribute->name == "http-equiv") {
                gotPragma = gotPragma || attribute->value == "content-type";
            } else if (attribute->name == "charset") {
                charset = attribute->value;
                needPragma = false;
            } else if (attribute->name == "content" && charset.isEmpty()) {
                charset = charsetFromContent(attribute->value);
                needPragma = !charset.isEmpty();
            }
        }
        if (m_ranOut)
            return {};
        ++m_position; // past '>'
        if (needPragma && !gotPragma)
            return {};
        return encodingNameForLabel(charset).isEmpty() ? QByteArray()
                                                       : trimmed(charset).toByteArray();
    }

    const Unit *m_units;
    qsizetype m_size;
    const HonouredAfterHead &m_honoured;
    qsizetype m_position = 0;
    bool m_inHead = true;
    bool m_ranOut = false;
    bool m_sawPlainText = false;
};

// The page up to its first '>', where an XML declaration would be; non-ASCII units become 80.
template <typename Unit> QByteArray firstTag(const Unit *units, qsizetype size) {
    QByteArray tag;
    for (qsizetype index = 0; index < size && units[index] != '>'; ++index)
        tag.append(units[index] < 0x80 ? char(units[index]) : char(0x80));
    return tag;
}

} // namespace

QByteArray prescanCharsetLabel(QByteArrayView bytes) {
    const HonouredAfterHead honoured = [](qsizetype position, QByteArrayView) {
        return position < prescanLength;
    };
    const auto *units = reinterpret_cast<const uchar *>(bytes.data());
    const QByteArray label = CharsetScanner<uchar>(units, bytes.size(), honoured).run();
    return label.isEmpty() ? xmlDeclarationLabel(firstTag(units, bytes.size())) : label;
}

CharsetScan scanCharsetLabel(QStringView text, bool complete, const HonouredAfterHead &honoured) {
    CharsetScanner<char16_t> scanner(text.utf16(), text.size(), honoured);
    CharsetScan scan{scanner.run(), true};
    scan.decided = complete || !scanner.ranOut();
    if (scan.decided && scan.label.isEmpty())
        scan.label = xmlDeclarationLabel(firstTag(text.utf16(), text.size()));
    return scan;
}

QByteArray prescanCharsetLabel(QStringView text) {
    return scanCharsetLabel(
               text, true,
               [](qsizetype position, QByteArrayView) { return position < prescanLength; })
        .label;
}

} // namespace zariza
