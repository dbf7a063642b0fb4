#include "document_writer.h"

#include "charset_prescan.h"
#include "gb18030.h"

#include <utility>

namespace zariza {

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
    if (m_encodeInto) {
        encode(text);
        return;
    }
    m_start += text;
    if (m_start.size() >= prescanLength)
        startEncoding();
}

void DocumentWriter::finish() {
    if (m_highSurrogate) {
        const QChar alone(*std::exchange(m_highSurrogate, std::nullopt));
        if (m_encodeInto)
            encode(QStringView(&alone, 1));
        else
            m_start += alone;
    }
    if (!m_encodeInto)
        startEncoding();
    if (m_pieceLength > 0)
        writePiece();
}

void DocumentWriter::finishDocument() {
    finish();
    m_write("\r\n");
}

void DocumentWriter::startEncoding() {
    m_encodeInto =
        encodingForText(m_start) == DocumentEncoding::Utf8 ? encodeUtf8Into : encodeGbkInto;
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
        m_encodeInto(text.first(length), m_piece);
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
