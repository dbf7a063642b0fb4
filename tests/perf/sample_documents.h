#pragma once

#include <QByteArray>
#include <QString>

namespace zariza::perf {

// The documents the speed checks load: Chinese pages the way people keep them, CR LF line ends.
enum class SampleKind {
    GbkPage,        // declares gb2312, stored in GBK
    Utf8Page,       // declares <meta charset="utf-8">
    Utf8SingleLine, // minified: the whole page on one line, no line end at all
};

// "gbk", "utf-8" or "utf-8-one-line", for tables and benchmark names.
QString sampleKindName(SampleKind kind);
bool isUtf8(SampleKind kind);

// A page of at least `minimumBytes` bytes (and at most one paragraph more); the same every time.
QByteArray sampleDocument(SampleKind kind, qsizetype minimumBytes);

} // namespace zariza::perf
