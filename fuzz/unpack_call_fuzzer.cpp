// UnpackCall on any bytes: it yields a call exactly when the first value is a string, stays
// within the memory bound, and a call it yields packs and unpacks to the same call.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "allocation_meter.h"
#include "diagnostic_sink.h"
#include "fuzz_check.h"
#include "value_properties.h"
#include "weft/encodable_value.h"
#include "weft/method_call.h"
#include "weft/standard_method_codec.h"

namespace {

using weft::EncodableValue;
using weft::MethodCall;
using weft::StandardMethodCodec;

// The two tags that decode to a string.
constexpr uint8_t kStringTag = 0x07;
constexpr uint8_t kLegacyStringTag = 0x05;

// From the tag alone: decoding the first value again would double the work on messages that
// start with a large list or map.
bool StartsWithString(const uint8_t* data, size_t size) {
  return size != 0 && (data[0] == kStringTag || data[0] == kLegacyStringTag);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::InstallDiagnosticSink();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const StandardMethodCodec& codec = StandardMethodCodec::ForSerializer();
  fuzz::AllocationMeter meter;
  const std::unique_ptr<MethodCall<EncodableValue>> call = codec.UnpackCall(data, size);
  meter.CheckWithinBound(size, "unpacking a call");

  fuzz::Check((call != nullptr) == StartsWithString(data, size),
              "a call is made exactly when the message starts with a string");
  if (call == nullptr) {
    return 0;
  }
  fuzz::Check(call->arguments() != nullptr, "a decoded call always has arguments");

  const std::unique_ptr<std::vector<uint8_t>> packed = codec.PackCall(*call);
  const fuzz::DiagnosticWatch watch;
  const std::unique_ptr<MethodCall<EncodableValue>> again =
      codec.UnpackCall(packed->data(), packed->size());
  fuzz::Check(watch.Clean(), "a packed call unpacks without a diagnostic");
  fuzz::Check(again != nullptr, "a packed call unpacks");
  fuzz::Check(again->method_name() == call->method_name(), "the method name survives packing");
  if (fuzz::HasNanInMapKey(*call->arguments())) {
    return 0;
  }
  fuzz::Check(
      again->arguments() != nullptr && fuzz::Equivalent(*again->arguments(), *call->arguments()),
      "the arguments survive packing");
  return 0;
}
