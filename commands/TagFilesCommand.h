#pragma once

#include "commands/BatchContext.h"
#include "commands/TagFields.h"
#include "naming/Formats.h"

// What Tag files takes from the main window, read once when the command starts.
struct TagFilesOptions {
    TagFieldValues fields; // Artist, Album, Year, Comment, Genre and the field marks
    FilenameFormat format;
    bool askLongTitle;     // "Ask title if over 30 chars"
    bool askLongFilename;  // "Ask filename if over 64 chars"
    bool useId3v2 = false; // "Also use ID3v2 tags"
};

// "Tag files": writes an ID3v1.1 tag into every selected file, in list order. Nothing selected
// does nothing. The Artist, Album and Comment values are used trimmed of codes 0..32 (the
// window shows them trimmed before it calls this); Year is not trimmed. For each selected
// file: deselects it; splits its name under the filename format; when the name lacks the
// format's shape and a field that depends on it is marked, asks whether to continue (No ends
// the command at once, without the re-read); reads the file's tag (a file that cannot be read
// starts from an empty tag) and writes "TAG" plus the marked fields; offers a title or artist
// longer than 30 characters for shortening (Prompts::shortenLongText) when askLongTitle is on;
// writes the tag and offers a name longer than 64 characters for shortening (renaming the file
// when the name changed). With useId3v2, each file's ID3v2 tag also gets the marked fields, whole and in
// Unicode (the title and artist from the name neither cut nor transliterated: the prompts
// shorten the ID3v1 texts only), the track as its number's text and the genre by name; those
// rewrites end in groups, and a file another program changes meanwhile is left alone and counted
// in one notice at the end. The list is re-read at the end. The report counts the files whose tag was
// written; a CommandError from reading or writing a tag ends the batch there, the later entries still
// selected.
BatchReport TagFilesCommand(const BatchContext& context, const TagFilesOptions& options);
