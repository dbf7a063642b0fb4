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
    // Lines longer than this are wrapped anywhere (see setText).
    static constexpr qsizetype longLineLength = 1 << 16;

    explicit PlainTextBox(QPlainTextEdit &edit);
    QString text() const override;
    // A document with a line longer than longLineLength is shown wrapped, with that line's
    // layout kept: unwrapped, the widget lays out and paints such a line whole on every repaint,
    // which freezes the window for seconds on a minified page. Other documents are shown the
    // way the widget was set up.
    void setText(const QString &text) override;

private:
    QPlainTextEdit &m_edit;
    // The widget's own QPlainTextEdit::LineWrapMode and QTextOption::WrapMode; ints, so that the
    // commands, which see this header, need no widget headers.
    const int m_usualLineWrapMode;
    const int m_usualWordWrapMode;
};

} // namespace zariza
