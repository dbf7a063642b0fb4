#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

// The charset a page declares in a <meta>, found the way a browser finds it before parsing.
namespace zariza {

// The encodings this program tells apart among the labels a page may give.
enum class CharsetFamily { Unknown, Utf8, Gbk, Utf16 };

// What a label names, ignoring case and the blanks around it.
CharsetFamily charsetFamily(QByteArrayView label);

// How far into a page a browser looks for its <meta> charset, in bytes (or characters).
constexpr qsizetype prescanLength = 1024;

// The charset label the first <meta> that declares a known encoding gives, lowercased and trimmed,
// found the way a browser prescans a page: only within the first prescanLength bytes,
// skipping comments and the attributes of other tags. Labels of encodings this program does not
// know are passed over, as a browser passes over labels it cannot resolve. Empty when none.
QByteArray prescanCharsetLabel(QByteArrayView bytes);
QByteArray prescanCharsetLabel(QStringView text);

} // namespace zariza
