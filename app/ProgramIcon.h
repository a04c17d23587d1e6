#pragma once

#include <QIcon>

// Morwick's icon for its windows: PNG renderings of app/morwick.svg from 16 to 256 pixels,
// built into the program, so it shows whether or not Qt's SVG plugin is installed.
QIcon ProgramIcon();
