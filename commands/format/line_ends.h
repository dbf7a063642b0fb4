#pragma once

#include <QString>
#include <QStringView>

// Line ends as the text files and the text box meet them: CR LF, LF or a lone CR.
namespace zariza {

struct LineExtent {
    qsizetype length;
    qsizetype terminator; // 2 for CR LF, 1 for LF or CR, 0 for a last line without one
};

LineExtent firstLine(QStringView text);

// Every LF follows a CR and every CR comes before an LF.
bool hasOnlyCrLfLineEnds(QStringView text);

// The text with every line end written as CR LF: the same string, not a copy, when it has no
// other kind.
QString withCrLfLineEnds(QString text);

} // namespace zariza
