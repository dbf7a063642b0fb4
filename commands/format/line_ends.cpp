#include "line_ends.h"

#include <algorithm>

namespace zariza {

LineExtent firstLine(QStringView text) {
    const auto end =
        std::find_if(text.begin(), text.end(), [](QChar c) { return c == u'\r' || c == u'\n'; });
    const qsizetype length = end - text.begin();
    if (length == text.size())
        return {length, 0};
    return {length, text.sliced(length).startsWith(u"\r\n") ? 2 : 1};
}

// Hops from one line end to the next with the vectorised search instead of looking at every
// character.
bool hasOnlyCrLfLineEnds(QStringView text) {
    qsizetype lineFeeds = 0;
    for (qsizetype at = 0; (at = text.indexOf(u'\n', at)) >= 0; ++at, ++lineFeeds) {
        if (at == 0 || text[at - 1] != u'\r')
            return false;
    }
    // Each of those LFs has a CR of its own before it, so any further CR stands alone.
    qsizetype carriageReturns = 0;
    for (qsizetype at = 0; (at = text.indexOf(u'\r', at)) >= 0; ++at) {
        if (++carriageReturns > lineFeeds)
            return false;
    }
    return true;
}

QString withCrLfLineEnds(QString text) {
    if (hasOnlyCrLfLineEnds(text))
        return text;
    QString converted;
    converted.reserve(text.size() + text.size() / 32);
    for (QStringView rest = text; !rest.isEmpty();) {
        const LineExtent line = firstLine(rest);
        converted += rest.first(line.length);
        if (line.terminator != 0)
            converted += u"\r\n";
        rest = rest.sliced(line.length + line.terminator);
    }
    return converted;
}

} // namespace zariza
