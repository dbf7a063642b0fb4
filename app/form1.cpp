#include "form1.h"

#include "accessibility.h"
#include "qt_runtime.h"
#include "ui_form1.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QSessionManager>

namespace zariza {

namespace {

Ui::Form1 *setUpForm(Ui::Form1 *ui, QWidget *form) {
    describeWindowToScreenReaders();
    ui->setupUi(form);
    return ui;
}

QString editingQuestion(ViewOnlyReason reason) {
    switch (reason) {
    case ViewOnlyReason::LongLines:
        return QStringLiteral("这个文件有很长的行，现在只供查看。确认编辑？\n"
                              "编辑很长的行时，每按一次键都可能要等几秒。");
    case ViewOnlyReason::SpecialBreaks:
        return QStringLiteral("这个文件含有特殊的分行字符（U+2028、U+2029 等），现在只供查看。"
                              "确认编辑？\n编辑后这些字符会变成换行。");
    }
    return {};
}

} // namespace

void runEventProcedure(RuntimeServices &runtime, const std::function<void()> &procedure) {
    try {
        procedure();
    } catch (const RuntimeError &error) {
        runtime.msgBox(QStringLiteral("运行时错误：\n") + error.describe(), BoxKind::Failure,
                       QStringLiteral("Zariza编辑器"));
    } catch (const std::exception &error) {
        runtime.msgBox(QStringLiteral("运行时错误：\n") + QString::fromLocal8Bit(error.what()),
                       BoxKind::Failure, QStringLiteral("Zariza编辑器"));
    }
}

Form1::Form1(RuntimeServices *runtime, QWidget *parent)
    : QWidget(parent), m_ui(setUpForm(new Ui::Form1, this)),
      m_ownRuntime(runtime ? nullptr : std::make_unique<QtRuntimeServices>(this)),
      m_runtime(runtime ? runtime : m_ownRuntime.get()), m_text1(*m_ui->Text1),
      m_commands(*m_runtime, m_text1) {
    // The two labels take the width of their text.
    m_ui->Label2->adjustSize();
    m_ui->Label3->adjustSize();
    m_ui->Text1->setFocus();
    pressButtonsWithEnter(this);
    wireEvents();
}

Form1::~Form1() = default;

void Form1::wireEvents() {
    connect(m_ui->Command1, &QPushButton::clicked, this,
            [this] { runCommand(&DocumentCommands::Command1_Click); });
    connect(m_ui->Command2, &QPushButton::clicked, this,
            [this] { runCommand(&DocumentCommands::Command2_Click); });
    connect(m_ui->Command3, &QPushButton::clicked, this,
            [this] { runCommand(&DocumentCommands::Command3_Click); });
    connect(m_ui->Command4, &QPushButton::clicked, this,
            [this] { runCommand(&DocumentCommands::Command4_Click); });
    connect(m_ui->Command5, &QPushButton::clicked, this,
            [this] { runCommand(&DocumentCommands::Command5_Click); });
    m_text1.setEditingConfirmation([this](ViewOnlyReason reason) {
        return m_runtime->msgBox(editingQuestion(reason), BoxKind::Question,
                                 QStringLiteral("提示")) == Answer::Ok;
    });
    // The desktop session ending asks the same question as the close box.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager &manager) { commitData(manager); });
}

void Form1::runCommand(void (DocumentCommands::*command)()) {
    runEventProcedure(*m_runtime, [this, command] { (m_commands.*command)(); });
}

void Form1::Form_QueryUnload(qint16 &cancel) {
    const Answer answer =
        m_runtime->msgBox(QStringLiteral("确认退出？"), BoxKind::Question, QStringLiteral("提示"));
    cancel = answer == Answer::Ok ? 0 : 1;
    if (!cancel)
        m_runtime->end();
}

void Form1::closeEvent(QCloseEvent *event) {
    qint16 cancel = 0;
    Form_QueryUnload(cancel);
    if (!cancel)
        event->accept();
    else
        event->ignore();
}

void Form1::commitData(QSessionManager &manager) {
    if (!manager.allowsInteraction())
        return;
    qint16 cancel = 0;
    Form_QueryUnload(cancel);
    if (cancel)
        manager.cancel();
    manager.release();
}

} // namespace zariza
