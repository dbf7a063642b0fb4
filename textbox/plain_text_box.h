#pragma once

#include "document_edit.h"
#include "text_box.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace zariza {

// Why a document is shown for viewing only; editing it needs agreeing to each reason.
enum class ViewOnlyReason {
    LongLines,     // editing a line of megabytes is slow
    SpecialBreaks, // the widget would turn U+2028, U+2029, U+FDD0 and U+FDD1 into line ends
};

// The text box of the window. The widget keeps LF line ends; this side speaks CR LF.
class PlainTextBox : public TextBox {
public:
    // A document with a line longer than this is shown for viewing only (see setText).
    static constexpr qsizetype longLineLength = 1 << 16;
    // The length of the pieces such a line is shown in.
    static constexpr qsizetype viewPieceLength = 4096;

    explicit PlainTextBox(DocumentEdit &edit);
    QString text() const override;
    void readText(const std::function<void(QStringView)> &take) const override;
    // A document with a line longer than longLineLength, such as a minified page, is shown
    // wrapped and read-only, its long lines cut into pieces of viewPieceLength characters, so
    // that it opens and scrolls at once; the text stays as it was given. The first key that
    // would edit it asks the confirmation (see setEditingConfirmation) and, if granted, puts the
    // lines back together, which takes seconds for a line of megabytes. A document holding the
    // characters the widget takes for its own line breaks is shown read-only as well, so that
    // they are kept until editing is agreed. Other documents are shown the way the widget was
    // set up.
    void setText(QString text) override;
    Room roomFor(QStringView text) const override;
    Room roomToRead(qint64 fileBytes) const override;
    // Asked once for each reason the document is only viewed; editing starts if all are granted.
    void setEditingConfirmation(std::function<bool(ViewOnlyReason)> confirm);

private:
    void showForViewing(const QString &text, bool cut);
    void showForEditing(QString text, bool wrapped);
    void setWrapped(bool wrapped);
    void startEditing();
    bool insertLargeText(const QString &inserted);
    int viewPosition(int textPosition) const;

    DocumentEdit &m_edit;
    // How the widget was set up to wrap, for documents that are not only viewed.
    const QPlainTextEdit::LineWrapMode m_usualLineWrapMode;
    const QTextOption::WrapMode m_usualWordWrapMode;
    std::function<bool(ViewOnlyReason)> m_confirmEditing;
    // While a document is shown for viewing only: its text, line ends CR LF, and why.
    std::optional<QString> m_viewedText;
    std::vector<ViewOnlyReason> m_viewedBecause;
};

} // namespace zariza
