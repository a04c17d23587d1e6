#pragma once

#include <QString>

// The nine characters a file name may not hold, each dropped wherever it occurs.
QString RemoveInvalidChars(const QString& text);
