#pragma once

class FileSelection;
class Prompts;

// "Trim filenames": renames every selected file, in list order, to TrimFilename of its name
// under the filename format (0..3, or -1), the Case value (0 Capitalize, else Sentence) and
// `numbersTo` (0 "xx. ", 1 "xx - "), through AskShortFilename (`ask64`) and RenameFile. The
// rename is attempted even when the name is unchanged; a failed one (a taken name, for one) is
// silent. Nothing selected does nothing; the list is re-read at the end.
void TrimFilenames(FileSelection& files, Prompts& prompts, int filenameFormat, int caseValue, int numbersTo,
                   bool ask64);
