#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The labels a page may give its encoding, as browsers know them.
namespace zariza {

// The encodings this program tells apart among the labels a page may give.
enum class CharsetFamily { Unknown, Utf8, Gbk, Utf16, Other };

// The name of the encoding a label names in browsers ("UTF-8", "GBK", "Big5", "replacement",
// ...), ignoring case and the blanks around it; empty for a label browsers do not know.
QByteArray encodingNameForLabel(QByteArrayView label);
CharsetFamily charsetFamily(QByteArrayView label);

// The label after "charset=" in a <meta>'s content attribute such as "text/html; charset=gbk";
// empty when none.
QByteArray charsetFromContent(QByteArrayView content);

// The known label an XML declaration gives ("<?xml version="1.0" encoding="gbk"?", up to the
// first '>'), lowercased; empty when it is none or gives none.
QByteArray xmlDeclarationLabel(QByteArrayView declaration);

} // namespace zariza
