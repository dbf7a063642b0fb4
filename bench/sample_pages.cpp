// Writes the benchmark's sample pages to disk, for programs that can only be handed a file: the
// editors bench/peers.py times beside this one.
//
//   sample_pages FOLDER    writes gbk-1MB.htm, gbk-4MB.htm, gbk-16MB.htm, utf-8-16MB.htm,
//                          utf-8-one-line-16MB.htm and empty-lines-2M.htm
#include "sample_documents.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <vector>

using namespace zariza::perf;

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: sample_pages FOLDER\n");
        return 2;
    }
    const QDir folder(arguments[1]);
    constexpr qsizetype mebibyte = 1024 * 1024;
    const std::pair<SampleKind, int> pages[] = {{SampleKind::GbkPage, 1},
                                                {SampleKind::GbkPage, 4},
                                                {SampleKind::GbkPage, 16},
                                                {SampleKind::Utf8Page, 16},
                                                {SampleKind::Utf8SingleLine, 16}};
    std::vector<std::pair<QString, QByteArray>> files;
    for (const auto &[kind, megabytes] : pages)
        files.emplace_back(QStringLiteral("%1-%2MB.htm").arg(sampleKindName(kind)).arg(megabytes),
                           sampleDocument(kind, megabytes * mebibyte));
    files.emplace_back(QStringLiteral("empty-lines-2M.htm"),
                       QByteArray("\r\n").repeated(2'000'000));
    for (const auto &[name, bytes] : files) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "sample_pages: cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    return 0;
}
