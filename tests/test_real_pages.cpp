#include "document_commands.h"
#include "fake_runtime.h"
#include "gb18030.h"
#include "test_files.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace zariza;
using namespace zariza::testing;
using namespace Qt::StringLiterals;

namespace {

QByteArray runTool(const QString &program, const QStringList &arguments, bool *ok,
                   int timeoutMs = 30000) {
    QProcess process;
    process.start(program, arguments);
    *ok = process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit &&
          process.exitCode() == 0;
    return process.readAllStandardOutput();
}

// The DOM of a local page as headless Chromium parses it; empty when that fails. Its frames may
// read the pages they show.
QByteArray chromiumDom(const QString &chromium, const QTemporaryDir &dir, const QString &page) {
    bool ok = false;
    const QByteArray dom =
        runTool(chromium,
                {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--allow-file-access-from-files", "--user-data-dir=" + dir.filePath("profile"),
                 "--dump-dom", QUrl::fromLocalFile(page).toString()},
                &ok, 90000);
    return ok ? dom : QByteArray();
}

// What we write for every character (ASCII, controls and U+FEFF aside), then every two-byte and
// every four-byte code of the BMP.
QList<QByteArray> everyGb18030Code() {
    QList<QByteArray> items;
    for (char32_t codePoint = 0xA0; codePoint <= 0x10FFFF; ++codePoint) {
        if (!QChar::isSurrogate(codePoint) && codePoint != 0xFEFF)
            items.append(zariza::encodeGbk(QString::fromUcs4(&codePoint, 1)));
    }
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            const char code[] = {char(lead), char(trail)};
            if (trail != 0x7F)
                items.append(QByteArray(code, 2));
        }
    }
    for (int pointer = 0; pointer < 39420; ++pointer) {
        const char code[] = {char(0x81 + pointer / 12600), char(0x30 + pointer / 1260 % 10),
                             char(0x81 + pointer / 10 % 126), char(0x30 + pointer % 10)};
        items.append(QByteArray(code, 4));
    }
    return items;
}

// What a file becomes after open and generate: every line end CR LF, one at the end.
QByteArray withCrLfLines(QByteArray bytes) {
    bytes.replace("\r\n", "\n").replace('\r', '\n');
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    bytes.append('\n');
    return bytes.replace("\n", "\r\n");
}

} // namespace

// Real Chinese text and a real browser: what users open and what their browser reads back.
class TestRealPages : public QObject {
    Q_OBJECT

private slots:
    void init();
    void chineseTextFromThisSystemRoundTrips_data();
    void chineseTextFromThisSystemRoundTrips();
    void browserReadsTheTextWeWrote_data();
    void browserReadsTheTextWeWrote();
    void browserReadsEveryGb18030CodeAsWeDo();
    void browserShowsPagesAsBeforeWithWhatWasTyped();

private:
    QByteArray openAndGenerate(const QString &file, const QString &typed = QString(),
                               const QString &generated = QStringLiteral("generated.htm"));

    std::unique_ptr<QTemporaryDir> m_dir;
    FakeRuntime m_runtime;
};

void TestRealPages::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QByteArray TestRealPages::openAndGenerate(const QString &file, const QString &typed,
                                          const QString &generated) {
    FakeTextBox text1;
    DocumentCommands commands(m_runtime, text1);
    m_runtime.answers = {Answer::Ok};
    m_runtime.dialog.names = {file, m_dir->filePath(generated)};
    commands.Command1_Click();
    text1.value += typed;
    commands.Command5_Click();
    return readBytes(m_dir->filePath(generated));
}

void TestRealPages::chineseTextFromThisSystemRoundTrips_data() {
    QTest::addColumn<QString>("catalog");

    // Translations that Debian packages install: real Simplified-Chinese text, never copied here.
    const QDir messages(QStringLiteral("/usr/share/locale/zh_CN/LC_MESSAGES"));
    const QStringList catalogs = messages.entryList({QStringLiteral("*.mo")}, QDir::Files);
    for (const QString &catalog : catalogs.mid(0, 24))
        QTest::newRow(qPrintable(catalog)) << messages.filePath(catalog);
    if (catalogs.isEmpty())
        QTest::newRow("none") << QString();
}

void TestRealPages::chineseTextFromThisSystemRoundTrips() {
    QFETCH(QString, catalog);
    if (catalog.isEmpty() || QStandardPaths::findExecutable("msgunfmt").isEmpty())
        QSKIP("no Chinese message catalogs or no msgunfmt on this system");

    bool ok = false;
    const QByteArray utf8 = runTool("msgunfmt", {catalog}, &ok);
    QVERIFY(ok);
    writeBytes(m_dir->filePath("text.utf8"), utf8);
    QByteArray gbk =
        runTool("iconv", {"-f", "UTF-8", "-t", "GBK", m_dir->filePath("text.utf8")}, &ok);
    if (!ok) // characters GBK lacks take their GB18030 four-byte codes
        gbk = runTool("iconv", {"-f", "UTF-8", "-t", "GB18030", m_dir->filePath("text.utf8")}, &ok);
    QVERIFY(ok);

    writeBytes(m_dir->filePath("gbk.htm"), gbk);
    QCOMPARE(openAndGenerate(m_dir->filePath("gbk.htm")), withCrLfLines(gbk));

    const QByteArray declared = "<meta charset=\"utf-8\">\n" + utf8;
    writeBytes(m_dir->filePath("utf8.htm"), declared);
    QCOMPARE(openAndGenerate(m_dir->filePath("utf8.htm")), withCrLfLines(declared));
    QVERIFY(m_runtime.boxes.size() >= 4);
    for (const FakeRuntime::MsgBox &box : m_runtime.boxes)
        QVERIFY2(box.kind != BoxKind::Failure, qPrintable(box.prompt));
}

void TestRealPages::browserReadsTheTextWeWrote_data() {
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QByteArray>("chineseBytes");

    QTest::newRow("GBK page") << QStringLiteral("gb2312") << QByteArray("\xd6\xd0\xce\xc4");
    QTest::newRow("UTF-8 page") << QStringLiteral("utf-8")
                                << QByteArray("\xe4\xb8\xad\xe6\x96\x87");
}

void TestRealPages::browserReadsTheTextWeWrote() {
    QFETCH(QString, charset);
    QFETCH(QByteArray, chineseBytes);

    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        QSKIP("chromium is not installed");

    const QString typed =
        QStringLiteral("<html><head><meta charset=\"%1\"><title>t</title></head>"
                       "<body><p id=\"typed\">中文测试：Zariza编辑器 €</p></body></html>")
            .arg(charset);
    FakeTextBox text1(typed);
    DocumentCommands commands(m_runtime, text1);
    m_runtime.dialog.names = {m_dir->filePath("page.htm")};
    commands.Command5_Click();
    QVERIFY(readBytes(m_dir->filePath("page.htm")).contains(chineseBytes));

    const QByteArray dom = chromiumDom(chromium, *m_dir, m_dir->filePath("page.htm"));
    QVERIFY(!dom.isEmpty());
    QVERIFY2(QString::fromUtf8(dom).contains(QStringLiteral("中文测试：Zariza编辑器 €")),
             dom.constData());
}

// What we write for each character, and how we read each code, must be what a browser reads:
// one page holding them all, space-separated, read once by Chromium.
void TestRealPages::browserReadsEveryGb18030CodeAsWeDo() {
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        QSKIP("chromium is not installed");

    const QList<QByteArray> items = everyGb18030Code();
    // Script text is neither laid out nor escaped when the DOM is written out.
    const QByteArray open = "<script type=\"text/plain\">";
    writeBytes(m_dir->filePath("all.htm"),
               "<meta charset=gbk>" + open + items.join(' ') + " </script>");
    const QString dom =
        QString::fromUtf8(chromiumDom(chromium, *m_dir, m_dir->filePath("all.htm")));
    const qsizetype start = dom.indexOf(QLatin1String(open)) + open.size();
    QVERIFY(start >= open.size());
    const QStringList read =
        dom.sliced(start, dom.indexOf(u"</script>", start) - start).split(u' ');
    QCOMPARE(read.size(), items.size() + 1);
    QStringList differences;
    for (qsizetype index = 0; index < items.size(); ++index) {
        bool clean = false;
        const QString ours = zariza::decodeGb18030(items[index], &clean);
        if (ours != read[index])
            differences.append(QStringLiteral("%1: U+%2 here, U+%3 in the browser")
                                   .arg(QString::fromLatin1(items[index].toHex()))
                                   .arg(ours.toUcs4().value(0), 4, 16, QChar(u'0'))
                                   .arg(read[index].toUcs4().value(0), 4, 16, QChar(u'0')));
    }
    QVERIFY2(differences.isEmpty(), qPrintable(differences.mid(0, 30).join(u'\n')));
}

// Pages opened, typed into at the end and generated: Chromium must show the text it showed for
// the original and what was typed. One Chromium reads them all, each in a frame.
void TestRealPages::browserShowsPagesAsBeforeWithWhatWasTyped() {
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        QSKIP("chromium is not installed");

    const QByteArray chinese = u"中文"_s.toUtf8();
    const QByteArray gbk = "\xd6\xd0\xce\xc4";
    const QByteArray head = "<!DOCTYPE html><html><head><!-- " + QByteArray(1100, 'L') +
                            " --><link rel=stylesheet href=a.css><script src=a.js></script>";
    const struct {
        const char *name;
        QByteArray page;
        QString typed;
    } pages[] = {
        {"meta after a long licence", head + "<meta charset=utf-8></head><p>" + chinese, u"国"_s},
        {"meta after 600 LF", QByteArray(600, '\n') + "<meta charset=utf-8><p>" + chinese, u"国"_s},
        {"unicodefeff label", "<meta charset=unicodefeff><p>" + chinese, u"国"_s},
        {"meta in a script string",
         "<script>var s=\"<meta charset=utf-8>\"</script><meta charset=gbk><p>" + gbk, u"国"_s},
        {"meta in a title", "<title><meta charset=utf-8></title><meta charset=gbk>" + gbk, u"国"_s},
        {"charset after content",
         "<meta http-equiv=content-type content=\"text/html; charset=utf-8\" charset=gbk>" + gbk,
         u"国"_s},
        {"XML declaration", "<?xml version=\"1.0\" encoding=\"gbk\"?><p>" + gbk, u"国"_s},
        {"meta in the body", "<body><p>a</p><meta charset=gbk><p>" + gbk, u"国"_s},
        {"euro sign as 80", "<meta charset=gb18030><p>\x80 " + gbk, u"€"_s},
        {"Big5",
         "<meta charset=big5><title>\xa4\xa4\xa4\xe5</title><p>\xa4\xa4\xa4\xe5\xba\xf4\xad\xb6",
         u"這这"_s},
        {"Shift_JIS", "<meta charset=shift_jis><p>\x93\xfa\x96\x7b\x8c\xea", u"中这"_s},
        {"EUC-KR", "<meta charset=euc-kr><p>\xc7\xd1\xb1\xb9\xbe\xee", u"한这"_s},
        {"latin1", "<meta charset=iso-8859-1><p>caf\xe9", u"é中"_s},
    };
    QByteArray frames;
    for (qsizetype index = 0; index < qsizetype(std::size(pages)); ++index) {
        const QString original = QStringLiteral("original%1.htm").arg(index);
        writeBytes(m_dir->filePath(original), pages[index].page);
        openAndGenerate(m_dir->filePath(original), pages[index].typed,
                        QStringLiteral("generated%1.htm").arg(index));
        frames += QStringLiteral("<iframe id=o%1 src=%2></iframe><iframe id=g%1 "
                                 "src=generated%1.htm></iframe>")
                      .arg(index)
                      .arg(original)
                      .toLatin1();
    }
    writeBytes(m_dir->filePath("all.htm"),
               frames + "<script>onload = () => { for (const f of "
                        "document.querySelectorAll('iframe')) { const p = "
                        "document.createElement('pre'); p.id = 'text-' + f.id; p.textContent = "
                        "f.contentDocument.documentElement.textContent.trim(); "
                        "document.body.append(p); } };</script>");
    const QString dom =
        QString::fromUtf8(chromiumDom(chromium, *m_dir, m_dir->filePath("all.htm")));
    const auto shown = [&dom](const QString &id) {
        const QString start = QStringLiteral("<pre id=\"text-%1\">").arg(id);
        const qsizetype from = dom.indexOf(start) + start.size();
        return dom.sliced(from, dom.indexOf(u"</pre>", from) - from)
            .replace(u"&lt;"_s, u"<"_s)
            .replace(u"&gt;"_s, u">"_s)
            .replace(u"&amp;"_s, u"&"_s);
    };
    QVERIFY2(dom.contains(u"text-g0"_s), qPrintable(dom));
    for (qsizetype index = 0; index < qsizetype(std::size(pages)); ++index) {
        const QString original = shown(QStringLiteral("o%1").arg(index));
        QVERIFY2(!original.contains(u'\uFFFD'), pages[index].name);
        QCOMPARE(shown(QStringLiteral("g%1").arg(index)), original + pages[index].typed);
    }
}

QTEST_GUILESS_MAIN(TestRealPages)
#include "test_real_pages.moc"
