/*
 * How the parts of Zariza编辑器 meet, data flowing one way:
 *   app/              - this window, Form1, built from form1.ui: it wires each button's click to
 *                       one command, shows what a command did not trap, asks before it closes;
 *   textbox/          - Text1, the DocumentEdit widget behind the PlainTextBox adapter, holding
 *                       the document;
 *   commands/         - the five commands, free of widgets;
 *   commands/format/  - the document file format: a file's bytes to the document's text and the
 *                       text to the bytes to write, on QtCore alone;
 *   runtime/          - message boxes, the file-name dialog, reading and writing files as bytes,
 *                       launching and ending, behind RuntimeServices, with a Qt implementation that
 *                       only this window creates. It knows neither the format nor the commands.
 * The commands see the document only as a TextBox and the desktop only as RuntimeServices, so the
 * same commands run in the window and, with a scripted fake, in the tests.
 */
#pragma once

#include "document_commands.h"
#include "plain_text_box.h"

#include <QWidget>
#include <functional>
#include <memory>

class QSessionManager;

namespace Ui {
class Form1;
}

namespace zariza {

class RuntimeServices;

// Runs one event procedure. A failure the procedure did not trap is shown as a critical message
// and the program goes on with its document.
void runEventProcedure(RuntimeServices &runtime, const std::function<void()> &procedure);

class Form1 : public QWidget {
    Q_OBJECT

public:
    // Without `runtime` the window uses real dialogs; tests pass a scripted fake.
    explicit Form1(RuntimeServices *runtime = nullptr, QWidget *parent = nullptr);
    ~Form1() override;

    TextBox &text1() { return m_text1; }

    // Asks before the window closes; `cancel` stays non-zero to keep the window open.
    void Form_QueryUnload(qint16 &cancel);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void wireEvents();
    void runCommand(void (DocumentCommands::*command)());
    void commitData(QSessionManager &manager);

    std::unique_ptr<Ui::Form1> m_ui;
    std::unique_ptr<RuntimeServices> m_ownRuntime;
    RuntimeServices *m_runtime;
    PlainTextBox m_text1;
    DocumentCommands m_commands;
};

} // namespace zariza
