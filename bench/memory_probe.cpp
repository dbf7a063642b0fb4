// Loads one document into a window and prints how much memory that took, for the benchmark to
// compare the editor with the floor. One process per document, so the peak is this load's own.
//
//   memory_probe editor|floor FILE KIND    KIND: gbk, utf-8 or utf-8-one-line
//
// Prints "base_kib peak_kib resident_kib": resident before loading, the peak, resident after.
#include "fake_runtime.h"
#include "floors.h"
#include "form1.h"
#include "sample_documents.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdio>
#include <memory>

using namespace zariza;

namespace {

// A field of /proc/self/status such as VmHWM, in KiB.
long statusKib(const QByteArray &field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').front().toLong();
    }
    return -1;
}

std::optional<perf::SampleKind> kindNamed(const QString &name) {
    for (const auto kind : {perf::SampleKind::GbkPage, perf::SampleKind::Utf8Page,
                            perf::SampleKind::Utf8SingleLine}) {
        if (perf::sampleKindName(kind) == name)
            return kind;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const std::optional<perf::SampleKind> kind =
        arguments.size() == 4 ? kindNamed(arguments[3]) : std::nullopt;
    const bool editor = arguments.value(1) == QLatin1String("editor");
    if (!kind || (!editor && arguments.value(1) != QLatin1String("floor"))) {
        std::fprintf(stderr, "usage: memory_probe editor|floor FILE gbk|utf-8|utf-8-one-line\n");
        return 2;
    }
    const QString path = arguments[2];

    testing::FakeRuntime runtime;
    std::unique_ptr<QWidget> window;
    if (editor) {
        window = std::make_unique<Form1>(&runtime);
    } else {
        auto edit = std::make_unique<QPlainTextEdit>();
        perf::configureLikeText1(*edit);
        window = std::move(edit);
    }
    window->show();
    QApplication::processEvents();
    const long base = statusKib("VmRSS");

    if (editor) {
        runtime.answers = {Answer::Ok};
        runtime.dialog.names = {path};
        window->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
        if (runtime.boxes.size() != 1) {
            std::fprintf(stderr, "memory_probe: the editor did not open %s\n", qPrintable(path));
            return 1;
        }
    } else {
        perf::openAtFloor(path, *kind, static_cast<QPlainTextEdit &>(*window));
    }
    QApplication::processEvents();
    std::printf("%ld %ld %ld\n", base, statusKib("VmHWM"), statusKib("VmRSS"));
    return 0;
}
