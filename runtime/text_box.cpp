#include "text_box.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

namespace zariza {

namespace {

bool hasLineLongerThan(QStringView text, qsizetype length) {
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n')
            lineStart = i + 1;
        else if (i - lineStart >= length)
            return true;
    }
    return false;
}

} // namespace

PlainTextBox::PlainTextBox(QPlainTextEdit &edit)
    : m_edit(edit), m_usualLineWrapMode(edit.lineWrapMode()),
      m_usualWordWrapMode(edit.wordWrapMode()) {}

// One pass into a string of the final size, copying the text between line ends whole.
// (QString::replace would grow the string and move its tail once per thousand line ends, which
// is quadratic in a large document.)
QString PlainTextBox::text() const {
    // The raw text, because toPlainText() also turns every no-break space into a plain one.
    QString plain = m_edit.document()->toRawText();
    for (QChar &c : plain) {
        const char16_t code = c.unicode();
        if (code == QChar::ParagraphSeparator || code == QChar::LineSeparator || code == 0xFDD0 ||
            code == 0xFDD1) // the widget's paragraph, line and frame breaks
            c = u'\n';
    }
    QString text(plain.size() + plain.count(u'\n'), Qt::Uninitialized);
    QChar *out = text.data();
    QStringView rest = plain;
    for (qsizetype lineEnd; (lineEnd = rest.indexOf(u'\n')) >= 0; rest = rest.sliced(lineEnd + 1)) {
        out = std::copy_n(rest.data(), lineEnd, out);
        *out++ = u'\r';
        *out++ = u'\n';
    }
    std::copy(rest.begin(), rest.end(), out);
    return text;
}

// The widget starts a new line at CR LF, LF and CR alike, so the text goes in unconverted: a
// converted copy of a large document would cost as much again as the widget's own.
void PlainTextBox::setText(const QString &text) {
    const bool wrap = hasLineLongerThan(text, longLineLength);
    const auto lineWrapMode =
        wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::LineWrapMode(m_usualLineWrapMode);
    if (lineWrapMode != m_edit.lineWrapMode()) {
        // Emptied first, or the old document would be laid out again in the new mode.
        m_edit.clear();
        m_edit.setLineWrapMode(lineWrapMode);
        m_edit.setWordWrapMode(wrap ? QTextOption::WrapAnywhere
                                    : QTextOption::WrapMode(m_usualWordWrapMode));
    }
    m_edit.setPlainText(text);
    if (!wrap)
        return;
    for (QTextBlock block = m_edit.document()->firstBlock(); block.isValid();
         block = block.next()) {
        if (block.length() > longLineLength)
            block.layout()->setCacheEnabled(true);
    }
}

} // namespace zariza
