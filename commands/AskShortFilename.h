#pragma once

#include "core/Batch.h"
#include "core/FileIdentity.h"

#include <QString>

class Prompts;
struct BatchContext;
struct RenameRule;

// The longest bare filename, extension included, that passes without the long-name prompt.
constexpr int kShortFilenameLimit = 64;

// The long-name prompt, run on the final candidate name just before the rename. `ask64` is
// the long-name option as the caller read it once, on entry. When it is on and the candidate
// is longer than 64 characters, asks for a new name until one of at most 64 characters is
// entered; Cancel leaves the candidate as it was and so asks again. The entered text is not
// checked in any other way. Returns whether it asked.
bool AskShortFilename(QString& candidate, bool ask64, Prompts& prompts);

// How every renaming command ends for one file: the long-name prompt on `candidate`, then
// RenameFile from `oldName` to what the candidate then holds. A name that ends up equal to the
// old one is left as it is. Returns whether the file was renamed; a failed rename is silent.
// `seen` is what reading the file saw of its entry, if it was read just before (see RenameFile).
bool RenameToCandidate(const QString& oldName, QString candidate, bool ask64, Prompts& prompts,
                       const EntrySnapshot* seen = nullptr);

// A renaming command whose rule builds each name from the file alone (Rename from tags, Trim
// filenames): every selected file renamed by RenameToCandidate to the name the rule plans for
// it. The plans, and the reads and looks they need, are made on a second thread ahead of the
// renames, which this thread makes in list order.
BatchReport RenameByRule(const BatchContext& context, const RenameRule& rule, bool ask64);
