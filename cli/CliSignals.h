#pragma once

// Ctrl+C as the window's Stop: the first SIGINT (or SIGTERM) asks the running batch to end after
// its current file, the journal closed as after any batch; a second one ends the program at once,
// which the journal's recovery makes safe. The handler only sets a flag.
void InstallStopHandler();
// Whether a stop was asked for.
bool StopRequested();

// Waits until `fd` has something to read (true) or a stop is asked for (false). The stop signals
// are held back while the request is looked at and let in only inside the wait itself, so a
// Ctrl+C that comes just before the wait still ends it instead of being missed.
bool WaitForInput(int fd);
