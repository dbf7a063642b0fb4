#include "page_converters.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace zariza {

bool hasPageConverter(QByteArrayView name) {
    return !name.isEmpty() && QStringDecoder(name.toByteArray().constData()).isValid();
}

QString decodeWithPageConverter(QByteArrayView bytes, QByteArrayView name, bool *clean) {
    QStringDecoder decoder(name.toByteArray().constData(), QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    *clean = !decoder.hasError();
    return text;
}

std::optional<QByteArray> encodeWithPageConverter(QStringView text, QByteArrayView name) {
    QStringEncoder encoder(name.toByteArray().constData(), QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder.encode(text);
    if (encoder.hasError())
        return std::nullopt;
    return bytes;
}

} // namespace zariza
