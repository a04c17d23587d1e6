#pragma once

#include "core/FileIdentity.h"
#include "naming/Formats.h"

#include <QString>
#include <optional>

// How a renaming command that builds names works out a file's new name. The commands and the
// rename preview both ask here, so the preview shows exactly what a command would do.
struct RenameRule {
    enum class Kind { FromTags, Trim, Replace };
    Kind kind = Kind::Trim;
    FilenameFormat format = FilenameFormat::TrackTitle;
    TrackSeparator separator = TrackSeparator::Dot;
    NameCase nameCase = NameCase::Capitalize; // Trim only
    QString search;                           // Replace only
    QString replacement;                      // Replace only
    bool useId3v2 = false;                    // FromTags only: the ID3v2 tag's texts first

    static RenameRule fromTags(FilenameFormat format, TrackSeparator separator, bool useId3v2) {
        RenameRule rule;
        rule.kind = Kind::FromTags;
        rule.format = format;
        rule.separator = separator;
        rule.useId3v2 = useId3v2;
        return rule;
    }
    static RenameRule trim(FilenameFormat format, NameCase nameCase, TrackSeparator separator) {
        RenameRule rule = fromTags(format, separator, false);
        rule.kind = Kind::Trim;
        rule.nameCase = nameCase;
        return rule;
    }
    static RenameRule replace(const QString& search, const QString& replacement) {
        RenameRule rule;
        rule.kind = Kind::Replace;
        rule.search = search;
        rule.replacement = replacement;
        return rule;
    }
};

// The name the rule gives the listed file `name` (a bare Morwick name), before the long-name
// prompt; the file's own name when the rule changes nothing. Rename from tags takes the title,
// artist and track of the file's ID3v2 tag, whole, when `useId3v2` is set and that tag holds any
// text (see ReadTagValues), else those of its ID3v1 tag. Nothing when the command leaves the
// file alone: Rename from tags finds no title or artist (or cannot read the file, or no format is
// chosen), or the built name would hide the file or have nothing before its extension (it is
// empty or starts with "."). Reading a tag may throw CommandError. `seen`, when given, receives
// what reading the file saw of its entry (Rename from tags, a name that is no symbolic link), for
// a rename that follows at once.
std::optional<QString> PlanRename(const QString& name, const RenameRule& rule,
                                  std::optional<EntrySnapshot>* seen = nullptr);

// A rename worked out ahead of the batch that makes it: the new name (PlanRename's answer) and
// what was seen of the file's entry, for the rename.
struct PlannedRename {
    std::optional<QString> name;
    std::optional<EntrySnapshot> seen;
};

// PlanRename for a rename that follows. Where the name changes, Trim looks at the entry as
// the rename would (Rename from tags has seen it reading the tag), so that a batch can leave
// all the looking to a planning thread. Only looks: safe on any thread.
PlannedRename PlanRenameToMake(const QString& name, const RenameRule& rule);

// Whether a name made by a rule may be given to a file: not empty, and not starting with ".",
// which would hide the file from the list (and from the user).
bool IsUsableBuiltName(const QString& name);
