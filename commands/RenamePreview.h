#pragma once

#include "commands/RenamePlan.h"

#include <QList>
#include <QStringList>

// One selected file as a renaming command would treat it.
struct PreviewRow {
    QString oldName;
    QString newName; // the old name when the file is left alone
    QString note;    // empty when the rename would simply happen
};

// What `rule` would do with the selected files, in list order, without touching the disk beyond
// reading tags and looking names up. A note says where the rename would not simply happen:
// "left alone", "unchanged", "name taken" (a file of that name exists), "same name as an
// earlier file", "too long" (more bytes than the file system allows in a name).
QList<PreviewRow> PreviewRenames(const QStringList& selected, const RenameRule& rule);
