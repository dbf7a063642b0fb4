#pragma once

#include "current_folder.h"
#include "file_dialog.h"
#include "runtime_services.h"

#include <QByteArray>

class QWidget;

namespace zariza {

// The file-name dialog as a Qt dialog (Qt's own, so it behaves the same on every platform). It
// remembers the folders visited and its layout for the session only, and writes no settings.
class QtFileDialog : public FileDialog {
public:
    explicit QtFileDialog(QWidget *parent) : m_parent(parent) {}
    std::optional<QString> showOpen(const QString &title, const FileFilters &filters) override;
    std::optional<QString> showSave(const QString &title, const FileFilters &filters) override;
    // Where a showing without a last name starts; the folder of each name chosen.
    CurrentFolder &currentFolder() { return m_folder; }

protected:
    // The next showing starts at this name.
    void setLastName(const QString &name) { m_lastName = name; }

private:
    std::optional<QString> show(const QString &title, const FileFilters &filters, bool forSaving);

    QWidget *m_parent;
    // QFileDialog::saveState() of the last showing: history, last folder, columns, view mode.
    QByteArray m_state;
    // The name chosen last; a cancelled showing forgets it, so the next Enter writes nothing old.
    QString m_lastName;
    CurrentFolder m_folder;
};

// The runtime services backed by real Qt message boxes, dialogs, files and launching.
class QtRuntimeServices : public RuntimeServices {
public:
    explicit QtRuntimeServices(QWidget *window);

    Answer msgBox(const QString &prompt, BoxKind kind, const QString &title) override;
    FileDialog &dakai() override { return m_dialog; }
    QString currentFolder() const override;
    QByteArray readFile(const QString &fileName) override;
    std::unique_ptr<AtomicFile> createFile(const QString &fileName, LinkHandling links) override;
    void shell(const QString &filePath) override;
    void end() override;

private:
    QWidget *m_window;
    mutable QtFileDialog m_dialog;
};

} // namespace zariza
