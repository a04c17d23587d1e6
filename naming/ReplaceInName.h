#pragma once

#include <QString>
#include <optional>

// The longest name the replacement may produce; a name that would grow past it keeps its
// old name.
inline constexpr qsizetype kMaxReplacedNameLength = 255;

// Replaces `search` in `name` (case-sensitive, extension included) the way Search and replace
// does: delete the leftmost occurrence, insert `replacement` there, and search again from the
// start, until `search` no longer occurs. An empty search text never occurs.
// Returns the resulting name, or std::nullopt when the repetition would never end (it comes
// back to a name it has already produced, or keeps growing) or the name grows past
// kMaxReplacedNameLength characters: the file then keeps its old name.
std::optional<QString> ReplaceInName(const QString& name, const QString& search, const QString& replacement);
