#pragma once

#include "core/Mp3Info.h"

#include <QStringList>

// The lines of the tag dialog's Information box for one analysed file: the size, then either
// the stream facts or the note that no known header was found.
QStringList StreamInfoLines(const Mp3Info& info);
