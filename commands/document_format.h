#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <functional>

namespace zariza {

struct OpenedDocument {
    QString text;      // line ends CR LF; the file's last line end is not part of the text
    bool clean = true; // false when some bytes could not be read and became U+FFFD
};

// The document a file's bytes hold: decoded in the encoding they call for, every line end (CR LF,
// LF or a lone CR) written as CR LF, and the file's last line end left out, so that opening is
// the inverse of writeDocument. An empty file or one of only "\r\n" gives "".
OpenedDocument readDocument(QByteArrayView bytes);

// The file's bytes for `text`: the text in its encoding, then CR LF, handed to `write` a piece at
// a time (never a whole encoded copy of a large document).
void writeDocument(QStringView text, const std::function<void(QByteArrayView)> &write);

} // namespace zariza
