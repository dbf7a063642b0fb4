#include "document_commands.h"

#include "background_writer.h"
#include "document_format.h"
#include "document_writer.h"
#include "file_dialog.h"
#include "runtime_services.h"
#include "text_box.h"

#include <QDir>
#include <new>
#include <optional>

namespace zariza {

namespace {

QString noticeTitle() {
    return QStringLiteral("提示");
}

bool confirmed(RuntimeServices &runtime, const QString &question) {
    return runtime.msgBox(question, BoxKind::Question, noticeTitle()) == Answer::Ok;
}

void showFailure(RuntimeServices &runtime, const QString &message, const RuntimeError &error) {
    runtime.msgBox(message + u'\n' + error.describe(), BoxKind::Failure, noticeTitle());
}

RuntimeError outOfMemory(const QString &fileName) {
    return RuntimeError(QStringLiteral("内存不足"), fileName);
}

// The file's text, or nothing when the user would rather not load bytes no encoding reads or a
// page in an encoding this computer cannot read.
std::optional<QString> openDocument(RuntimeServices &runtime, const QString &fileName) {
    OpenedDocument opened = readDocument(runtime.readFile(fileName));
    if (!opened.unsupportedCharset.isEmpty()) {
        if (!confirmed(runtime,
                       QStringLiteral("这个网页的编码 %1 在本机无法读写，文字可能显示不正确，"
                                      "保存时将写成 GBK。确认打开？")
                           .arg(QString::fromLatin1(opened.unsupportedCharset))))
            return std::nullopt;
    } else if (!opened.clean &&
               !confirmed(runtime,
                          QStringLiteral("文件中有无法识别的字节，保存时将被替换。确认打开？"))) {
        return std::nullopt;
    }
    return std::move(opened.text);
}

// In a memory control group the kernel ends the process rather than fail an allocation, so the
// room to read and decode the file is checked before it is read.
void refuseWithoutRoomToRead(const TextBox &textBox, const QString &fileName) {
    if (textBox.roomToRead(QFileInfo(fileName).size()) == TextBox::Room::Lacking)
        throw outOfMemory(fileName);
}

// The widget does not survive running out of memory half-way, so the room is checked first.
// Where it is tight, the old document is kept to go back should the new one fail all the same;
// elsewhere that copy would only slow every open down.
void replaceDocument(TextBox &textBox, QString document, const QString &fileName) {
    const TextBox::Room room = textBox.roomFor(document);
    if (room == TextBox::Room::Lacking)
        throw outOfMemory(fileName);
    const QString previous = room == TextBox::Room::Tight ? textBox.text() : QString();
    try {
        textBox.setText(std::move(document));
    } catch (const std::bad_alloc &) {
        textBox.setText(previous);
        throw;
    }
}

} // namespace

void DocumentCommands::Command1_Click() {
    if (!confirmed(m_runtime, QStringLiteral("将清除原有代码确认打开？")))
        return;
    const std::optional<QString> chosen = m_runtime.dakai().showOpen(
        QStringLiteral("打开"), {{QStringLiteral("(*.Devov)"), {QStringLiteral("*.Devov")}},
                                 {QStringLiteral("(*.htm)"), {QStringLiteral("*.htm")}},
                                 {QStringLiteral("(*.html)"), {QStringLiteral("*.html")}}});
    if (!chosen)
        return;
    const QString &fileName = *chosen;

    // Load everything first and replace the document once, so a failure leaves it untouched.
    // The text read is let go before a failure is shown, which may need the memory.
    try {
        refuseWithoutRoomToRead(m_text1, fileName);
        if (std::optional<QString> document = openDocument(m_runtime, fileName))
            replaceDocument(m_text1, std::move(*document), fileName);
    } catch (const RuntimeError &error) {
        showFailure(m_runtime, QStringLiteral("文件打开失败！"), error);
    } catch (const std::bad_alloc &) {
        showFailure(m_runtime, QStringLiteral("文件打开失败！"), outOfMemory(fileName));
    }
}

void DocumentCommands::Command2_Click() {
    if (confirmed(m_runtime, QStringLiteral("将清除原有代码确认新建？")))
        m_text1.setText(documentTemplate());
}

void DocumentCommands::Command3_Click() {
    saveDocumentAs({QStringLiteral("保存"),
                    {{QStringLiteral("(*.Devov)"), {QStringLiteral("*.Devov")}}},
                    QStringLiteral("文件保存完成！"),
                    QStringLiteral("文件保存失败！")});
}

void DocumentCommands::Command4_Click() {
    QString previewPath;
    try {
        previewPath = QDir(m_runtime.currentFolder()).absoluteFilePath(QStringLiteral("Cs.htm"));
        // Anyone who can write to the folder could plant Cs.htm as a link or a device, or swap
        // one in while it is written; the preview never writes through them.
        writeDocumentFile(previewPath, LinkHandling::Replace);
    } catch (const RuntimeError &error) {
        showFailure(m_runtime, QStringLiteral("预览文件写入失败！"), error);
        return;
    }
    try {
        m_runtime.shell(previewPath);
    } catch (const RuntimeError &error) {
        // Says what could not be started, like the other failures, under the title it always had.
        m_runtime.msgBox(QStringLiteral("测试失败！\n") + error.describe(), BoxKind::Failure,
                         QStringLiteral("未知原因"));
    }
}

void DocumentCommands::Command5_Click() {
    saveDocumentAs({QStringLiteral("生成"),
                    {{QStringLiteral("(*.htm)"), {QStringLiteral("*.htm")}},
                     {QStringLiteral("(*.html)"), {QStringLiteral("*.html")}}},
                    QStringLiteral("文件生成完成！"),
                    QStringLiteral("文件生成失败！")});
}

void DocumentCommands::saveDocumentAs(const Destination &destination) {
    const std::optional<QString> fileName =
        m_runtime.dakai().showSave(destination.dialogTitle, destination.filters);
    if (!fileName)
        return;
    try {
        writeDocumentFile(*fileName);
    } catch (const RuntimeError &error) {
        showFailure(m_runtime, destination.failedMessage, error);
        return;
    }
    m_runtime.msgBox(destination.doneMessage, BoxKind::Notice, noticeTitle());
}

// The old file is replaced only once all of the new one is on disk; a failure on the way leaves
// it as it was and no temporary file behind. The text is encoded and written on a second core
// while it is read out of the text box.
void DocumentCommands::writeDocumentFile(const QString &fileName, LinkHandling links) {
    const std::unique_ptr<AtomicFile> file = m_runtime.createFile(fileName, links);
    BackgroundWriter writer([&file](QByteArrayView bytes) { file->write(bytes); });
    m_text1.readText([&writer](QStringView piece) { writer.add(piece); });
    writer.finishDocument();
    file->commit();
}

} // namespace zariza
