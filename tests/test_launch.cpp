#include "qt_runtime.h"
#include "runtime_services.h"
#include "test_files.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

using namespace zariza;
using namespace zariza::testing;

// Runs on a real X display: the desktop's default handler is only reachable there.
class TestLaunch : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void previewGoesToTheDefaultBrowser();
    void noLauncherMeansFailure();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void TestLaunch::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir(m_dir.path()).mkpath("data/applications"));
    QVERIFY(QDir(m_dir.path()).mkpath("config"));
    QVERIFY(QDir(m_dir.path()).mkpath("empty-bin"));
    // A stand-in browser that records what it was asked to show.
    writeBytes(path("stub-browser"), "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"" +
                                         QFile::encodeName(path("called.txt")) + "\"\n");
    QVERIFY(QFile::setPermissions(path("stub-browser"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    writeBytes(path("data/applications/stub-browser.desktop"),
               "[Desktop Entry]\nType=Application\nName=Stub\nExec=" +
                   QFile::encodeName(path("stub-browser")) + " %f\nMimeType=text/html;\n");
    writeBytes(path("config/mimeapps.list"),
               "[Default Applications]\ntext/html=stub-browser.desktop\n");
    // Read once a process: GIO keeps the folders it first found. The system's browsers stay out.
    qputenv("XDG_DATA_HOME", QFile::encodeName(path("data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(path("empty-bin")));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(path("empty-bin")));
    // Keep the desktop generic, so the handler is found through mimeapps.list.
    qunsetenv("XDG_CURRENT_DESKTOP");
    qunsetenv("DESKTOP_SESSION");
}

void TestLaunch::noLauncherMeansFailure() {
    // No browser registered any more, and no xdg-open.
    QVERIFY(QFile::remove(path("data/applications/stub-browser.desktop")));
    QVERIFY(QFile::remove(path("config/mimeapps.list")));
    const QByteArray searchPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(path("empty-bin")));
    QWidget window;
    QtRuntimeServices runtime(&window);
    writeBytes(path("Cs.htm"), "<title>x</title>\r\n");
    QVERIFY_THROWS_EXCEPTION(RuntimeError, runtime.shell(path("Cs.htm")));
    qputenv("PATH", searchPath);
}

void TestLaunch::previewGoesToTheDefaultBrowser() {
    QWidget window;
    QtRuntimeServices runtime(&window);
    writeBytes(path("Cs.htm"), "<title>Zariza\xb1\xe0\xbc\xad\xc6\xf7</title>\r\n\r\n");

    QElapsedTimer clock;
    clock.start();
    runtime.shell(path("Cs.htm"));
    // The editor never waits for the browser.
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path("called.txt")), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(readBytes(path("called.txt")),
                              QFile::encodeName(path("Cs.htm")) + '\n', 5000);
}

QTEST_MAIN(TestLaunch)
#include "test_launch.moc"
