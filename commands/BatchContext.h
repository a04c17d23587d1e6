#pragma once

#include "core/Batch.h"

class Prompts;

// What every batch command works with: the file list, where its questions go, and the display
// of a long batch's progress (may be null).
struct BatchContext {
    FileSelection& files;
    Prompts& prompts;
    BatchProgress* progress = nullptr;
};
