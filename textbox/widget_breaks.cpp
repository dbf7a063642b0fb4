#include "widget_breaks.h"

#include "large_buffers.h"

#include <algorithm>

namespace zariza {

namespace {

// Bitwise rather than logical operators, so that a loop over it can be vectorised.
bool isLineBreak(char16_t code) {
    return (code == widgetBreaks[0]) | (code == widgetBreaks[1]) | (code == widgetBreaks[2]) |
           (code == widgetBreaks[3]) | (code == u'\n');
}

struct LineBreakCount {
    qsizetype all = 0;
    qsizetype paragraphs = 0; // the widget's block separators, the only breaks it usually has
};

LineBreakCount countLineBreaks(QStringView text) {
    LineBreakCount count;
    for (const QChar c : text) {
        count.all += isLineBreak(c.unicode());
        count.paragraphs += c == QChar::ParagraphSeparator;
    }
    return count;
}

} // namespace

// The breaks are counted first, so that the conversion is one pass into a string of the final
// size; when they are all block separators, the text between them is found and copied whole.
QString withCrLfBreaks(const QString &raw) {
    const LineBreakCount breaks = countLineBreaks(raw);
    if (breaks.all == 0)
        return raw;
    QString text = largeString(raw.size() + breaks.all);
    text.resize(raw.size() + breaks.all);
    QChar *out = text.data();
    if (breaks.all == breaks.paragraphs) {
        QStringView rest = raw;
        for (qsizetype end; (end = rest.indexOf(QChar::ParagraphSeparator)) >= 0;
             rest = rest.sliced(end + 1)) {
            out = std::copy_n(rest.data(), end, out);
            *out++ = u'\r';
            *out++ = u'\n';
        }
        std::copy(rest.begin(), rest.end(), out);
        return text;
    }
    for (const QChar c : raw) {
        if (isLineBreak(c.unicode())) {
            *out++ = u'\r';
            *out++ = u'\n';
        } else {
            *out++ = c;
        }
    }
    return text;
}

// Counted first, with the loop that is vectorised: most pieces have no break, or are one.
void takeWithCrLfBreaks(QStringView raw, const std::function<void(QStringView)> &take) {
    if (countLineBreaks(raw).all == 0) {
        take(raw);
        return;
    }
    qsizetype start = 0;
    for (qsizetype at = 0; at < raw.size(); ++at) {
        if (!isLineBreak(raw[at].unicode()))
            continue;
        if (at > start)
            take(raw.sliced(start, at - start));
        take(u"\r\n");
        start = at + 1;
    }
    if (start < raw.size())
        take(raw.sliced(start));
}

} // namespace zariza
