#pragma once

#include "text_channels.h"

namespace zariza {

// The document file format: the text in the encoding it calls for (see document_format.h),
// followed by CR LF. Reading picks the encoding from the bytes.
class DocumentFileCodec : public TextCodec {
public:
    void encode(QStringView text, const std::function<void(QByteArrayView)> &write) const override;
    Decoded decode(QByteArrayView bytes) const override;
};

} // namespace zariza
