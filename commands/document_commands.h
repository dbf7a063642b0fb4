#pragma once

#include "atomic_file.h"
#include "file_dialog.h"

#include <QString>

namespace zariza {

class RuntimeServices;
class TextBox;

// The document every new document starts from.
inline QString documentTemplate() {
    return QStringLiteral("<title>Zariza编辑器</title>");
}

// The five button commands. They reach message boxes, the file-name dialog, files and the
// launcher only through RuntimeServices, and the document only through the text box.
class DocumentCommands {
public:
    DocumentCommands(RuntimeServices &runtime, TextBox &text1)
        : m_runtime(runtime), m_text1(text1) {}

    void Command1_Click(); // 打 开: replace the document with a chosen file
    void Command2_Click(); // 新 建: replace the document with the template
    void Command3_Click(); // 保 存: write the document to a *.Devov file
    void Command4_Click(); // 测 试: write Cs.htm and show it in the browser
    void Command5_Click(); // 生 成: write the document to a *.htm / *.html file

private:
    struct Destination {
        QString dialogTitle;
        FileFilters filters;
        QString doneMessage;
        QString failedMessage;
    };

    void saveDocumentAs(const Destination &destination);
    void writeDocumentFile(const QString &fileName, LinkHandling links = LinkHandling::Follow);

    RuntimeServices &m_runtime;
    TextBox &m_text1;
};

} // namespace zariza
