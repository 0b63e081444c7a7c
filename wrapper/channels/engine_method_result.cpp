#include "weft/engine_method_result.h"

#include "weft/diagnostic_line.h"

namespace weft {
namespace {

constexpr char kDuplicateResultLineStart[] =
    "Error: Only one of Success, Error, or NotImplemented can be called,";
constexpr char kDuplicateResultLineEnd[] =
    " and it can be called exactly once. Ignoring duplicate result.";
constexpr char kUnansweredLine[] =
    "Warning: Failed to respond to a message. This is a memory leak.";

}  // namespace

ReplyTracker::ReplyTracker(ReplyCallback reply) : reply_(std::move(reply)) {}

ReplyTracker::~ReplyTracker() {
  if (reply_) {
    WriteDiagnosticLine(kUnansweredLine);
  }
}

void ReplyTracker::SendOnce(const std::vector<uint8_t>* bytes) {
  if (!reply_) {
    WriteDiagnosticLine(kDuplicateResultLineStart, kDuplicateResultLineEnd);
    return;
  }
  const bool has_bytes = bytes != nullptr && !bytes->empty();
  const uint8_t* data = has_bytes ? bytes->data() : nullptr;
  const size_t data_size = has_bytes ? bytes->size() : 0;
  // Answered before the call: a callback that re-enters the result or throws cannot make
  // it answer twice.
  ReplyCallback reply = std::move(reply_);
  reply(data, data_size);
}

}  // namespace weft
