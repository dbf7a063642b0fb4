// Times the editor's open, save and preview beside the least any editor must do, on Chinese pages
// of 1, 4 and 16 MB and on an 8 MB page kept on one line, measures memory with a 16 MB page
// loaded, and prints how far each stays above its floor. Runs offscreen.
//
// Names read operation/document/size/side, the side being "editor" or "floor"; a save is also
// timed against an "atomic-floor" that writes through QSaveFile, atomic as every save of the
// editor is.
#include "editor_session.h"
#include "floors.h"
#include "sample_documents.h"
#include "test_files.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <vector>

using namespace zariza;
using namespace zariza::perf;

namespace {

constexpr qsizetype mebibyte = 1024 * 1024;

struct Sample {
    SampleKind kind;
    int megabytes;
    QString path;

    std::string name() const {
        return sampleKindName(kind).toStdString() + '/' + std::to_string(megabytes) + "MB";
    }
};

std::string benchmarkName(const char *operation, const Sample &sample, const char *side) {
    return std::string(operation) + '/' + sample.name() + '/' + side;
}

void clearUntimed(benchmark::State &state, QPlainTextEdit &edit) {
    state.PauseTiming();
    edit.clear();
    state.ResumeTiming();
}

double milliseconds(qint64 nanoseconds) {
    return double(nanoseconds) / 1e6;
}

// Everything the benchmarks share: the sample files, the editor and the floor's text box.
class Workbench {
public:
    Workbench() {
        m_floorEdit.show();
        m_editor.edit().show();
        for (const int megabytes : {1, 4, 16}) {
            for (const auto kind : {SampleKind::GbkPage, SampleKind::Utf8Page})
                addSample(kind, megabytes);
        }
        addSample(SampleKind::Utf8SingleLine, 8);
        warmUp();
        // The preview lands in the current folder.
        QDir::setCurrent(m_dir.path());
    }

    void registerAll() {
        for (const Sample &sample : m_samples) {
            add(benchmarkName("open", sample, "editor"), [this, sample](benchmark::State &state) {
                for (auto _ : state) {
                    clearUntimed(state, m_editor.edit());
                    m_editor.open(sample.path);
                }
                countBytes(state, sample);
            });
            add(benchmarkName("open", sample, "floor"), [this, sample](benchmark::State &state) {
                for (auto _ : state) {
                    clearUntimed(state, m_floorEdit);
                    openAtFloor(sample.path, sample.kind, m_floorEdit);
                }
                countBytes(state, sample);
            });
        }
        for (const Sample &sample : m_samples) {
            add(benchmarkName("save", sample, "editor"), [this, sample](benchmark::State &state) {
                loadIntoEditor(sample);
                for (auto _ : state)
                    m_editor.save(m_dir.filePath(QStringLiteral("saved.Devov")));
                countBytes(state, sample);
            });
            add(benchmarkName("save", sample, "floor"), [this, sample](benchmark::State &state) {
                loadIntoFloor(sample);
                for (auto _ : state) {
                    const QString path = newFileUntimed(state, QStringLiteral("floor.htm"));
                    saveAtFloor(m_floorEdit, sample.kind, path);
                }
                countBytes(state, sample);
            });
            add(benchmarkName("save", sample, "atomic-floor"),
                [this, sample](benchmark::State &state) {
                    loadIntoFloor(sample);
                    for (auto _ : state)
                        saveAtomicallyAtFloor(m_floorEdit, sample.kind,
                                              m_dir.filePath(QStringLiteral("atomic-floor.htm")));
                    countBytes(state, sample);
                });
        }
        for (const Sample &sample : m_samples) {
            add(benchmarkName("preview", sample, "editor"),
                [this, sample](benchmark::State &state) {
                    loadIntoEditor(sample);
                    for (auto _ : state)
                        m_editor.preview();
                    countBytes(state, sample);
                });
        }
        for (const Sample &sample : m_samples) {
            if (sample.kind != SampleKind::Utf8SingleLine)
                continue;
            add(benchmarkName("long-line", sample, "editor"), [this,
                                                               sample](benchmark::State &state) {
                openAndScroll(state, m_editor.edit(), [&] { m_editor.open(sample.path); });
                typeAfterAgreeingToEdit(state, m_editor);
            })->Iterations(1);
            add(benchmarkName("long-line", sample, "floor"), [this,
                                                              sample](benchmark::State &state) {
                openAndScroll(state, m_floorEdit,
                              [&] { openAtFloor(sample.path, sample.kind, m_floorEdit); });
            })->Iterations(1);
        }
        for (const Sample &sample : m_samples) {
            if (sample.megabytes != 16)
                continue;
            for (const char *side : {"editor", "floor"}) {
                add(benchmarkName("memory", sample, side), [sample, side](benchmark::State &state) {
                    probeMemory(state, sample, side);
                })->Iterations(1);
            }
        }
    }

private:
    template <typename Body>
    benchmark::internal::Benchmark *add(const std::string &name, Body body) {
        return benchmark::RegisterBenchmark(name.c_str(), body)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }

    void addSample(SampleKind kind, int megabytes) {
        Sample sample{kind, megabytes, {}};
        sample.path = m_dir.filePath(QString::fromStdString(sample.name()).replace(u'/', u'-') +
                                     QStringLiteral(".htm"));
        testing::writeBytes(sample.path, sampleDocument(kind, megabytes * mebibyte));
        m_samples.push_back(sample);
    }

    // Loads the fonts and fills the glyph caches once, as in a window that has been open a
    // while, so that whichever benchmark comes first is not charged for them.
    void warmUp() {
        loadIntoFloor(m_samples.front());
        for (int screen = 0; screen < 20; ++screen) {
            m_floorEdit.verticalScrollBar()->setValue(screen * 100);
            m_floorEdit.grab();
        }
        m_floorEdit.clear();
    }

    // The plain floor writes a new file each time, as QSaveFile does: truncating the last one
    // would wait for its pages still on their way to the disk.
    QString newFileUntimed(benchmark::State &state, const QString &name) const {
        state.PauseTiming();
        const QString path = m_dir.filePath(name);
        QFile::remove(path);
        state.ResumeTiming();
        return path;
    }

    static void countBytes(benchmark::State &state, const Sample &sample) {
        state.SetBytesProcessed(state.iterations() * QFileInfo(sample.path).size());
    }

    void loadIntoEditor(const Sample &sample) {
        m_editor.edit().clear();
        m_editor.open(sample.path);
    }

    void loadIntoFloor(const Sample &sample) {
        m_floorEdit.clear();
        openAtFloor(sample.path, sample.kind, m_floorEdit);
    }

    // None of these steps returns to the event loop, so each is a freeze the user sees: the open
    // with its first paint, a jump to the end of the line with its paint, and a plain repaint
    // such as every blink of the cursor causes.
    template <typename Open>
    static void openAndScroll(benchmark::State &state, QPlainTextEdit &edit, Open open) {
        qint64 openNs = 0;
        qint64 scrollNs = 0;
        qint64 repaintNs = 0;
        for (auto _ : state) {
            clearUntimed(state, edit);
            QElapsedTimer timer;
            timer.start();
            open();
            edit.grab();
            openNs = timer.nsecsElapsed();
            timer.restart();
            edit.moveCursor(QTextCursor::End);
            edit.grab();
            scrollNs = timer.nsecsElapsed();
            timer.restart();
            edit.grab();
            repaintNs = timer.nsecsElapsed();
        }
        state.counters["open_paint_ms"] = milliseconds(openNs);
        state.counters["scroll_paint_ms"] = milliseconds(scrollNs);
        state.counters["repaint_ms"] = milliseconds(repaintNs);
        state.counters["longest_freeze_ms"] = milliseconds(std::max({openNs, scrollNs, repaintNs}));
    }

    // A document with a long line is shown for viewing only; the first key that would edit it
    // asks, and agreeing puts the line back together. Timed: that first key, and the next one.
    static void typeAfterAgreeingToEdit(benchmark::State &state, EditorSession &editor) {
        editor.text1().setEditingConfirmation([](ViewOnlyReason) { return true; });
        const auto typeKey = [&editor] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QCoreApplication::sendEvent(&editor.edit(), &press);
            editor.edit().grab();
        };
        QElapsedTimer timer;
        timer.start();
        typeKey();
        state.counters["agree_to_edit_ms"] = milliseconds(timer.nsecsElapsed());
        timer.restart();
        typeKey();
        state.counters["keystroke_ms"] = milliseconds(timer.nsecsElapsed());
        editor.text1().setEditingConfirmation({});
        if (editor.edit().isReadOnly())
            state.SkipWithError("the document did not become editable");
    }

    static void probeMemory(benchmark::State &state, const Sample &sample, const char *side) {
        const QString probe =
            QCoreApplication::applicationDirPath() + QStringLiteral("/memory_probe");
        QList<qlonglong> kib;
        for (auto _ : state) {
            QProcess process;
            process.start(probe,
                          {QString::fromLatin1(side), sample.path, sampleKindName(sample.kind)});
            process.waitForFinished(-1);
            kib.clear();
            for (const QByteArray &field : process.readAllStandardOutput().simplified().split(' '))
                kib.append(field.toLongLong());
            if (process.exitCode() != 0 || kib.size() != 3) {
                state.SkipWithError("memory_probe failed");
                return;
            }
        }
        state.counters["base_MiB"] = kib[0] / 1024.0;
        state.counters["peak_MiB"] = kib[1] / 1024.0;
        state.counters["resident_MiB"] = kib[2] / 1024.0;
    }

    QTemporaryDir m_dir;
    std::vector<Sample> m_samples;
    EditorSession m_editor;
    QPlainTextEdit m_floorEdit;
};

// Prints, after the usual table, each editor figure over its floor: the ratio of the medians
// and, in brackets, of the best runs, which on a busy machine is the steadier of the two.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            Figures &figures = m_figures[run.run_name.function_name];
            figures["time_ms"].push_back(run.GetAdjustedRealTime());
            for (const auto &[name, counter] : run.counters)
                figures[name].push_back(counter.value);
        }
    }

    void Finalize() override {
        std::printf("\nEditor over floor: median ratio (best-run ratio)\n");
        for (const auto &[name, figures] : m_figures) {
            const std::string::size_type side = name.rfind("/editor");
            if (side == std::string::npos || side + 7 != name.size())
                continue;
            const std::string stem = name.substr(0, side);
            const std::string operation = stem.substr(0, stem.find('/'));
            const std::string document = stem.substr(stem.find('/'));
            if (operation == "open" || operation == "save")
                printRatio(stem, "time_ms", figures, figuresOf(stem + "/floor"));
            if (operation == "save")
                printRatio(stem + " (vs atomic)", "time_ms", figures,
                           figuresOf(stem + "/atomic-floor"));
            else if (operation == "preview")
                printRatio(stem + " (vs save floor)", "time_ms", figures,
                           figuresOf("save" + document + "/floor"));
            else if (operation == "long-line")
                printRatio(stem, "longest_freeze_ms", figures, figuresOf(stem + "/floor"));
            else if (operation == "memory")
                printRatio(stem, "peak_MiB", figures, figuresOf(stem + "/floor"));
        }
        std::printf("\nGrowth from 1 MB to 16 MB, time(16 MB) / time(1 MB):\n");
        for (const char *operation : {"open", "save"}) {
            for (const char *kind : {"gbk", "utf-8"}) {
                for (const char *side : {"editor", "floor"}) {
                    const std::string prefix = std::string(operation) + '/' + kind + '/';
                    const double small = median(figuresOf(prefix + "1MB/" + side), "time_ms");
                    const double large = median(figuresOf(prefix + "16MB/" + side), "time_ms");
                    if (small > 0 && large > 0)
                        std::printf("  %-28s %6.1f\n", (prefix + side).c_str(), large / small);
                }
            }
        }
        std::fflush(stdout);
    }

private:
    // Each figure's value in every run, by figure name.
    using Figures = std::map<std::string, std::vector<double>>;

    Figures figuresOf(const std::string &name) const {
        const auto found = m_figures.find(name);
        return found == m_figures.end() ? Figures() : found->second;
    }

    static std::vector<double> sorted(const Figures &figures, const std::string &value) {
        const auto found = figures.find(value);
        std::vector<double> values = found == figures.end() ? std::vector<double>() : found->second;
        std::sort(values.begin(), values.end());
        return values;
    }

    static double median(const Figures &figures, const std::string &value) {
        const std::vector<double> values = sorted(figures, value);
        if (values.empty())
            return 0;
        const std::size_t middle = values.size() / 2;
        return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    }

    static double best(const Figures &figures, const std::string &value) {
        const std::vector<double> values = sorted(figures, value);
        return values.empty() ? 0 : values.front();
    }

    static void printRatio(const std::string &what, const std::string &value, const Figures &editor,
                           const Figures &floor) {
        const double floorMedian = median(floor, value);
        const double floorBest = best(floor, value);
        if (floorMedian <= 0 || floorBest <= 0)
            return;
        std::printf("  %-36s %-18s %9.1f / %9.1f = %5.2fx (%5.2fx)\n", what.c_str(), value.c_str(),
                    median(editor, value), floorMedian, median(editor, value) / floorMedian,
                    best(editor, value) / floorBest);
    }

    std::map<std::string, Figures> m_figures;
};

} // namespace

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    QApplication app(argc, argv);
    Workbench workbench;
    workbench.registerAll();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
