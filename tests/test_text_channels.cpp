#include "document_format.h"
#include "document_file.h"
#include "runtime_services.h"
#include "test_files.h"
#include "text_channels.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

using namespace zariza;
using namespace zariza::testing;

class TestTextChannels : public QObject {
    Q_OBJECT

private slots:
    void init();

    void splitsLinesAtEveryKindOfLineEnd_data();
    void splitsLinesAtEveryKindOfLineEnd();
    void openingABusyChannelFails();
    void freeFileSkipsChannelsInUse();
    void outputReachesTheDiskOnlyWhenClosed();
    void abandonedOutputLeavesTheOldFile();
    void closingAfterAFailedPrintKeepsTheOldFile();
    void inputReadsLinesUntilEndOfFile();
    void refusesInputItCannotRead_data();
    void refusesInputItCannotRead();
    void writesThroughASymlinkToItsTarget();
    void keepsTheFileModeAcrossASave();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    DocumentFileCodec m_codec;
};

void TestTextChannels::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestTextChannels::splitsLinesAtEveryKindOfLineEnd_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("one line, no end") << QStringLiteral("a") << QStringList{"a"};
    QTest::newRow("CR LF") << QStringLiteral("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("LF") << QStringLiteral("a\nb") << QStringList{"a", "b"};
    QTest::newRow("CR") << QStringLiteral("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("LF CR is two ends") << QStringLiteral("a\n\rb") << QStringList{"a", "", "b"};
    QTest::newRow("only a line end") << QStringLiteral("\r\n") << QStringList{""};
    QTest::newRow("blank lines") << QStringLiteral("\r\n\r\nx") << QStringList{"", "", "x"};
    QTest::newRow("blank last line") << QStringLiteral("a\r\n\r\n") << QStringList{"a", ""};
    QTest::newRow("CR before CR LF") << QStringLiteral("a\r\r\nb") << QStringList{"a", "", "b"};
    QTest::newRow("LF first") << QStringLiteral("\na\r\n") << QStringList{"", "a"};
    QTest::newRow("CR LF, then a lone CR at the end")
        << QStringLiteral("a\r\nb\r") << QStringList{"a", "b"};
}

void TestTextChannels::splitsLinesAtEveryKindOfLineEnd() {
    QFETCH(QString, text);
    QFETCH(QStringList, lines);

    writeBytes(path("in.htm"), text.toLatin1());
    TextChannels channels(m_codec);
    channels.open(path("in.htm"), 1, ChannelMode::Input);
    QStringList read;
    while (!channels.endOfFile(1))
        read.append(channels.lineInput(1));
    QCOMPARE(read, lines);

    // Read all at once, from the start and after the first line.
    for (const qsizetype linesReadFirst : {0, 1}) {
        channels.open(path("in.htm"), 2, ChannelMode::Input);
        for (qsizetype line = 0; line < linesReadFirst && !channels.endOfFile(2); ++line)
            channels.lineInput(2);
        QCOMPARE(channels.remainingLines(2), lines.mid(linesReadFirst).join(u"\r\n"));
        QVERIFY(channels.endOfFile(2));
        channels.close(2);
    }
}

void TestTextChannels::openingABusyChannelFails() {
    TextChannels channels(m_codec);
    channels.open(path("a.htm"), 1, ChannelMode::Output);
    QVERIFY_THROWS_EXCEPTION(RuntimeError, channels.open(path("b.htm"), 1, ChannelMode::Output));
    channels.close(1);
    channels.open(path("b.htm"), 1, ChannelMode::Output);
    channels.close(1);
    QVERIFY(QFile::exists(path("a.htm")));
    QVERIFY(QFile::exists(path("b.htm")));
}

void TestTextChannels::freeFileSkipsChannelsInUse() {
    TextChannels channels(m_codec);
    QCOMPARE(channels.freeFile(), 1);
    channels.open(path("a"), 1, ChannelMode::Output);
    channels.open(path("b"), 2, ChannelMode::Output);
    QCOMPARE(channels.freeFile(), 3);
    channels.abandon(1);
    QCOMPARE(channels.freeFile(), 1);
}

void TestTextChannels::outputReachesTheDiskOnlyWhenClosed() {
    writeBytes(path("doc.htm"), "old\r\n");
    TextChannels channels(m_codec);
    channels.open(path("doc.htm"), 1, ChannelMode::Output);
    channels.print(1, u"first");
    channels.print(1, u"second");
    QCOMPARE(readBytes(path("doc.htm")), QByteArray("old\r\n"));
    channels.close(1);
    QCOMPARE(readBytes(path("doc.htm")), QByteArray("first\r\nsecond\r\n"));
    QVERIFY(!channels.isOpen(1));
}

void TestTextChannels::abandonedOutputLeavesTheOldFile() {
    writeBytes(path("doc.htm"), "old\r\n");
    TextChannels channels(m_codec);
    {
        const OpenChannel output(channels, path("doc.htm"), 1, ChannelMode::Output);
        channels.print(1, u"new");
    }
    QVERIFY(!channels.isOpen(1));
    QCOMPARE(readBytes(path("doc.htm")), QByteArray("old\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("doc.htm")});
}

void TestTextChannels::closingAfterAFailedPrintKeepsTheOldFile() {
#ifdef Q_OS_UNIX
    writeBytes(path("doc.htm"), "old\r\n");
    TextChannels channels(m_codec);
    channels.open(path("doc.htm"), 1, ChannelMode::Output);
    {
        // A file size limit makes the write fail the way a full disk does.
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit oldLimit{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
        rlimit limit = oldLimit;
        limit.rlim_cur = 4096;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        QString failure;
        try {
            channels.print(1, QString(3 * encodingPieceLength, u'字'));
        } catch (const RuntimeError &error) {
            failure = error.describe();
        }
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY2(failure.contains(QStringLiteral("磁盘空间不足")), qPrintable(failure));
    }
    QVERIFY_THROWS_EXCEPTION(RuntimeError, channels.close(1));
    QVERIFY(!channels.isOpen(1));
    QCOMPARE(readBytes(path("doc.htm")), QByteArray("old\r\n"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("doc.htm")});
#else
    QSKIP("needs a file size limit");
#endif
}

void TestTextChannels::inputReadsLinesUntilEndOfFile() {
    writeBytes(path("in.htm"), "one\r\n\xb1\xe0\r\nthree");
    TextChannels channels(m_codec);
    channels.open(path("in.htm"), 4, ChannelMode::Input);
    QStringList lines;
    while (!channels.endOfFile(4))
        lines.append(channels.lineInput(4));
    QCOMPARE(lines, (QStringList{"one", QStringLiteral("编"), "three"}));
    QVERIFY(channels.decodedCleanly(4));
    QVERIFY_THROWS_EXCEPTION(RuntimeError, channels.lineInput(4));
    channels.close(4);
    QVERIFY(!channels.isOpen(4));
}

void TestTextChannels::refusesInputItCannotRead_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("empty name") << QStringLiteral("empty") << QStringLiteral("没有指定文件名");
    QTest::newRow("missing") << QStringLiteral("missing") << QStringLiteral("文件不存在");
    QTest::newRow("folder") << QStringLiteral("folder")
                            << QStringLiteral("这是一个文件夹，不是文件");
    QTest::newRow("too large") << QStringLiteral("large")
                               << QStringLiteral("文件太大（超过 64 MB）");
#ifdef Q_OS_UNIX
    QTest::newRow("FIFO") << QStringLiteral("fifo") << QStringLiteral("这不是普通文件");
    QTest::newRow("device") << QStringLiteral("device") << QStringLiteral("这不是普通文件");
#endif
}

void TestTextChannels::refusesInputItCannotRead() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    QString name = path(kind);
    if (kind == QStringLiteral("empty")) {
        name.clear();
    } else if (kind == QStringLiteral("folder")) {
        QVERIFY(QDir(m_dir->path()).mkdir(kind));
    } else if (kind == QStringLiteral("large")) {
        QFile large(name);
        QVERIFY(large.open(QIODevice::WriteOnly));
        QVERIFY(large.resize(TextChannels::maxInputBytes + 1));
    } else if (kind == QStringLiteral("device")) {
        name = QStringLiteral("/dev/zero");
    }
#ifdef Q_OS_UNIX
    if (kind == QStringLiteral("fifo"))
        QCOMPARE(mkfifo(QFile::encodeName(name).constData(), 0600), 0);
#endif

    TextChannels channels(m_codec);
    try {
        channels.open(name, 1, ChannelMode::Input);
        QFAIL("the file was opened");
    } catch (const RuntimeError &error) {
        QCOMPARE(error.reason(), reason);
        QCOMPARE(error.fileName(), name.isEmpty() ? QString() : name);
    }
    QVERIFY(!channels.isOpen(1));
}

void TestTextChannels::writesThroughASymlinkToItsTarget() {
#ifdef Q_OS_UNIX
    writeBytes(path("real.htm"), "old\r\n");
    QVERIFY(QFile::link(path("real.htm"), path("link.htm")));
    TextChannels channels(m_codec);
    channels.open(path("link.htm"), 1, ChannelMode::Output);
    channels.print(1, u"new");
    channels.close(1);
    QVERIFY(QFileInfo(path("link.htm")).isSymLink());
    QCOMPARE(readBytes(path("real.htm")), QByteArray("new\r\n"));
#else
    QSKIP("symbolic links need Unix");
#endif
}

void TestTextChannels::keepsTheFileModeAcrossASave() {
#ifdef Q_OS_UNIX
    writeBytes(path("doc.Devov"), "old\r\n");
    const QByteArray encoded = QFile::encodeName(path("doc.Devov"));
    QCOMPARE(chmod(encoded.constData(), 0640), 0);
    TextChannels channels(m_codec);
    channels.open(path("doc.Devov"), 1, ChannelMode::Output);
    channels.print(1, u"new");
    channels.close(1);
    struct stat status {};
    QCOMPARE(stat(encoded.constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0640));
#else
    QSKIP("file modes need Unix");
#endif
}

QTEST_GUILESS_MAIN(TestTextChannels)
#include "test_text_channels.moc"
