#pragma once

#include "core/Mp3Info.h"

#include <QString>

// The status line text for a file's tag: "#track", then artist, title, year and comment and
// "[genre]", each present one after ten spaces, blanks trimmed from both ends.
QString TagSummary(const Mp3Info& info);
