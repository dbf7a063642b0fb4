#pragma once

#include <QString>

namespace zariza {

// The widget's raw text (QTextDocument::toRawText()) with each of its line breaks — the paragraph
// and line separators, the frame marks, and LF for good measure — written as CR LF.
QString withCrLfBreaks(const QString &raw);

} // namespace zariza
