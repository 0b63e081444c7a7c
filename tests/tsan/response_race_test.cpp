// Responses from several threads racing the end of the engine. Built and run under
// ThreadSanitizer (tools/tsan), which fails the run on any data race; the assertions check that
// every message is answered at most once, with the right bytes, that an answer given before the
// end arrives and one given after it reaches the engine library not at all, and that the engine
// library's messenger is freed once the last reply callback is gone, on whichever thread that
// happens.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "weft/binary_messenger_impl.h"
#include "weft/encodable_value.h"
#include "weft/method_call.h"
#include "weft/method_channel_endpoint.h"
#include "weft/method_result.h"
#include "weft/standard_method_codec.h"
#include "weft_standin_test_controls.h"

namespace weft {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

using Call = MethodCall<EncodableValue>;
using Result = std::unique_ptr<MethodResult<EncodableValue>>;

const std::string kChannel = "quillmere/window";
const std::vector<uint8_t> kMessage = {0x07, 0x01, 0x41, 0x00};
const std::vector<uint8_t> kAnswer = {0x00, 0x00};
const std::string kDuplicateResponseLine =
    "Error: Response can be set only once. Ignoring duplicate response.";
constexpr int kRounds = 200;
constexpr int kThreads = 6;
constexpr int kMessagesPerThread = 6;
// Threads 0 and 1 answer before the engine ends, 2 and 3 race its end, 4 and 5 answer after it.
constexpr size_t kFirstRacingThread = 2;
constexpr size_t kFirstLateThread = 4;
constexpr int kEndDelays = 16;

enum class Timing { kEarly, kRacing, kLate };

// Messages go to the threads in turn.
Timing TimingOf(size_t message) {
  const size_t thread = message % kThreads;
  if (thread < kFirstRacingThread) {
    return Timing::kEarly;
  }
  return thread < kFirstLateThread ? Timing::kRacing : Timing::kLate;
}

// Lets every thread of a round start at once.
class StartSignal {
 public:
  void Give() { go_.store(true, std::memory_order_release); }
  void Await() const {
    while (!go_.load(std::memory_order_acquire)) {
      std::this_thread::yield();
    }
  }

 private:
  std::atomic<bool> go_{false};
};

// One engine's messenger with the host's messenger object on it; incoming messages are
// injected on the constructing thread, as the engine delivers them on the UI thread.
class Engine {
 public:
  Engine() : handle_(WeftStandinCreateMessenger()), messenger_(handle_) {}
  ~Engine() { End(); }

  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  BinaryMessengerImpl& messenger() { return messenger_; }

  uint32_t Inject(const std::vector<uint8_t>& bytes) const {
    return WeftStandinInjectMessage(handle_, kChannel.c_str(), bytes.data(), bytes.size());
  }

  // Ends availability and drops the engine's reference, as the engine's end does.
  void End() {
    if (handle_ != nullptr) {
      WeftStandinEndMessenger(handle_);
      handle_ = nullptr;
    }
  }

 private:
  WeftDesktopMessengerRef handle_;
  BinaryMessengerImpl messenger_;
};

// The reply stored for a message: nothing while unanswered.
std::unique_ptr<std::vector<uint8_t>> StoredReply(uint32_t id) {
  const int64_t size = WeftStandinReplySize(id);
  if (size < 0) {
    return nullptr;
  }
  auto bytes = std::make_unique<std::vector<uint8_t>>(static_cast<size_t>(size));
  WeftStandinReplyBytes(id, bytes->data(), bytes->size());
  return bytes;
}

size_t CountLines(const std::string& text, const std::string& line) {
  size_t count = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
    ++count;
  }
  return count;
}

// Runs `work` on each piece on a thread of its own while this thread ends the engine, so that
// some answers are certainly early, some certainly late and the rest race the end:
// - the pieces before `racing_from` run to completion before the end;
// - the pieces from `racing_from` to `held_from` start together and race the end, which comes
//   after `delay` yields, so that the rounds cover early and late ends;
// - the pieces from `held_from` on are held back until the engine has ended.
// What a piece holds is released on its thread.
template <typename Piece, typename Work>
void RaceTheEnd(Engine* engine, int delay, std::vector<Piece> pieces, size_t racing_from,
                size_t held_from, const Work& work) {
  const auto run_on_thread = [&work](Piece* piece, const StartSignal* start) {
    return std::thread([&work, start, piece = std::move(*piece)]() mutable {
      start->Await();
      work(&piece);
      piece = Piece();
    });
  };
  StartSignal now;
  now.Give();
  for (size_t i = 0; i < racing_from; ++i) {
    run_on_thread(&pieces[i], &now).join();
  }
  StartSignal race;
  StartSignal after_end;
  std::vector<std::thread> threads;
  for (size_t i = racing_from; i < pieces.size(); ++i) {
    threads.push_back(run_on_thread(&pieces[i], i < held_from ? &race : &after_end));
  }
  race.Give();
  for (int i = 0; i < delay; ++i) {
    std::this_thread::yield();
  }
  engine->End();
  after_end.Give();
  for (std::thread& thread : threads) {
    thread.join();
  }
}

class ResponseRaceTest : public testing::Test {
 protected:
  void SetUp() override {
    live_before_ = WeftStandinLiveMessengerCount();
    WeftStandinReset();
  }
  void TearDown() override {
    EXPECT_EQ(WeftStandinLiveMessengerCount(), live_before_) << "a messenger was not freed";
    WeftStandinReset();
  }

  // Checked each round, before the round's reset: every answer asked the engine library
  // whether it can still deliver, and exactly the answers that arrived were sent to it, none
  // twice and none after the end; the others were dropped by the host.
  static void ExpectEachAnswerArrivedOrWasDropped(size_t answers, size_t arrived) {
    EXPECT_EQ(WeftStandinCallCount(kWeftStandinMessengerIsAvailable), answers);
    EXPECT_EQ(WeftStandinCallCount(kWeftStandinMessengerSendResponse), arrived);
    EXPECT_EQ(WeftStandinRefusedResponseCount(), 0u) << "a message was answered twice";
    EXPECT_EQ(WeftStandinLateResponseCount(), 0u) << "a response reached an ended engine";
  }

 private:
  int32_t live_before_ = 0;
};

// Reply callbacks called twice each from several threads before, while and after the engine
// ends: each message gets at most one response, the duplicates are refused by the callback, no
// response reaches the ended engine, and the last callback to go, on whichever thread, frees the
// engine library's messenger.
TEST_F(ResponseRaceTest, ReplyCallbacksRaceTheEngineEnd) {
  constexpr size_t kCallsPerReply = 2;
  size_t racing_answered = 0;
  size_t racing_dropped = 0;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<uint32_t> ids;
    std::vector<std::vector<ReplyCallback>> per_thread(kThreads);
    size_t duplicate_lines = 0;
    {
      Engine engine;
      size_t next_thread = 0;
      engine.messenger().SetChannelHandler(
          kChannel, [&per_thread, &next_thread](const uint8_t*, size_t, ReplyCallback reply) {
            per_thread[next_thread++ % kThreads].push_back(std::move(reply));
          });
      for (int i = 0; i < kThreads * kMessagesPerThread; ++i) {
        ids.push_back(engine.Inject(kMessage));
        ASSERT_NE(ids.back(), 0u);
      }
      CaptureStderr();
      RaceTheEnd(&engine, round % kEndDelays, std::move(per_thread), kFirstRacingThread,
                 kFirstLateThread, [](std::vector<ReplyCallback>* replies) {
                   for (const ReplyCallback& reply : *replies) {
                     for (size_t call = 0; call < kCallsPerReply; ++call) {
                       reply(kAnswer.data(), kAnswer.size());
                     }
                   }
                 });
      duplicate_lines = CountLines(GetCapturedStderr(), kDuplicateResponseLine);
    }
    size_t arrived = 0;
    size_t early = 0;
    for (size_t message = 0; message < ids.size(); ++message) {
      const std::unique_ptr<std::vector<uint8_t>> reply = StoredReply(ids[message]);
      const Timing timing = TimingOf(message);
      early += timing == Timing::kEarly ? 1 : 0;
      if (timing == Timing::kRacing) {
        ++(reply != nullptr ? racing_answered : racing_dropped);
      }
      EXPECT_FALSE(reply == nullptr && timing == Timing::kEarly) << "message " << message;
      EXPECT_FALSE(reply != nullptr && timing == Timing::kLate) << "message " << message;
      if (reply != nullptr) {
        EXPECT_EQ(*reply, kAnswer);
        ++arrived;
      }
    }
    ExpectEachAnswerArrivedOrWasDropped(ids.size() * kCallsPerReply, arrived);
    // A duplicate is reported only for a message whose first response went out, and certainly
    // for those answered before the end.
    EXPECT_GE(duplicate_lines, early);
    EXPECT_LE(duplicate_lines, arrived);
    WeftStandinReset();
  }
  std::cout << "racing answers: " << racing_answered << " arrived, " << racing_dropped
            << " dropped after the end" << std::endl;
}

// Two threads call the same reply callback at once: the messenger lock around the one-shot
// state lets exactly one response through, and the other call reports the duplicate.
TEST_F(ResponseRaceTest, OneReplyCallbackCalledFromTwoThreads) {
  for (int round = 0; round < kRounds; ++round) {
    Engine engine;
    ReplyCallback kept;
    engine.messenger().SetChannelHandler(
        kChannel,
        [&kept](const uint8_t*, size_t, ReplyCallback reply) { kept = std::move(reply); });
    const uint32_t id = engine.Inject(kMessage);
    ASSERT_NE(id, 0u);

    StartSignal start;
    const auto respond = [&start, &kept]() {
      start.Await();
      kept(kAnswer.data(), kAnswer.size());
    };
    CaptureStderr();
    std::thread first(respond);
    std::thread second(respond);
    start.Give();
    first.join();
    second.join();
    EXPECT_EQ(CountLines(GetCapturedStderr(), kDuplicateResponseLine), 1u);

    const std::unique_ptr<std::vector<uint8_t>> reply = StoredReply(id);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(*reply, kAnswer);
    ExpectEachAnswerArrivedOrWasDropped(2, 1);
    engine.End();
    kept = nullptr;
    WeftStandinReset();
  }
}

// Method results kept by the handler and answered on other threads before, while and after the
// engine ends: every reply that arrives is the envelope of its outcome, none arrives after the
// end, and results destroyed on those threads after answering warn about nothing.
TEST_F(ResponseRaceTest, MethodResultsAnsweredOnOtherThreadsRaceTheEngineEnd) {
  const MethodCodec<EncodableValue>& codec = StandardMethodCodec::ForSerializer(nullptr);
  // Error "E" with the message "late" and no details.
  const std::vector<uint8_t> error_reply = {0x01, 0x07, 0x01, 0x45, 0x07, 0x04,
                                            0x6C, 0x61, 0x74, 0x65, 0x00};
  const std::vector<uint8_t> not_implemented_reply;
  constexpr int kOutcomes = 3;
  const std::vector<uint8_t>* expected_by_outcome[kOutcomes] = {&kAnswer, &error_reply,
                                                                &not_implemented_reply};

  for (int round = 0; round < kRounds; ++round) {
    std::vector<uint32_t> ids;
    std::vector<std::vector<Result>> per_thread(kThreads);
    std::string lines;
    {
      Engine engine;
      MethodChannelEndpoint channel(&engine.messenger(), kChannel, &codec);
      size_t next_thread = 0;
      channel.InstallMethodHandler([&per_thread, &next_thread](const Call&, Result result) {
        per_thread[next_thread++ % kThreads].push_back(std::move(result));
      });
      for (int i = 0; i < kThreads * kMessagesPerThread; ++i) {
        ids.push_back(engine.Inject(kMessage));
        ASSERT_NE(ids.back(), 0u);
      }
      CaptureStderr();
      RaceTheEnd(&engine, round % kEndDelays, std::move(per_thread), kFirstRacingThread,
                 kFirstLateThread, [](std::vector<Result>* results) {
                   for (size_t i = 0; i < results->size(); ++i) {
                     MethodResult<EncodableValue>& result = *(*results)[i];
                     switch (i % kOutcomes) {
                       case 0:
                         result.Success();
                         break;
                       case 1:
                         result.Error("E", "late");
                         break;
                       default:
                         result.NotImplemented();
                         break;
                     }
                   }
                 });
      lines = GetCapturedStderr();
    }
    EXPECT_EQ(lines, "") << "answered results report nothing";
    // Thread t answers every kThreads-th message from t on; its i-th result gets outcome i % 3.
    size_t arrived = 0;
    for (size_t message = 0; message < ids.size(); ++message) {
      const size_t outcome = (message / kThreads) % kOutcomes;
      const std::unique_ptr<std::vector<uint8_t>> reply = StoredReply(ids[message]);
      const Timing timing = TimingOf(message);
      EXPECT_FALSE(reply == nullptr && timing == Timing::kEarly) << "message " << message;
      EXPECT_FALSE(reply != nullptr && timing == Timing::kLate) << "message " << message;
      if (reply != nullptr) {
        EXPECT_EQ(*reply, *expected_by_outcome[outcome]) << "message " << message;
        ++arrived;
      }
    }
    ExpectEachAnswerArrivedOrWasDropped(ids.size(), arrived);
    WeftStandinReset();
  }
}

}  // namespace
}  // namespace weft
