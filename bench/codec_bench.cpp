// Times the document format on 10 MB of Chinese markup: decoding, reading (decoding and line ends)
// and encoding GBK and UTF-8 pages, beside Qt's own UTF-8 converters as the floor.
//
// Names read operation/document/size/side, as in zariza_bench.
#include "document_format.h"
#include "gb18030.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <benchmark/benchmark.h>
#include <string>

namespace {

struct Page {
    QString text;
    QByteArray bytes;
};

// About 10 MB of GBK: paragraphs of random GB2312 ideographs (B0A1-F7FE) with a little markup
// between them. The UTF-8 page is the same text under a declaration.
Page gbkPage() {
    QRandomGenerator random(20240611);
    const qsizetype targetBytes = 10 * 1024 * 1024;
    QByteArray gbk;
    gbk.reserve(targetBytes + 200);
    while (gbk.size() < targetBytes) {
        gbk.append("<p class=\"note\">");
        for (int index = 0; index < 60; ++index) {
            gbk.append(char(random.bounded(0xB0, 0xF8)));
            gbk.append(char(random.bounded(0xA1, 0xFF)));
        }
        gbk.append("\xA1\xA3</p>\r\n"); // 。
    }
    bool clean = false;
    return {zariza::decodeGb18030(gbk, &clean), gbk};
}

Page utf8Page(const Page &gbk) {
    const QString text = QStringLiteral("<meta charset=\"utf-8\">") + gbk.text;
    return {text, text.toUtf8()};
}

benchmark::internal::Benchmark *
add(const std::string &name, void (*body)(benchmark::State &, const Page &), const Page &page) {
    return benchmark::RegisterBenchmark(name.c_str(), body, page)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

void decodeDocument(benchmark::State &state, const Page &page) {
    QString text;
    for (auto _ : state)
        text = zariza::decodeDocument(page.bytes).text;
    if (text != page.text)
        state.SkipWithError("the text read is wrong");
}

// The whole of opening: decoding and line ends. The sample's line ends are CR LF already, so
// this costs no more than decoding.
void readDocument(benchmark::State &state, const Page &page) {
    QString text;
    for (auto _ : state)
        text = zariza::readDocument(page.bytes).text;
    if (text + QStringLiteral("\r\n") != page.text)
        state.SkipWithError("the text read is wrong");
}

// As a save writes: a piece at a time, each piece gone before the next is encoded.
void encodeDocument(benchmark::State &state, const Page &page) {
    if (zariza::encodeDocument(page.text) != page.bytes) {
        state.SkipWithError("the bytes written are wrong");
        return;
    }
    for (auto _ : state)
        zariza::encodeDocument(
            page.text, [](QByteArrayView piece) { benchmark::DoNotOptimize(piece.data()); });
}

void qtDecodeUtf8(benchmark::State &state, const Page &page) {
    QString text;
    for (auto _ : state)
        text = QStringDecoder(QStringDecoder::Utf8).decode(page.bytes);
    if (text != page.text)
        state.SkipWithError("the text read is wrong");
}

void qtEncodeUtf8(benchmark::State &state, const Page &page) {
    QByteArray bytes;
    for (auto _ : state)
        bytes = QStringEncoder(QStringEncoder::Utf8).encode(page.text);
    if (bytes != page.bytes)
        state.SkipWithError("the bytes written are wrong");
}

void registerAll(const Page &gbk, const Page &utf8) {
    for (const auto &[document, page] : {std::pair{"gbk", &gbk}, std::pair{"utf-8", &utf8}}) {
        const std::string stem = std::string(document) + "/10MB/editor";
        add("decode/" + stem, decodeDocument, *page);
        add("read/" + stem, readDocument, *page);
        add("encode/" + stem, encodeDocument, *page);
    }
    add("decode/utf-8/10MB/floor", qtDecodeUtf8, utf8);
    add("encode/utf-8/10MB/floor", qtEncodeUtf8, utf8);
}

} // namespace

int main(int argc, char *argv[]) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    const Page gbk = gbkPage();
    const Page utf8 = utf8Page(gbk);
    registerAll(gbk, utf8);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
