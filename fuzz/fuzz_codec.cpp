// libFuzzer entry for the document codec. Every decoder must survive any bytes, and whatever a
// decoder reads cleanly must be written back byte for byte: that is what lets a document opened
// and saved unchanged stay the same file.
#include "charset_prescan.h"
#include "document_format.h"
#include "gb18030.h"

#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace zariza;

namespace {

[[noreturn]] void fail(const char *broken) {
    std::fprintf(stderr, "codec property broken: %s\n", broken);
    std::abort();
}

void require(bool holds, const char *broken) {
    if (!holds)
        fail(broken);
}

// A clean decode holds no unpaired surrogate, so Qt writes it back unchanged.
QByteArray utf16Bytes(QStringView text, DocumentEncoding byteOrder) {
    return QStringEncoder(byteOrder == DocumentEncoding::Utf16LE ? QStringConverter::Utf16LE
                                                                 : QStringConverter::Utf16BE)
        .encode(text);
}

// The bytes a clean decode in `encoding` came from.
QByteArray reencoded(QStringView text, DocumentEncoding encoding) {
    switch (encoding) {
    case DocumentEncoding::Gbk:
        return encodeGbk(text);
    case DocumentEncoding::Utf8:
        return encodeUtf8(text);
    case DocumentEncoding::Utf16LE:
    case DocumentEncoding::Utf16BE:
        return utf16Bytes(text, encoding);
    }
    fail("unknown encoding");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    bool clean = false;

    const QString gb18030 = decodeGb18030(bytes, &clean);
    require(!clean || encodeGbk(gb18030) == bytes,
            "GB18030 read the bytes cleanly but encodeGbk wrote others");

    const QString utf8 = decodeUtf8(bytes, &clean);
    require(clean == bytes.isValidUtf8(), "decodeUtf8 and Qt disagree on whether this is UTF-8");
    require(!clean || encodeUtf8(utf8) == bytes,
            "UTF-8 read the bytes cleanly but encodeUtf8 wrote others");
    require(decodeUtf8Cleanly(bytes).has_value() == clean,
            "decodeUtf8Cleanly and decodeUtf8 disagree on whether this is UTF-8");

    for (const DocumentEncoding byteOrder :
         {DocumentEncoding::Utf16LE, DocumentEncoding::Utf16BE}) {
        const QString utf16 = decodeUtf16(bytes, byteOrder, &clean);
        require(!clean || utf16Bytes(utf16, byteOrder) == bytes,
                "UTF-16 read the bytes cleanly but they do not come back");
    }

    const DecodedDocument document = decodeDocument(bytes);
    require(!document.clean || reencoded(document.text, document.encoding) == bytes,
            "the document decoded cleanly but its encoding does not give the bytes back");

    const QByteArray label = prescanCharsetLabel(bytes);
    require(label == label.trimmed().toLower(), "the charset label is not trimmed and lowercased");
    require(prescanCharsetLabel(QString::fromLatin1(bytes)) == label,
            "the byte and text prescans found different labels");
    return 0;
}
