#ifndef WEFT_ENGINE_METHOD_RESULT_H_
#define WEFT_ENGINE_METHOD_RESULT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "weft/binary_messenger.h"
#include "weft/method_codec.h"
#include "weft/method_result.h"

namespace weft {

// Holds the reply callback of one incoming message until it is used: pending while it holds
// it, answered afterwards.
class ReplyTracker {
 public:
  explicit ReplyTracker(ReplyCallback reply);
  // Warns when the message was never answered; the callback is then dropped uncalled.
  ~ReplyTracker();

  ReplyTracker(const ReplyTracker&) = delete;
  ReplyTracker& operator=(const ReplyTracker&) = delete;

  // Sends bytes (null or empty: the empty reply) if still pending, otherwise only reports
  // the duplicate.
  void SendOnce(const std::vector<uint8_t>* bytes);

 private:
  ReplyCallback reply_;
};

// The result that answers an incoming method call: encodes the outcome with the channel's
// codec and sends it over the message's reply callback, exactly once.
template <typename T>
class EngineMethodResult : public MethodResult<T> {
 public:
  // codec must outlive the result.
  EngineMethodResult(ReplyCallback reply, const MethodCodec<T>* codec)
      : tracker_(std::move(reply)), codec_(codec) {}
  ~EngineMethodResult() override = default;

 protected:
  void DeliverSuccess(const T* result) override {
    std::unique_ptr<std::vector<uint8_t>> bytes = codec_->PackSuccess(result);
    tracker_.SendOnce(bytes.get());
  }

  void DeliverError(const std::string& error_code, const std::string& error_message,
                    const T* details) override {
    std::unique_ptr<std::vector<uint8_t>> bytes =
        codec_->PackError(error_code, error_message, details);
    tracker_.SendOnce(bytes.get());
  }

  void DeliverNotImplemented() override { tracker_.SendOnce(nullptr); }

 private:
  // Held in place: the result is its only owner, and one allocation per message fewer.
  ReplyTracker tracker_;
  const MethodCodec<T>* codec_;
};

}  // namespace weft

#endif  // WEFT_ENGINE_METHOD_RESULT_H_
