#include "document_file.h"

#include "document_format.h"

namespace zariza {

void DocumentFileCodec::encode(QStringView text,
                               const std::function<void(QByteArrayView)> &write) const {
    encodeDocument(text, write);
}

TextCodec::Decoded DocumentFileCodec::decode(QByteArrayView bytes) const {
    DecodedDocument document = decodeDocument(bytes);
    return {std::move(document.text), document.clean};
}

} // namespace zariza
