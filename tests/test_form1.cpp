#include "fake_runtime.h"
#include "form1.h"
#include "gb18030.h"
#include "test_files.h"

#include <QApplication>
#include <QClipboard>
#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QtTest>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace zariza;
using namespace zariza::testing;

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlsStandWhereTheyBelong_data();
    void controlsStandWhereTheyBelong();
    void windowHasItsCaptionAndSize();
    void buttonsCarryTheirCaptionsInTheSongFace_data();
    void buttonsCarryTheirCaptionsInTheSongFace();
    void startsWithTheTemplateAndTheCaretInTheTextBox();
    void tabGoesFromTheTextBoxToOpenFirst();
    void textBoxKeepsLinesAndNeverWraps();
    void textBoxSpeaksCrLf_data();
    void textBoxSpeaksCrLf();
    void controlsStayPutWhenTheWindowResizes();
    void eachButtonRunsItsCommand_data();
    void eachButtonRunsItsCommand();
    void untrappedFailureIsShownAndTheWindowGoesOn();
    void closingAsksAndEndsOnlyOnOk_data();
    void closingAsksAndEndsOnlyOnOk();
    void viewedDocumentIsOnlyViewedUntilEditingIsAgreed_data();
    void viewedDocumentIsOnlyViewedUntilEditingIsAgreed();
    void viewedLineIsCutBetweenCharacters_data();
    void viewedLineIsCutBetweenCharacters();
    void copyingAViewedLineLeavesTheCutsOut();
    void movingAboutAViewedLineAsksNothing();
    void pastingPutsTheTextAtTheCaret_data();
    void pastingPutsTheTextAtTheCaret();
    void openingWithoutMemoryForThePageKeepsTheDocument_data();
    void openingWithoutMemoryForThePageKeepsTheDocument();

private:
    QPlainTextEdit *text1() const { return m_form->findChild<QPlainTextEdit *>("Text1"); }

    std::unique_ptr<FakeRuntime> m_runtime;
    std::unique_ptr<Form1> m_form;
    QTemporaryDir m_dir;
};

void TestForm1::init() {
    m_runtime = std::make_unique<FakeRuntime>();
    m_runtime->folder.enter(m_dir.path());
    m_form = std::make_unique<Form1>(m_runtime.get());
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestForm1::cleanup() {
    m_form.reset();
    m_runtime.reset();
}

void TestForm1::controlsStandWhereTheyBelong_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");

    QTest::newRow("Text1") << "Text1" << QRect(120, 360, 5775, 3255);
    QTest::newRow("Label1") << "Label1" << QRect(120, 120, 570, 330);
    QTest::newRow("Command1") << "Command1" << QRect(1320, 3840, 975, 495);
    QTest::newRow("Command2") << "Command2" << QRect(2520, 3840, 975, 495);
    QTest::newRow("Command3") << "Command3" << QRect(3720, 3840, 975, 495);
    QTest::newRow("Command4") << "Command4" << QRect(120, 3840, 975, 495);
    QTest::newRow("Command5") << "Command5" << QRect(4920, 3840, 975, 495);
    QTest::newRow("Line3 (top)") << "Line3" << QRect(0, 0, 6000, 15);
    QTest::newRow("Line4 (left)") << "Line4" << QRect(0, 0, 15, 4680);
    QTest::newRow("Line2 (right)") << "Line2" << QRect(6000, 0, 15, 4680);
}

void TestForm1::controlsStandWhereTheyBelong() {
    QFETCH(QString, name);
    QFETCH(QRect, twips);

    auto *control = m_form->findChild<QWidget *>(name);
    QVERIFY(control);
    const QRect pixels(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
    QCOMPARE(control->geometry(), pixels);
}

void TestForm1::windowHasItsCaptionAndSize() {
    QCOMPARE(m_form->objectName(), QStringLiteral("Form1"));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Zariza编辑器"));
    QCOMPARE(m_form->size(), QSize(401, 303));
    QCOMPARE(m_form->findChild<QLabel *>("Label1")->text(), QStringLiteral(" Code "));
    // The labels size themselves to one line of text.
    for (const char *name : {"Label2", "Label3"}) {
        auto *label = m_form->findChild<QLabel *>(name);
        QVERIFY(!label->text().isEmpty());
        QCOMPARE(label->size(), label->sizeHint());
    }
    QCOMPARE(m_form->findChild<QLabel *>("Label2")->pos(), QPoint(96, 8));
    QCOMPARE(m_form->findChild<QLabel *>("Label3")->pos(), QPoint(216, 288));
    // The text box is drawn over the " Code " tab.
    const QList<QObject *> stacking = m_form->children();
    QVERIFY(stacking.indexOf(m_form->findChild<QLabel *>("Label1")) <
            stacking.indexOf(m_form->findChild<QPlainTextEdit *>("Text1")));
}

void TestForm1::buttonsCarryTheirCaptionsInTheSongFace_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");

    QTest::newRow("Command1") << "Command1" << QStringLiteral("打 开");
    QTest::newRow("Command2") << "Command2" << QStringLiteral("新 建");
    QTest::newRow("Command3") << "Command3" << QStringLiteral("保 存");
    QTest::newRow("Command4") << "Command4" << QStringLiteral("测 试");
    QTest::newRow("Command5") << "Command5" << QStringLiteral("生 成");
}

void TestForm1::buttonsCarryTheirCaptionsInTheSongFace() {
    QFETCH(QString, name);
    QFETCH(QString, caption);

    auto *button = m_form->findChild<QPushButton *>(name);
    QCOMPARE(button->text(), caption);
    const QFont font = button->font();
    QCOMPARE(font.family(), QStringLiteral("宋体"));
    QCOMPARE(font.pointSize(), 12);
    QCOMPARE(font.weight(), QFont::Normal);
    QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
    // No default button: Enter in the text box belongs to the text box.
    QVERIFY(!button->isDefault() && !button->autoDefault());
}

void TestForm1::startsWithTheTemplateAndTheCaretInTheTextBox() {
    QCOMPARE(m_form->text1().text(), QStringLiteral("<title>Zariza编辑器</title>\r\n"));
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QCOMPARE(QApplication::focusWidget(), m_form->findChild<QWidget *>("Text1"));
}

void TestForm1::tabGoesFromTheTextBoxToOpenFirst() {
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QStringList order{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(order, (QStringList{"Text1", "Command1", "Command2", "Command3", "Command4",
                                 "Command5", "Text1"}));
    QCOMPARE(m_form->text1().text(), QStringLiteral("<title>Zariza编辑器</title>\r\n"));
}

void TestForm1::textBoxKeepsLinesAndNeverWraps() {
    auto *text1 = m_form->findChild<QPlainTextEdit *>("Text1");
    QCOMPARE(text1->lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(text1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(!text1->isReadOnly());

    text1->setFocus();
    text1->moveCursor(QTextCursor::End);
    QTest::keyClicks(text1, QStringLiteral("<p>"));
    QTest::keyClick(text1, Qt::Key_Return);
    QTest::keyClicks(text1, QStringLiteral("x"));
    // Shift+Enter gives the widget's own line break, which is saved as a line end too.
    QTest::keyClick(text1, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(text1, QStringLiteral("y"));
    QCOMPARE(m_form->text1().text(),
             QStringLiteral("<title>Zariza编辑器</title>\r\n<p>\r\nx\r\ny"));
}

void TestForm1::textBoxSpeaksCrLf_data() {
    QTest::addColumn<QString>("document");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<bool>("viewOnly");

    QTest::newRow("CR LF lines") << QStringLiteral("a\r\nb\r\n\r\nc") << 4
                                 << QStringLiteral("a\r\nb\r\n\r\nc") << false;
    QTest::newRow("lone CR and LF become CR LF")
        << QStringLiteral("a\rb\nc") << 3 << QStringLiteral("a\r\nb\r\nc") << false;
    QTest::newRow("no-break space survives")
        << QStringLiteral("a&nbsp;\u00A0b") << 1 << QStringLiteral("a&nbsp;\u00A0b") << false;
    // Over four million characters, it goes in piece by piece and is read back fragment by
    // fragment, or whole where the lines are short.
    const QStringList many(52'501, QStringLiteral("<p>中文&nbsp;\u00A0</p>").repeated(5));
    QTest::newRow("large, lone LFs")
        << many.join(u'\n') << int(many.size()) << many.join(QStringLiteral("\r\n")) << false;
    const QStringList short_(262'501, QStringLiteral("<p>中文&nbsp;\u00A0</p>"));
    QTest::newRow("large, short lines")
        << short_.join(u'\n') << int(short_.size()) << short_.join(QStringLiteral("\r\n")) << false;
    // The widget's own breaks, kept as they were in a script's string.
    for (const char16_t mark : {u'\u2028', u'\u2029', u'\uFDD0', u'\uFDD1'}) {
        const QString page =
            QStringLiteral("<script>s='") + QChar(mark) + QStringLiteral("';</script>\r\nx");
        QTest::addRow("U+%04X kept", unsigned(mark))
            << page << (mark == u'\u2028' ? 2 : 3) << page << true;
    }
}

void TestForm1::textBoxSpeaksCrLf() {
    QFETCH(QString, document);
    QFETCH(int, lines);
    QFETCH(QString, readBack);
    QFETCH(bool, viewOnly);

    auto *text1 = m_form->findChild<QPlainTextEdit *>("Text1");
    m_form->text1().setText(document);
    QCOMPARE(text1->blockCount(), lines);
    QVERIFY(!text1->toPlainText().contains(u'\r'));
    QCOMPARE(m_form->text1().text(), readBack);
    QCOMPARE(text1->isReadOnly(), viewOnly);
    QCOMPARE(text1->lineWrapMode(), QPlainTextEdit::NoWrap);
}

void TestForm1::controlsStayPutWhenTheWindowResizes() {
    QList<QRect> before;
    const QList<QWidget *> controls = m_form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *control : controls)
        before.append(control->geometry());
    m_form->resize(700, 500);
    QTest::qWait(20);
    for (qsizetype i = 0; i < controls.size(); ++i)
        QCOMPARE(controls[i]->geometry(), before[i]);
}

void TestForm1::eachButtonRunsItsCommand_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("firstQuestion");
    QTest::addColumn<QString>("dialogTitle");
    QTest::addColumn<int>("launches");
    // 0: clicked with the mouse; otherwise pressed by this key while it has the focus.
    QTest::addColumn<int>("key");

    QTest::newRow("打 开") << "Command1" << QStringLiteral("将清除原有代码确认打开？") << QString()
                           << 0 << 0;
    QTest::newRow("新 建") << "Command2" << QStringLiteral("将清除原有代码确认新建？") << QString()
                           << 0 << 0;
    QTest::newRow("保 存") << "Command3" << QString() << QStringLiteral("保存") << 0 << 0;
    QTest::newRow("测 试") << "Command4" << QString() << QString() << 1 << 0;
    QTest::newRow("生 成") << "Command5" << QString() << QStringLiteral("生成") << 0 << 0;
    QTest::newRow("生 成 by Enter")
        << "Command5" << QString() << QStringLiteral("生成") << 0 << int(Qt::Key_Return);
    QTest::newRow("打 开 by the keypad's Enter")
        << "Command1" << QStringLiteral("将清除原有代码确认打开？") << QString() << 0
        << int(Qt::Key_Enter);
    QTest::newRow("测 试 by Space")
        << "Command4" << QString() << QString() << 1 << int(Qt::Key_Space);
}

void TestForm1::eachButtonRunsItsCommand() {
    QFETCH(QString, button);
    QFETCH(QString, firstQuestion);
    QFETCH(QString, dialogTitle);
    QFETCH(int, launches);
    QFETCH(int, key);

    m_runtime->answers = {Answer::Cancel};
    m_runtime->dialog.names = {QString()};
    auto *pressed = m_form->findChild<QPushButton *>(button);
    if (key) {
        pressed->setFocus();
        QTest::keyClick(pressed, Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    } else {
        QTest::mouseClick(pressed, Qt::LeftButton);
    }

    QCOMPARE(m_runtime->boxes.isEmpty() ? QString() : m_runtime->boxes[0].prompt, firstQuestion);
    QCOMPARE(m_runtime->dialog.shown.isEmpty() ? QString() : m_runtime->dialog.shown[0].title,
             dialogTitle);
    QCOMPARE(m_runtime->launched.size(), launches);
}

void TestForm1::untrappedFailureIsShownAndTheWindowGoesOn() {
    // The dialog fails before the command can trap anything.
    m_runtime->dialog.names.clear();
    QTest::mouseClick(m_form->findChild<QPushButton *>("Command3"), Qt::LeftButton);

    QCOMPARE(m_runtime->boxes.size(), 1);
    QCOMPARE(m_runtime->boxes[0].kind, BoxKind::Failure);
    QCOMPARE(m_runtime->boxes[0].title, QStringLiteral("Zariza编辑器"));
    QVERIFY(m_runtime->boxes[0].prompt.startsWith(QStringLiteral("运行时错误：")));
    QVERIFY(m_form->isVisible());
    QCOMPARE(m_runtime->endCalls, 0);
}

void TestForm1::closingAsksAndEndsOnlyOnOk_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("closed");

    QTest::newRow("OK ends the program") << Answer::Ok << true;
    QTest::newRow("Cancel keeps the window") << Answer::Cancel << false;
}

void TestForm1::closingAsksAndEndsOnlyOnOk() {
    QFETCH(Answer, answer);
    QFETCH(bool, closed);

    m_form->text1().setText(QStringLiteral("unsaved"));
    m_runtime->answers = {answer};
    QCOMPARE(m_form->close(), closed);

    QCOMPARE(m_runtime->boxes.size(), 1);
    QCOMPARE(m_runtime->boxes[0], (FakeRuntime::MsgBox{QStringLiteral("确认退出？"),
                                                       BoxKind::Question, QStringLiteral("提示")}));
    QCOMPARE(m_runtime->endCalls, closed ? 1 : 0);
    QCOMPARE(m_form->isVisible(), !closed);
    QCOMPARE(m_form->text1().text(), QStringLiteral("unsaved"));
}

namespace {

constexpr qsizetype pieceLength = PlainTextBox::viewPieceLength;

// A minified page: one line three times the longest one shown as it is, then a short line.
QString pageWithALongLine() {
    return QStringLiteral("<p>") + QString(3 * PlainTextBox::longLineLength, u'页') +
           QStringLiteral("</p>\r\n<p>end</p>");
}

} // namespace

void TestForm1::viewedDocumentIsOnlyViewedUntilEditingIsAgreed_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<QString>("edited"); // the text after typing z; empty while only viewed

    const QString longLines = QStringLiteral("这个文件有很长的行，现在只供查看。确认编辑？\n"
                                             "编辑很长的行时，每按一次键都可能要等几秒。");
    const QString breaks =
        QStringLiteral("这个文件含有特殊的分行字符（U+2028、U+2029 等），现在只供查看。确认编辑？\n"
                       "编辑后这些字符会变成换行。");
    const Answer ok = Answer::Ok;
    const Answer cancel = Answer::Cancel;
    const QString page = pageWithALongLine();
    // z goes 10 characters into the third block: the third piece, two cuts past the start.
    const QString typedIntoPage = QString(page).insert(int(2 * pieceLength + 10), u'z');
    const QString script = QStringLiteral("<p>一\u2028二</p>\u2029<p>三</p>\r\n<script>s = "
                                          "'\u2028';</script>");

    QTest::newRow("long line, cancelled")
        << page << QList{cancel} << QStringList{longLines} << QString();
    QTest::newRow("long line, agreed")
        << page << QList{ok} << QStringList{longLines} << typedIntoPage;
    QTest::newRow("special breaks, cancelled")
        << script << QList{cancel} << QStringList{breaks} << QString();
    QTest::newRow("special breaks, agreed")
        << script << QList{ok} << QStringList{breaks}
        << QStringLiteral("<p>一\r\n二</p>\r\n<p>三</p>\r\n<script>s z= '\r\n';</script>");
    QTest::newRow("both, agreed to each")
        << page + QStringLiteral("\u2028x") << QList{ok, ok} << QStringList{longLines, breaks}
        << typedIntoPage + QStringLiteral("\r\nx");
}

void TestForm1::viewedDocumentIsOnlyViewedUntilEditingIsAgreed() {
    QFETCH(QString, page);
    QFETCH(QList<Answer>, answers);
    QFETCH(QStringList, questions);
    QFETCH(QString, edited);

    const auto wrapMode = page.size() > PlainTextBox::longLineLength ? QPlainTextEdit::WidgetWidth
                                                                     : QPlainTextEdit::NoWrap;
    m_form->text1().setText(page);
    QVERIFY(text1()->isReadOnly());
    QCOMPARE(text1()->lineWrapMode(), wrapMode);
    QCOMPARE(m_form->text1().text(), page);
    QTextCursor cursor(text1()->document()->findBlockByNumber(2));
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 10);
    text1()->setTextCursor(cursor);

    m_runtime->answers.assign(answers.begin(), answers.end());
    QTest::keyClick(text1(), Qt::Key_Z);

    QStringList asked;
    for (const FakeRuntime::MsgBox &box : std::as_const(m_runtime->boxes)) {
        QCOMPARE(box.kind, BoxKind::Question);
        QCOMPARE(box.title, QStringLiteral("提示"));
        asked.append(box.prompt);
    }
    QCOMPARE(asked, questions);
    QCOMPARE(text1()->isReadOnly(), edited.isEmpty());
    QCOMPARE(text1()->lineWrapMode(), wrapMode);
    QCOMPARE(m_form->text1().text(), edited.isEmpty() ? page : edited);
}

void TestForm1::viewedLineIsCutBetweenCharacters_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("pieceEnd");

    // A surrogate pair straddles every multiple of the piece length.
    QTest::newRow("pairs across the piece length")
        << QStringLiteral("x") + QStringLiteral("\U0001F600").repeated(PlainTextBox::longLineLength)
        << QStringLiteral("x");
    QTest::newRow("tags near the piece length")
        << QStringLiteral("<b>").append(QString(pieceLength - 100, u'a')).repeated(64)
        << QStringLiteral(">");
}

// Pieces end at a whole character, after a tag where one ends close enough.
void TestForm1::viewedLineIsCutBetweenCharacters() {
    QFETCH(QString, line);
    QFETCH(QString, pieceEnd);

    m_form->text1().setText(line);
    QTextBlock block = text1()->document()->firstBlock();
    QVERIFY(block.next().isValid());
    for (; block.next().isValid(); block = block.next()) {
        const QString piece = block.text();
        QVERIFY(piece.size() <= pieceLength);
        QVERIFY2(!piece.back().isHighSurrogate(), qPrintable(QString::number(block.blockNumber())));
        if (pieceEnd == u">")
            QVERIFY(piece.endsWith(pieceEnd));
    }
    QCOMPARE(m_form->text1().text(), line);
}

void TestForm1::copyingAViewedLineLeavesTheCutsOut() {
    const QString page = pageWithALongLine();
    m_form->text1().setText(page);
    // From inside the first piece to inside the last line.
    QTextCursor cursor(text1()->document());
    cursor.setPosition(1);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, 2);
    text1()->setTextCursor(cursor);
    text1()->copy();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QString(page).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).mid(1).chopped(2));
}

void TestForm1::movingAboutAViewedLineAsksNothing() {
    m_form->text1().setText(pageWithALongLine());
    for (const QKeySequence &keys :
         {QKeySequence(Qt::Key_PageDown), QKeySequence(Qt::Key_Right), QKeySequence(Qt::Key_End),
          QKeySequence(QKeySequence::Copy), QKeySequence(QKeySequence::SelectAll)})
        QTest::keySequence(text1(), keys);
    QVERIFY(m_runtime->boxes.isEmpty());
    QVERIFY(text1()->isReadOnly());
}

// A line of megabytes, or megabytes of lines, go in as on opening; the text is what typing it
// would give, the widget's breaks written as CR LF.
void TestForm1::pastingPutsTheTextAtTheCaret_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to"); // the selection pasted over
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("document"); // pasted into "ab\r\ncd"
    QTest::addColumn<bool>("viewOnly");

    const QString line(3 * PlainTextBox::longLineLength, u'x');
    const QString lines = QStringLiteral("<p>中\u2029文\r</p>\u2028\n").repeated(1 << 17);
    const QString linesCrLf = QString(lines)
                                  .replace(QChar(0x2029), u'\n')
                                  .replace(QChar(0x2028), u'\n')
                                  .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                  .replace(u'\r', u'\n')
                                  .replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    QTest::newRow("short") << 1 << 1 << QStringLiteral("x\ny") << QStringLiteral("ax\r\nyb\r\ncd")
                           << false;
    QTest::newRow("a long line, shown for viewing")
        << 4 << 4 << line << QStringLiteral("ab\r\nc") + line + u'd' << true;
    QTest::newRow("megabytes of lines over a selection")
        << 1 << 4 << lines << u'a' + linesCrLf + u'd' << false;
}

void TestForm1::pastingPutsTheTextAtTheCaret() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, pasted);
    QFETCH(QString, document);
    QFETCH(bool, viewOnly);

    m_form->text1().setText(QStringLiteral("ab\r\ncd"));
    QTextCursor selection(text1()->document());
    selection.setPosition(from);
    selection.setPosition(to, QTextCursor::KeepAnchor);
    text1()->setTextCursor(selection);
    QGuiApplication::clipboard()->setText(pasted);
    text1()->paste();
    QCOMPARE(m_form->text1().text(), document);
    QCOMPARE(text1()->isReadOnly(), viewOnly);
    const int caret = text1()->textCursor().position();
    // Between the end of the paste and what followed the selection.
    QCOMPARE(text1()->document()->characterAt(caret), QStringLiteral("ab\u2029cd").at(to));
    QCOMPARE(text1()->document()->characterAt(caret - 1),
             pasted.back() == u'\n' ? QChar(QChar::ParagraphSeparator) : pasted.back());
}

#ifdef Q_OS_LINUX
namespace {

qint64 mappedBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').front().toLongLong() * sysconf(_SC_PAGESIZE);
}

bool writeSystemFile(const QByteArray &path, const QByteArray &value) {
    const int file = open(path, O_WRONLY | O_CLOEXEC);
    const bool written = file >= 0 && write(file, value.constData(), value.size()) == value.size();
    close(file);
    return written;
}

// A memory control group below this process's: version 1 where that is mounted, else version 2.
QByteArray newMemoryGroup() {
    QFile own(QStringLiteral("/proc/self/cgroup"));
    own.open(QIODevice::ReadOnly);
    const QByteArray groups = own.readAll();
    const qsizetype v1 = groups.indexOf(":memory:");
    const QByteArray base = v1 >= 0 ? "/sys/fs/cgroup/memory" + groups.mid(v1 + 8)
                                    : "/sys/fs/cgroup" + groups.mid(groups.indexOf("0::") + 3);
    return base.left(base.indexOf('\n')) + "/zariza-test-" + QByteArray::number(getpid());
}

// Opens the file in a forked child that may map only `headroom` bytes more, or use only that
// much in a memory control group, so that running out of memory, or crashing, ends the child and
// not the test. Returns the boxes shown and the document left, or nothing when the child did not
// end well.
std::optional<std::pair<QStringList, QString>> openConfined(Form1 &form, FakeRuntime &runtime,
                                                            const QString &path, qint64 headroom,
                                                            const QByteArray &group) {
    int fds[2];
    if (pipe(fds) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = rlim_t(mappedBytes() + headroom);
        if (group.isEmpty())
            setrlimit(RLIMIT_AS, &limit);
        else if (!writeSystemFile(group + (group.contains("/memory/") ? "/memory.limit_in_bytes"
                                                                      : "/memory.max"),
                                  QByteArray::number(headroom)) ||
                 !writeSystemFile(group + "/cgroup.procs", "0"))
            _exit(3);
        runtime.answers = {Answer::Ok};
        runtime.dialog.names = {path};
        // Painting while a large document goes in would wait for the painting threads, which
        // a forked child does not have.
        form.hide();
        form.findChild<QPushButton *>("Command1")->click();
        QStringList prompts;
        for (const FakeRuntime::MsgBox &box : std::as_const(runtime.boxes))
            prompts.append(box.prompt);
        QByteArray report;
        QDataStream out(&report, QIODevice::WriteOnly);
        out << prompts << form.text1().text();
        for (qsizetype sent = 0, n; sent < report.size(); sent += n) {
            if ((n = write(fds[1], report.constData() + sent, size_t(report.size() - sent))) <= 0)
                _exit(1);
        }
        _exit(0);
    }
    close(fds[1]);
    QFile reply;
    reply.open(fds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QByteArray report = reply.readAll();
    int status = 0;
    waitpid(child, &status, 0);
    std::pair<QStringList, QString> outcome;
    QDataStream in(report);
    in >> outcome.first >> outcome.second;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || in.status() != QDataStream::Ok)
        return std::nullopt;
    return outcome;
}

} // namespace
#endif

void TestForm1::openingWithoutMemoryForThePageKeepsTheDocument_data() {
    QTest::addColumn<int>("pageMiB");
    QTest::addColumn<int>("headroomMiB");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("inControlGroup"); // else below an address-space limit

    QTest::newRow("no room to read the file") << 50 << 40 << false << false;
    QTest::newRow("room to read it, not to show it") << 50 << 200 << false << false;
    QTest::newRow("room enough") << 1 << 200 << true << false;
    QTest::newRow("control group: no room to read the file") << 50 << 40 << false << true;
    QTest::newRow("control group: room to read it, not to show it") << 50 << 200 << false << true;
    QTest::newRow("control group: room enough") << 1 << 200 << true << true;
}

void TestForm1::openingWithoutMemoryForThePageKeepsTheDocument() {
#ifdef ZARIZA_ALLOCATION_FAILURE_ENDS_PROCESS
    QSKIP("AddressSanitizer ends the process on a failed allocation");
#endif
#ifdef Q_OS_LINUX
    QFETCH(int, pageMiB);
    QFETCH(int, headroomMiB);
    QFETCH(bool, opens);
    QFETCH(bool, inControlGroup);
    const QByteArray group = inControlGroup ? newMemoryGroup() : QByteArray();
    if (!group.isEmpty() && mkdir(group, 0755) != 0)
        QSKIP(qPrintable("cannot make the memory control group " + group + ": " + strerror(errno)));
    const auto removeGroup = qScopeGuard([&group] { rmdir(group); });

    const QString line = QStringLiteral("<p>编辑器的页面，一行一行地写下去。</p>\r\n");
    const qsizetype lines = (qsizetype(pageMiB) << 20) / encodeGbk(line).size();
    const QString path = m_dir.filePath(QStringLiteral("page.htm"));
    writeBytes(path, encodeGbk(line).repeated(lines));
    const QString before = m_form->text1().text();

    const auto outcome = openConfined(*m_form, *m_runtime, path, qint64(headroomMiB) << 20, group);
    QVERIFY2(outcome, "the child crashed or could not report");
    QStringList prompts{QStringLiteral("将清除原有代码确认打开？")};
    if (!opens)
        prompts.append(QStringLiteral("文件打开失败！\n") + path + QStringLiteral("：内存不足"));
    QCOMPARE(outcome->first, prompts);
    QVERIFY(outcome->second == (opens ? line.repeated(lines).chopped(2) : before));
#else
    QSKIP("needs an address-space limit");
#endif
}

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
