// The process's crash handler. A crash on any thread, an uncaught C++ exception (std::terminate,
// abort), a pure virtual call or an invalid runtime parameter writes a minidump to
// %LOCALAPPDATA%\Quillmere\CrashDumps, names it in one line on standard error and ends the
// process with the crash's exception code. No dialog, no upload.
#ifndef RUNNER_CRASH_HANDLER_H_
#define RUNNER_CRASH_HANDLER_H_

// Installs the handler for the rest of the process's life; called first thing on the UI thread,
// before any engine code runs. Reports why and returns false when it cannot be installed: crashes
// then end the process as the system's default handling does.
bool InstallCrashHandler();

#endif  // RUNNER_CRASH_HANDLER_H_
