// The one reporter of why the host cannot start.
#ifndef RUNNER_STARTUP_FAILURE_H_
#define RUNNER_STARTUP_FAILURE_H_

#include <windows.h>

// Writes one line to standard error: what failed, the system's text for error and its number,
// for example "Cannot create the window: Invalid window handle. (error 1400)". When standard
// error reaches no one (no console, no redirection), also shows the line in a message box.
void ReportStartupFailure(const char* what, DWORD error);

#endif  // RUNNER_STARTUP_FAILURE_H_
