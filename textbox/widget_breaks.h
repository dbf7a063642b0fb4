#pragma once

#include <QString>
#include <QStringView>
#include <functional>

namespace zariza {

// The widget's own line breaks, into which it turns a text's: the paragraph separator and the two
// frame marks each start a new block; the line separator breaks a line within one.
inline constexpr char16_t widgetBreaks[] = {QChar::ParagraphSeparator, 0xFDD0, 0xFDD1,
                                            QChar::LineSeparator};

// Where the widget ends a block, as QTextCursor::insertText does: at CR, LF, the paragraph
// separator and the frame marks, a CR LF ending one. Bitwise operators, so that loops over it
// are vectorised.
inline int endsBlock(char16_t code) {
    return (code == u'\r') | (code == u'\n') | (code == widgetBreaks[0]) |
           (code == widgetBreaks[1]) | (code == widgetBreaks[2]);
}

// The widget's raw text (QTextDocument::toRawText()) with each of its line breaks — the paragraph
// and line separators, the frame marks, and LF for good measure — written as CR LF.
QString withCrLfBreaks(const QString &raw);

// The same for a piece of the raw text, handed over as slices of it and CR LFs.
void takeWithCrLfBreaks(QStringView raw, const std::function<void(QStringView)> &take);

} // namespace zariza
