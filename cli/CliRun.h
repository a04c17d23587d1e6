#pragma once

#include "cli/CliOptions.h"

#include <cstdio>

// Exit statuses: done; a file failed or the command stopped at a question (the files before it
// stay done, the later ones untouched); a usage mistake; stopped by Ctrl+C.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

// Runs the command the options name over their paths and returns the exit status. One line
// (or JSON object) per changed file goes to standard output; errors, notices and, when standard
// error is a terminal, the progress go to standard error. `terminal` is where questions are
// answered (null: nowhere, so a question ends the command). Changes the working directory.
int RunCli(const CliOptions& options, std::FILE* terminal);
