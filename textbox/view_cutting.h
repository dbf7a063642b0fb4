#pragma once

#include <QString>
#include <QStringView>
#include <vector>

namespace zariza {

// Cuts a text's lines longer than a piece into blocks of their own, as LFs, a part at a time:
// a page on one line of megabytes shows its first screen once that screen is cut, not the whole.
// The text must outlive the cutter.
class ViewCutter {
public:
    ViewCutter(QStringView text, qsizetype pieceLength);

    // The text's next part with its cuts: at least `length` characters where the text has them,
    // ending where a block of the widget ends; empty once the text is all given.
    QString next(qsizetype length);
    // The numbers of the blocks that begin at a cut, in order, among the parts given so far.
    std::vector<int> takeContinuedBlocks() { return std::move(m_continuedBlocks); }

private:
    qsizetype cutIn(QStringView line) const;

    QStringView m_rest;
    const qsizetype m_pieceLength;
    int m_block = 0;
    std::vector<int> m_continuedBlocks;
};

} // namespace zariza
