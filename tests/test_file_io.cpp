#include "atomic_file.h"
#include "read_file.h"
#include "runtime_services.h"
#include "test_files.h"

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

// Files as bytes: what the runtime reads and writes.
class TestFileIo : public QObject {
    Q_OBJECT

private slots:
    void init();

    void writtenFileTakesTheOldOnesPlaceOnlyOnCommit();
    void uncommittedFileLeavesTheOldOne_data();
    void uncommittedFileLeavesTheOldOne();
    void refusesFilesItCannotRead_data();
    void refusesFilesItCannotRead();
    void keepsATargetItMayNotReplace_data();
    void keepsATargetItMayNotReplace();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList filesInFolder() const {
        return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFileIo::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFileIo::writtenFileTakesTheOldOnesPlaceOnlyOnCommit() {
    writeBytes(path("doc.htm"), "old\r\n");
    AtomicFile file(path("doc.htm"), LinkHandling::Follow);
    file.open();
    file.write("first ");
    file.write("second");
    QCOMPARE(readBytes(path("doc.htm")), QByteArray("old\r\n"));
    file.commit();
    QCOMPARE(readBytes(path("doc.htm")), QByteArray("first second"));
    QCOMPARE(filesInFolder(), QStringList{QStringLiteral("doc.htm")});
}

void TestFileIo::uncommittedFileLeavesTheOldOne_data() {
    QTest::addColumn<qint64>("fileSizeLimit");
    QTest::addColumn<QString>("reason");

    QTest::newRow("abandoned") << qint64(-1) << QString();
#ifdef Q_OS_UNIX
    // A file size limit makes the write fail the way a full disk does.
    QTest::newRow("a write fails") << qint64(4096) << QStringLiteral("磁盘空间不足");
#endif
}

void TestFileIo::uncommittedFileLeavesTheOldOne() {
    QFETCH(qint64, fileSizeLimit);
    QFETCH(QString, reason);

    writeBytes(path("doc.htm"), "old\r\n");
    QString failure;
    {
        AtomicFile file(path("doc.htm"), LinkHandling::Follow);
        file.open();
#ifdef Q_OS_UNIX
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit oldLimit{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
        rlimit limit = oldLimit;
        if (fileSizeLimit >= 0)
            limit.rlim_cur = rlim_t(fileSizeLimit);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
#endif
        try {
            file.write(QByteArray(3 * qMax<qint64>(fileSizeLimit, 1), 'x'));
        } catch (const RuntimeError &error) {
            failure = error.reason();
        }
#ifdef Q_OS_UNIX
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        std::signal(SIGXFSZ, oldHandler);
#endif
    }
    QCOMPARE(failure, reason);
    QCOMPARE(readBytes(path("doc.htm")), QByteArray("old\r\n"));
    QCOMPARE(filesInFolder(), QStringList{QStringLiteral("doc.htm")});
}

void TestFileIo::refusesFilesItCannotRead_data() {
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

void TestFileIo::refusesFilesItCannotRead() {
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
        QVERIFY(large.resize(maxReadBytes + 1));
    } else if (kind == QStringLiteral("device")) {
        name = QStringLiteral("/dev/zero");
    }
#ifdef Q_OS_UNIX
    if (kind == QStringLiteral("fifo"))
        QCOMPARE(mkfifo(QFile::encodeName(name).constData(), 0600), 0);
#endif

    try {
        readRegularFile(name);
        QFAIL("the file was read");
    } catch (const RuntimeError &error) {
        QCOMPARE(error.reason(), reason);
        QCOMPARE(error.fileName(), name);
    }
}

// Windows: a read-only file, or one another program holds open, is kept with a Chinese reason
// (root on Linux may replace a read-only file, so those rows live in tests/faults there).
void TestFileIo::keepsATargetItMayNotReplace_data() {
    QTest::addColumn<QString>("hold");
    QTest::addColumn<QString>("reason");
#ifdef Q_OS_WIN
    QTest::newRow("read-only") << QStringLiteral("read-only") << QStringLiteral("没有权限");
    QTest::newRow("held open by another program")
        << QStringLiteral("open") << QStringLiteral("文件正被其他程序使用");
#else
    QSKIP("Windows file attributes and sharing");
#endif
}

void TestFileIo::keepsATargetItMayNotReplace() {
    QFETCH(QString, hold);
    QFETCH(QString, reason);

    writeBytes(path("doc.htm"), "old\r\n");
    QFile other(path("doc.htm"));
    if (hold == QStringLiteral("read-only"))
        QVERIFY(other.setPermissions(QFile::ReadOwner | QFile::ReadUser));
    else
        QVERIFY(other.open(QIODevice::ReadOnly)); // Qt shares reading and writing, not deleting
    QString failure;
    try {
        AtomicFile file(path("doc.htm"), LinkHandling::Follow);
        file.open();
        file.write("new");
        file.commit();
    } catch (const RuntimeError &error) {
        failure = error.reason();
    }
    other.close();
    QCOMPARE(failure, reason);
    QCOMPARE(readBytes(path("doc.htm")), QByteArray("old\r\n"));
    QCOMPARE(filesInFolder(), QStringList{QStringLiteral("doc.htm")});
    QFile::setPermissions(path("doc.htm"), QFile::ReadOwner | QFile::WriteOwner);
}

QTEST_GUILESS_MAIN(TestFileIo)
#include "test_file_io.moc"
