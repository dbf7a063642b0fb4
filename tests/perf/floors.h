#pragma once

#include "sample_documents.h"

class QPlainTextEdit;

namespace zariza {
class DocumentEdit;
}

namespace zariza::perf {

// The least any editor has to do to show a file and to write it back. The editor's own paths
// are measured against these, on the same widget and the same files.

// Reads the file whole, decodes it with the plain decoder for its encoding and hands the text
// to the widget. GBK has no decoder in QtCore without ICU; ours is the fastest one at hand.
void openAtFloor(const QString &path, SampleKind kind, QPlainTextEdit &edit);

// Takes the widget's text, encodes it and writes it over the file with one QFile::write.
void saveAtFloor(const QPlainTextEdit &edit, SampleKind kind, const QString &path);

// The same through QSaveFile, atomic as every save of the editor is: into a new file that
// replaces the old one once QSaveFile has waited for it to reach the disk. The waiting and the
// replacing are the toolkit's, and on this kind of disk cost as much as all the rest.
void saveAtomicallyAtFloor(const QPlainTextEdit &edit, SampleKind kind, const QString &path);

// Sets up a text box the way the window's Text1 is: no wrapping, both scroll bars, its size.
void configureLikeText1(QPlainTextEdit &edit);
// The same for the editor's own widget, which its text box then takes its usual look from.
DocumentEdit &setUpLikeText1(DocumentEdit &edit);

} // namespace zariza::perf
