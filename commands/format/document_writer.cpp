#include "document_writer.h"

#include "charset_prescan.h"
#include "gb18030.h"
#include "page_encodings.h"

#include <utility>

namespace zariza {
namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;

// The encoding a page written with this declaration is written in.
PageEncoding writtenEncodingFor(QByteArrayView label) {
    switch (charsetFamily(label)) {
    case CharsetFamily::Utf8:
    case CharsetFamily::Utf16: // browsers read a UTF-16 label in a file as UTF-8
        return {DocumentEncoding::Utf8, {}};
    case CharsetFamily::Other:
        if (std::optional<QByteArray> converter = converterForEncoding(encodingNameForLabel(label)))
            return {DocumentEncoding::Other, std::move(*converter)};
        break;
    case CharsetFamily::Gbk:
    case CharsetFamily::Unknown:
        break;
    }
    return {};
}

} // namespace

std::optional<PageEncoding> pageEncodingForText(QStringView text, bool complete) {
    if (text.startsWith(QChar(kByteOrderMark)))
        return PageEncoding{DocumentEncoding::Utf8, {}};
    // After the head a <meta> counts only within the first bytes of the page as written.
    const HonouredAfterHead honoured = [text](qsizetype position, QByteArrayView label) {
        QByteArray start;
        encodeInto(text.first(position), writtenEncodingFor(label), start);
        return start.size() < prescanLength;
    };
    const CharsetScan scan = scanCharsetLabel(text, complete, honoured);
    if (!scan.decided)
        return std::nullopt;
    return writtenEncodingFor(scan.label);
}

DocumentEncoding encodingForText(QStringView text) {
    return pageEncodingForText(text, true)->encoding;
}

void encodeInto(QStringView text, const PageEncoding &encoding, QByteArray &bytes) {
    switch (encoding.encoding) {
    case DocumentEncoding::Utf8:
        encodeUtf8Into(text, bytes);
        break;
    case DocumentEncoding::Other:
        encodeWithConverterInto(text, encoding.converter, bytes);
        break;
    default:
        encodeGbkInto(text, bytes);
        break;
    }
}

QByteArray encodeDocument(QStringView text) {
    QByteArray bytes;
    encodeInto(text, *pageEncodingForText(text, true), bytes);
    return bytes;
}

void encodeDocument(QStringView text, const std::function<void(QByteArrayView)> &write) {
    DocumentWriter writer(write);
    writer.add(text);
    writer.finish();
}

DocumentWriter::DocumentWriter(std::function<void(QByteArrayView)> write)
    : m_write(std::move(write)) {}

void DocumentWriter::add(QStringView text) {
    QString joined;
    if (m_highSurrogate) {
        joined = QChar(*std::exchange(m_highSurrogate, std::nullopt));
        joined += text;
        text = joined;
    }
    // A pair is encoded whole, so a high surrogate at the end waits for the next piece.
    if (!text.isEmpty() && text.back().isHighSurrogate()) {
        m_highSurrogate = text.back().unicode();
        text.chop(1);
    }
    if (m_encoding) {
        encode(text);
        return;
    }
    m_start += text;
    if (m_start.size() >= m_nextLook)
        startEncodingOnceKnown(false);
}

void DocumentWriter::finish() {
    if (m_highSurrogate) {
        const QChar alone(*std::exchange(m_highSurrogate, std::nullopt));
        if (m_encoding)
            encode(QStringView(&alone, 1));
        else
            m_start += alone;
    }
    if (!m_encoding)
        startEncodingOnceKnown(true);
    if (m_pieceLength > 0)
        writePiece();
}

void DocumentWriter::finishDocument() {
    finish();
    m_write("\r\n");
}

// Looked at again only once the text has doubled, so that a long head is scanned a few times
// rather than once for every piece.
void DocumentWriter::startEncodingOnceKnown(bool complete) {
    m_encoding = pageEncodingForText(m_start, complete);
    if (!m_encoding) {
        m_nextLook = m_start.size() * 2;
        return;
    }
    const QString start = std::exchange(m_start, QString());
    encode(start);
}

// Cut into pieces of encodingPieceLength characters, wherever the pieces handed over end.
void DocumentWriter::encode(QStringView text) {
    while (!text.isEmpty()) {
        if (m_pieceLength == encodingPieceLength)
            writePiece();
        qsizetype length = std::min(text.size(), encodingPieceLength - m_pieceLength);
        // A surrogate pair goes whole into the next piece rather than be cut.
        if (length < text.size() && text[length - 1].isHighSurrogate())
            --length;
        encodeInto(text.first(length), *m_encoding, m_piece);
        m_pieceLength += length;
        text = text.sliced(length);
        if (!text.isEmpty())
            writePiece();
    }
}

void DocumentWriter::writePiece() {
    m_write(m_piece);
    m_piece.truncate(0);
    m_pieceLength = 0;
}

} // namespace zariza
