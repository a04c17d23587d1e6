#pragma once

#include <cstdint>

// The program-wide options and counters that no widget holds. The window-held options
// (formats, ask, ask64, statusbar) live in the main window's controls.
struct ProgramOptions {
    int32_t trim1 = 0;  // Case: 0 Capitalize, else Sentence
    int32_t trim2 = 0;  // Numbers to: 0 "xx. ", else "xx - "
    int32_t starts = 0; // grows at each Save settings and Exit
    int32_t uses = 0;   // files tagged
};
extern ProgramOptions Options;
