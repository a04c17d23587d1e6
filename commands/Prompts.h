#pragma once

#include "commands/TagFields.h"

#include <QString>
#include <QStringList>

// The field whose text from a filename is longer than the ID3v1 field takes.
enum class LongField { Title, Artist };

// One file's tag as Edit tags offers it for editing.
struct TagEdit {
    QString fileName;        // the file's name as shown to the user
    QStringList streamFacts; // the stream facts, one line each (none: empty)
    // With `whole`, the fields take `texts` whole, as an ID3v2 tag holds them; without, `tag`, cut
    // to the ID3v1 widths. Only the one the mode names is read and, on Save, written.
    bool whole = false;
    TagTexts tag;
    Id3v2Texts texts;
};

// Every modal interaction a command has, so that a batch can run with a person at the keyboard
// (the window's dialogs), with scripted answers (benchmarks and tests) or without any window.
class Prompts {
public:
    virtual ~Prompts() = default;
    // A single-line question titled `caption`, with `prompt` as its label, pre-filled with `value`
    // (at most 255 characters). OK stores the edited text in `value` and returns true; Cancel
    // returns false and leaves `value` alone.
    virtual bool inputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
    // The same question; returns the edited text on OK and `defaultText` unchanged otherwise.
    virtual QString inputBox(const QString& caption, const QString& prompt, const QString& defaultText) = 0;
    // The Yes/No question in an error box: Yes (the default) returns true, No false.
    virtual bool errorQuestion(const QString& text) = 0;
    // What a command tells once at its end (not a failure: the command ran whole), in the same box
    // as the program's failures: titled "Morwick", with OK.
    virtual void notice(const QString& text) = 0;
    // Tag files' question when a title or artist from a filename is longer than 30 characters:
    // `tag` comes as the file's tag would be written, `which` field already cut to 30 characters;
    // only that field and the comment may be edited. `fileName` is the file's name as shown. Save
    // returns true with the edited texts in `tag`; Cancel returns false.
    virtual bool shortenLongText(LongField which, const QString& fileName, TagTexts& tag) = 0;
    // Edit tags' question for one file: its tag, every field editable, beside its stream facts.
    // Save returns true with the fields as typed in `edit` (whole: `texts`, the track as its text
    // and the genre by name; else `tag`, the track's text read as a decimal number, its low 8 bits
    // kept, 0 when it is none, and the genre's byte); Cancel returns false.
    virtual bool editTag(TagEdit& edit) = 0;
};

// Says, once at a command's end, how many files (`count`; none: nothing said) another program
// changed while the command worked, which were therefore left alone.
void NoticeLeftAlone(Prompts& prompts, int count);
