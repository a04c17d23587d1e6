#pragma once

#include "commands/BatchFields.h"

class FileSelection;
class Prompts;
class TForm2;

// What Tag files takes from the main window.
struct TagFilesContext {
    FileSelection& files;
    Prompts& prompts;
    TForm2& dialog;        // shown for the song and artist prompts
    BatchTagFields fields; // Artist, Album, Year, Comment, Genre; none may be null
    Id3FieldMask mask;     // the tag fields to write
    int filenameFormat;    // 0..3, or -1 when none is chosen
    bool ask;              // "Ask title if over 30 chars", as read when the command starts
    bool ask64;            // the long-name option, as read when the command starts
};

// "Tag files": writes an ID3v1.1 tag into every selected file, in list order. Nothing selected
// does nothing. Otherwise the Artist, Album and Comment fields are first trimmed of codes 0..32
// in place (Year is not). For each selected file: deselects it; splits its name under the
// filename format; when the name lacks the format's shape and a field that depends on it is
// marked, asks whether to continue (No ends the command at once, without the re-read); loads
// the file's tag and writes "TAG" plus the marked fields; offers a title or artist longer than
// 30 characters for shortening in the dialog when `ask` is on; writes the tag, adds 1 to
// Options.uses, and offers a name longer than 64 characters for shortening (renaming the file
// when the name changed). The list is re-read at the end. A CommandError from reading or
// writing a tag propagates at once; the later entries stay selected.
void TagFiles(const TagFilesContext& context);
