#include "text_box.h"

#include <QPlainTextEdit>

namespace zariza {

QString PlainTextBox::text() const {
    QString text = m_edit.toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

void PlainTextBox::setText(const QString &text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(u'\r', u'\n');
    m_edit.setPlainText(plain);
}

} // namespace zariza
