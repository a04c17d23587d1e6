#include "core/ProgramOptions.h"

ProgramOptions Options;
