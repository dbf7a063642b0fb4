#pragma once

#include "atomic_file.h"
#include "runtime_error.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

namespace zariza {

class FileDialog;

// Message box styles the commands use, and the answers a box gives.
namespace MsgBoxStyle {
inline constexpr int OkOnly = 0;
inline constexpr int Critical = 16;
inline constexpr int OkCancelQuestion = 33;
} // namespace MsgBoxStyle

namespace MsgBoxAnswer {
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
} // namespace MsgBoxAnswer

// What the commands and the window need from the desktop. The Qt implementation shows real
// dialogs; tests give a scripted fake.
class RuntimeServices {
public:
    virtual ~RuntimeServices() = default;

    // A modal box; returns MsgBoxAnswer::Ok or MsgBoxAnswer::Cancel.
    virtual int msgBox(const QString &prompt, int style, const QString &title) = 0;
    // The window's one file-name dialog object.
    virtual FileDialog &dakai() = 0;
    // The whole of a regular file (see readRegularFile). Throws RuntimeError.
    virtual QByteArray readFile(const QString &fileName) = 0;
    // A file opened for writing that takes `fileName`'s place on commit() (see AtomicFile).
    // Throws RuntimeError.
    virtual std::unique_ptr<AtomicFile> createFile(const QString &fileName, LinkHandling links) = 0;
    // Hands a file to the system's default handler without waiting for it.
    // Throws RuntimeError when the handler cannot be started.
    virtual void shell(const QString &filePath) = 0;
    // Ends the program at once.
    virtual void end() = 0;
};

// Runs one event procedure. A failure the procedure did not trap is shown as a critical message
// and the program goes on with its document.
void runEventProcedure(RuntimeServices &runtime, const std::function<void()> &procedure);

} // namespace zariza
