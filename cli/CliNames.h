#pragma once

#include "naming/Formats.h"

#include <QString>
#include <optional>

// The formats and genres as the command line names them: by number, or by the texts the
// window's lists show, matched without regard to case.

// 0..3, "none", or a format's caption ("artist - song.mp3"); either half of a caption that
// shows two spellings ("xx. song.mp3") names it too.
std::optional<FilenameFormat> FilenameFormatNamed(const QString& text);
// 0..5, or an entry of the dirname list ("artist - album"); "/" stands for "\" and a trailing
// one may be left out.
std::optional<DirnameFormat> DirnameFormatNamed(const QString& text);
// 0..144, a genre's name, or "" and "none" for no genre (255).
std::optional<int> GenreNamed(const QString& text);
