#include "view_cutting.h"

#include "widget_breaks.h"

#include <algorithm>

namespace zariza {

ViewCutter::ViewCutter(QStringView text, qsizetype pieceLength)
    : m_rest(text), m_pieceLength(pieceLength) {}

// After the last tag end near the piece's end, so that the pieces read naturally, else at the
// piece's length but never inside a surrogate pair.
qsizetype ViewCutter::cutIn(QStringView line) const {
    const qsizetype lookBack = m_pieceLength / 8;
    const QStringView piece = line.first(m_pieceLength);
    const qsizetype tagEnd = piece.lastIndexOf(u'>');
    if (tagEnd >= piece.size() - lookBack)
        return tagEnd + 1;
    return piece.size() - (piece.back().isHighSurrogate() ? 1 : 0);
}

// Only a piece's length and one character are looked at for each block, so a part costs what
// it holds, however long the line it comes from.
QString ViewCutter::next(qsizetype length) {
    QString part;
    part.reserve(length + length / m_pieceLength + m_pieceLength + 2);
    while (part.size() < length && !m_rest.isEmpty()) {
        const QStringView ahead = m_rest.first(std::min(m_rest.size(), m_pieceLength + 1));
        const qsizetype lineLength = std::find_if(ahead.begin(), ahead.end(),
                                                  [](QChar c) { return endsBlock(c.unicode()); }) -
                                     ahead.begin();
        if (lineLength > m_pieceLength) {
            const qsizetype cut = cutIn(m_rest);
            part += m_rest.first(cut);
            part += u'\n';
            m_continuedBlocks.push_back(++m_block);
            m_rest = m_rest.sliced(cut);
            continue;
        }
        const QStringView rest = m_rest.sliced(lineLength);
        const qsizetype terminator =
            rest.startsWith(u"\r\n") ? 2 : std::min<qsizetype>(1, rest.size());
        part += m_rest.first(lineLength + terminator);
        m_block += terminator > 0;
        m_rest = rest.sliced(terminator);
    }
    return part;
}

} // namespace zariza
