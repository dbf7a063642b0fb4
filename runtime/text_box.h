#pragma once

#include <QString>

class QPlainTextEdit;

namespace zariza {

// The document text as the commands see it: read and replaced whole, line ends CR LF.
class TextBox {
public:
    virtual ~TextBox() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString &text) = 0;
};

// The text box of the window. The widget keeps LF line ends; this side speaks CR LF.
class PlainTextBox : public TextBox {
public:
    explicit PlainTextBox(QPlainTextEdit &edit) : m_edit(edit) {}
    QString text() const override;
    void setText(const QString &text) override;

private:
    QPlainTextEdit &m_edit;
};

} // namespace zariza
