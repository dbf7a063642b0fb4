#pragma once

class QWidget;

namespace zariza {

// A write past a file-size limit (ulimit -f) then fails with EFBIG and the save says so, instead
// of the signal ending the editor and losing the document.
void ignoreFileSizeSignal();

// SIGTERM, SIGHUP (the terminal that started the editor closing) and SIGINT close the window the
// way the close box does, so the same question comes first and Cancel keeps the document. While
// another dialog is open, the signal brings that dialog to the front and the question comes once
// it is closed.
void closeOnTerminationSignals(QWidget &window);

} // namespace zariza
