#pragma once

#include <QStringView>
#include <functional>

class QTextDocument;

namespace zariza {

// Hands over a document's text as the document stores it, piece by piece and without a copy: its
// block separators as U+2029, the last one left out, as in toRawText(). Nothing may change the
// document meanwhile.
void readStoredText(const QTextDocument &document, const std::function<void(QStringView)> &take);

} // namespace zariza
