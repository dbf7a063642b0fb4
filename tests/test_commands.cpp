#include "document_commands.h"
#include "fake_runtime.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace zariza;
using namespace zariza::testing;

namespace {

const QString crlf = QStringLiteral("\r\n");

enum class SaveCommand { Save, Generate };

void runSave(DocumentCommands &commands, SaveCommand command) {
    if (command == SaveCommand::Save)
        commands.Command3_Click();
    else
        commands.Command5_Click();
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void init();

    void saveAndGenerateWriteTheDocumentFileFormat_data();
    void saveAndGenerateWriteTheDocumentFileFormat();
    void saveAndGenerateShowTheirDialogAndMessage_data();
    void saveAndGenerateShowTheirDialogAndMessage();
    void cancelledSaveWritesNothing();
    void savingOverALongerFileLeavesNoTail();
    void nameWithoutExtensionIsUsedAsTyped();
    void saveFailureIsReportedAndNothingIsWritten_data();
    void saveFailureIsReportedAndNothingIsWritten();
    void failedWriteLeavesTheOldFileWhole();

    void openRestoresTheDocument_data();
    void openRestoresTheDocument();
    void openAsksFirstAndCancelChangesNothing_data();
    void openAsksFirstAndCancelChangesNothing();
    void openFailureIsReportedAndLeavesTheDocument_data();
    void openFailureIsReportedAndLeavesTheDocument();
    void openAsksBeforeLoadingUndecodableBytes_data();
    void openAsksBeforeLoadingUndecodableBytes();

    void newReplacesTheDocumentWithTheTemplate_data();
    void newReplacesTheDocumentWithTheTemplate();

    void previewWritesCsHtmAndLaunchesIt_data();
    void previewWritesCsHtmAndLaunchesIt();
    void previewLaunchFailureIsReported();
    void previewRefusesToWriteThroughAPlantedFile_data();
    void previewRefusesToWriteThroughAPlantedFile();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    FakeRuntime m_runtime;
};

void TestCommands::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_runtime.folder.enter(m_dir->path());
    m_runtime.boxes.clear();
    m_runtime.answers.clear();
    m_runtime.launched.clear();
    m_runtime.launchFails = false;
    m_runtime.dialog.shown.clear();
    m_runtime.dialog.names.clear();
}

void TestCommands::saveAndGenerateWriteTheDocumentFileFormat_data() {
    QTest::addColumn<QString>("document");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("untouched template")
        << documentTemplate() + crlf
        << hexBytes("3c 74 69 74 6c 65 3e 5a 61 72 69 7a 61 b1 e0 bc ad c6 f7 3c 2f 74 69 74 6c 65"
                    "3e 0d 0a 0d 0a");
    QTest::newRow("empty document") << QString() << hexBytes("0d 0a");
    QTest::newRow("lines keep their CR LF")
        << QStringLiteral("a\r\n\r\nb") << QByteArray("a\r\n\r\nb\r\n");
    QTest::newRow("Chinese in GBK")
        << QStringLiteral("编辑器") << hexBytes("b1 e0 bc ad c6 f7 0d 0a");
    QTest::newRow("euro in GB18030") << QStringLiteral("€") << hexBytes("a2 e3 0d 0a");
    QTest::newRow("emoji falls back to GB18030")
        << QStringLiteral("😀") << hexBytes("94 39 fc 36 0d 0a");
    QTest::newRow("copyright sign falls back to GB18030")
        << QStringLiteral("©") << hexBytes("81 30 84 38 0d 0a");
    QTest::newRow("page declaring utf-8") << QStringLiteral("<meta charset=\"utf-8\">编")
                                          << QByteArray("<meta charset=\"utf-8\">\xe7\xbc\x96\r\n");
}

void TestCommands::saveAndGenerateWriteTheDocumentFileFormat() {
    QFETCH(QString, document);
    QFETCH(QByteArray, bytes);

    FakeTextBox text1(document);
    DocumentCommands commands(m_runtime, text1);
    m_runtime.dialog.names = {path("a.Devov"), path("a.htm")};
    commands.Command3_Click();
    commands.Command5_Click();

    QCOMPARE(readBytes(path("a.Devov")), bytes);
    QCOMPARE(readBytes(path("a.htm")), bytes);
    QCOMPARE(text1.value, document);
    QCOMPARE(text1.writes, 0);
}

void TestCommands::saveAndGenerateShowTheirDialogAndMessage_data() {
    QTest::addColumn<SaveCommand>("command");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("message");

    QTest::newRow("save") << SaveCommand::Save << QStringLiteral("保存")
                          << QStringLiteral("(*.Devov)|*.Devov")
                          << QStringLiteral("文件保存完成！");
    QTest::newRow("generate") << SaveCommand::Generate << QStringLiteral("生成")
                              << QStringLiteral("(*.htm)|*.htm|(*.html)|*.html")
                              << QStringLiteral("文件生成完成！");
}

void TestCommands::saveAndGenerateShowTheirDialogAndMessage() {
    QFETCH(SaveCommand, command);
    QFETCH(QString, title);
    QFETCH(QString, filter);
    QFETCH(QString, message);

    FakeTextBox text1(QStringLiteral("x"));
    DocumentCommands commands(m_runtime, text1);
    m_runtime.dialog.names = {path("out")};
    runSave(commands, command);

    QCOMPARE(m_runtime.dialog.shown.size(), 1);
    QCOMPARE(m_runtime.dialog.shown[0].kind, QStringLiteral("save"));
    QCOMPARE(m_runtime.dialog.shown[0].title, title);
    QCOMPARE(m_runtime.dialog.shown[0].filter, filter);
    QCOMPARE(m_runtime.boxes.size(), 1);
    QCOMPARE(m_runtime.boxes[0],
             (FakeRuntime::MsgBox{message, BoxKind::Notice, QStringLiteral("提示")}));
}

void TestCommands::cancelledSaveWritesNothing() {
    writeBytes(path("last.Devov"), "earlier document\r\n");
    FakeTextBox text1(QStringLiteral("new text"));
    DocumentCommands commands(m_runtime, text1);
    m_runtime.dialog.names = {QString(), QString()};
    commands.Command3_Click();
    commands.Command5_Click();

    QCOMPARE(readBytes(path("last.Devov")), QByteArray("earlier document\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("last.Devov")});
    QVERIFY(m_runtime.boxes.isEmpty());
}

void TestCommands::savingOverALongerFileLeavesNoTail() {
    writeBytes(path("doc.Devov"), QByteArray(5000, 'z'));
    FakeTextBox text1(QStringLiteral("short"));
    DocumentCommands commands(m_runtime, text1);
    m_runtime.dialog.names = {path("doc.Devov")};
    commands.Command3_Click();
    QCOMPARE(readBytes(path("doc.Devov")), QByteArray("short\r\n"));
}

void TestCommands::nameWithoutExtensionIsUsedAsTyped() {
    FakeTextBox text1(QStringLiteral("x"));
    DocumentCommands commands(m_runtime, text1);
    m_runtime.dialog.names = {path("page")};
    commands.Command5_Click();
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("page")});
}

void TestCommands::saveFailureIsReportedAndNothingIsWritten_data() {
    QTest::addColumn<SaveCommand>("command");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("save to a folder") << SaveCommand::Save << QStringLiteral("folder")
                                      << QStringLiteral("这是一个文件夹，不是文件");
    QTest::newRow("generate into a missing folder")
        << SaveCommand::Generate << QStringLiteral("missing/page.htm")
        << QStringLiteral("文件或文件夹不存在");
    QTest::newRow("name too long")
        << SaveCommand::Save << QString(300, u'长') << QStringLiteral("文件名太长");
}

void TestCommands::saveFailureIsReportedAndNothingIsWritten() {
    QFETCH(SaveCommand, command);
    QFETCH(QString, name);
    QFETCH(QString, reason);

    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    FakeTextBox text1(QStringLiteral("document"));
    DocumentCommands commands(m_runtime, text1);
    m_runtime.dialog.names = {path(name)};
    runSave(commands, command);

    const QString failed = command == SaveCommand::Save ? QStringLiteral("文件保存失败！")
                                                        : QStringLiteral("文件生成失败！");
    QCOMPARE(m_runtime.boxes.size(), 1);
    QCOMPARE(m_runtime.boxes[0], (FakeRuntime::MsgBox{failed + u'\n' + path(name) + u'：' + reason,
                                                      BoxKind::Failure, QStringLiteral("提示")}));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList());
    QCOMPARE(text1.value, QStringLiteral("document"));
}

void TestCommands::failedWriteLeavesTheOldFileWhole() {
#ifdef Q_OS_UNIX
    // A file size limit makes the write fail part-way, the way a full disk does.
    const QByteArray old = "the document saved yesterday\r\n";
    writeBytes(path("doc.Devov"), old);
    FakeTextBox text1(QString(300000, u'字'));
    DocumentCommands commands(m_runtime, text1);
    m_runtime.dialog.names = {path("doc.Devov")};

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 64 * 1024;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    commands.Command3_Click();
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(readBytes(path("doc.Devov")), old);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("doc.Devov")});
    QCOMPARE(m_runtime.boxes.size(), 1);
    QVERIFY2(m_runtime.boxes[0].prompt.startsWith(QStringLiteral("文件保存失败！\n") +
                                                  path("doc.Devov") + u'：'),
             qPrintable(m_runtime.boxes[0].prompt));
    QCOMPARE(m_runtime.boxes[0].kind, BoxKind::Failure);
#else
    QSKIP("needs a file size limit");
#endif
}

void TestCommands::openRestoresTheDocument_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("document");
    QTest::addColumn<bool>("savesBackIdentical");

    QTest::newRow("CR LF lines") << QByteArray("a\r\nb\r\nc\r\n") << QStringLiteral("a\r\nb\r\nc")
                                 << true;
    QTest::newRow("LF lines") << QByteArray("a\nb\nc\n") << QStringLiteral("a\r\nb\r\nc") << false;
    QTest::newRow("CR lines") << QByteArray("a\rb\rc") << QStringLiteral("a\r\nb\r\nc") << false;
    QTest::newRow("blank lines kept")
        << QByteArray("a\r\n\r\n\r\nb\r\n") << QStringLiteral("a\r\n\r\n\r\nb") << true;
    QTest::newRow("last line without break")
        << QByteArray("<p>x</p>") << QStringLiteral("<p>x</p>") << false;
    QTest::newRow("GBK Chinese") << hexBytes("b1 e0 bc ad c6 f7 0d 0a") << QStringLiteral("编辑器")
                                 << true;
    QTest::newRow("GB18030 four-byte characters")
        << hexBytes("94 39 fc 36 81 30 84 38 a2 e3 0d 0a") << QStringLiteral("😀©€") << true;
    QTest::newRow("empty file") << QByteArray() << QString() << false;
    QTest::newRow("only a line break") << QByteArray("\r\n") << QString() << true;
    QTest::newRow("only line breaks")
        << QByteArray("\r\n\r\n\r\n") << QStringLiteral("\r\n\r\n") << true;
    QTest::newRow("saved template")
        << QByteArray("<title>Zariza\xb1\xe0\xbc\xad\xc6\xf7</title>\r\n\r\n")
        << documentTemplate() + crlf << true;
}

void TestCommands::openRestoresTheDocument() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, document);
    QFETCH(bool, savesBackIdentical);

    writeBytes(path("in.Devov"), bytes);
    FakeTextBox text1(QStringLiteral("old"));
    DocumentCommands commands(m_runtime, text1);
    m_runtime.answers = {Answer::Ok};
    m_runtime.dialog.names = {path("in.Devov"), path("out.Devov")};
    commands.Command1_Click();

    QCOMPARE(text1.value, document);
    QCOMPARE(text1.writes, 1);
    QCOMPARE(m_runtime.boxes.size(), 1);
    QCOMPARE(m_runtime.boxes[0], (FakeRuntime::MsgBox{QStringLiteral("将清除原有代码确认打开？"),
                                                      BoxKind::Question, QStringLiteral("提示")}));
    QCOMPARE(m_runtime.dialog.shown[0].kind, QStringLiteral("open"));
    QCOMPARE(m_runtime.dialog.shown[0].title, QStringLiteral("打开"));
    QCOMPARE(m_runtime.dialog.shown[0].filter,
             QStringLiteral("(*.Devov)|*.Devov|(*.htm)|*.htm|(*.html)|*.html"));

    commands.Command3_Click();
    QCOMPARE(readBytes(path("out.Devov")) == bytes, savesBackIdentical);
}

void TestCommands::openAsksFirstAndCancelChangesNothing_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("dialogsShown");

    QTest::newRow("cancel the question") << Answer::Cancel << QStringLiteral("in.htm") << 0;
    QTest::newRow("cancel the dialog") << Answer::Ok << QString() << 1;
}

void TestCommands::openAsksFirstAndCancelChangesNothing() {
    QFETCH(Answer, answer);
    QFETCH(QString, name);
    QFETCH(int, dialogsShown);

    writeBytes(path("in.htm"), "replacement\r\n");
    FakeTextBox text1(QStringLiteral("kept"));
    DocumentCommands commands(m_runtime, text1);
    m_runtime.answers = {answer};
    m_runtime.dialog.names = {name.isEmpty() ? name : path(name)};
    commands.Command1_Click();

    QCOMPARE(m_runtime.dialog.shown.size(), dialogsShown);
    QCOMPARE(m_runtime.boxes.size(), 1);
    QCOMPARE(text1.value, QStringLiteral("kept"));
    QCOMPARE(text1.writes, 0);
}

void TestCommands::openFailureIsReportedAndLeavesTheDocument_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("roomForIt");

    QTest::newRow("missing file") << QStringLiteral("gone.htm") << QStringLiteral("文件不存在")
                                  << true;
    QTest::newRow("folder") << QStringLiteral("folder")
                            << QStringLiteral("这是一个文件夹，不是文件") << true;
    QTest::newRow("no memory to show it")
        << QStringLiteral("page.htm") << QStringLiteral("内存不足") << false;
}

void TestCommands::openFailureIsReportedAndLeavesTheDocument() {
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QFETCH(bool, roomForIt);

    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    writeBytes(path("page.htm"), "<p>page</p>\r\n");
    FakeTextBox text1(QStringLiteral("kept"));
    text1.room = roomForIt ? TextBox::Room::Enough : TextBox::Room::Lacking;
    DocumentCommands commands(m_runtime, text1);
    m_runtime.answers = {Answer::Ok};
    m_runtime.dialog.names = {path(name)};
    commands.Command1_Click();

    QCOMPARE(text1.value, QStringLiteral("kept"));
    QCOMPARE(text1.writes, 0);
    QCOMPARE(m_runtime.boxes.size(), 2);
    QCOMPARE(m_runtime.boxes[1],
             (FakeRuntime::MsgBox{QStringLiteral("文件打开失败！\n") + path(name) + u'：' + reason,
                                  BoxKind::Failure, QStringLiteral("提示")}));
    // The next open works.
    writeBytes(path("ok.htm"), "fine\r\n");
    text1.room = TextBox::Room::Enough;
    m_runtime.answers = {Answer::Ok};
    m_runtime.dialog.names = {path("ok.htm")};
    commands.Command1_Click();
    QCOMPARE(text1.value, QStringLiteral("fine"));
}

void TestCommands::openAsksBeforeLoadingUndecodableBytes_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("text");

    // A stray lead byte at the end is neither GBK nor UTF-8.
    const QString unreadable = QStringLiteral("文件中有无法识别的字节，保存时将被替换。确认打开？");
    QTest::newRow("OK loads with replacement characters")
        << Answer::Ok << true << QByteArray("ab\xff") << unreadable << QStringLiteral("ab\uFFFD");
    QTest::newRow("Cancel keeps the document")
        << Answer::Cancel << false << QByteArray("ab\xff") << unreadable << QString();
    // BOM-less UTF-16 one byte short: NULs in GBK before, now UTF-16 with a flaw.
    QTest::newRow("UTF-16 without a mark, one byte short")
        << Answer::Ok << true << QByteArray("<\0p\0>\0a\0b\0", 9) << unreadable
        << QStringLiteral("<p>a\uFFFD");
    const QString unsupported =
        QStringLiteral("这个网页的编码 hz-gb-2312 在本机无法读写，文字可能显示不正确，保存时将写成 "
                       "GBK。确认打开？");
    QTest::newRow("encoding without a converter")
        << Answer::Cancel << false << QByteArray("<meta charset=hz-gb-2312>~{VP~}") << unsupported
        << QString();
}

void TestCommands::openAsksBeforeLoadingUndecodableBytes() {
    QFETCH(Answer, answer);
    QFETCH(bool, loaded);
    QFETCH(QByteArray, file);
    QFETCH(QString, question);
    QFETCH(QString, text);

    writeBytes(path("odd.htm"), file);
    FakeTextBox text1(QStringLiteral("kept"));
    DocumentCommands commands(m_runtime, text1);
    m_runtime.answers = {Answer::Ok, answer};
    m_runtime.dialog.names = {path("odd.htm")};
    commands.Command1_Click();

    QCOMPARE(m_runtime.boxes.size(), 2);
    QCOMPARE(m_runtime.boxes[1].prompt, question);
    QCOMPARE(m_runtime.boxes[1].kind, BoxKind::Question);
    QCOMPARE(text1.value, loaded ? text : QStringLiteral("kept"));
}

void TestCommands::newReplacesTheDocumentWithTheTemplate_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("document");

    QTest::newRow("OK") << Answer::Ok << QStringLiteral("<title>Zariza编辑器</title>");
    QTest::newRow("Cancel") << Answer::Cancel << QStringLiteral("my page");
}

void TestCommands::newReplacesTheDocumentWithTheTemplate() {
    QFETCH(Answer, answer);
    QFETCH(QString, document);

    FakeTextBox text1(QStringLiteral("my page"));
    DocumentCommands commands(m_runtime, text1);
    m_runtime.answers = {answer};
    commands.Command2_Click();

    QCOMPARE(text1.value, document);
    QCOMPARE(m_runtime.boxes.size(), 1);
    QCOMPARE(m_runtime.boxes[0], (FakeRuntime::MsgBox{QStringLiteral("将清除原有代码确认新建？"),
                                                      BoxKind::Question, QStringLiteral("提示")}));
}

void TestCommands::previewWritesCsHtmAndLaunchesIt_data() {
    QTest::addColumn<QString>("document");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("page") << QStringLiteral("<b>编</b>") << QByteArray("<b>\xb1\xe0</b>\r\n");
    QTest::newRow("empty document") << QString() << QByteArray("\r\n");
}

void TestCommands::previewWritesCsHtmAndLaunchesIt() {
    QFETCH(QString, document);
    QFETCH(QByteArray, bytes);

    writeBytes(path("Cs.htm"), QByteArray(1000, 'o'));
    FakeTextBox text1(document);
    DocumentCommands commands(m_runtime, text1);
    commands.Command4_Click();

    QCOMPARE(readBytes(path("Cs.htm")), bytes);
    QCOMPARE(m_runtime.launched, QStringList{path("Cs.htm")});
    QVERIFY(m_runtime.boxes.isEmpty());
}

void TestCommands::previewLaunchFailureIsReported() {
    FakeTextBox text1(QStringLiteral("<p>"));
    DocumentCommands commands(m_runtime, text1);
    m_runtime.launchFails = true;
    commands.Command4_Click();

    QCOMPARE(readBytes(path("Cs.htm")), QByteArray("<p>\r\n"));
    QCOMPARE(m_runtime.boxes.size(), 1);
    QCOMPARE(m_runtime.boxes[0],
             (FakeRuntime::MsgBox{QStringLiteral("测试失败！\n") + path("Cs.htm") +
                                      QStringLiteral("：无法启动默认浏览器"),
                                  BoxKind::Failure, QStringLiteral("未知原因")}));
}

void TestCommands::previewRefusesToWriteThroughAPlantedFile_data() {
    QTest::addColumn<QString>("planted");

    QTest::newRow("folder") << QStringLiteral("folder");
#ifdef Q_OS_UNIX
    QTest::newRow("symlink to another file") << QStringLiteral("symlink");
    QTest::newRow("dangling symlink") << QStringLiteral("dangling");
#endif
}

void TestCommands::previewRefusesToWriteThroughAPlantedFile() {
    QFETCH(QString, planted);

    const QByteArray victim = "someone else's file\n";
    writeBytes(path("victim.txt"), victim);
    if (planted == QStringLiteral("folder"))
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Cs.htm")));
    else if (planted == QStringLiteral("symlink"))
        QVERIFY(QFile::link(path("victim.txt"), path("Cs.htm")));
    else
        QVERIFY(QFile::link(path("nowhere.txt"), path("Cs.htm")));

    FakeTextBox text1(QStringLiteral("<p>"));
    DocumentCommands commands(m_runtime, text1);
    commands.Command4_Click();

    QVERIFY(m_runtime.launched.isEmpty());
    QCOMPARE(readBytes(path("victim.txt")), victim);
    QVERIFY(!QFile::exists(path("nowhere.txt")));
    QCOMPARE(m_runtime.boxes.size(), 1);
    QVERIFY2(m_runtime.boxes[0].prompt.startsWith(QStringLiteral("预览文件写入失败！\n") +
                                                  path("Cs.htm") + u'：'),
             qPrintable(m_runtime.boxes[0].prompt));
    QCOMPARE(m_runtime.boxes[0].kind, BoxKind::Failure);
    QCOMPARE(m_runtime.boxes[0].title, QStringLiteral("提示"));
    QCOMPARE(text1.value, QStringLiteral("<p>"));
}

QTEST_GUILESS_MAIN(TestCommands)
#include "test_commands.moc"
