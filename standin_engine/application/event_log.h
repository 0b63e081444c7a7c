// The scripted application's event log: one UTF-8 line per event, appended and flushed at once.
#ifndef STANDIN_ENGINE_EVENT_LOG_H_
#define STANDIN_ENGINE_EVENT_LOG_H_

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace standin {

class EventLog {
 public:
  // Without a path the log keeps nothing.
  explicit EventLog(const std::optional<std::wstring>& path);

  void Write(const std::string& line);

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace standin

#endif  // STANDIN_ENGINE_EVENT_LOG_H_
