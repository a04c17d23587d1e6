#pragma once

#include <QIcon>

// Morwick's icon for its windows: PNG renderings of app/morwick.svg from 16 to 256 pixels,
// built into the program, so it shows whether or not Qt's SVG plugin is installed.
QIcon ProgramIcon();

// Names the program to the window system: "Morwick", its icon and its desktop entry. No
// display name is set: Qt would append one to every window title ("Edit — Morwick"), and
// each of Morwick's windows is titled exactly as it says.
void SetProgramIdentity();
