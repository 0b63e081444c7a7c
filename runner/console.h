// The console of the host. Windows starts a GUI program with no standard handles, also from a
// console, and the C runtime takes its streams from those handles once, at start-up. So a program
// started from a console writes there only once it has attached and pointed its streams at it.
#ifndef RUNNER_CONSOLE_H_
#define RUNNER_CONSOLE_H_

#include <windows.h>

// Whether a standard handle leads anywhere, as the C runtime judges it at start-up: not for no
// handle (a GUI program started from Explorer or from a console) nor for one that is not open.
bool IsUsableStandardHandle(HANDLE handle);

// Attaches to the parent's console or, under a debugger when the parent has none, opens one, and
// points each of standard output and error that had no usable handle at start at it: its C
// runtime stream and its Win32 standard handle. A redirected stream stays where it points.
// Returns whether the process has a console; without one nothing changes.
bool SetUpConsole();

#endif  // RUNNER_CONSOLE_H_
