#include "file_dialog.h"

namespace zariza {

QStringList nameFiltersFromFilter(const QString &filter) {
    const QStringList items = filter.split(u'|');
    QStringList nameFilters;
    for (qsizetype i = 0; i + 1 < items.size(); i += 2) {
        const QString &description = items[i];
        // "*.htm;*.html" lists patterns with semicolons; Qt separates them with blanks.
        const QString patterns = QString(items[i + 1]).replace(u';', u' ');
        // Qt reads the patterns from the last "(…)" of a name filter; a description that already
        // ends with its patterns in brackets is used as it is.
        if (description.endsWith(u'(' + patterns + u')'))
            nameFilters.append(description);
        else
            nameFilters.append(description + QStringLiteral(" (") + patterns + u')');
    }
    return nameFilters;
}

} // namespace zariza
