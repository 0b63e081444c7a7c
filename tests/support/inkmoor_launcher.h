#ifndef TESTS_SUPPORT_INKMOOR_LAUNCHER_H_
#define TESTS_SUPPORT_INKMOOR_LAUNCHER_H_

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "process_helpers.h"

namespace test_support {

// What one run of the real inkmoor.exe left behind.
struct Launch {
  // Not ERROR_SUCCESS: the process could not be started (this Windows error); nothing ran.
  DWORD start_error = ERROR_SUCCESS;
  bool finished = false;  // false: it was still running at the time limit and was ended
  DWORD exit_code = 0;
  std::vector<std::string> log;  // the scripted application's event lines
  std::string error_output;      // everything the process wrote to standard error
};

struct LaunchOptions {
  std::wstring arguments;       // the command line after the quoted program name
  std::wstring working_folder;  // empty: this process's
  // As Windows starts a GUI program from a console.
  bool no_standard_handles = false;
};

// The bundle that the build lays out beside the test programs.
std::wstring BundleExecutable();

// A running inkmoor.exe with the scripted application playing script (one command a line; an
// empty script keeps the application idle, so nothing but the test changes the window). Each
// launch gets its own environment block and files, so several threads may launch at once.
class InkmoorProcess {
 public:
  InkmoorProcess(const std::wstring& executable, const std::vector<std::string>& script,
                 const LaunchOptions& options = {});
  // Ends the process if it still runs and deletes its files.
  ~InkmoorProcess();

  InkmoorProcess(const InkmoorProcess&) = delete;
  InkmoorProcess& operator=(const InkmoorProcess&) = delete;

  bool started() const { return process_ != nullptr; }
  DWORD id() const { return id_; }

  // Waits until the application has logged a line that starts with prefix and returns it;
  // empty when the process ended or the time ran out first.
  std::string WaitForLogLine(const std::string& prefix, std::chrono::milliseconds limit);

  // The host's top-level window, or null.
  HWND TopLevelWindow() const;

  // Waits for the end, ending the process at the limit, and collects what it left.
  Launch Finish(std::chrono::milliseconds limit);

 private:
  std::wstring script_path_;
  std::wstring log_path_;
  std::wstring error_path_;
  OwnedHandle process_;
  DWORD id_ = 0;
  DWORD start_error_ = ERROR_SUCCESS;
};

// Runs executable with the scripted application playing script and waits for it to end.
Launch RunInkmoor(const std::wstring& executable, const std::vector<std::string>& script,
                  std::chrono::milliseconds limit = std::chrono::seconds(60),
                  const LaunchOptions& options = {});

// The log lines other than frame reports, which come whenever the engine draws.
std::vector<std::string> WithoutFrames(const std::vector<std::string>& log);

}  // namespace test_support

#endif  // TESTS_SUPPORT_INKMOOR_LAUNCHER_H_
