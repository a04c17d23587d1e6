#pragma once

#include <QString>

class Prompts;

// The longest bare filename, extension included, that passes without the long-name prompt.
constexpr int kShortFilenameLimit = 64;

// The candidate filename: the one slot in which every renaming command builds the new bare
// name (extension included) of the file it is about to rename. A command fills it, runs
// AskShortFilename on it and renames the file to what it then holds; it means nothing outside
// that span.
extern QString CandidateFilename;

// The long-name prompt, run on the final candidate just before RenameFile. `ask64` is the
// long-name option (the Ask64 check mark) as the caller reads it once, on entry. When it is on
// and the candidate is longer than 64 characters, asks for a new name until one of at most 64
// characters is entered; Cancel leaves the candidate as it was and so asks again. The entered
// text is not checked in any other way.
void AskShortFilename(QString& candidate, bool ask64, Prompts& prompts);
