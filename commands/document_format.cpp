#include "document_format.h"

#include "document_codec.h"
#include "line_ends.h"

namespace zariza {

OpenedDocument readDocument(QByteArrayView bytes) {
    DecodedDocument decoded = decodeDocument(bytes);
    QString text = withCrLfLineEnds(std::move(decoded.text));
    // The last line's end adds nothing, as when the lines are read one by one.
    if (text.endsWith(u"\r\n"))
        text.chop(2);
    return {std::move(text), decoded.clean};
}

void writeDocument(QStringView text, const std::function<void(QByteArrayView)> &write) {
    encodeDocument(text, write);
    write("\r\n");
}

} // namespace zariza
