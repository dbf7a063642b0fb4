#pragma once

#include "current_folder.h"
#include "file_dialog.h"
#include "read_file.h"
#include "runtime_services.h"
#include "text_box.h"

#include <QList>
#include <QStringList>
#include <deque>

namespace zariza::testing {

// A file dialog that leaves scripted names and records how it was shown.
class ScriptedFileDialog : public FileDialog {
public:
    struct Shown {
        QString kind; // "open" or "save"
        QString title;
        QString filter; // "description|pattern|…"
    };

    // Names the dialog leaves, one per showing; an empty name is a cancelled dialog.
    std::deque<QString> names;
    QList<Shown> shown;

    std::optional<QString> showOpen(const QString &title, const FileFilters &filters) override {
        return show(QStringLiteral("open"), title, filters);
    }
    std::optional<QString> showSave(const QString &title, const FileFilters &filters) override {
        return show(QStringLiteral("save"), title, filters);
    }

private:
    std::optional<QString> show(const QString &kind, const QString &title,
                                const FileFilters &filters);
};

// Runtime services with queued answers and recorded calls; files are real.
class FakeRuntime : public RuntimeServices {
public:
    struct MsgBox {
        QString prompt;
        BoxKind kind;
        QString title;

        bool operator==(const MsgBox &) const = default;
    };

    // Answers for the questions, in order. An OK-only box needs none.
    std::deque<Answer> answers;
    QList<MsgBox> boxes;
    QStringList launched;
    bool launchFails = false;
    int endCalls = 0;
    ScriptedFileDialog dialog;
    CurrentFolder folder; // the dialog leaves it as it is

    Answer msgBox(const QString &prompt, BoxKind kind, const QString &title) override;
    FileDialog &dakai() override { return dialog; }
    QString currentFolder() const override { return folder.path(); }
    QByteArray readFile(const QString &fileName) override { return readRegularFile(fileName); }
    std::unique_ptr<AtomicFile> createFile(const QString &fileName, LinkHandling links) override {
        return AtomicFile::create(fileName, links);
    }
    void shell(const QString &filePath) override;
    void end() override { ++endCalls; }
};

// Lets QCOMPARE show a box that differs.
char *toString(const FakeRuntime::MsgBox &box);

class FakeTextBox : public TextBox {
public:
    explicit FakeTextBox(QString text = {}) : value(std::move(text)) {}
    QString text() const override { return value; }
    void setText(QString text) override {
        value = text;
        ++writes;
    }
    Room roomFor(QStringView) const override { return room; }

    QString value;
    int writes = 0;
    Room room = Room::Enough; // the memory there is to show a text
};

} // namespace zariza::testing
