#pragma once

#include <QString>

// The tidied form of a listed name (no directory): trimmed of codes 0..32, the last four
// characters dropped as the extension, "_" made blanks and a leading track number rewritten
// as two digits plus ". " (numbersTo 0) or " - " (numbersTo 1) under filename formats 0 and 1,
// blanks put around the first hyphen under formats 1 and 2, re-cased (caseValue 0: every word
// capitalised; otherwise only the first letter and the one after the first " - "), and ".mp3"
// appended. Under any other format (-1) only the trim, the case and the extension apply.
QString TrimFilename(const QString& name, int filenameFormat, int caseValue, int numbersTo);
