#pragma once

#include "core/Id3Tag.h"
#include "core/Id3v2Tag.h"

#include <QString>

// A tag as its fields show it: the texts as typed or shown (not yet cut to the field widths),
// the track byte and the genre byte (255: none).
struct TagTexts {
    QString title;
    QString artist;
    QString album;
    QString year;
    QString comment;
    int track = 0;
    int genre = kNoGenre;
};

// The main window's batch tag fields, gathered once when a command starts.
struct TagFieldValues {
    QString artist;
    QString album;
    QString year;
    QString comment;
    int genre = kNoGenre; // the chosen genre's byte, 255 for the empty entry
    Id3FieldMask mask;    // the fields Tag files writes
};

// Writes "TAG" and the marked fields of `texts` into `tag`, each cut to its width (see
// SetTextField, YearField, SetCommentField); the track and genre keep their low 8 bits. Fields
// not marked keep what `tag` held.
void SetTagFields(ID3Tag& tag, const TagTexts& texts, const Id3FieldMask& mask = {});

// Tag texts (an ID3v2 tag's, see TagValues) as the fields take them: the number the track text
// begins with (TrackTextNumber) and the genre's byte (255 for a name that is not in the list).
TagTexts TagTextsOf(const Id3v2Texts& texts);

// A tag's fields as the tag dialog shows them: each text up to its first zero byte, the track
// and the genre bytes.
TagTexts ShownTagTexts(const ID3Tag& tag);
