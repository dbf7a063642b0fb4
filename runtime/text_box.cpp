#include "text_box.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>

namespace zariza {

namespace {

// Hops from LF to LF with the vectorised search: only a stretch longer than `length` can hold
// a line that long, and only there do CRs need looking for.
bool hasLineLongerThan(QStringView text, qsizetype length) {
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0)
            end = text.size();
        if (end - start > length) {
            const QStringView stretch = text.sliced(start, end - start);
            for (qsizetype lineStart = 0;;) {
                const qsizetype lineEnd = stretch.indexOf(u'\r', lineStart);
                if ((lineEnd < 0 ? stretch.size() : lineEnd) - lineStart > length)
                    return true;
                if (lineEnd < 0)
                    break;
                lineStart = lineEnd + 1;
            }
        }
        start = end + 1;
    }
    return false;
}

// Bitwise rather than logical operators, so that a loop over it can be vectorised.
bool isLineBreak(char16_t code) {
    // the widget's paragraph, line and frame breaks, and LF for good measure
    return (code == QChar::ParagraphSeparator) | (code == QChar::LineSeparator) | (code == 0xFDD0) |
           (code == 0xFDD1) | (code == u'\n');
}

struct LineBreakCount {
    qsizetype all = 0;
    qsizetype paragraphs = 0; // the widget's block separators, the only breaks it usually has
};

LineBreakCount countLineBreaks(QStringView text) {
    LineBreakCount count;
    for (const QChar c : text) {
        count.all += isLineBreak(c.unicode());
        count.paragraphs += c == QChar::ParagraphSeparator;
    }
    return count;
}

} // namespace

PlainTextBox::PlainTextBox(QPlainTextEdit &edit)
    : m_edit(edit), m_usualLineWrapMode(edit.lineWrapMode()),
      m_usualWordWrapMode(edit.wordWrapMode()) {}

// The raw text, because toPlainText() also turns every no-break space into a plain one. The breaks
// are counted first, so that the conversion is one pass into a string of the final size; when
// they are all block separators, the text between them is found and copied whole.
QString PlainTextBox::text() const {
    const QString raw = m_edit.document()->toRawText();
    const LineBreakCount breaks = countLineBreaks(raw);
    if (breaks.all == 0)
        return raw;
    QString text(raw.size() + breaks.all, Qt::Uninitialized);
    QChar *out = text.data();
    if (breaks.all == breaks.paragraphs) {
        QStringView rest = raw;
        for (qsizetype end; (end = rest.indexOf(QChar::ParagraphSeparator)) >= 0;
             rest = rest.sliced(end + 1)) {
            out = std::copy_n(rest.data(), end, out);
            *out++ = u'\r';
            *out++ = u'\n';
        }
        std::copy(rest.begin(), rest.end(), out);
        return text;
    }
    for (const QChar c : raw) {
        if (isLineBreak(c.unicode())) {
            *out++ = u'\r';
            *out++ = u'\n';
        } else {
            *out++ = c;
        }
    }
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
