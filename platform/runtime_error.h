#pragma once

#include <QString>
#include <stdexcept>

namespace zariza {

// A failure that a command can trap. `reason` is a short Chinese phrase a user understands;
// `fileName` names the file involved, when there is one.
class RuntimeError : public std::runtime_error {
public:
    RuntimeError(QString reason, QString fileName = {});

    const QString &reason() const { return m_reason; }
    const QString &fileName() const { return m_fileName; }
    // "<file>：<reason>", or just the reason when no file is involved.
    QString describe() const;

private:
    QString m_reason;
    QString m_fileName;
};

} // namespace zariza
