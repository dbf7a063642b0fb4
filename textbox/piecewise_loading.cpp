#include "piecewise_loading.h"

#include "large_buffers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextCursor>
#include <QTextDocument>

namespace zariza {

namespace {

// Up to this many characters a text goes in at once: setPlainText takes less than a repaint
// interval for them.
constexpr qsizetype wholeLength = 1 << 20;
// About a screen of text: shown before anything else goes in.
constexpr qsizetype firstPieceLength = 16 << 10;
// The rest goes in pieces of some milliseconds each.
constexpr qsizetype pieceLength = 256 << 10;
// The window is repainted at least this often while a document goes in.
constexpr qint64 repaintIntervalMs = 50;

// Pieces end after a line feed: a CR LF cut in two would start two lines instead of one.
qsizetype pieceEnd(QStringView rest, qsizetype length) {
    if (rest.size() <= length)
        return rest.size();
    const qsizetype lineFeed = rest.indexOf(u'\n', length - 1);
    return lineFeed < 0 ? rest.size() : lineFeed + 1;
}

// While pieces go in: no undo steps for them, and the scroll bar does not lay out the last
// screen again after every piece, as it would for its page size. Put back however the loading
// ends.
class LoadingState {
public:
    explicit LoadingState(QPlainTextEdit &edit)
        : m_edit(edit), m_centredBefore(edit.centerOnScroll()) {
        m_edit.document()->setUndoRedoEnabled(false);
        m_edit.setCenterOnScroll(true);
    }
    ~LoadingState() {
        m_edit.setCenterOnScroll(m_centredBefore);
        m_edit.document()->setUndoRedoEnabled(true);
    }
    LoadingState(const LoadingState &) = delete;
    LoadingState &operator=(const LoadingState &) = delete;

private:
    QPlainTextEdit &m_edit;
    const bool m_centredBefore;
};

} // namespace

void repaintWhenDue(QElapsedTimer &sinceRepaint) {
    if (sinceRepaint.isValid() && sinceRepaint.elapsed() < repaintIntervalMs)
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::ExcludeSocketNotifiers);
    sinceRepaint.start();
}

// The text is taken over: its pages are given back as it goes in.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void loadPiecewise(QPlainTextEdit &edit, QString text) {
    if (text.size() <= wholeLength) {
        edit.setPlainText(text);
        return;
    }
    // Held nowhere else, the text's memory is given back as it goes in, so that a large document
    // is not held twice: asked for a part, the parts before it are in the widget.
    const bool releasing = text.isDetached();
    QStringView rest = text;
    loadPiecewise(edit, [&](qsizetype length) {
        if (releasing)
            releasePages(text.constData(),
                         (rest.data() - text.constData()) * qsizetype(sizeof(QChar)));
        const QStringView piece = rest.first(pieceEnd(rest, length));
        rest = rest.sliced(piece.size());
        return QString::fromRawData(piece.data(), piece.size());
    });
}

void loadPiecewise(QPlainTextEdit &edit, const std::function<QString(qsizetype)> &nextPart) {
    edit.clear();
    {
        const LoadingState loading(edit);
        QTextCursor end(edit.document());
        QElapsedTimer sinceRepaint;
        for (qsizetype length = firstPieceLength;; length = pieceLength) {
            const QString part = nextPart(length);
            if (part.isEmpty())
                break;
            end.insertText(part);
            repaintWhenDue(sinceRepaint);
        }
    }
    edit.document()->setModified(false);
    edit.moveCursor(QTextCursor::Start);
}

} // namespace zariza
