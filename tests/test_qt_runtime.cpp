#include "chinese_language.h"
#include "modal_answer.h"
#include "open_page.h"
#include "qt_runtime.h"
#include "test_files.h"

#include <QAbstractFileIconProvider>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>
#include <chrono>
#include <thread>

#ifdef Q_OS_LINUX
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace zariza;
using namespace zariza::testing;

class TestQtRuntime : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void turnsFiltersIntoNameFilters_data();
    void turnsFiltersIntoNameFilters();
    void messageBoxAnswersAsTheUserChose_data();
    void messageBoxAnswersAsTheUserChose();
    void cancelledDialogLeavesNoName();
    void acceptedDialogLeavesThePathAndMakesItsFolderCurrent();
    void dialogShowsPatternsRegardlessOfCase();
    void dialogDescribesFilesWithoutOpeningThem_data();
    void dialogDescribesFilesWithoutOpeningThem();
    void dialogKeepsItsStateOffTheDisk();
    void defaultBrowserIsGivenTheFile_data();
    void defaultBrowserIsGivenTheFile();
    void saveDialogOffersAnExtensionOfItsFilter_data();
    void saveDialogOffersAnExtensionOfItsFilter();
    void dialogsSpeakOnlyChinese_data();
    void dialogsSpeakOnlyChinese();

private:
    QString m_startFolder = QDir::currentPath();
    QTemporaryDir m_home;
};

void TestQtRuntime::initTestCase() {
    // Before any dialog: Qt settles where settings go the first time it looks.
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, QFile::encodeName(m_home.filePath(QString::fromLatin1(name))));
    speakChinese(*qApp);
}

void TestQtRuntime::cleanup() {
    QDir::setCurrent(m_startFolder);
}

void TestQtRuntime::turnsFiltersIntoNameFilters_data() {
    QTest::addColumn<FileFilters>("filters");
    QTest::addColumn<QStringList>("nameFilters");

    QTest::newRow("open") << FileFilters{{"(*.Devov)", {"*.Devov"}},
                                         {"(*.htm)", {"*.htm"}},
                                         {"(*.html)", {"*.html"}}}
                          << QStringList{"(*.Devov)", "(*.htm)", "(*.html)"};
    QTest::newRow("plain description") << FileFilters{{QStringLiteral("网页"), {"*.htm", "*.html"}}}
                                       << QStringList{QStringLiteral("网页 (*.htm *.html)")};
    QTest::newRow("empty") << FileFilters() << QStringList();
}

void TestQtRuntime::turnsFiltersIntoNameFilters() {
    QFETCH(FileFilters, filters);
    QFETCH(QStringList, nameFilters);
    QCOMPARE(nameFiltersOf(filters), nameFilters);
}

void TestQtRuntime::messageBoxAnswersAsTheUserChose_data() {
    QTest::addColumn<BoxKind>("kind");
    QTest::addColumn<int>("key");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QString>("title");

    const QStringList okCancel{QStringLiteral("确定"), QStringLiteral("取消")};
    const QStringList okOnly{QStringLiteral("确定")};
    const QString notice = QStringLiteral("提示");
    QTest::newRow("question, Enter is OK") << BoxKind::Question << int(Qt::Key_Return) << Answer::Ok
                                           << QMessageBox::Question << okCancel << notice;
    QTest::newRow("question, Esc is Cancel")
        << BoxKind::Question << int(Qt::Key_Escape) << Answer::Cancel << QMessageBox::Question
        << okCancel << notice;
    QTest::newRow("notice, Esc is OK") << BoxKind::Notice << int(Qt::Key_Escape) << Answer::Ok
                                       << QMessageBox::NoIcon << okOnly << notice;
    QTest::newRow("critical, Enter is OK")
        << BoxKind::Failure << int(Qt::Key_Return) << Answer::Ok << QMessageBox::Critical << okOnly
        << QStringLiteral("未知原因（标题比正文长）");
}

void TestQtRuntime::messageBoxAnswersAsTheUserChose() {
    QFETCH(BoxKind, kind);
    QFETCH(int, key);
    QFETCH(Answer, answer);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QStringList, buttons);
    QFETCH(QString, title);

    QWidget window;
    window.show();
    QtRuntimeServices runtime(&window);
    QMessageBox::Icon shownIcon = QMessageBox::NoIcon;
    QStringList shownButtons;
    QString shownTitle;
    QString shownText;
    int roomForTitle = 0;
    answerModalLater([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            modal->close();
            return;
        }
        shownIcon = box->icon();
        shownTitle = box->windowTitle();
        shownText = box->text();
        // The title in bold beside three square frame buttons.
        QFont bold = box->font();
        bold.setBold(true);
        roomForTitle = box->width() - QFontMetrics(bold).horizontalAdvance(title) -
                       3 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight);
        for (QAbstractButton *button : box->buttons())
            shownButtons.append(button->text());
        QTest::keyClick(box, Qt::Key(key));
    });

    QCOMPARE(runtime.msgBox(QStringLiteral("确认退出？"), kind, title), answer);
    QCOMPARE(shownTitle, title);
    QVERIFY2(roomForTitle >= 0, qPrintable(QString::number(roomForTitle)));
    QCOMPARE(shownText, QStringLiteral("确认退出？"));
    QCOMPARE(shownIcon, icon);
    shownButtons.sort();
    buttons.sort();
    QCOMPARE(shownButtons, buttons);
}

void TestQtRuntime::cancelledDialogLeavesNoName() {
    QTemporaryDir dir;
    QtFileDialog dialog(nullptr);
    const FileFilters documents{{"(*.Devov)", {"*.Devov"}}};

    answerModalLater([&](QWidget *modal) {
        modal->findChild<QLineEdit *>()->setText(dir.filePath("last.Devov"));
        QTest::keyClick(modal->findChild<QLineEdit *>(), Qt::Key_Return);
    });
    QCOMPARE(dialog.showSave(QStringLiteral("保存"), documents), dir.filePath("last.Devov"));

    // The next showing starts at the last name; cancelling it must not keep that name.
    QString shownTitle;
    QString offeredName;
    answerModalLater([&](QWidget *modal) {
        shownTitle = modal->windowTitle();
        offeredName = modal->findChild<QLineEdit *>()->text();
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    const std::optional<QString> chosen = dialog.showSave(QStringLiteral("保存"), documents);
    QCOMPARE(shownTitle, QStringLiteral("保存"));
    QCOMPARE(offeredName, QStringLiteral("last.Devov"));
    QCOMPARE(chosen.value_or(QString()), QString());
}

void TestQtRuntime::acceptedDialogLeavesThePathAndMakesItsFolderCurrent() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("pages"));
    const QString typed = dir.filePath("pages/index");
    QtFileDialog dialog(nullptr);

    QStringList shownFilters;
    answerModalLater([&](QWidget *modal) {
        auto *fileDialog = qobject_cast<QFileDialog *>(modal);
        shownFilters = fileDialog->nameFilters();
        shownFilters.prepend(fileDialog->selectedNameFilter());
        fileDialog->findChild<QLineEdit *>()->setText(typed);
        QTest::keyClick(fileDialog->findChild<QLineEdit *>(), Qt::Key_Return);
    });
    const std::optional<QString> chosen =
        dialog.showSave(QStringLiteral("生成"), {{"(*.htm)", {"*.htm"}}, {"(*.html)", {"*.html"}}});

    QCOMPARE(chosen.value_or(QString()), typed);
    QCOMPARE(QDir(dialog.currentFolder().path()).canonicalPath(),
             QDir(dir.filePath("pages")).canonicalPath());
    QCOMPARE(shownFilters, (QStringList{"(*.htm)", "(*.htm)", "(*.html)"}));
}

void TestQtRuntime::dialogShowsPatternsRegardlessOfCase() {
    QTemporaryDir dir;
    writeBytes(dir.filePath("UPPER.HTM"), "x");
    writeBytes(dir.filePath("other.txt"), "x");
    QDir::setCurrent(dir.path());
    QtFileDialog dialog(nullptr);

    QStringList listed;
    answerModalLater([&](QWidget *modal) {
        auto *view = modal->findChild<QAbstractItemView *>(QStringLiteral("listView"));
        QTRY_VERIFY_WITH_TIMEOUT(view->model()->rowCount(view->rootIndex()) > 0, 5000);
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
            listed.append(view->model()->index(row, 0, view->rootIndex()).data().toString());
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    const std::optional<QString> chosen =
        dialog.showOpen(QStringLiteral("打开"), {{"(*.htm)", {"*.htm"}}});
    QCOMPARE(listed, QStringList{QStringLiteral("UPPER.HTM")});
    QCOMPARE(chosen.value_or(QString()), QString());
}

void TestQtRuntime::dialogDescribesFilesWithoutOpeningThem_data() {
    QTest::addColumn<bool>("askType");

    QTest::newRow("type") << true;
    QTest::newRow("icon") << false;
}

void TestQtRuntime::dialogDescribesFilesWithoutOpeningThem() {
#ifdef Q_OS_LINUX
    QFETCH(bool, askType);
    // Opening a file under a write lease waits until the lease is given up, as reading
    // /proc/kmsg waits for the next kernel message. The holder is told by SIGIO.
    std::signal(SIGIO, SIG_IGN);
    QTemporaryDir dir;
    const QString path = dir.filePath("kmsg");
    writeBytes(path, "x");
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    QCOMPARE(::fcntl(fd, F_SETLEASE, F_WRLCK), 0);
    std::thread release([fd] {
        std::this_thread::sleep_for(std::chrono::seconds(3)); // long enough, yet never forever
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        ::close(fd);
    });

    qint64 took = -1;
    QtFileDialog dialog(nullptr);
    answerModalLater([&](QWidget *modal) {
        const QAbstractFileIconProvider *icons = qobject_cast<QFileDialog *>(modal)->iconProvider();
        QElapsedTimer timer;
        timer.start();
        askType ? void(icons->type(QFileInfo(path))) : void(icons->icon(QFileInfo(path)));
        took = timer.elapsed();
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    dialog.showOpen({}, {});
    release.join();
    QVERIFY2(took < 1000, qPrintable(QStringLiteral("%1 ms").arg(took)));
#else
    QSKIP("needs Linux file leases");
#endif
}

void TestQtRuntime::dialogKeepsItsStateOffTheDisk() {
    QTemporaryDir first;
    QtFileDialog dialog(nullptr);
    dialog.currentFolder().enter(first.path());
    answerModalLater([](QWidget *modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    dialog.showOpen({}, {});
    dialog.currentFolder().enter(m_startFolder);
    QStringList history;
    answerModalLater([&](QWidget *modal) {
        // Windows lists the folders with backslashes.
        for (const QString &folder : qobject_cast<QFileDialog *>(modal)->history())
            history << QDir::fromNativeSeparators(folder);
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    dialog.showSave({}, {});

    QVERIFY2(history.contains(first.path()), qPrintable(history.join(u' ')));
    QCOMPARE(QDir(m_home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
    // On Windows the dialog saves into the registry, which this reads.
    QCOMPARE(QSettings(QSettings::UserScope, QStringLiteral("QtProject")).childGroups(),
             QStringList());
}

void TestQtRuntime::defaultBrowserIsGivenTheFile_data() {
    QTest::addColumn<QString>("program"); // in the home folder
    QTest::addColumn<QString>("fieldCodes");

    QTest::newRow("%U") << "browser"
                        << "%U";
    QTest::newRow("no field code") << "browser"
                                   << "";
    QTest::newRow("in a folder with a blank") << "my browser/run"
                                              << "%f";
}

// Through a desktop entry registered for text/html in the private XDG folders.
void TestQtRuntime::defaultBrowserIsGivenTheFile() {
#ifdef Q_OS_LINUX
    QFETCH(QString, program);
    QFETCH(QString, fieldCodes);
    const QString stub = m_home.filePath(program);
    const QString record = m_home.filePath("launched");
    const QString page = m_home.filePath(QStringLiteral("站点/Cs.htm"));
    QFile::remove(record);
    QVERIFY(QDir().mkpath(QFileInfo(stub).path()) && QDir().mkpath(QFileInfo(page).path()));
    writeBytes(page, "<p>x</p>\r\n");
    // Records what it was started as and given, whole once written.
    writeBytes(stub, QFile::encodeName(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > "
                                                      "'%1.part' && mv '%1.part' '%1'\n")
                                           .arg(record)));
    QVERIFY(QFile::setPermissions(stub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QDir().mkpath(m_home.filePath("XDG_DATA_HOME/applications")));
    writeBytes(m_home.filePath("XDG_DATA_HOME/applications/stub-browser.desktop"),
               "[Desktop Entry]\nType=Application\nName=Stub\nMimeType=text/html;\nExec=\"" +
                   QFile::encodeName(stub) + "\" " + fieldCodes.toUtf8() + '\n');
    QVERIFY(QDir().mkpath(m_home.filePath("XDG_CONFIG_HOME")));
    writeBytes(m_home.filePath("XDG_CONFIG_HOME/mimeapps.list"),
               "[Default Applications]\ntext/html=stub-browser.desktop\n");

    openInBrowser(page);
    QTRY_VERIFY(QFile::exists(record));
    QCOMPARE(readBytes(record), QFile::encodeName(stub + u'\n' + page + u'\n'));
#else
    QSKIP("desktop entries are Linux's");
#endif
}

class RememberingDialog : public QtFileDialog {
public:
    using QtFileDialog::QtFileDialog;
    using QtFileDialog::setLastName;
};

void TestQtRuntime::saveDialogOffersAnExtensionOfItsFilter_data() {
    QTest::addColumn<QString>("lastName");
    QTest::addColumn<FileFilters>("filters");
    QTest::addColumn<bool>("forSaving");
    QTest::addColumn<QString>("offered");

    const FileFilters pages{{"(*.htm)", {"*.htm"}}, {"(*.html)", {"*.html"}}};
    const FileFilters documents{{"(*.Devov)", {"*.Devov"}}};
    QTest::newRow("generate after opening a document")
        << QStringLiteral("旧文档.Devov") << pages << true << QStringLiteral("旧文档.htm");
    QTest::newRow("generate after generating")
        << QStringLiteral("页.HTML") << pages << true << QStringLiteral("页.HTML");
    QTest::newRow("save after generating")
        << QStringLiteral("v1.2.htm") << documents << true << QStringLiteral("v1.2.Devov");
    QTest::newRow("save after a name without extension")
        << QStringLiteral("笔记") << documents << true << QStringLiteral("笔记.Devov");
    QTest::newRow("open after saving")
        << QStringLiteral("旧文档.Devov") << pages << false << QStringLiteral("旧文档.Devov");
}

void TestQtRuntime::saveDialogOffersAnExtensionOfItsFilter() {
    QFETCH(QString, lastName);
    QFETCH(FileFilters, filters);
    QFETCH(bool, forSaving);
    QFETCH(QString, offered);
    QTemporaryDir dir;
    RememberingDialog dialog(nullptr);
    dialog.setLastName(dir.filePath(lastName));

    QString shown;
    answerModalLater([&](QWidget *modal) {
        shown = modal->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    forSaving ? dialog.showSave({}, filters) : dialog.showOpen({}, filters);
    QCOMPARE(shown, offered);
}

void TestQtRuntime::dialogsSpeakOnlyChinese_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("forSaving");

    for (const QString language : {"zh_CN.UTF-8", "C.UTF-8"}) {
        QTest::addRow("open, %s", qPrintable(language)) << language << false;
        QTest::addRow("save, %s", qPrintable(language)) << language << true;
    }
}

// Qt reads the desktop's language once, so each language gets a run of this program of its own.
bool runUnderLanguage(const QString &language) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (environment.value("LANG") == language && !environment.contains("LC_ALL"))
        return false;
    environment.insert("LANG", language);
    environment.remove("LC_ALL");
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("dialogsSpeakOnlyChinese:") + QTest::currentDataTag()});
    const bool passed = child.waitForFinished(60000) && child.exitCode() == 0;
    if (!passed)
        QTest::qFail(child.readAll().constData(), __FILE__, __LINE__);
    return true;
}

QStringList shownTexts(QFileDialog *dialog) {
    QStringList texts;
    for (const QLabel *label : dialog->findChildren<QLabel *>())
        texts << label->text();
    for (const QAbstractButton *button : dialog->findChildren<QAbstractButton *>())
        texts << button->text() << button->toolTip();
    for (const QAction *action : dialog->findChildren<QAction *>())
        texts << action->text();
    const auto *view = dialog->findChild<QTreeView *>(QStringLiteral("treeView"));
    const QAbstractItemModel *files = view->model();
    for (int column = 0; column < files->columnCount(view->rootIndex()); ++column) {
        texts << files->headerData(column, Qt::Horizontal).toString();
        // Column 0 holds the file names.
        for (int row = 0; column > 0 && row < files->rowCount(view->rootIndex()); ++row)
            texts << files->index(row, column, view->rootIndex()).data().toString();
    }
    return texts;
}

void TestQtRuntime::dialogsSpeakOnlyChinese() {
    QFETCH(QString, language);
    QFETCH(bool, forSaving);
    if (runUnderLanguage(language))
        return;
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("站点")));
    writeBytes(dir.filePath(QStringLiteral("旧文档.Devov")), QByteArray(42, 'x'));
    QDir::setCurrent(dir.path());
    QtFileDialog dialog(nullptr);
    const FileFilters documents{{"(*.Devov)", {"*.Devov"}}};

    QStringList texts;
    bool typesFit = false;
    answerModalLater([&](QWidget *modal) {
        auto *view = modal->findChild<QTreeView *>(QStringLiteral("treeView"));
        QTRY_COMPARE_WITH_TIMEOUT(view->model()->rowCount(view->rootIndex()), 2, 5000);
        texts = shownTexts(qobject_cast<QFileDialog *>(modal));
        // The view lays its columns out a moment after the rows arrive.
        typesFit = QTest::qWaitFor([view] {
            return view->header()->sectionSize(2) >=
                   static_cast<QAbstractItemView *>(view)->sizeHintForColumn(2);
        });
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    const QString title = QStringLiteral("打开");
    forSaving ? dialog.showSave(title, documents) : dialog.showOpen(title, documents);

    static const QRegularExpression latinWord(QStringLiteral("[A-Za-z]{2,}"));
    QStringList latin;
    for (QString text : std::as_const(texts)) {
        text.remove(QStringLiteral("Devov")); // the extension, which names the file type
        if (text.contains(latinWord))
            latin << text;
    }
    QVERIFY2(latin.isEmpty(), qPrintable(latin.join(QStringLiteral(" | "))));
    QVERIFY2(texts.contains(QStringLiteral("大小")), "the size column is not called 大小");
    QVERIFY2(typesFit, "the type column cuts its words");
}

QTEST_MAIN(TestQtRuntime)
#include "test_qt_runtime.moc"
