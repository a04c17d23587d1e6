#include "commands/RenamePreview.h"

#include "core/FileName.h"
#include "core/IoError.h"

#include <QSet>
#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool NameTaken(const QString& name) {
    struct stat st {};
    return ::lstat(EncodeFileName(name).constData(), &st) == 0;
}

qsizetype LongestName() {
    const long max = ::pathconf(".", _PC_NAME_MAX);
    return max > 0 ? qsizetype(max) : NAME_MAX;
}

} // namespace

QList<PreviewRow> PreviewRenames(const QStringList& selected, const RenameRule& rule) {
    QList<PreviewRow> rows;
    QSet<QString> given; // names the earlier files would get
    const qsizetype longest = LongestName();
    for (const QString& name : selected) {
        PreviewRow row{name, name, {}};
        std::optional<QString> planned;
        try {
            planned = PlanRename(name, rule);
        } catch (const CommandError&) {
            planned.reset(); // unreadable: the command would stop here; the preview says so
        }
        if (!planned) {
            row.note = QStringLiteral("left alone");
        } else if (*planned == name) {
            row.note = QStringLiteral("unchanged");
        } else {
            row.newName = *planned;
            if (EncodeFileName(*planned).size() > longest)
                row.note = QStringLiteral("too long");
            else if (given.contains(*planned))
                row.note = QStringLiteral("same name as an earlier file");
            else if (NameTaken(*planned))
                row.note = QStringLiteral("name taken");
        }
        if (row.note.isEmpty())
            given.insert(row.newName);
        rows.append(row);
    }
    return rows;
}
