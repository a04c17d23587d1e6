#pragma once

// Morwick's leftover temporary files (".<name>.morwick-XXXXXX", see FileRewrite.h) and when one
// may go. A live temporary is held with flock by the Morwick writing it. One nobody holds is a
// leftover, and goes, unless something may still need it: a copy back not yet finished in any
// journal (recovered or not) names it, or a journal could not be read, or it is another user's
// (their own Morwick's journal, which this one cannot see, may name it).

#include "core/JournalStore.h"

#include <QByteArray>
#include <set>

namespace journal {

struct NeededTemporaries {
    bool all = false;           // keep every one: a journal could not be read
    std::set<QByteArray> names; // named by copies back not yet finished
};

// What the journals in the folder still need (all, when the folder itself cannot be trusted).
NeededTemporaries FindNeededTemporaries(const StateFolder& folder);

// Removes the leftover temporaries in `dir` that nothing needs.
void SweepFolder(const QByteArray& dir, const NeededTemporaries& needed);

} // namespace journal
