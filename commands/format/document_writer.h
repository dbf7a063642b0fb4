#pragma once

#include "charset_prescan.h"
#include "document_format.h"

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <functional>
#include <optional>

namespace zariza {

// Encodes a document handed over in pieces of any length, without a copy of all of it: the bytes
// go to `write` in the pieces encodeDocument(text, write) would give for the whole text. The
// encoding is chosen from the start of the text (see encodingForText), which is held back until
// it tells (a page's head can declare its encoding anywhere) or the text ends.
class DocumentWriter {
public:
    explicit DocumentWriter(std::function<void(QByteArrayView)> write);
    void add(QStringView text);
    // Writes what is held back. No line end is added.
    void finish();
    // Writes what is held back and the file's last line end, as writeDocument does.
    void finishDocument();

private:
    void startEncodingOnceKnown(bool complete);
    void encode(QStringView text);
    void writePiece();

    std::function<void(QByteArrayView)> m_write;
    std::optional<PageEncoding> m_encoding;
    QString m_start;                         // until the encoding is known
    qsizetype m_nextLook = prescanLength;    // how long m_start must be to look at it again
    std::optional<char16_t> m_highSurrogate; // waiting for its other half
    QByteArray m_piece;                      // the bytes of the piece being encoded
    qsizetype m_pieceLength = 0;             // in characters
};

} // namespace zariza
