#pragma once

#include <QString>
#include <QStringList>

namespace zariza {

// The open/save file-name dialog object. The commands set its title and filter, show it, then
// read the file name it left: the chosen path on accept, empty on cancel. The commands never
// write the file name themselves.
class FileDialog {
public:
    virtual ~FileDialog() = default;

    const QString &dialogTitle() const { return m_dialogTitle; }
    void setDialogTitle(const QString &title) { m_dialogTitle = title; }

    // "description|pattern|description|pattern…"
    const QString &filter() const { return m_filter; }
    void setFilter(const QString &filter) { m_filter = filter; }

    const QString &fileName() const { return m_fileName; }

    // Modal; return when the user closes the dialog.
    virtual void showOpen() = 0;
    virtual void showSave() = 0;

protected:
    void setFileName(const QString &fileName) { m_fileName = fileName; }

private:
    QString m_dialogTitle;
    QString m_filter;
    QString m_fileName;
};

// Turns "desc|pattern|desc|pattern" into name filters such as "(*.htm) (*.htm)" that a
// QFileDialog understands, in the same order. A trailing description without a pattern is dropped.
QStringList nameFiltersFromFilter(const QString &filter);

} // namespace zariza
