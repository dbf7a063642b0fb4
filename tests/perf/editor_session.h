#pragma once

#include "document_commands.h"
#include "document_edit.h"
#include "fake_runtime.h"
#include "plain_text_box.h"

#include <QPlainTextEdit>

namespace zariza::perf {

// The editor's own commands on a real QPlainTextEdit and real files, with the dialogs scripted
// to answer OK and name the file. Each step throws std::runtime_error when the command reported
// anything but success, so a broken path is never timed as a fast one.
class EditorSession {
public:
    EditorSession();

    DocumentEdit &edit() { return m_edit; }
    PlainTextBox &text1() { return m_text1; }

    void open(const QString &path); // 打 开
    void save(const QString &path); // 保 存
    void preview();                 // 测 试, into Cs.htm in the current folder

private:
    void expectOnlyBox(const QString &prompt);

    testing::FakeRuntime m_runtime;
    DocumentEdit m_edit;
    PlainTextBox m_text1;
    DocumentCommands m_commands;
};

} // namespace zariza::perf
