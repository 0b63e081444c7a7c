#include "event_log.h"

#include "diagnostic_stream.h"

namespace standin {

namespace {

constexpr char kCannotOpenLine[] = "Stand-in engine: cannot open the event log.";

}  // namespace

EventLog::EventLog(const std::optional<std::wstring>& path) {
  if (!path) {
    return;
  }
  file_.reset(_wfopen(path->c_str(), L"ab"));
  if (!file_) {
    WriteDiagnosticLine(kCannotOpenLine);
  }
}

void EventLog::Write(const std::string& line) {
  if (!file_) {
    return;
  }
  std::fputs(line.c_str(), file_.get());
  std::fputc('\n', file_.get());
  std::fflush(file_.get());
}

}  // namespace standin
