#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace zariza {

// The document text as the commands see it: read and replaced whole, line ends CR LF.
class TextBox {
public:
    virtual ~TextBox() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString &text) = 0;
};

class DocumentEdit;

// The text box of the window. The widget keeps LF line ends; this side speaks CR LF.
class PlainTextBox : public TextBox {
public:
    // A document with a line longer than this is shown for viewing only (see setText).
    static constexpr qsizetype longLineLength = 1 << 16;
    // The length of the pieces such a line is shown in.
    static constexpr qsizetype viewPieceLength = 4096;

    explicit PlainTextBox(DocumentEdit &edit);
    QString text() const override;
    // A document with a line longer than longLineLength, such as a minified page, is shown
    // wrapped and read-only, its long lines cut into pieces of viewPieceLength characters, so
    // that it opens and scrolls at once; the text stays as it was given. The first key that
    // would edit it asks the confirmation (see setEditingConfirmation) and, if granted, puts the
    // lines back together, which takes seconds for a line of megabytes. Other documents are
    // shown the way the widget was set up.
    void setText(const QString &text) override;
    void setEditingConfirmation(std::function<bool()> confirm);

private:
    void showForViewing(const QString &text);
    void showForEditing(const QString &text, bool wrapped);
    void setWrapped(bool wrapped);
    void startEditing();

    DocumentEdit &m_edit;
    // The widget's own QPlainTextEdit::LineWrapMode and QTextOption::WrapMode; ints, so that the
    // commands, which see this header, need no widget headers.
    const int m_usualLineWrapMode;
    const int m_usualWordWrapMode;
    std::function<bool()> m_confirmEditing;
    // While a document is shown for viewing only: its text, line ends CR LF.
    std::optional<QString> m_viewedText;
};

} // namespace zariza
