#include "sample_documents.h"

#include "document_format.h"
#include "gb18030.h"

#include <QStringBuilder>
#include <random>

namespace zariza::perf {

namespace {

// Common ideographs and the punctuation that goes with them; all of them are in GBK.
QString paragraph(std::minstd_rand &random, qsizetype index) {
    std::uniform_int_distribution<int> length(20, 70);
    std::uniform_int_distribution<int> ideograph(0x4E00, 0x9FA5);
    QString words;
    const int count = length(random);
    for (int i = 0; i < count; ++i) {
        words += QChar(char16_t(ideograph(random)));
        if (i % 11 == 10)
            words += i % 3 == 0 ? u'。' : u'，';
    }
    return QStringLiteral("<p class=\"para\" id=\"p%1\">").arg(index) % words %
           QStringLiteral("<a href=\"page%1.htm\">下一页</a></p>").arg(index % 97);
}

qsizetype encodedSize(QStringView text, int bytesPerIdeograph) {
    qsizetype size = 0;
    for (const QChar c : text)
        size += c.unicode() < 0x80 ? 1 : bytesPerIdeograph;
    return size;
}

} // namespace

QString sampleKindName(SampleKind kind) {
    switch (kind) {
    case SampleKind::GbkPage:
        return QStringLiteral("gbk");
    case SampleKind::Utf8Page:
        return QStringLiteral("utf-8");
    case SampleKind::Utf8SingleLine:
        return QStringLiteral("utf-8-one-line");
    }
    return {};
}

bool isUtf8(SampleKind kind) {
    return kind != SampleKind::GbkPage;
}

QByteArray sampleDocument(SampleKind kind, qsizetype minimumBytes) {
    const bool oneLine = kind == SampleKind::Utf8SingleLine;
    const QString lineEnd = oneLine ? QString() : QStringLiteral("\r\n");
    const QString declaration = isUtf8(kind)
                                    ? QStringLiteral("<meta charset=\"utf-8\">")
                                    : QStringLiteral("<meta http-equiv=\"Content-Type\" "
                                                     "content=\"text/html; charset=gb2312\">");
    const QString head = QStringLiteral("<!DOCTYPE html>") % lineEnd % QStringLiteral("<html>") %
                         lineEnd % QStringLiteral("<head>") % lineEnd % declaration % lineEnd %
                         QStringLiteral("<title>样本文档</title>") % lineEnd %
                         QStringLiteral("</head>") % lineEnd % QStringLiteral("<body>") % lineEnd;
    const QString tail = QStringLiteral("</body>") % lineEnd % QStringLiteral("</html>") % lineEnd;

    const int bytesPerIdeograph = isUtf8(kind) ? 3 : 2;
    std::minstd_rand random(20240601);
    QString page = head;
    qsizetype pageBytes =
        encodedSize(head, bytesPerIdeograph) + encodedSize(tail, bytesPerIdeograph);
    for (qsizetype index = 0; pageBytes < minimumBytes; ++index) {
        const QString line = paragraph(random, index) + lineEnd;
        page += line;
        pageBytes += encodedSize(line, bytesPerIdeograph);
    }
    page += tail;
    return isUtf8(kind) ? encodeUtf8(page) : encodeGbk(page);
}

} // namespace zariza::perf
