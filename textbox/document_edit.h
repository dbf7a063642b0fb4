#pragma once

#include <QPlainTextEdit>
#include <functional>
#include <vector>

namespace zariza {

// The widget of the text box. Besides being a QPlainTextEdit it can show a document whose long
// lines are cut into several blocks (see PlainTextBox): copying then leaves the cuts out, and a
// key that would edit such a document, which is read-only, is announced before it is handled.
// Pasting and dropping take plain text only, and ignore data they cannot read.
class DocumentEdit : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit DocumentEdit(QWidget *parent = nullptr);

    // The numbers of the blocks that go on with the line of the block before them, in order;
    // empty for a document shown as it is.
    void setContinuedBlocks(std::vector<int> blocks);
    const std::vector<int> &continuedBlocks() const { return m_continuedBlocks; }

    // Called while the document is read-only, before a key that would edit it is handled. The
    // handler may make the document editable; the key then takes effect.
    void setEditAttemptHandler(std::function<void()> handler);

    // Asked first with every text pasted or dropped; returns whether it put the text in itself.
    void setInsertHandler(std::function<bool(const QString &)> handler);

protected:
    QMimeData *createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool isContinued(const QTextBlock &block) const;

    std::vector<int> m_continuedBlocks;
    std::function<void()> m_editAttempted;
    std::function<bool(const QString &)> m_insert;
};

} // namespace zariza
