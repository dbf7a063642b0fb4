#include "document_edit.h"
#include "floors.h"
#include "plain_text_box.h"
#include "sample_documents.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QtTest>
#include <functional>
#include <limits>

using namespace zariza;
using namespace zariza::perf;

namespace {

constexpr qsizetype limit = PlainTextBox::longLineLength;

// The best time of a few jumps from the start to the end of the document, each with its repaint.
qint64 bestJumpToEnd(QPlainTextEdit &edit) {
    qint64 best = std::numeric_limits<qint64>::max();
    for (int run = 0; run < 3; ++run) {
        edit.moveCursor(QTextCursor::Start);
        edit.grab();
        QElapsedTimer timer;
        timer.start();
        edit.moveCursor(QTextCursor::End);
        edit.grab();
        best = std::min(best, timer.nsecsElapsed());
    }
    return best;
}

// The time to hand the widget a document and paint it.
qint64 timeToShow(QWidget &edit, const std::function<void()> &setText) {
    QElapsedTimer timer;
    timer.start();
    setText();
    edit.grab();
    return timer.nsecsElapsed();
}

// The editor's text box and a plain widget set up the same way, both shown.
struct SideBySide {
    SideBySide() : text1(setUpLikeText1(editorEdit)) {
        configureLikeText1(floorEdit);
        editorEdit.show();
        floorEdit.show();
    }

    DocumentEdit editorEdit;
    PlainTextBox text1;
    QPlainTextEdit floorEdit;
};

} // namespace

class TestLongLines : public QObject {
    Q_OBJECT

private slots:
    void wrapsOnlyDocumentsWithAnOverlongLine_data();
    void wrapsOnlyDocumentsWithAnOverlongLine();
    void overlongLineScrollsWithoutLayingItOutAgain();
    void overlongLineOpensWithoutLayingItOutWhole();
};

void TestLongLines::wrapsOnlyDocumentsWithAnOverlongLine_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("wrapped");

    const QString full = QString(limit, u'a');
    QTest::newRow("short lines") << QStringLiteral("<p>\r\n</p>\r\n") << false;
    QTest::newRow("a line just at the limit") << full + QStringLiteral("\r\nb") << false;
    QTest::newRow("many lines, none too long")
        << (QString(limit / 2, u'a') + QStringLiteral("\r\n")).repeated(8) << false;
    QTest::newRow("a line one past the limit") << full + QStringLiteral("a\r\nb") << true;
    QTest::newRow("an overlong last line")
        << QStringLiteral("x\r\n") + QString(limit + 1, QChar(u'中')) << true;
    QTest::newRow("lines split by lone CRs only")
        << full + QStringLiteral("\r") + full + QStringLiteral("\r") + full << false;
    QTest::newRow("an overlong line after a lone CR")
        << full + QStringLiteral("\r") + full + QStringLiteral("a\nb") << true;
}

void TestLongLines::wrapsOnlyDocumentsWithAnOverlongLine() {
    QFETCH(QString, text);
    QFETCH(bool, wrapped);

    DocumentEdit edit;
    PlainTextBox text1(setUpLikeText1(edit));
    text1.setText(text);

    QCOMPARE(edit.lineWrapMode(), wrapped ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    // Every line end comes back as CR LF.
    QString crLf = text;
    crLf.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QCOMPARE(text1.text(), crLf.replace(u'\n', QStringLiteral("\r\n")));
    // The next ordinary document is shown the usual way again.
    text1.setText(QStringLiteral("<p>"));
    QCOMPARE(edit.lineWrapMode(), QPlainTextEdit::NoWrap);
    QCOMPARE(text1.text(), QStringLiteral("<p>"));
}

void TestLongLines::overlongLineScrollsWithoutLayingItOutAgain() {
    const QString page = QString::fromUtf8(sampleDocument(SampleKind::Utf8SingleLine, 256 * 1024));
    SideBySide boxes;
    boxes.text1.setText(page);
    boxes.floorEdit.setPlainText(page);

    const qint64 editor = bestJumpToEnd(boxes.editorEdit);
    const qint64 floor = bestJumpToEnd(boxes.floorEdit);

    qInfo("jump to the end of a 256 KB line: %.1f ms; unwrapped, as the widget is set up: %.1f ms",
          editor / 1e6, floor / 1e6);
    QVERIFY2(editor * 3 <= floor, "the long line is laid out again at every repaint");
}

void TestLongLines::overlongLineOpensWithoutLayingItOutWhole() {
    const QString page = QString::fromUtf8(sampleDocument(SampleKind::Utf8SingleLine, 1 << 20));
    SideBySide boxes;

    const qint64 editor = timeToShow(boxes.editorEdit, [&] { boxes.text1.setText(page); });
    const qint64 floor = timeToShow(boxes.floorEdit, [&] { boxes.floorEdit.setPlainText(page); });

    qInfo("show a 1 MB line: %.1f ms; whole, as the widget would: %.1f ms", editor / 1e6,
          floor / 1e6);
    QVERIFY2(editor * 5 <= floor, "the long line is laid out whole");
    QCOMPARE(boxes.text1.text(), page);
}

QTEST_MAIN(TestLongLines)
#include "test_long_lines.moc"
