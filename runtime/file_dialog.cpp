#include "file_dialog.h"

namespace zariza {

QStringList nameFiltersOf(const FileFilters &filters) {
    QStringList nameFilters;
    for (const FileFilter &filter : filters) {
        const QString patterns = filter.patterns.join(u' ');
        // Qt reads the patterns from the last "(…)" of a name filter; a description that already
        // ends with its patterns in brackets is used as it is.
        if (filter.description.endsWith(u'(' + patterns + u')'))
            nameFilters.append(filter.description);
        else
            nameFilters.append(filter.description + QStringLiteral(" (") + patterns + u')');
    }
    return nameFilters;
}

} // namespace zariza
