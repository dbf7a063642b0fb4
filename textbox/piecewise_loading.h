#pragma once

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QString>
#include <functional>

namespace zariza {

// Puts a document into the widget the way setPlainText does, but a large one piece by piece,
// with the window repainted in between: its first screen shows at once, and the window keeps
// answering while the rest goes in. The user's keys and clicks wait until the whole document is
// in, so nothing can edit, save or replace half a document. The text is taken over: where it is
// held nowhere else, its memory is given back as it goes in.
void loadPiecewise(QPlainTextEdit &edit, QString text);

// The same for a document made as it goes in: `nextPart(length)` gives its next part, at least
// `length` characters where there are that many, ending where a block ends; empty at the end.
void loadPiecewise(QPlainTextEdit &edit, const std::function<QString(qsizetype)> &nextPart);

// Repaints the window if it was last repainted longer ago than while loading, and restarts the
// timer; keys and clicks wait. For other long work on the document, such as reading it out.
void repaintWhenDue(QElapsedTimer &sinceRepaint);

} // namespace zariza
