#include "naming/Formats.h"

QString RemoveInvalidChars(const QString& text) {
    static const QString invalid = QStringLiteral("\"*/:<>?\\|");
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (!invalid.contains(c))
            out.append(c);
    }
    return out;
}
