#pragma once

#include <QString>
#include <QStringList>

// Morwick's version, as the build states it ("1.2").
QString ProgramVersion();

// What the command line asks the program to do.
enum class StartAction {
    Open,    // show the window, in `folder` when one is given
    Help,    // print `text` (the usage) and end
    Version, // print `text` ("Morwick 1.2") and end
    Mistake, // print `text` (the fault, then the usage) to the error stream and end in failure
};

struct StartRequest {
    StartAction action = StartAction::Open;
    // For Open: the folder to open as if chosen in the tree, a Morwick name (see core/FileName.h);
    // empty means no argument, so the window starts in the working directory as always.
    QString folder;
    QString text;
    // For Open: the bare names of the files given in `folder`, to be selected there, the first
    // one focused. Empty when only a folder was given.
    QStringList files;
};

// The folder a path handed to Morwick stands for: an existing file's folder ("." for a bare
// name), or else the path itself.
QString FolderToOpen(const QString& path);

// Reads `morwick [--help] [--version] [FOLDER | FILE...]`; arguments[0] is the program name.
// The first path decides the folder: an existing file (an MP3 handed over by "Open with") gives
// its folder, anything else is passed on as it stands, so a folder that cannot be entered is
// reported where opening it fails. Every path naming an existing file in that folder goes into
// `files`, in the order given; files of other folders, and later folders, are left out, as a
// file manager hands over whatever the user had selected. An unknown option is a Mistake.
StartRequest ParseCommandLine(const QStringList& arguments);

// The first `argc` entries of `argv` as Morwick names, lossless for names that are not UTF-8.
QStringList CommandLineArguments(int argc, const char* const* argv);

// Prints a Help, Version or Mistake request's text; returns the exit status (0, or 1 for a
// Mistake).
int PrintStartAnswer(const StartRequest& request);
