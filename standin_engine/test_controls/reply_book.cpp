#include "reply_book.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace standin {

namespace {

constexpr int64_t kUnanswered = -1;

struct Book {
  std::mutex mutex;
  uint32_t last_id = 0;
  std::map<uint32_t, std::optional<std::vector<uint8_t>>> replies;
};

Book& TheBook() {
  static Book book;
  return book;
}

}  // namespace

uint32_t OpenReply() {
  Book& book = TheBook();
  std::lock_guard<std::mutex> hold(book.mutex);
  if (++book.last_id == 0) {
    ++book.last_id;
  }
  book.replies[book.last_id] = std::nullopt;
  return book.last_id;
}

void ForgetReply(uint32_t id) {
  Book& book = TheBook();
  std::lock_guard<std::mutex> hold(book.mutex);
  book.replies.erase(id);
}

void StoreReply(uint32_t id, const uint8_t* bytes, size_t size) {
  Book& book = TheBook();
  std::lock_guard<std::mutex> hold(book.mutex);
  const auto found = book.replies.find(id);
  if (found == book.replies.end()) {
    return;
  }
  found->second.emplace(bytes, bytes + size);
}

int64_t ReplySize(uint32_t id) {
  Book& book = TheBook();
  std::lock_guard<std::mutex> hold(book.mutex);
  const auto found = book.replies.find(id);
  if (found == book.replies.end() || !found->second) {
    return kUnanswered;
  }
  return static_cast<int64_t>(found->second->size());
}

size_t CopyReply(uint32_t id, uint8_t* buffer, size_t capacity) {
  Book& book = TheBook();
  std::lock_guard<std::mutex> hold(book.mutex);
  const auto found = book.replies.find(id);
  if (found == book.replies.end() || !found->second || buffer == nullptr) {
    return 0;
  }
  const size_t count = std::min(capacity, found->second->size());
  std::copy_n(found->second->begin(), count, buffer);
  return count;
}

void ResetReplies() {
  Book& book = TheBook();
  std::lock_guard<std::mutex> hold(book.mutex);
  book.replies.clear();
}

}  // namespace standin
