#include "observer_report.h"

#include <filesystem>
#include <iostream>

namespace environment {

namespace {

constexpr char kMismatchPrefix[] = "MISMATCH ";
constexpr char kSetUpPrefix[] = "SET-UP FAILED ";
constexpr char kPassedLine[] = "result: passed";
constexpr char kFailedLine[] = "result: FAILED, mismatches: ";
constexpr char kSetUpFailedLine[] = "result: FAILED, the set-up did not hold";

}  // namespace

ObserverReport::ObserverReport(const std::wstring& path) {
  if (!path.empty()) {
    file_.open(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
  }
}

void ObserverReport::Note(const std::string& text) {
  Write(text);
}

bool ObserverReport::Expect(const std::string& what, const std::string& actual,
                            const std::string& expected) {
  if (actual == expected) {
    Write("ok " + what + ": " + actual);
    return true;
  }
  ++mismatches_;
  Write(kMismatchPrefix + what + ": expected " + expected + ", got " + actual);
  return false;
}

void ObserverReport::SetUpFailed(const std::string& text) {
  set_up_failed_ = true;
  Write(kSetUpPrefix + text);
}

void ObserverReport::HostFailed(const std::string& text, const test_support::Launch& launch) {
  const std::string ending =
      launch.finished ? "exited with " + std::to_string(launch.exit_code) : "was still running";
  SetUpFailed(text + "; inkmoor.exe " + ending + ", standard error: \"" + launch.error_output +
              "\"");
}

int ObserverReport::Finish() {
  if (set_up_failed_) {
    Write(kSetUpFailedLine);
    return kSetUpFailed;
  }
  if (mismatches_ > 0) {
    Write(kFailedLine + std::to_string(mismatches_));
    return kMismatch;
  }
  Write(kPassedLine);
  return kPassed;
}

void ObserverReport::Write(const std::string& line) {
  std::cout << line << std::endl;
  if (file_.is_open()) {
    file_ << line << "\n";
    file_.flush();
  }
}

}  // namespace environment
