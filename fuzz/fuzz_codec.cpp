// libFuzzer entry for the document codec. Every decoder must survive any bytes, and whatever a
// decoder reads cleanly must be written back as bytes that read as the same text (byte for byte
// for UTF-8 and UTF-16): that is what lets a document opened and saved unchanged stay the same.
#include "charset_prescan.h"
#include "document_format.h"
#include "gb18030.h"
#include "page_encodings.h"

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

// The bytes a clean decode in `encoding` is written as.
QByteArray reencoded(QStringView text, const DecodedDocument &document) {
    const DocumentEncoding encoding = document.encoding;
    switch (encoding) {
    case DocumentEncoding::Gbk:
        return encodeGbk(text);
    case DocumentEncoding::Other: {
        QByteArray bytes;
        encodeWithConverterInto(text, document.converter, bytes);
        return bytes;
    }
    case DocumentEncoding::Utf8:
        return encodeUtf8(text);
    case DocumentEncoding::Utf16LE:
    case DocumentEncoding::Utf16BE:
        return utf16Bytes(text, encoding);
    }
    fail("unknown encoding");
}

// What the bytes written for a clean decode read as in the same encoding.
QString readAgain(QByteArrayView written, const DecodedDocument &document) {
    bool clean = false;
    switch (document.encoding) {
    case DocumentEncoding::Gbk:
        return decodeGb18030(written, &clean);
    case DocumentEncoding::Other:
        return decodeWithConverter(written, document.converter, &clean);
    case DocumentEncoding::Utf8:
        return decodeUtf8(written, &clean);
    case DocumentEncoding::Utf16LE:
    case DocumentEncoding::Utf16BE:
        return decodeUtf16(written, document.encoding, &clean);
    }
    fail("unknown encoding");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    bool clean = false;

    const QString gb18030 = decodeGb18030(bytes, &clean);
    bool cleanAgain = false;
    require(!clean || decodeGb18030(encodeGbk(gb18030), &cleanAgain) == gb18030,
            "GB18030 read the bytes cleanly but what encodeGbk wrote reads otherwise");

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
    if (document.clean) {
        const QByteArray written = reencoded(document.text, document);
        require(document.encoding != DocumentEncoding::Utf8 || written == bytes,
                "the UTF-8 document decoded cleanly but its bytes do not come back");
        // GB18030 and the other converters may write a character in its other code.
        require(readAgain(written, document) == document.text,
                "the document decoded cleanly but what was written reads otherwise");
    }

    const QByteArray label = prescanCharsetLabel(bytes);
    require(label == label.trimmed().toLower(), "the charset label is not trimmed and lowercased");
    require(prescanCharsetLabel(QString::fromLatin1(bytes)) == label,
            "the byte and text prescans found different labels");
    return 0;
}
