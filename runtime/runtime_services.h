#pragma once

#include "atomic_file.h"
#include "runtime_error.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace zariza {

class FileDialog;

// The kinds of message box the program shows, and the answers a box gives.
enum class BoxKind {
    Notice,   // a statement with 确定
    Failure,  // a critical message with 确定
    Question, // a question with 确定 and 取消
};
enum class Answer { Ok, Cancel };

// What the commands and the window need from the desktop. The Qt implementation shows real
// dialogs; tests give a scripted fake.
class RuntimeServices {
public:
    virtual ~RuntimeServices() = default;

    // A modal box; Esc and the close box answer Cancel where there is one, OK otherwise.
    virtual Answer msgBox(const QString &prompt, BoxKind kind, const QString &title) = 0;
    // The window's one file-name dialog.
    virtual FileDialog &dakai() = 0;
    // The whole of a regular file (see readRegularFile). Throws RuntimeError.
    virtual QByteArray readFile(const QString &fileName) = 0;
    // A file opened for writing that takes `fileName`'s place on commit() (see AtomicFile).
    // Throws RuntimeError.
    virtual std::unique_ptr<AtomicFile> createFile(const QString &fileName, LinkHandling links) = 0;
    // The folder the preview goes to: that of the last file chosen in the dialog, at first the
    // folder the program started in. Throws RuntimeError when it has been removed since.
    virtual QString currentFolder() const = 0;
    // Hands a file to the system's default handler without waiting for it.
    // Throws RuntimeError when the handler cannot be started.
    virtual void shell(const QString &filePath) = 0;
    // Ends the program at once.
    virtual void end() = 0;
};

} // namespace zariza
