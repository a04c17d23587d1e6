#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// The system shell's "open": hands a document, folder or program to the desktop.
//
// `file` is a Morwick name (see core/FileName.h); a bare or relative name is taken relative to
// the working directory. It goes to the freedesktop opener xdg-open, which picks the user's
// program for it; nothing is ever started as a program, whatever its mode bits, and
// `parameters` only reach the hook (none of the commands passes any). `directory` is the working
// directory of what is started (empty: ours). `showCommand` is the window show state of the
// request (1 normal, 8 without activating); the desktop decides that here, so it has no
// effect. Texts of any length pass whole. Nothing is waited for and no result is reported:
// a failure, xdg-open missing included, simply has no visible effect.
void ShellOpen(const QString& file, const QString& parameters, const QString& directory, int showCommand);

// Every ShellOpen goes through this hook, so tests can record what would have been opened.
using ShellOpenHook = std::function<void(const QString& file, const QString& parameters,
                                         const QString& directory, int showCommand)>;
// Replaces the hook; nullptr restores the real opener.
void SetShellOpenHook(ShellOpenHook hook);

// The show states the commands use.
inline constexpr int kShowNormal = 1;
inline constexpr int kShowNoActivate = 8;

// Play file: hands the focused entry (a bare name) to its player, but only while at least one
// entry is selected; the focused entry need not be one of them. An empty name does nothing.
void PlayFile(bool anySelected, const QString& focusedName);

// Explore directory: opens the current directory's full path in the user's file manager.
void ExploreDirectory(const QString& currentDir);

// The help documents: beside the program file in the build tree, in the documentation folder
// once installed.
inline constexpr const char* kHelpHtml = "Help.html";
inline constexpr const char* kHelpEnglish = "ReadMe.txt";
inline constexpr const char* kHelpFinnish = "LueMinut.txt";

// The folders searched for a help document, in order, for a program file in `programDir`: that
// folder itself, then the installed documentation folder relative to it
// (programDir/../share/doc/morwick for the usual layout, whatever the prefix).
QStringList HelpDocumentFolders(const QString& programDir);
// The full path of the first regular file named `documentName` in HelpDocumentFolders;
// empty when there is none.
QString FindHelpDocument(const QString& programDir, const QString& documentName);
// Opens the named help document found for the running program; when there is none, does
// nothing at all.
void OpenHelpDocument(const QString& documentName);
