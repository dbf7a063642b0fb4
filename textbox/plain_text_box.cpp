#include "plain_text_box.h"

#include "document_edit.h"
#include "large_buffers.h"
#include "line_ends.h"
#include "memory_room.h"
#include "piecewise_loading.h"
#include "widget_breaks.h"

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

// One vectorised search for each: a third of the time of a loop over the characters.
bool hasWidgetBreaks(QStringView text) {
    return std::any_of(std::begin(widgetBreaks), std::end(widgetBreaks),
                       [text](char16_t mark) { return text.contains(QChar(mark)); });
}

// Where the widget starts a new block, as QTextCursor::insertText does: CR LF, LF, CR, the
// paragraph separator and the frame marks.
bool startsNewBlock(QChar c) {
    const char16_t code = c.unicode();
    return (code == u'\r') | (code == u'\n') | (code == widgetBreaks[0]) |
           (code == widgetBreaks[1]) | (code == widgetBreaks[2]);
}

// The blocks the widget makes of a text (see startsNewBlock), CR LF counted once. Hopping with
// the vectorised search, once for each break, takes a fifth of the time of a loop over the
// characters on a page of ordinary lines.
qsizetype countBlocks(QStringView text) {
    qsizetype blocks = 1;
    for (const char16_t mark :
         {char16_t(u'\n'), char16_t(u'\r'), widgetBreaks[0], widgetBreaks[1], widgetBreaks[2]}) {
        for (qsizetype at = 0; (at = text.indexOf(QChar(mark), at)) >= 0; ++at)
            blocks += mark != u'\r' || !text.sliced(at + 1).startsWith(u'\n');
    }
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
// Documents up to this many characters are copied out whole for saving (see readText).
constexpr int wholeCopyLength = 4 << 20;
// For laying out and painting the first screen, and for a message box should it fail.
constexpr qint64 spareBytes = 16 << 20;

struct ViewPieces {
    QString shown;                    // the text with the cuts as LFs
    std::vector<int> continuedBlocks; // the blocks that begin at a cut
};

// Where to cut a line longer than the piece length: after the last tag end near the piece's end,
// so that the pieces read naturally, else at the piece's length but never inside a surrogate pair.
qsizetype viewCut(QStringView line) {
    constexpr qsizetype lookBack = PlainTextBox::viewPieceLength / 8;
    const QStringView piece = line.first(PlainTextBox::viewPieceLength);
    const qsizetype tagEnd = piece.lastIndexOf(u'>');
    if (tagEnd >= piece.size() - lookBack)
        return tagEnd + 1;
    return piece.size() - (piece.back().isHighSurrogate() ? 1 : 0);
}

ViewPieces cutForViewing(QStringView text) {
    ViewPieces view;
    view.shown.reserve(text.size() + text.size() / PlainTextBox::viewPieceLength + 1);
    int block = 0;
    for (QStringView rest = text;;) {
        const qsizetype lineLength =
            std::find_if(rest.begin(), rest.end(), startsNewBlock) - rest.begin();
        QStringView line = rest.first(lineLength);
        while (line.size() > PlainTextBox::viewPieceLength) {
            const qsizetype cut = viewCut(line);
            view.shown += line.first(cut);
            view.shown += u'\n';
            view.continuedBlocks.push_back(++block);
            line = line.sliced(cut);
        }
        view.shown += line;
        if (lineLength == rest.size())
            return view;
        const qsizetype terminator = rest.sliced(lineLength).startsWith(u"\r\n") ? 2 : 1;
        view.shown += rest.sliced(lineLength, terminator);
        ++block;
        rest = rest.sliced(lineLength + terminator);
    }
}

} // namespace

PlainTextBox::PlainTextBox(DocumentEdit &edit)
    : m_edit(edit), m_usualLineWrapMode(edit.lineWrapMode()),
      m_usualWordWrapMode(edit.wordWrapMode()) {
    m_edit.setEditAttemptHandler([this] { startEditing(); });
}

void PlainTextBox::setEditingConfirmation(std::function<bool(ViewOnlyReason)> confirm) {
    m_confirmEditing = std::move(confirm);
}

// Cut pieces count as blocks of their own.
TextBox::Room PlainTextBox::roomFor(QStringView text) const {
    const qint64 blocks = countBlocks(text) + text.size() / viewPieceLength;
    const auto need = [&](LoadCost cost) {
        return text.size() * cost.perCharacter + blocks * cost.perBlock + spareBytes;
    };
    // Tight where the text would take more than half of what is left.
    const auto roomFor = [](qint64 need, std::optional<qint64> left) {
        if (!left || 2 * need <= *left)
            return Room::Enough;
        return need <= *left ? Room::Tight : Room::Lacking;
    };
    const MemoryRoom left = memoryRoom();
    return std::max({roomFor(need(addressSpaceCost), left.addressSpace),
                     roomFor(need(addressSpaceCost), left.dataSegment),
                     roomFor(need(residentCost), left.available)});
}

// The raw text with CR LF line ends, because toPlainText() also turns every no-break space into a
// plain one. Up to a few megabytes one copy of the whole is the quickest; beyond, the fresh memory
// of that copy costs more than handing the fragments over one by one.
void PlainTextBox::readText(const std::function<void(QStringView)> &take) const {
    if (m_viewedText) {
        take(*m_viewedText);
        return;
    }
    const QTextDocument *document = m_edit.document();
    if (document->characterCount() <= wholeCopyLength) {
        take(withCrLfBreaks(document->toRawText()));
        return;
    }
    bool first = true;
    for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next()) {
        if (!std::exchange(first, false))
            take(u"\r\n");
        for (QTextBlock::iterator fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            QString piece = fragment.fragment().text();
            // A typed Shift+Enter leaves the widget's line separator inside a block; its other
            // breaks always start a block of their own.
            if (piece.contains(QChar::LineSeparator))
                piece.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
            take(piece);
        }
    }
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
    ViewPieces view = cut ? cutForViewing(text) : ViewPieces{text, {}};
    m_viewedText = withCrLfLineEnds(text);
    m_edit.setContinuedBlocks({});
    setWrapped(cut);
    m_edit.setReadOnly(true);
    loadPiecewise(m_edit, std::move(view.shown));
    m_edit.setContinuedBlocks(std::move(view.continuedBlocks));
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

} // namespace zariza
