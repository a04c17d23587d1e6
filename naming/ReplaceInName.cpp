#include "naming/ReplaceInName.h"

namespace {

// One step of the rule; false when there is nothing left to replace.
bool replaceLeftmost(QString& s, const QString& search, const QString& replacement) {
    const qsizetype p = s.indexOf(search);
    if (p < 0)
        return false;
    s.replace(p, search.size(), replacement);
    return true;
}

} // namespace

std::optional<QString> ReplaceInName(const QString& name, const QString& search, const QString& replacement) {
    if (search.isEmpty() || !name.contains(search))
        return name;
    // Each step leaves the replacement in the name, so the search text is found forever.
    if (replacement.contains(search))
        return std::nullopt;

    QString s = name;
    if (replacement.size() < search.size()) {
        // Every step shortens the name: this ends.
        while (replaceLeftmost(s, search, replacement)) {
        }
        return s;
    }

    if (replacement.size() > search.size()) {
        // Every step lengthens the name, and the final name is the longest: stop past the limit.
        while (replaceLeftmost(s, search, replacement)) {
            if (s.size() > kMaxReplacedNameLength)
                return std::nullopt;
        }
        return s;
    }

    // Same length: there are only finitely many names of this length, so the steps either end or
    // come back to a name already seen. Brent's cycle detection tells the two apart exactly,
    // without a step limit and in constant memory.
    QString tortoise = s;
    if (!replaceLeftmost(s, search, replacement))
        return s;
    qsizetype power = 1;
    qsizetype lambda = 1;
    while (s != tortoise) {
        if (power == lambda) {
            tortoise = s;
            power *= 2;
            lambda = 0;
        }
        if (!replaceLeftmost(s, search, replacement))
            return s;
        ++lambda;
    }
    return std::nullopt;
}
