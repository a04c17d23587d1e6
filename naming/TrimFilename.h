#pragma once

#include "naming/Formats.h"

#include <QString>

// The tidied form of a listed name (no directory): trimmed of codes 0..32, the last four
// characters dropped as the extension, "_" made blanks and a leading track number rewritten
// as two digits plus the separator under TrackTitle and TrackArtistTitle, blanks put around
// the first hyphen under TrackArtistTitle and ArtistTitle, re-cased, and ".mp3" appended.
// Under any other format only the trim, the case and the extension apply.
QString TrimFilename(const QString& name, FilenameFormat format, NameCase nameCase, TrackSeparator separator);
