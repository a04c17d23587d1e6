#include "naming/ReplaceInName.h"

#include "core/TextLength.h"

namespace {

// One step of the rule; false when there is nothing left to replace. Only whole characters
// match, so a search for half of a pair never cuts that pair apart.
bool replaceLeftmost(QString& s, const QString& search, const QString& replacement) {
    const qsizetype p = IndexOfChars(s, search);
    if (p < 0)
        return false;
    s.replace(p, search.size(), replacement);
    return true;
}

// Follows the name's length in characters from step to step: true when a step made it longer
// and it is now past the limit.
class LengthLimit {
public:
    explicit LengthLimit(const QString& name) : chars_(CharCount(name)) {}
    bool grewPast(const QString& s) {
        const qsizetype now = CharCount(s);
        const bool past = now > chars_ && now > kMaxReplacedNameLength;
        chars_ = now;
        return past;
    }

private:
    qsizetype chars_;
};

// True when every copy of `replacement` put into a name keeps an occurrence of `search`: it holds
// one, and neither of its ends is a surrogate that could pair with the name around it.
bool replacementKeepsSearch(const QString& search, const QString& replacement) {
    return IndexOfChars(replacement, search) >= 0 && !replacement.front().isLowSurrogate() &&
           !replacement.back().isHighSurrogate();
}

} // namespace

std::optional<QString> ReplaceInName(const QString& name, const QString& search, const QString& replacement) {
    if (IndexOfChars(name, search) < 0)
        return name;
    // Each step leaves the replacement in the name, so the search text is found forever.
    if (replacementKeepsSearch(search, replacement))
        return std::nullopt;

    // The steps below are told apart by the change in UTF-16 units, which decides whether the
    // repetition ends; the limit itself counts characters.
    QString s = name;
    LengthLimit limit(name);
    if (replacement.size() < search.size()) {
        // Every step shortens the name: this ends.
        while (replaceLeftmost(s, search, replacement)) {
            if (limit.grewPast(s))
                return std::nullopt;
        }
        return s;
    }

    if (replacement.size() > search.size()) {
        // Every step lengthens the name, and a name of at most 255 characters has at most 510
        // units: stop past the limit.
        while (replaceLeftmost(s, search, replacement)) {
            if (limit.grewPast(s))
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
    if (limit.grewPast(s))
        return std::nullopt;
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
        if (limit.grewPast(s))
            return std::nullopt;
        ++lambda;
    }
    return std::nullopt;
}
