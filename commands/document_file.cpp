#include "document_file.h"

#include "document_codec.h"

namespace zariza {

QByteArray DocumentFileCodec::encode(QStringView text) const {
    return encodeDocument(text);
}

TextCodec::Decoded DocumentFileCodec::decode(QByteArrayView bytes) const {
    DecodedDocument document = decodeDocument(bytes);
    return {std::move(document.text), document.clean};
}

} // namespace zariza
