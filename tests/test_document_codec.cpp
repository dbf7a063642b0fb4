#include "charset_prescan.h"
#include "document_format.h"
#include "document_writer.h"
#include "gb18030.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;
using zariza::DocumentEncoding;

namespace zariza {
char *toString(DocumentEncoding encoding) {
    switch (encoding) {
    case DocumentEncoding::Gbk:
        return qstrdup("Gbk");
    case DocumentEncoding::Utf8:
        return qstrdup("Utf8");
    case DocumentEncoding::Utf16LE:
        return qstrdup("Utf16LE");
    case DocumentEncoding::Utf16BE:
        return qstrdup("Utf16BE");
    case DocumentEncoding::Other:
        return qstrdup("Other");
    }
    return qstrdup("?");
}
} // namespace zariza

namespace {

QByteArray hex(const char *digits) {
    return QByteArray::fromHex(digits);
}

const QByteArray kUtf8Bom = hex("efbbbf");
// 编辑器 and 中文 in GBK.
const QByteArray kEditorGbk = hex("b1e0bcadc6f7");
const QByteArray kChineseGbk = hex("d6d0cec4");
const QByteArray kReplacementGbk = hex("8431a437");

QByteArray utf16(const QString &text, QStringConverter::Encoding byteOrder) {
    return QStringEncoder(byteOrder).encode(text);
}

} // namespace

class TestDocumentCodec : public QObject {
    Q_OBJECT

private slots:
    void openAndSave_data();
    void openAndSave();

    void readAndWriteDocument_data();
    void readAndWriteDocument();

    void encodingForText_data();
    void encodingForText();

    void encodeGbk_data();
    void encodeGbk();

    void decodeGb18030_data();
    void decodeGb18030();

    void decodeUtf8_data();
    void decodeUtf8();

    void encodeUtf8_data();
    void encodeUtf8();

    void decodeUtf16_data();
    void decodeUtf16();

    void prescan_data();
    void prescan();

    void piecesJoinToTheWholeAndStandAlone_data();
    void piecesJoinToTheWholeAndStandAlone();

    void everyTwoByteCodeWritesBackUnchanged();
    void everyFourByteBmpCodeWritesBackUnchanged();
    void everyCharacterReadsBackAfterWriting();
    void cleanDecodesOfRandomBytesWriteBackUnchanged();
};

void TestDocumentCodec::openAndSave_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<DocumentEncoding>("openedAs");
    QTest::addColumn<bool>("clean");
    QTest::addColumn<QByteArray>("saved");

    const QByteArray gbkPage = "<title>Zariza"_ba + kEditorGbk + "</title>\r\n"_ba;
    QTest::newRow("GBK page without meta")
        << gbkPage << u"<title>Zariza编辑器</title>\r\n"_s << DocumentEncoding::Gbk << true
        << hex("3c7469746c653e5a6172697a61b1e0bcadc6f73c2f7469746c653e0d0a");

    const QByteArray gb2312Page = "<meta charset=\"gb2312\"><p>"_ba + kEditorGbk + "</p>"_ba;
    QTest::newRow("GBK page with gb2312 meta")
        << gb2312Page << u"<meta charset=\"gb2312\"><p>编辑器</p>"_s << DocumentEncoding::Gbk
        << true << gb2312Page;

    const QString utf8Cjk = u"<meta charset=\"utf-8\"><p>中文编辑器</p>"_s;
    QTest::newRow("UTF-8 page with CJK")
        << utf8Cjk.toUtf8() << utf8Cjk << DocumentEncoding::Utf8 << true << utf8Cjk.toUtf8();

    const QString utf8Emoji = u"<meta charset=\"utf-8\"><p>😀 ©</p>"_s;
    QTest::newRow("UTF-8 page with emoji")
        << utf8Emoji.toUtf8() << utf8Emoji << DocumentEncoding::Utf8 << true << utf8Emoji.toUtf8();

    const QByteArray utf8BomPage = kUtf8Bom + utf8Cjk.toUtf8();
    QTest::newRow("UTF-8 page with BOM")
        << utf8BomPage << u"\uFEFF"_s + utf8Cjk << DocumentEncoding::Utf8 << true << utf8BomPage;

    const QByteArray undeclaredBomPage = kUtf8Bom + "<p>"_ba + kChineseGbk;
    QTest::newRow("BOM decides even over GBK bytes")
        << undeclaredBomPage << u"\uFEFF<p>\uFFFD\uFFFD\uFFFD\uFFFD"_s << DocumentEncoding::Utf8
        << false << kUtf8Bom + "<p>"_ba + hex("efbfbd").repeated(4);

    const QString utf16Text = u"<p>编辑器😀</p>"_s;
    const QByteArray utf8WithBom = kUtf8Bom + utf16Text.toUtf8();
    QTest::newRow("UTF-16 LE with BOM")
        << hex("fffe3c0070003e00167f918f68563dd800de3c002f0070003e00") << u"\uFEFF"_s + utf16Text
        << DocumentEncoding::Utf16LE << true << utf8WithBom;
    QTest::newRow("UTF-16 BE with BOM")
        << hex("feff003c0070003e7f168f915668d83dde00003c002f0070003e") << u"\uFEFF"_s + utf16Text
        << DocumentEncoding::Utf16BE << true << utf8WithBom;

    // Without a mark, written as the text's declaration says. 一 is U+4E00: a NUL of its own.
    const QString bareUtf16 = u"<title>编辑器</title>\r\n<p>中文一</p>\r\n"_s;
    QTest::newRow("UTF-16 LE without BOM")
        << utf16(bareUtf16, QStringConverter::Utf16LE) << bareUtf16 << DocumentEncoding::Utf16LE
        << true
        << "<title>"_ba + kEditorGbk + "</title>\r\n<p>"_ba + kChineseGbk + "\xd2\xbb</p>\r\n"_ba;
    const QString bareUtf16Utf8 = u"<meta charset=\"utf-8\">\r\n<p>中文一</p>\r\n"_s;
    QTest::newRow("UTF-16 BE without BOM, meta says utf-8")
        << utf16(bareUtf16Utf8, QStringConverter::Utf16BE) << bareUtf16Utf8
        << DocumentEncoding::Utf16BE << true << bareUtf16Utf8.toUtf8();
    const QString bareUtf16Gbk = u"<meta charset=gbk>\r\n<p>中文</p>\r\n"_s;
    QTest::newRow("UTF-16 LE without BOM, meta says gbk")
        << utf16(bareUtf16Gbk, QStringConverter::Utf16LE) << bareUtf16Gbk
        << DocumentEncoding::Utf16LE << true
        << "<meta charset=gbk>\r\n<p>"_ba + kChineseGbk + "</p>\r\n"_ba;
    const QByteArray markupNuls("<p>\0a\0</p>\r\n\0\0\r\n", 16);
    QTest::newRow("NUL bytes in GBK markup") << markupNuls << QString::fromLatin1(markupNuls)
                                             << DocumentEncoding::Gbk << true << markupNuls;
    // Broken UTF-16 is still UTF-16, with a flaw to ask about, never GBK with NULs.
    const QByteArray oddUtf16 = utf16(u"<p>abc</p>"_s, QStringConverter::Utf16LE) + "\n"_ba;
    QTest::newRow("UTF-16 with an odd byte count")
        << oddUtf16 << u"<p>abc</p>\uFFFD"_s << DocumentEncoding::Utf16LE << false
        << "<p>abc</p>"_ba + kReplacementGbk;
    // DC DC is a lone low surrogate in UTF-16 but 苘 in GBK.
    const QByteArray brokenUtf16 = utf16(u"<p>a"_s, QStringConverter::Utf16LE) + "\xdc\xdc"_ba +
                                   utf16(u"</p>"_s, QStringConverter::Utf16LE);
    QTest::newRow("UTF-16 with a lone surrogate")
        << brokenUtf16 << u"<p>a\uFFFD</p>"_s << DocumentEncoding::Utf16LE << false
        << "<p>a"_ba + kReplacementGbk + "</p>"_ba;

    // Written as GBK without loss: © and 😀 get four-byte codes.
    const QString undeclared = u"<p>编辑器 © 😀</p>"_s;
    QTest::newRow("undeclared UTF-8")
        << undeclared.toUtf8() << undeclared << DocumentEncoding::Utf8 << true
        << "<p>"_ba + kEditorGbk + " "_ba + hex("81308438") + " "_ba + hex("9439fc36") + "</p>"_ba;
    // 中 takes bytes 65534 to 65536, across the end of the first 64 KiB.
    const QString across = u"<p>"_s + QString(65531, u'a') + u"中</p>"_s;
    QTest::newRow("undeclared UTF-8, a character across 64 KiB")
        << across.toUtf8() << across << DocumentEncoding::Utf8 << true
        << "<p>"_ba + QByteArray(65531, 'a') + hex("d6d0") + "</p>"_ba;

    const QString httpEquivUtf8 =
        u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">中文"_s;
    QTest::newRow("http-equiv declares UTF-8")
        << httpEquivUtf8.toUtf8() << httpEquivUtf8 << DocumentEncoding::Utf8 << true
        << httpEquivUtf8.toUtf8();
    // The UTF-8 bytes of 中文 are also clean GBK, so only the declaration can pick GBK.
    const QByteArray httpEquivGbk =
        "<meta http-equiv=\"content-type\" content=\"text/html;charset=gbk\">"_ba +
        u"中文"_s.toUtf8();
    QTest::newRow("http-equiv declares GBK")
        << httpEquivGbk
        << u"<meta http-equiv=\"content-type\" content=\"text/html;charset=gbk\">涓\uE15F枃"_s
        << DocumentEncoding::Gbk << true << httpEquivGbk;
    const QByteArray contentWithoutPragma =
        "<meta content=\"text/html; charset=gbk\">"_ba + u"中文"_s.toUtf8();
    QTest::newRow("content without http-equiv declares nothing")
        << contentWithoutPragma << u"<meta content=\"text/html; charset=gbk\">中文"_s
        << DocumentEncoding::Utf8 << true
        << "<meta content=\"text/html; charset=gbk\">"_ba + kChineseGbk;

    const QString commented = u"<!-- <meta charset=\"utf-8\"> --><p>中文</p>"_s;
    QTest::newRow("declaration inside a comment")
        << commented.toUtf8() << commented << DocumentEncoding::Utf8 << true
        << "<!-- <meta charset=\"utf-8\"> --><p>"_ba + kChineseGbk + "</p>"_ba;

    const QString late =
        u"<head><!--"_s + QString(1100, u' ') + u"--><meta charset=\"utf-8\">中文"_s;
    QTest::newRow("declaration in the head after 1024 bytes")
        << late.toUtf8() << late << DocumentEncoding::Utf8 << true << late.toUtf8();
    const QString afterBody = u"<body>"_s + QString(1100, u' ') + u"<meta charset=\"utf-8\">中文"_s;
    QTest::newRow("declaration after the head and 1024 bytes")
        << afterBody.toUtf8() << afterBody << DocumentEncoding::Utf8 << true
        << "<body>"_ba + QByteArray(1100, ' ') + "<meta charset=\"utf-8\">"_ba + kChineseGbk;
    const QByteArray scripted = "<script>var s=\"<meta charset=utf-8>\"</script>"_ba + kChineseGbk;
    QTest::newRow("declaration in a script string")
        << scripted << u"<script>var s=\"<meta charset=utf-8>\"</script>中文"_s
        << DocumentEncoding::Gbk << true << scripted;
    const QString unicodeFeff = u"<meta charset=\"unicodefeff\">中文"_s;
    QTest::newRow("unicodefeff label means UTF-8")
        << unicodeFeff.toUtf8() << unicodeFeff << DocumentEncoding::Utf8 << true
        << unicodeFeff.toUtf8();
    // 中文網頁 in Big5, 日本語 in Shift_JIS, 한국어 in EUC-KR: kept in their own encoding.
    for (const auto &[charset, text, bytes] :
         {std::tuple{"big5", u"中文網頁"_s, hex("a4a4a4e5baf4adb6")},
          std::tuple{"shift_jis", u"日本語"_s, hex("93fa967b8cea")},
          std::tuple{"euc-kr", u"한국어"_s, hex("c7d1b1b9beee")},
          std::tuple{"windows-1252", u"café"_s, hex("636166e9")}}) {
        const QByteArray page = "<meta charset="_ba + charset + ">"_ba + bytes;
        QTest::addRow("%s page", charset)
            << page << u"<meta charset="_s + QLatin1String(charset) + u">"_s + text
            << DocumentEncoding::Other << true << page;
    }

    const QString upperUtf8 = u"<META CHARSET=\"UTF-8\">中文"_s;
    QTest::newRow("label UTF-8 in capitals")
        << upperUtf8.toUtf8() << upperUtf8 << DocumentEncoding::Utf8 << true << upperUtf8.toUtf8();
    const QByteArray upperGb2312 = "<Meta Charset=\"GB2312\">"_ba + u"中文"_s.toUtf8();
    QTest::newRow("label GB2312 in capitals")
        << upperGb2312 << u"<Meta Charset=\"GB2312\">涓\uE15F枃"_s << DocumentEncoding::Gbk << true
        << upperGb2312;

    QTest::newRow("联通 in GBK is not UTF-8")
        << hex("c1aacda8") << u"联通"_s << DocumentEncoding::Gbk << true << hex("c1aacda8");

    QTest::newRow("lone trailing lead byte")
        << "abc\x81"_ba << u"abc\uFFFD"_s << DocumentEncoding::Gbk << false
        << "abc"_ba + kReplacementGbk;

    // What every GB18030 encoder writes, and what the old code page's 80 is written as.
    QTest::newRow("80 is the euro sign")
        << "price \x80"_ba << u"price €"_s << DocumentEncoding::Gbk << true << "price \xa2\xe3"_ba;
    QTest::newRow("A2 E3 is the euro sign") << "price \xa2\xe3"_ba << u"price €"_s
                                            << DocumentEncoding::Gbk << true << "price \xa2\xe3"_ba;

    const QByteArray gbkUnderUtf8Meta = "<meta charset=\"utf-8\"><p>"_ba + kEditorGbk + "</p>"_ba;
    QTest::newRow("GBK bytes under a utf-8 meta")
        << gbkUnderUtf8Meta << u"<meta charset=\"utf-8\"><p>编辑器</p>"_s << DocumentEncoding::Gbk
        << true << u"<meta charset=\"utf-8\"><p>编辑器</p>"_s.toUtf8();

    const QString utf8UnderGbMeta = u"<meta charset=\"gb2312\"><p>编辑器</p>"_s;
    QTest::newRow("UTF-8 bytes under a gb2312 meta")
        << utf8UnderGbMeta.toUtf8() << utf8UnderGbMeta << DocumentEncoding::Utf8 << true
        << "<meta charset=\"gb2312\"><p>"_ba + kEditorGbk + "</p>"_ba;

    const QByteArray placeholderPage =
        "<meta charset=\"{$charset}\"><link rel=\"stylesheet\" charset=\"utf-8\" href=\"a.css\">"_ba +
        kEditorGbk;
    QTest::newRow("placeholder meta and link charset over GBK")
        << placeholderPage
        << u"<meta charset=\"{$charset}\"><link rel=\"stylesheet\" charset=\"utf-8\" href=\"a.css\">编辑器"_s
        << DocumentEncoding::Gbk << true << placeholderPage;

    const QString unknownLabel = u"<meta charset=\"gbk2312\">中文"_s;
    QTest::newRow("unknown label gbk2312")
        << unknownLabel.toUtf8() << unknownLabel << DocumentEncoding::Utf8 << true
        << "<meta charset=\"gbk2312\">"_ba + kChineseGbk;

    const QString utf16Label = u"<meta charset=\"utf-16\">中文"_s;
    QTest::newRow("utf-16 label means UTF-8")
        << utf16Label.toUtf8() << utf16Label << DocumentEncoding::Utf8 << true
        << utf16Label.toUtf8();

    const QByteArray emojiGbk = "<meta charset=gbk>"_ba + hex("9439fc36");
    QTest::newRow("four-byte code under a gbk meta")
        << emojiGbk << u"<meta charset=gbk>😀"_s << DocumentEncoding::Gbk << true << emojiGbk;

    QTest::newRow("binary bytes") << hex("00ff8081") << u"\0\uFFFD€\uFFFD"_s
                                  << DocumentEncoding::Gbk << false
                                  << hex("00") + kReplacementGbk + hex("a2e3") + kReplacementGbk;

    QTest::newRow("broken UTF-8 under a utf-8 meta")
        << "<meta charset=utf-8>\xe4"_ba << u"<meta charset=utf-8>\uFFFD"_s
        << DocumentEncoding::Utf8 << false << "<meta charset=utf-8>\xef\xbf\xbd"_ba;

    QTest::newRow("empty file") << QByteArray() << QString() << DocumentEncoding::Gbk << true
                                << QByteArray();
}

void TestDocumentCodec::openAndSave() {
    QFETCH(QByteArray, file);
    QFETCH(QString, text);
    QFETCH(DocumentEncoding, openedAs);
    QFETCH(bool, clean);
    QFETCH(QByteArray, saved);

    const zariza::DecodedDocument opened = zariza::decodeDocument(file);
    QCOMPARE(opened.text, text);
    QCOMPARE(opened.encoding, openedAs);
    QCOMPARE(opened.clean, clean);
    const QByteArray written = zariza::encodeDocument(opened.text);
    QCOMPARE(written.toHex(' '), saved.toHex(' '));
    // What was saved opens as the same text.
    const zariza::DecodedDocument reopened = zariza::decodeDocument(written);
    QCOMPARE(reopened.text, text);
    QVERIFY(reopened.clean);
}

void TestDocumentCodec::readAndWriteDocument_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("clean");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("empty file") << QByteArray() << QString() << true << "\r\n"_ba;
    QTest::newRow("only a line end") << "\r\n"_ba << QString() << true << "\r\n"_ba;
    QTest::newRow("LF line ends") << "<p>\n</p>\n"_ba << u"<p>\r\n</p>"_s << true
                                  << "<p>\r\n</p>\r\n"_ba;
    QTest::newRow("lone CR, none at the end")
        << "a\rb"_ba << u"a\r\nb"_s << true << "a\r\nb\r\n"_ba;
    QTest::newRow("mixed, CR at the end")
        << "a\r\n\nb\r"_ba << u"a\r\n\r\nb"_s << true << "a\r\n\r\nb\r\n"_ba;
    QTest::newRow("a blank last line") << "a\r\n\r\n"_ba << u"a\r\n"_s << true << "a\r\n\r\n"_ba;
    // Every other way lines can end: the text is the lines joined with CR LF.
    for (const auto &[file, text] : {std::pair{"a"_ba, u"a"_s},
                                     {"a\r\nb\r\n"_ba, u"a\r\nb"_s},
                                     {"a\n\rb"_ba, u"a\r\n\r\nb"_s},
                                     {"\r\n\r\nx"_ba, u"\r\n\r\nx"_s},
                                     {"a\r\r\nb"_ba, u"a\r\n\r\nb"_s},
                                     {"\na\r\n"_ba, u"\r\na"_s},
                                     {"a\r\nb\r"_ba, u"a\r\nb"_s}})
        QTest::addRow("line ends %s", qPrintable(file.toPercentEncoding()))
            << file << text << true << text.toLatin1() + "\r\n"_ba;
    QTest::newRow("GBK") << kEditorGbk + "\n"_ba << u"编辑器"_s << true << kEditorGbk + "\r\n"_ba;
    QTest::newRow("UTF-16 with BOM")
        << hex("fffe3c000a003e000a00") << u"\uFEFF<\r\n>"_s << true << kUtf8Bom + "<\r\n>\r\n"_ba;
    QTest::newRow("broken bytes") << "a\x81\n"_ba << u"a\uFFFD"_s << false
                                  << "a"_ba + kReplacementGbk + "\r\n"_ba;
}

// Opening a file is the inverse of writing it.
void TestDocumentCodec::readAndWriteDocument() {
    QFETCH(QByteArray, file);
    QFETCH(QString, text);
    QFETCH(bool, clean);
    QFETCH(QByteArray, written);

    const zariza::OpenedDocument opened = zariza::readDocument(file);
    QCOMPARE(opened.text, text);
    QCOMPARE(opened.clean, clean);
    QByteArray bytes;
    zariza::writeDocument(opened.text, [&bytes](QByteArrayView piece) { bytes += piece; });
    QCOMPARE(bytes.toHex(' '), written.toHex(' '));
    QCOMPARE(zariza::readDocument(bytes).text, text);
}

void TestDocumentCodec::encodingForText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<DocumentEncoding>("encoding");

    QTest::newRow("no declaration") << u"<p>中文</p>"_s << DocumentEncoding::Gbk;
    QTest::newRow("BOM") << u"\uFEFF<p>中文</p>"_s << DocumentEncoding::Utf8;
    QTest::newRow("BOM beats a gbk meta")
        << u"\uFEFF<meta charset=gbk>"_s << DocumentEncoding::Utf8;
    QTest::newRow("utf-8 meta") << u"<meta charset='utf-8'>"_s << DocumentEncoding::Utf8;
    QTest::newRow("utf8 alias") << u"<meta charset=unicode-1-1-utf-8>"_s << DocumentEncoding::Utf8;
    QTest::newRow("utf-16le meta") << u"<meta charset=utf-16le>"_s << DocumentEncoding::Utf8;
    QTest::newRow("gb18030 meta") << u"<meta charset=gb18030>"_s << DocumentEncoding::Gbk;
    QTest::newRow("unknown label") << u"<meta charset=gbk2312>"_s << DocumentEncoding::Gbk;
    QTest::newRow("windows-1252 meta") << u"<meta charset=latin1>"_s << DocumentEncoding::Other;
    QTest::newRow("meta the platform cannot write")
        << u"<meta charset=hz-gb-2312>"_s << DocumentEncoding::Gbk;
    // 600 LF line ends are 1200 characters once they are CR LF, but still in the head.
    QTest::newRow("meta after 600 line ends")
        << u"\r\n"_s.repeated(600) + u"<meta charset=utf-8>"_s << DocumentEncoding::Utf8;
    // After the head, within 1024 characters but not within 1024 bytes of UTF-8.
    QTest::newRow("meta after the head and 1024 bytes as written")
        << u"<p>"_s + QString(400, u'中') + u"<meta charset=utf-8>"_s << DocumentEncoding::Gbk;
    QTest::newRow("BOM later in the text")
        << u"<p>\uFEFF</p><meta charset=gbk>"_s << DocumentEncoding::Gbk;
}

void TestDocumentCodec::encodingForText() {
    QFETCH(QString, text);
    QFETCH(DocumentEncoding, encoding);

    QCOMPARE(zariza::encodingForText(text), encoding);
}

void TestDocumentCodec::encodeGbk_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("readBack");

    auto addRow = [](const char *name, const QString &text, const QByteArray &bytes) {
        QTest::newRow(name) << text << bytes << text;
    };
    addRow("ASCII with control characters", u"a\tb\r\n\0"_s, "a\tb\r\n\0"_ba);
    addRow("title", u"<title>Zariza编辑器</title>\r\n"_s,
           hex("3c7469746c653e5a6172697a61b1e0bcadc6f73c2f7469746c653e0d0a"));
    addRow("euro sign", u"€"_s, hex("a2e3"));
    addRow("copyright sign", u"©"_s, hex("81308438"));
    addRow("emoji", u"😀"_s, hex("9439fc36"));
    addRow("first four-byte code", u"\u0080"_s, hex("81308130"));
    addRow("last BMP character", u"\uFFFF"_s, hex("8431a439"));
    addRow("first supplementary character", u"\U00010000"_s, hex("90308130"));
    addRow("last code point", u"\U0010FFFF"_s, hex("e3329a35"));
    addRow("m with acute", u"\u1E3F"_s, hex("a8bc"));
    addRow("private use swapped with m with acute", u"\uE7C7"_s, hex("8135f437"));
    addRow("private use with a two-byte code", u"\uE816"_s, hex("fe51"));
    addRow("ideograph outside the BMP", u"\U00020087"_s, hex("95329031"));
    addRow("vertical comma", u"\uFE10"_s, hex("a6d9"));
    addRow("replacement character", u"\uFFFD"_s, kReplacementGbk);

    // Private-use characters that no code reads as any more.
    QTest::newRow("private use that stood for the vertical comma")
        << u"\uE78D"_s << hex("a6d9") << u"\uFE10"_s;
    QTest::newRow("private use that stood for the ideographic space")
        << u"\uE5E5"_s << hex("a1a1") << u"\u3000"_s;
    QTest::newRow("unpaired high surrogate")
        << u"a"_s + QChar(0xD83D) << "a"_ba + kReplacementGbk << u"a\uFFFD"_s;
    QTest::newRow("unpaired low surrogate")
        << QString(QChar(0xDE00)) + u"b"_s << kReplacementGbk + "b"_ba << u"\uFFFDb"_s;
    QTest::newRow("surrogates in the wrong order")
        << QString(QChar(0xDE00)) + QChar(0xD83D) << kReplacementGbk + kReplacementGbk
        << u"\uFFFD\uFFFD"_s;
}

void TestDocumentCodec::encodeGbk() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, readBack);

    QCOMPARE(zariza::encodeGbk(text).toHex(' '), bytes.toHex(' '));
    bool clean = false;
    QCOMPARE(zariza::decodeGb18030(bytes, &clean), readBack);
    QVERIFY(clean);
}

void TestDocumentCodec::decodeGb18030_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("clean");

    QTest::newRow("two-byte codes") << hex("c1aacda88140") << u"联通丂"_s << true;
    QTest::newRow("80") << hex("80") << u"€"_s << true;
    QTest::newRow("two-byte euro") << hex("a2e3") << u"€"_s << true;
    QTest::newRow("four-byte BMP") << hex("8130813084318235") << u"\u0080\uFE0F"_s << true;
    QTest::newRow("four-byte code of the vertical comma, written in two bytes")
        << hex("84318236") << u"\uFE10"_s << true;
    QTest::newRow("A3A0 is the ideographic space, written A1A1")
        << hex("a3a0") << u"\u3000"_s << true;
    QTest::newRow("GB18030-2005 swap") << hex("a8bc8135f437") << u"\u1E3F\uE7C7"_s << true;
    QTest::newRow("past the last BMP code") << hex("8431a530") << u"\uFFFD"_s << false;
    QTest::newRow("between BMP and supplementary") << hex("8f39fe39") << u"\uFFFD"_s << false;
    QTest::newRow("supplementary") << hex("90308130e3329a35") << u"\U00010000\U0010FFFF"_s << true;
    QTest::newRow("past U+10FFFF") << hex("e3329a36") << u"\uFFFD"_s << false;
    QTest::newRow("two-byte code that browsers read as private use")
        << hex("fe51") << u"\uE816"_s << true;
    QTest::newRow("FF") << hex("41ff42") << u"A\uFFFDB"_s << false;
    QTest::newRow("lead byte at the end") << hex("4181") << u"A\uFFFD"_s << false;
    QTest::newRow("two of four bytes at the end") << hex("8130") << u"\uFFFD"_s << false;
    QTest::newRow("three of four bytes at the end") << hex("813081") << u"\uFFFD"_s << false;
    QTest::newRow("bad fourth byte is read again from the second")
        << hex("81308140") << u"\uFFFD0丂"_s << false;
    QTest::newRow("bad third byte is read again from the second")
        << hex("813020") << u"\uFFFD0 "_s << false;
    QTest::newRow("FF as third byte") << hex("8130ff30") << u"\uFFFD0\uFFFD0"_s << false;
    QTest::newRow("ASCII trail byte is read again") << hex("81203c") << u"\uFFFD <"_s << false;
    QTest::newRow("DEL trail byte is read again") << hex("817f") << u"\uFFFD\x7f"_s << false;
    QTest::newRow("non-ASCII bad trail byte is consumed") << hex("81ff41") << u"\uFFFDA"_s << false;
    QTest::newRow("empty") << QByteArray() << QString() << true;
    // Decoded in two halves at once, split after the line feed past the middle.
    const QByteArray before(700'000, 'a');
    const QByteArray after(500'000, 'a');
    QTest::newRow("a large page with a fault after its split")
        << before + hex("0aff8130813084318235") + after
        << QString::fromLatin1(before) + u"\n\uFFFD\u0080\uFE0F"_s + QString::fromLatin1(after)
        << false;
}

void TestDocumentCodec::decodeGb18030() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, clean);

    bool decodedCleanly = !clean;
    QCOMPARE(zariza::decodeGb18030(bytes, &decodedCleanly), text);
    QCOMPARE(decodedCleanly, clean);
}

void TestDocumentCodec::decodeUtf8_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("clean");
    // What QStringDecoder gives instead, where browsers and Qt 6.4 differ.
    QTest::addColumn<QString>("qtText");

    auto addRow = [](const char *name, const QByteArray &bytes, const QString &text, bool clean,
                     const QString &qtText = QString()) {
        QTest::newRow(name) << bytes << text << clean << (qtText.isNull() ? text : qtText);
    };
    addRow("BOM stays", hex("efbbbf41"), u"\uFEFFA"_s, true);
    addRow("only the first BOM is a mark", hex("efbbbfefbbbf41"), u"\uFEFF\uFEFFA"_s, true);
    addRow("U+FFFD of its own", hex("41efbfbd"), u"A\uFFFD"_s, true);
    addRow("long ASCII then CJK and emoji", "<p class=\"long\">"_ba + u"编辑器😀"_s.toUtf8(),
           u"<p class=\"long\">编辑器😀"_s, true);
    addRow("boundaries", hex("7fc280dfbfe0a080efbfbff0908080f48fbfbf"),
           u"\x7f\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF"_s, true);
    addRow("overlong two bytes", hex("c0af41"), u"\uFFFD\uFFFDA"_s, false);
    addRow("overlong three bytes", hex("e080af"), u"\uFFFD\uFFFD\uFFFD"_s, false);
    addRow("surrogate", hex("eda080"), u"\uFFFD\uFFFD\uFFFD"_s, false);
    addRow("past U+10FFFF", hex("f4908080"), u"\uFFFD\uFFFD\uFFFD\uFFFD"_s, false);
    addRow("cut-off sequence is one error", hex("e7bc41"), u"\uFFFDA"_s, false, u"\uFFFD\uFFFDA"_s);
    addRow("cut off at the end", hex("41f09f98"), u"A\uFFFD"_s, false, u"A\uFFFD\uFFFD\uFFFD"_s);
    addRow("lone continuation byte", hex("80bf"), u"\uFFFD\uFFFD"_s, false);
    addRow("invalid lead bytes", hex("f5f8ff"), u"\uFFFD\uFFFD\uFFFD"_s, false);
    addRow("GBK bytes", hex("d6d0cec4"), u"\uFFFD\uFFFD\uFFFD\uFFFD"_s, false);
    // Decoded in two halves at once: the second starts with U+FEFF, which is no mark there.
    const QByteArray before(700'000, 'a');
    const QByteArray after(500'000, 'a');
    addRow("U+FEFF just after a large page's split", before + "\n" + hex("efbbbfe7bc96") + after,
           QString::fromLatin1(before) + u"\n\uFEFF编"_s + QString::fromLatin1(after), true);
}

void TestDocumentCodec::decodeUtf8() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, clean);
    QFETCH(QString, qtText);

    bool decodedCleanly = !clean;
    QCOMPARE(zariza::decodeUtf8(bytes, &decodedCleanly), text);
    QCOMPARE(decodedCleanly, clean);
    QStringDecoder qt(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom |
                                                  QStringConverter::Flag::Stateless);
    QCOMPARE(QString(qt.decode(bytes)), qtText);
    QCOMPARE(qt.hasError(), !clean);
}

void TestDocumentCodec::encodeUtf8_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("BOM and ASCII") << u"\uFEFF<p>"_s << hex("efbbbf3c703e");
    QTest::newRow("boundaries") << u"\x7f\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF"_s
                                << hex("7fc280dfbfe0a080efbfbff0908080f48fbfbf");
    QTest::newRow("unpaired high surrogate")
        << u"a"_s + QChar(0xD83D) + u"b"_s << hex("61efbfbd62");
    QTest::newRow("unpaired low surrogate at the end") << u"a"_s + QChar(0xDE00) << hex("61efbfbd");
}

void TestDocumentCodec::encodeUtf8() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);

    QCOMPARE(zariza::encodeUtf8(text).toHex(' '), bytes.toHex(' '));
}

void TestDocumentCodec::decodeUtf16_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<DocumentEncoding>("byteOrder");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("clean");
    // What QStringDecoder gives, which finds no fault in any of these.
    QTest::addColumn<QString>("qtText");

    const auto LE = DocumentEncoding::Utf16LE;
    const auto BE = DocumentEncoding::Utf16BE;
    QTest::newRow("LE pair") << hex("3dd800de") << LE << u"😀"_s << true << u"😀"_s;
    QTest::newRow("BE pair") << hex("d83dde00") << BE << u"😀"_s << true << u"😀"_s;
    QTest::newRow("U+FFFD of its own")
        << hex("fdff4100") << LE << u"\uFFFDA"_s << true << u"\uFFFDA"_s;
    QTest::newRow("unpaired high surrogate")
        << hex("d83d0041") << BE << u"\uFFFDA"_s << false << QChar(0xD83D) + u"A"_s;
    QTest::newRow("unpaired low surrogate")
        << hex("00de4100") << LE << u"\uFFFDA"_s << false << QChar(0xDE00) + u"A"_s;
    QTest::newRow("high surrogate at the end")
        << hex("0041d83d") << BE << u"A\uFFFD"_s << false << u"A"_s + QChar(0xD83D);
    QTest::newRow("odd last byte") << hex("410042") << LE << u"A\uFFFD"_s << false << u"A\uFFFD"_s;
    QTest::newRow("high surrogate cut off by the odd byte")
        << hex("0041d83dde") << BE << u"A\uFFFD"_s << false << u"A"_s + QChar(0xD83D) + u"\uFFFD"_s;
}

void TestDocumentCodec::decodeUtf16() {
    QFETCH(QByteArray, bytes);
    QFETCH(DocumentEncoding, byteOrder);
    QFETCH(QString, text);
    QFETCH(bool, clean);
    QFETCH(QString, qtText);

    bool decodedCleanly = !clean;
    QCOMPARE(zariza::decodeUtf16(bytes, byteOrder, &decodedCleanly), text);
    QCOMPARE(decodedCleanly, clean);
    QStringDecoder qt(byteOrder == DocumentEncoding::Utf16LE ? QStringConverter::Utf16LE
                                                             : QStringConverter::Utf16BE,
                      QStringConverter::Flag::ConvertInitialBom |
                          QStringConverter::Flag::Stateless);
    QCOMPARE(QString(qt.decode(bytes)), qtText);
    QVERIFY(!qt.hasError());
}

void TestDocumentCodec::prescan_data() {
    QTest::addColumn<QString>("html");
    QTest::addColumn<QByteArray>("labelInBytes");
    QTest::addColumn<QByteArray>("labelInText");

    auto addRow = [](const char *name, const QString &html, const QByteArray &label) {
        QTest::newRow(name) << html << label << label;
    };
    addRow("charset", u"<!DOCTYPE html><html><head><meta charset=\"utf-8\">"_s, "utf-8");
    addRow("single quotes, capitals", u"<META CHARSET='GB2312'>"_s, "gb2312");
    addRow("unquoted", u"<meta charset=gbk>"_s, "gbk");
    addRow("slash glued to an unquoted label", u"<meta charset=gbk/>"_s, "");
    addRow("spaces around the label", u"<meta charset=\" utf-8 \">"_s, "utf-8");
    addRow("spaces around =", u"<meta charset = utf-8 >"_s, "utf-8");
    addRow("slash after meta", u"<meta/charset=utf-8>"_s, "utf-8");
    addRow("http-equiv first",
           u"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=GBK\">"_s, "gbk");
    addRow("content first", u"<meta content=\"text/html;charset=utf-8\" http-equiv=content-type>"_s,
           "utf-8");
    addRow("quoted charset in content",
           u"<meta http-equiv=content-type content=\"text/html; charset = 'utf-8'\">"_s, "utf-8");
    addRow("unterminated quote in content",
           u"<meta http-equiv=content-type content=\"text/html; charset='utf-8\">"_s, "");
    addRow("content without http-equiv", u"<meta content=\"text/html; charset=utf-8\">"_s, "");
    addRow("other http-equiv", u"<meta http-equiv=refresh content=\"0; charset=utf-8\">"_s, "");
    addRow("charset attribute beats content",
           u"<meta http-equiv=content-type content=\"charset=gbk\" charset=utf-8>"_s, "utf-8");
    addRow("unknown charset attribute is not overridden by content",
           u"<meta charset=bogus http-equiv=content-type content=\"charset=utf-8\">"_s, "");
    addRow("first of repeated attributes counts", u"<meta charset=utf-8 charset=gbk>"_s, "utf-8");
    addRow("comment", u"<!-- <meta charset=\"utf-8\"> --><meta charset=\"gbk\">"_s, "gbk");
    addRow("comment containing >",
           u"<!-- 1 > 0 <meta charset=\"utf-8\"> --><meta charset=\"gbk\">"_s, "gbk");
    addRow("empty comment", u"<!--><meta charset=\"utf-8\">"_s, "utf-8");
    addRow("unterminated comment", u"<!-- <meta charset=\"utf-8\">"_s, "");
    addRow("comment closed by --!>", u"<!-- --!><meta charset=\"utf-8\">"_s, "utf-8");
    addRow("script string", u"<script>s='<meta charset=utf-8>'</script><meta charset=gbk>"_s,
           "gbk");
    addRow("style, title and textarea text",
           u"<style>/*<meta charset=utf-8>*/</style><title><meta charset=utf-8></title>"
           "<textarea><meta charset=utf-8></textarea>"_s,
           "");
    addRow("end tag with attributes", u"<title>t</title a='<meta charset=utf-8>'>"_s, "");
    addRow("noscript is markup", u"<noscript><meta charset=utf-8></noscript>"_s, "utf-8");
    addRow("plaintext", u"<plaintext><meta charset=utf-8>"_s, "");
    addRow("in the body within 1024 bytes", u"<body><p>a</p><meta charset=utf-8>"_s, "utf-8");
    addRow("in the head after 1024 bytes",
           u"<head><link rel=icon>"_s + QString(1100, u' ') + u"<meta charset=utf-8>"_s, "utf-8");
    addRow("after </head> and 1024 bytes",
           u"</head>"_s + QString(1100, u' ') + u"<meta charset=utf-8>"_s, "");
    addRow("big5 label", u"<meta charset=\"Big5\">"_s, "big5");
    addRow("x-sjis label", u"<meta charset=x-sjis>"_s, "x-sjis");
    addRow("link charset", u"<link rel=stylesheet charset=\"utf-8\"><meta charset=\"gbk\">"_s,
           "gbk");
    addRow("script charset", u"<script charset=\"utf-8\" src=\"a.js\"></script>"_s, "");
    addRow("meta inside another tag's attribute", u"<div title=\"<meta charset=utf-8>\">"_s, "");
    addRow("not a meta", u"<metadata charset=\"utf-8\">"_s, "");
    addRow("processing instruction",
           u"<?xml version=\"1.0\" encoding=\"utf-8\"?><meta charset=gbk>"_s, "gbk");
    addRow("XML declaration", u"<?xml version=\"1.0\" encoding='GBK'?><p>"_s, "gbk");
    addRow("XML declaration not at the start", u" <?xml version=\"1.0\" encoding=\"gbk\"?>"_s, "");
    addRow("placeholder then a real label",
           u"<meta charset=\"{$charset}\"><meta charset=\"utf-8\">"_s, "utf-8");
    addRow("gbk2312", u"<meta charset=\"gbk2312\">"_s, "");
    addRow("empty label", u"<meta charset=\"\">"_s, "");
    addRow("utf-16 label", u"<meta charset=\"UTF-16\">"_s, "utf-16");
    addRow("no meta", u"<html><body>中文</body></html>"_s, "");
    addRow("cut off inside the meta", u"<meta charset=\"utf-8\""_s, "");
    addRow("after the head and the first 1024",
           u"<div>"_s + QString(1024, u' ') + u"<meta charset=utf-8>"_s, "");

    // 400 ideographs are 1200 bytes of UTF-8 but only 400 characters.
    QTest::newRow("after the head, within 1024 characters but not bytes")
        << u"<p>"_s + QString(400, u'中') + u"<meta charset=utf-8>"_s << QByteArray() << "utf-8"_ba;
}

void TestDocumentCodec::prescan() {
    QFETCH(QString, html);
    QFETCH(QByteArray, labelInBytes);
    QFETCH(QByteArray, labelInText);

    QCOMPARE(zariza::prescanCharsetLabel(QByteArrayView(html.toUtf8())), labelInBytes);
    QCOMPARE(zariza::prescanCharsetLabel(QStringView(html)), labelInText);
}

void TestDocumentCodec::piecesJoinToTheWholeAndStandAlone_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pieces");

    const QString emoji = QStringLiteral("\U0001F600");
    const QString gbkStart = QStringLiteral("<html>中文");
    const QString utf8Start = QStringLiteral("<meta charset=\"utf-8\">中文");
    const auto padded = [](const QString &start, qsizetype length) {
        return start + QString(length - start.size(), u'字');
    };
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("GBK, exactly one piece") << padded(gbkStart, zariza::encodingPieceLength) << 1;
    QTest::newRow("GBK, a surrogate pair across the first cut")
        << padded(gbkStart, zariza::encodingPieceLength - 1) + emoji + QStringLiteral("尾") << 2;
    QTest::newRow("UTF-8, a surrogate pair across the first cut")
        << padded(utf8Start, zariza::encodingPieceLength - 1) + emoji +
               padded(QStringLiteral("x"), 2 * zariza::encodingPieceLength)
        << 4;
}

// The declaration at the start decides every piece's encoding, and no piece ends inside a
// character, so each piece reads back on its own.
void TestDocumentCodec::piecesJoinToTheWholeAndStandAlone() {
    QFETCH(QString, text);
    QFETCH(int, pieces);

    const bool utf8 = zariza::encodingForText(text) == zariza::DocumentEncoding::Utf8;
    QByteArray joined;
    QString readBack;
    int count = 0;
    zariza::encodeDocument(text, [&](QByteArrayView piece) {
        ++count;
        joined += piece;
        bool clean = false;
        readBack += utf8 ? zariza::decodeUtf8(piece, &clean) : zariza::decodeGb18030(piece, &clean);
        QVERIFY2(clean, qPrintable(QStringLiteral("piece %1 does not stand alone").arg(count)));
    });
    QCOMPARE(count, pieces);
    QCOMPARE(joined, zariza::encodeDocument(text));
    QCOMPARE(readBack, text);

    // Handed over 512 characters at a time, which holds the declaration back over two pieces
    // and cuts the pair in two, the writer gives the same pieces.
    QList<QByteArray> handedOver;
    zariza::DocumentWriter writer([&](QByteArrayView piece) { handedOver += piece.toByteArray(); });
    for (qsizetype at = 0; at < text.size(); at += 512)
        writer.add(QStringView(text).sliced(at, std::min<qsizetype>(512, text.size() - at)));
    writer.finish();
    QCOMPARE(handedOver.size(), pieces);
    QCOMPARE(handedOver.join(), joined);
}

void TestDocumentCodec::everyTwoByteCodeWritesBackUnchanged() {
    QStringList writtenOtherwise;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            const char twoBytes[] = {char(lead), char(trail)};
            const QByteArray code(twoBytes, 2);
            bool clean = false;
            const QString text = zariza::decodeGb18030(code, &clean);
            QCOMPARE(text.toUcs4().size(), qsizetype(1));
            QVERIFY2(text != u"\uFFFD"_s && clean, code.toHex().constData());
            if (zariza::encodeGbk(text) != code)
                writtenOtherwise.append(QString::fromLatin1(code.toHex()));
        }
    }
    QCOMPARE(writtenOtherwise, (QStringList{u"a3a0"_s}));
}

void TestDocumentCodec::everyFourByteBmpCodeWritesBackUnchanged() {
    QSet<char32_t> seen;
    int duplicates = 0;
    for (int first = 0x81; first <= 0x84; ++first) {
        for (int second = 0x30; second <= 0x39; ++second) {
            for (int third = 0x81; third <= 0xFE; ++third) {
                for (int fourth = 0x30; fourth <= 0x39; ++fourth) {
                    const char fourBytes[] = {char(first), char(second), char(third), char(fourth)};
                    const QByteArray code(fourBytes, 4);
                    if (code > hex("8431a439"))
                        break;
                    bool clean = false;
                    const QString text = zariza::decodeGb18030(code, &clean);
                    QCOMPARE(text.size(), qsizetype(1));
                    QVERIFY(clean);
                    seen.insert(text.front().unicode());
                    // Characters that got a two-byte code keep their old four-byte one.
                    if (zariza::encodeGbk(text).size() == 2)
                        ++duplicates;
                    else
                        QCOMPARE(zariza::encodeGbk(text).toHex(), code.toHex());
                }
            }
        }
    }
    QCOMPARE(seen.size(), qsizetype(39420));
    QCOMPARE(duplicates, 18);
}

void TestDocumentCodec::everyCharacterReadsBackAfterWriting() {
    QList<char32_t> changed;
    for (char32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
        if (QChar::isSurrogate(codePoint))
            continue;
        // Every ideograph-rich BMP character, and a sample of the other planes.
        if (codePoint > 0xFFFF && codePoint % 251 != 0)
            continue;
        const QString text = QString::fromUcs4(&codePoint, 1);
        bool clean = false;
        const QString readBack = zariza::decodeGb18030(zariza::encodeGbk(text), &clean);
        QVERIFY(clean);
        if (readBack != text)
            changed.append(codePoint);
    }
    // Private-use characters that no code reads as any more, written as what they stood for.
    QList<char32_t> standIns{0xE5E5};
    for (char32_t codePoint = 0xE78D; codePoint <= 0xE796; ++codePoint)
        standIns.append(codePoint);
    standIns += {0xE81E, 0xE826, 0xE82B, 0xE82C, 0xE832, 0xE843, 0xE854, 0xE864};
    QCOMPARE(changed, standIns);
}

void TestDocumentCodec::cleanDecodesOfRandomBytesWriteBackUnchanged() {
    QRandomGenerator random(1936);
    int cleanCount = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes;
        const int pieces = random.bounded(1, 12);
        for (int piece = 0; piece < pieces; ++piece) {
            switch (random.bounded(4)) {
            case 0:
                bytes.append(char(random.bounded(256)));
                break;
            case 1:
                bytes.append(char(random.bounded(0x81, 0xFF)));
                bytes.append(char(random.bounded(0x40, 0xFF)));
                break;
            case 2:
                bytes.append(char(random.bounded(0x81, 0xFF)));
                bytes.append(char(random.bounded(0x30, 0x3A)));
                bytes.append(char(random.bounded(0x81, 0xFF)));
                bytes.append(char(random.bounded(0x30, 0x3A)));
                break;
            default:
                bytes.append(char(random.bounded(0x20, 0x7F)));
                break;
            }
        }
        bool clean = false;
        const QString text = zariza::decodeGb18030(bytes, &clean);
        QVERIFY(text.size() <= bytes.size());
        if (!clean)
            continue;
        ++cleanCount;
        // The same bytes but for the codes of a character that has another one.
        const QByteArray written = zariza::encodeGbk(text);
        if (!bytes.contains('\x80') && !bytes.contains("\xa3\xa0"))
            QCOMPARE(written.toHex(' '), bytes.toHex(' '));
        QCOMPARE(zariza::decodeGb18030(written, &clean), text);
    }
    // The generator must produce enough clean input for the check to mean something.
    QVERIFY(cleanCount > 2000);
}

QTEST_GUILESS_MAIN(TestDocumentCodec)
#include "test_document_codec.moc"
