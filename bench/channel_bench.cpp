// One method call round trip through the channel layer: the message arrives at the binary
// messenger, the method channel decodes it with the standard method codec, a handler answers
// Success(), and the reply bytes reach the engine library's messenger.
//
// `channel_bench --list-allocations` prints each heap allocation of one round trip instead.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "allocation_counter.h"
#include "minimal_messenger.h"
#include "weft/binary_messenger_impl.h"
#include "weft/byte_streams.h"
#include "weft/method_call.h"
#include "weft/method_channel_endpoint.h"
#include "weft/standard_method_codec.h"

namespace {

constexpr char kChannel[] = "inkmoor/window";
constexpr char kMethod[] = "setTitle";
constexpr char kTitle[] = "Untitled - Inkmoor";
constexpr char kListFlag[] = "--list-allocations";
constexpr int kWarmUpRoundTrips = 4;

std::vector<uint8_t> SetTitleMessage() {
  weft::MethodCall<weft::EncodableValue> call(
      kMethod, std::make_unique<weft::EncodableValue>(std::string(kTitle)));
  return *weft::StandardMethodCodec::ForSerializer().PackCall(call);
}

// The channel set up as the host sets up its title channel.
class TitleChannel {
 public:
  TitleChannel()
      : messenger_(weft_bench::MinimalMessenger()),
        endpoint_(&messenger_, kChannel, &weft::StandardMethodCodec::ForSerializer()),
        message_(SetTitleMessage()) {
    endpoint_.InstallMethodHandler(
        [](const weft::MethodCall<weft::EncodableValue>&,
           std::unique_ptr<weft::MethodResult<weft::EncodableValue>> result) {
          result->Success();
        });
    for (int i = 0; i < kWarmUpRoundTrips; ++i) {
      RoundTrip();
    }
  }

  void RoundTrip() const { weft_bench::InjectMessage(message_.data(), message_.size()); }

 private:
  weft::BinaryMessengerImpl messenger_;
  weft::MethodChannelEndpoint endpoint_;
  std::vector<uint8_t> message_;
};

void RoundTrip(benchmark::State& state) {
  TitleChannel channel;
  const uint64_t allocations_before = weft_bench::AllocationCount();
  for (auto _ : state) {
    channel.RoundTrip();
    benchmark::DoNotOptimize(weft_bench::LastResponse().data());
  }
  const uint64_t allocations = weft_bench::AllocationCount() - allocations_before;
  state.counters["allocations"] = benchmark::Counter(static_cast<double>(allocations) /
                                                     static_cast<double>(state.iterations()));
}

BENCHMARK(RoundTrip)->Name("Channel/round_trip");

int ListAllocations() {
  TitleChannel channel;
  weft_bench::StartRecording();
  channel.RoundTrip();
  const std::vector<weft_bench::Allocation> allocations = weft_bench::StopRecording();
  std::printf("%zu allocations per round trip\n", allocations.size());
  for (const weft_bench::Allocation& allocation : allocations) {
    std::printf("%zu bytes\t%s\n", allocation.size, allocation.caller.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], kListFlag) == 0) {
    return ListAllocations();
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
