#include "document_edit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <algorithm>

namespace zariza {

namespace {

bool wouldEdit(const QKeyEvent &event) {
    static constexpr QKeySequence::StandardKey editingKeys[] = {
        QKeySequence::Paste,
        QKeySequence::Cut,
        QKeySequence::Undo,
        QKeySequence::Redo,
        QKeySequence::Delete,
        QKeySequence::Backspace,
        QKeySequence::DeleteEndOfWord,
        QKeySequence::DeleteStartOfWord,
        QKeySequence::DeleteEndOfLine,
        QKeySequence::DeleteCompleteLine,
        QKeySequence::InsertParagraphSeparator,
        QKeySequence::InsertLineSeparator};
    if (std::any_of(std::begin(editingKeys), std::end(editingKeys),
                    [&event](QKeySequence::StandardKey key) { return event.matches(key); }))
        return true;
    const QString text = event.text();
    return !text.isEmpty() && text.front().isPrint() &&
           !(event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

} // namespace

DocumentEdit::DocumentEdit(QWidget *parent) : QPlainTextEdit(parent) {}

void DocumentEdit::setContinuedBlocks(std::vector<int> blocks) {
    m_continuedBlocks = std::move(blocks);
}

void DocumentEdit::setEditAttemptHandler(std::function<void()> handler) {
    m_editAttempted = std::move(handler);
}

void DocumentEdit::setInsertHandler(std::function<bool(const QString &)> handler) {
    m_insert = std::move(handler);
}

bool DocumentEdit::isContinued(const QTextBlock &block) const {
    return std::binary_search(m_continuedBlocks.begin(), m_continuedBlocks.end(),
                              block.blockNumber());
}

// The selection as the user sees it: a line cut into blocks is copied whole.
QMimeData *DocumentEdit::createMimeDataFromSelection() const {
    if (m_continuedBlocks.empty())
        return QPlainTextEdit::createMimeDataFromSelection();
    const QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    QString text;
    for (QTextBlock block = document()->findBlock(start);
         block.isValid() && block.position() <= end; block = block.next()) {
        if (block.position() > start && !isContinued(block))
            text += u'\n';
        const int from = std::max(start - block.position(), 0);
        const int to = std::min(end - block.position(), block.length() - 1);
        text += block.text().mid(from, to - from);
    }
    text.replace(QChar::LineSeparator, u'\n');
    auto *data = new QMimeData;
    data->setText(text);
    return data;
}

bool DocumentEdit::canInsertFromMimeData(const QMimeData *source) const {
    return source && source->hasText();
}

// Qt 6.4's own version reads the first of source->formats() without looking, and a clipboard
// owner that offers nothing, refuses, or goes away between two requests leaves that list empty:
// the read crashes. The text is asked for once here, and nothing readable means nothing to do.
void DocumentEdit::insertFromMimeData(const QMimeData *source) {
    if (!source || isReadOnly())
        return;
    const QString text = source->text();
    if (text.isEmpty() || (m_insert && m_insert(text)))
        return;
    insertPlainText(text);
    ensureCursorVisible();
}

void DocumentEdit::keyPressEvent(QKeyEvent *event) {
    if (isReadOnly() && m_editAttempted && wouldEdit(*event))
        m_editAttempted();
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace zariza
