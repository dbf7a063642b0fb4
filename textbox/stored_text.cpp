#include "stored_text.h"

#include <QTextDocument>
#include <QtGui/private/qtextdocument_p.h>
#include <algorithm>

namespace zariza {

// Every public way out of the document copies, the whole text or each block's fragments, and for
// a page of megabytes that takes five times as long as reading its pieces where they are.
void readStoredText(const QTextDocument &document, const std::function<void(QStringView)> &take) {
    const QTextDocumentPrivate *stored = QTextDocumentPrivate::get(&document);
    const QString buffer = stored->buffer();
    qsizetype left = qsizetype(stored->length()) - 1;
    for (auto fragment = stored->begin(); fragment != stored->end() && left > 0; ++fragment) {
        const QTextFragmentData *piece = *fragment;
        const qsizetype length = std::min(qsizetype(piece->size_array[0]), left);
        take(QStringView(buffer.constData() + piece->stringPosition, length));
        left -= length;
    }
}

} // namespace zariza
