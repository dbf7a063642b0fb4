#pragma once

#include "encoding_labels.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>
#include <functional>

// The charset a page declares in a <meta>, found the way a browser finds it.
namespace zariza {

// A <meta> after the head is honoured only when it starts this early in the page, in bytes.
constexpr qsizetype prescanLength = 1024;

// Whether a declaration of `label` that starts at `position` of a text, after the head, would
// be honoured: whether it would start within the first prescanLength bytes once written.
using HonouredAfterHead = std::function<bool(qsizetype position, QByteArrayView label)>;

struct CharsetScan {
    QByteArray label;    // lowercased and trimmed; empty when none
    bool decided = true; // false when more text could still bring a declaration
};

// The label of the first <meta> that declares an encoding browsers know, found as a browser's
// parser finds it: comments, the text of scripts, styles, titles and text areas and the
// attributes of other tags never count; a <meta> counts anywhere in the head, and after the
// head only within the first prescanLength bytes; else the encoding of an XML declaration that
// starts the page. Empty when none.
QByteArray prescanCharsetLabel(QByteArrayView bytes);
// The same for a text, where only `honoured` knows how long its start will be in bytes. With
// `complete` false the text is only the start of one, and the scan may be undecided.
CharsetScan scanCharsetLabel(QStringView text, bool complete, const HonouredAfterHead &honoured);
QByteArray prescanCharsetLabel(QStringView text);

} // namespace zariza
