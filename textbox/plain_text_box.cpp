#include "plain_text_box.h"

#include "document_edit.h"
#include "large_buffers.h"
#include "line_ends.h"
#include "memory_room.h"
#include "piecewise_loading.h"
#include "stored_text.h"
#include "view_cutting.h"
#include "widget_breaks.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <utility>
#include <vector>

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

// Bitwise rather than logical operators, so that the loops over them are vectorised: one pass
// over a 16 MB page instead of a search for each character takes half the time or less.
char16_t isWidgetBreak(char16_t code) {
    return (code == widgetBreaks[0]) | (code == widgetBreaks[1]) | (code == widgetBreaks[2]) |
           (code == widgetBreaks[3]);
}

// A CR followed by LF ends no block: the LF does.
int startsNewBlock(char16_t code, char16_t next) {
    return endsBlock(code) & int((code != u'\r') | (next != u'\n'));
}

bool hasWidgetBreaks(QStringView text) {
    const char16_t *code = text.utf16();
    char16_t found = 0;
    for (qsizetype at = 0; at < text.size(); ++at)
        found |= isWidgetBreak(code[at]);
    return found != 0;
}

// The blocks the widget makes of a text, CR LF counted once.
qsizetype countBlocks(QStringView text) {
    const char16_t *code = text.utf16();
    const qsizetype last = text.size() - 1;
    qsizetype blocks = 1;
    for (qsizetype at = 0; at < last; ++at)
        blocks += startsNewBlock(code[at], code[at + 1]);
    if (last >= 0)
        blocks += startsNewBlock(code[last], 0);
    return blocks;
}

// What setText costs at most, with a margin: the address space at the peak, found by lowering
// RLIMIT_AS until it failed, and the growth of the resident set. Measured on Chinese pages of
// 1 to 60 MB, about 110 characters a line (10-11 bytes a character at most), and on files of
// a million lines or more of a few characters (up to 260 bytes a line, just past a doubling of
// the widget's tables).
struct LoadCost {
    qint64 perCharacter;
    qint64 perBlock;
};
constexpr LoadCost addressSpaceCost{12, 280};
constexpr LoadCost residentCost{5, 150};
// A paste longer than this goes in as a document does on opening (see insertLargeText).
constexpr qsizetype largeInsertLength = 1 << 20;
// A text kept for viewing is handed over in slices of this many characters, so that the window can
// be repainted in between.
constexpr qsizetype sliceLength = 1 << 20;
// For laying out and painting the first screen, and for a message box should it fail.
constexpr qint64 spareBytes = 16 << 20;

void takeInSlices(QStringView text, const std::function<void(QStringView)> &take,
                  QElapsedTimer &sinceRepaint) {
    for (; text.size() > sliceLength; text = text.sliced(sliceLength)) {
        take(text.first(sliceLength));
        repaintWhenDue(sinceRepaint);
    }
    take(text);
}

// Every break the widget would make of a pasted text, as CR LF: the text it would save.
QString withCrLfBreaksOnly(QString text) {
    for (const char16_t mark : widgetBreaks)
        text.replace(QChar(mark), u'\n');
    return withCrLfLineEnds(std::move(text));
}

} // namespace

PlainTextBox::PlainTextBox(DocumentEdit &edit)
    : m_edit(edit), m_usualLineWrapMode(edit.lineWrapMode()),
      m_usualWordWrapMode(edit.wordWrapMode()) {
    m_edit.setEditAttemptHandler([this] { startEditing(); });
    m_edit.setInsertHandler([this](const QString &text) { return insertLargeText(text); });
}

void PlainTextBox::setEditingConfirmation(std::function<bool(ViewOnlyReason)> confirm) {
    m_confirmEditing = std::move(confirm);
}

namespace {

// Tight where `need` would take more than half of what is left.
TextBox::Room roomWithin(qint64 need, std::optional<qint64> left) {
    if (!left || 2 * need <= *left)
        return TextBox::Room::Enough;
    return need <= *left ? TextBox::Room::Tight : TextBox::Room::Lacking;
}

} // namespace

// Cut pieces count as blocks of their own.
TextBox::Room PlainTextBox::roomFor(QStringView text) const {
    const qint64 blocks = countBlocks(text) + text.size() / viewPieceLength;
    const auto need = [&](LoadCost cost) {
        return text.size() * cost.perCharacter + blocks * cost.perBlock + spareBytes;
    };
    const MemoryRoom left = memoryRoom();
    return std::max({roomWithin(need(addressSpaceCost), left.addressSpace),
                     roomWithin(need(addressSpaceCost), left.dataSegment),
                     roomWithin(need(residentCost), left.available),
                     roomWithin(need(residentCost), left.controlGroup)});
}

// The file's bytes and their text, at most one character of two bytes a byte. Only where the
// kernel ends the process instead of failing an allocation: elsewhere reading fails cleanly.
TextBox::Room PlainTextBox::roomToRead(qint64 fileBytes) const {
    const qint64 need = 3 * fileBytes + spareBytes;
    const MemoryRoom left = memoryRoom();
    return std::max(roomWithin(need, left.available), roomWithin(need, left.controlGroup));
}

// The raw text with CR LF line ends, because toPlainText() also turns every no-break space into a
// plain one. It is read where the document keeps it, without a copy; the window is repainted
// meanwhile, as while loading: the text cannot change, since keys and clicks wait.
void PlainTextBox::readText(const std::function<void(QStringView)> &take) const {
    QElapsedTimer sinceRepaint;
    sinceRepaint.start();
    if (m_viewedText) {
        takeInSlices(*m_viewedText, take, sinceRepaint);
        return;
    }
    int pieces = 0;
    readStoredText(*m_edit.document(), [&](QStringView stored) {
        takeWithCrLfBreaks(stored, take);
        if (++pieces % 1024 == 0)
            repaintWhenDue(sinceRepaint);
    });
}

QString PlainTextBox::text() const {
    if (m_viewedText)
        return *m_viewedText;
    const QTextDocument *document = m_edit.document();
    // Every block but the last ends in CR LF, one character more than its separator.
    QString text = largeString(document->characterCount() + document->blockCount() - 2);
    readText([&text](QStringView piece) { text.append(piece); });
    return text;
}

// The widget starts a new line at CR LF, LF and CR alike, so the text goes in unconverted: a
// converted copy of a large document would cost as much again as the widget's own.
void PlainTextBox::setText(QString text) {
    const bool longLines = hasLineLongerThan(text, longLineLength);
    const bool widgetBreaks = hasWidgetBreaks(text);
    if (!longLines && !widgetBreaks) {
        showForEditing(std::move(text), false);
        return;
    }
    m_viewedBecause.clear();
    if (longLines)
        m_viewedBecause.push_back(ViewOnlyReason::LongLines);
    if (widgetBreaks)
        m_viewedBecause.push_back(ViewOnlyReason::SpecialBreaks);
    showForViewing(text, longLines);
}

// Laid out whole, a line of megabytes freezes the window for seconds, on opening and at every
// key typed into it. Cut into pieces of their own, its blocks are laid out one screen at a time.
// Uncut, the text is shown as it is, its own breaks included: only m_viewedText keeps them.
void PlainTextBox::showForViewing(const QString &text, bool cut) {
    m_viewedText = withCrLfLineEnds(text);
    m_edit.setContinuedBlocks({});
    setWrapped(cut);
    m_edit.setReadOnly(true);
    if (!cut) {
        loadPiecewise(m_edit, text);
        return;
    }
    ViewCutter cutter(text, viewPieceLength);
    loadPiecewise(m_edit, [&cutter](qsizetype length) { return cutter.next(length); });
    m_edit.setContinuedBlocks(cutter.takeContinuedBlocks());
}

void PlainTextBox::showForEditing(QString text, bool wrapped) {
    m_viewedText.reset();
    m_edit.setContinuedBlocks({});
    setWrapped(wrapped);
    m_edit.setReadOnly(false);
    loadPiecewise(m_edit, std::move(text));
    if (!wrapped)
        return;
    // Unwrapped, or without its layout kept, a long line would be laid out again at every
    // repaint, every blink of the cursor.
    for (QTextBlock block = m_edit.document()->firstBlock(); block.isValid();
         block = block.next()) {
        if (block.length() > longLineLength)
            block.layout()->setCacheEnabled(true);
    }
}

void PlainTextBox::setWrapped(bool wrapped) {
    const auto lineWrapMode = wrapped ? QPlainTextEdit::WidgetWidth : m_usualLineWrapMode;
    if (lineWrapMode == m_edit.lineWrapMode())
        return;
    // Emptied first, or the old document would be laid out again in the new mode.
    m_edit.clear();
    m_edit.setLineWrapMode(lineWrapMode);
    m_edit.setWordWrapMode(wrapped ? QTextOption::WrapAnywhere : m_usualWordWrapMode);
}

// The cut lines are put back together, with the caret where it was in the text.
void PlainTextBox::startEditing() {
    if (!m_viewedText || !m_confirmEditing)
        return;
    for (const ViewOnlyReason reason : m_viewedBecause) {
        if (!m_confirmEditing(reason))
            return;
    }
    const bool wrapped = std::find(m_viewedBecause.begin(), m_viewedBecause.end(),
                                   ViewOnlyReason::LongLines) != m_viewedBecause.end();
    const std::vector<int> &cuts = m_edit.continuedBlocks();
    const QTextCursor viewCursor = m_edit.textCursor();
    const auto cutsBefore =
        std::upper_bound(cuts.begin(), cuts.end(), viewCursor.blockNumber()) - cuts.begin();
    const int position = viewCursor.position() - int(cutsBefore);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    showForEditing(*std::exchange(m_viewedText, std::nullopt), wrapped);
    QTextCursor cursor = m_edit.textCursor();
    cursor.setPosition(position);
    m_edit.setTextCursor(cursor);
    QGuiApplication::restoreOverrideCursor();
}

// Inserted and laid out at once, a line of megabytes freezes the window for seconds, and any
// megabytes for as long as loading them whole would. Such a paste puts the document with it in
// piece by piece, as opening does, a long line for viewing only; the undo steps go with it.
bool PlainTextBox::insertLargeText(const QString &inserted) {
    if (inserted.size() <= largeInsertLength && !hasLineLongerThan(inserted, longLineLength))
        return false;
    QTextDocument *document = m_edit.document();
    const QTextCursor selection = m_edit.textCursor();
    QTextCursor before(document);
    before.setPosition(selection.selectionStart(), QTextCursor::KeepAnchor);
    QTextCursor after(document);
    after.setPosition(selection.selectionEnd());
    after.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    const QString insertedText = withCrLfBreaksOnly(inserted);
    // In the widget a CR LF is one character, the block's separator.
    const int insertedLength = int(insertedText.size() - insertedText.count(u'\n'));
    const int caret = selection.selectionStart() + insertedLength;
    setText(withCrLfBreaks(before.selectedText()) + insertedText +
            withCrLfBreaks(after.selectedText()));
    QTextCursor cursor = m_edit.textCursor();
    cursor.setPosition(viewPosition(caret));
    m_edit.setTextCursor(cursor);
    m_edit.ensureCursorVisible();
    document->setModified(true);
    return true;
}

// Where a position in the text is in the widget, whose cut lines have a block more per cut.
int PlainTextBox::viewPosition(int textPosition) const {
    int position = textPosition;
    for (const int cut : m_edit.continuedBlocks()) {
        if (m_edit.document()->findBlockByNumber(cut).position() > position)
            break;
        ++position;
    }
    return position;
}

} // namespace zariza
