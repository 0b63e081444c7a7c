// What an observer program found: one line per check, to standard output and to a report file.
// Under a Wine virtual desktop the program is started by explorer.exe, which neither passes on
// its exit code nor always its output, so the driver reads the file.
#ifndef TESTS_ENVIRONMENT_OBSERVER_REPORT_H_
#define TESTS_ENVIRONMENT_OBSERVER_REPORT_H_

#include <chrono>
#include <fstream>
#include <string>

#include "inkmoor_launcher.h"

namespace environment {

// How long an observer waits for the host to reach an event, and for a sent message's answer.
constexpr std::chrono::seconds kEventLimit(30);
constexpr std::chrono::seconds kNoWait(0);
constexpr unsigned kSendLimitMilliseconds = 10000;

class ObserverReport {
 public:
  // Exit codes: every check held; a check failed; the set-up itself did not hold.
  static constexpr int kPassed = 0;
  static constexpr int kMismatch = 1;
  static constexpr int kSetUpFailed = 2;

  // An empty path writes to standard output only.
  explicit ObserverReport(const std::wstring& path);

  void Note(const std::string& text);
  // Records a mismatch unless actual equals expected.
  bool Expect(const std::string& what, const std::string& actual, const std::string& expected);
  // The run cannot go on; later checks are not made.
  void SetUpFailed(const std::string& text);
  // The same, when the host did not get as far as the checks; says how it ended.
  void HostFailed(const std::string& text, const test_support::Launch& launch);

  // Writes the closing line ("result: ...") and returns the exit code.
  int Finish();

 private:
  void Write(const std::string& line);

  std::ofstream file_;
  int mismatches_ = 0;
  bool set_up_failed_ = false;
};

}  // namespace environment

#endif  // TESTS_ENVIRONMENT_OBSERVER_REPORT_H_
