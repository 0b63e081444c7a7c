// The events of the console the host is attached to. Without a handler of its own the process
// ends at once on each of them (ExitProcess): no WM_CLOSE, no orderly end of the engine.
#ifndef RUNNER_CONSOLE_EVENTS_H_
#define RUNNER_CONSOLE_EVENTS_H_

// Called on the UI thread, which owns the top-level window. From then on Ctrl+C and Ctrl+Break
// leave the host running; closing the console closes the window the normal way (WM_CLOSE) and
// waits for the engine to end; logoff and shutdown are left to WM_ENDSESSION.
void HandleConsoleEvents();

#endif  // RUNNER_CONSOLE_EVENTS_H_
