#ifndef RUNNER_TESTING_INKMOOR_LAUNCHER_H_
#define RUNNER_TESTING_INKMOOR_LAUNCHER_H_

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

namespace inkmoor::testing {

// What one run of the real inkmoor.exe left behind.
struct Launch {
  bool finished = false;  // false: it was still running at the time limit and was ended
  DWORD exit_code = 0;
  std::vector<std::string> log;  // the scripted application's event lines
  std::string error_output;      // everything the process wrote to standard error
};

// The folder of the running test program.
std::wstring ProgramFolder();

// The bundle that the build lays out beside the test programs.
std::wstring BundleExecutable();

// Runs executable with the scripted application playing script (one command a line) and
// waits for it to end. Each launch gets its own environment block, so several threads may
// launch at once.
Launch RunInkmoor(const std::wstring& executable, const std::vector<std::string>& script,
                  std::chrono::milliseconds limit = std::chrono::seconds(60));

// The log lines other than frame reports, which come whenever the engine draws.
std::vector<std::string> WithoutFrames(const std::vector<std::string>& log);

}  // namespace inkmoor::testing

#endif  // RUNNER_TESTING_INKMOOR_LAUNCHER_H_
