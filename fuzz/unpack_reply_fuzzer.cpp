// UnpackReply on any bytes, into a result that records what it receives: it recognises exactly
// the tags 00 and 01, delivers exactly one outcome when it does, lets no exception out but the
// wrong-kind error of an error reply (and then delivers nothing), stays within the memory
// bound, and an outcome it delivers packs and unpacks to the same outcome.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "allocation_meter.h"
#include "diagnostic_sink.h"
#include "fuzz_check.h"
#include "value_properties.h"
#include "weft/encodable_value.h"
#include "weft/method_result.h"
#include "weft/standard_method_codec.h"

namespace {

using weft::EncodableValue;
using weft::StandardMethodCodec;

constexpr uint8_t kSuccessTag = 0x00;
constexpr uint8_t kErrorTag = 0x01;

enum class Outcome { kSuccess, kError, kNotImplemented };

struct Delivery {
  Outcome outcome = Outcome::kSuccess;
  std::optional<EncodableValue> value;
  std::string code;
  std::string message;
};

class RecordingResult : public weft::MethodResult<EncodableValue> {
 public:
  const std::vector<Delivery>& deliveries() const { return deliveries_; }

 protected:
  void DeliverSuccess(const EncodableValue* result) override {
    deliveries_.push_back(Delivery{Outcome::kSuccess, Copy(result), {}, {}});
  }
  void DeliverError(const std::string& error_code, const std::string& error_message,
                    const EncodableValue* details) override {
    deliveries_.push_back(Delivery{Outcome::kError, Copy(details), error_code, error_message});
  }
  void DeliverNotImplemented() override {
    deliveries_.push_back(Delivery{Outcome::kNotImplemented, {}, {}, {}});
  }

 private:
  static std::optional<EncodableValue> Copy(const EncodableValue* value) {
    return value == nullptr ? std::nullopt : std::optional<EncodableValue>(*value);
  }

  std::vector<Delivery> deliveries_;
};

bool SameValue(const std::optional<EncodableValue>& a, const std::optional<EncodableValue>& b) {
  return a.has_value() == b.has_value() && (!a || fuzz::Equivalent(*a, *b));
}

std::unique_ptr<std::vector<uint8_t>> Pack(const StandardMethodCodec& codec,
                                           const Delivery& delivery) {
  const EncodableValue* value = delivery.value ? &*delivery.value : nullptr;
  if (delivery.outcome == Outcome::kSuccess) {
    return codec.PackSuccess(value);
  }
  return codec.PackError(delivery.code, delivery.message, value);
}

// Packs the delivered outcome and unpacks it again: the same outcome must arrive.
void CheckRoundTrip(const StandardMethodCodec& codec, const Delivery& delivery) {
  const std::unique_ptr<std::vector<uint8_t>> packed = Pack(codec, delivery);
  RecordingResult again;
  const fuzz::DiagnosticWatch watch;
  const bool recognised = codec.UnpackReply(packed->data(), packed->size(), &again);
  fuzz::Check(watch.Clean(), "a packed reply unpacks without a diagnostic");
  fuzz::Check(recognised && again.deliveries().size() == 1, "a packed reply is delivered once");
  const Delivery& second = again.deliveries().front();
  fuzz::Check(second.outcome == delivery.outcome, "the outcome survives packing");
  fuzz::Check(second.code == delivery.code && second.message == delivery.message,
              "the error code and message survive packing");
  if (delivery.value && fuzz::HasNanInMapKey(*delivery.value)) {
    return;
  }
  fuzz::Check(SameValue(second.value, delivery.value), "the value or details survive packing");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::InstallDiagnosticSink();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const StandardMethodCodec& codec = StandardMethodCodec::ForSerializer();
  // An empty reply reads its tag as 0, like any read past the end.
  const uint8_t tag = size == 0 ? kSuccessTag : data[0];
  const bool known_tag = tag == kSuccessTag || tag == kErrorTag;

  RecordingResult result;
  bool recognised = false;
  const fuzz::AllocationMeter meter;
  try {
    recognised = codec.UnpackReply(data, size, &result);
  } catch (const std::bad_variant_access&) {
    meter.CheckWithinBound(size, "unpacking a reply");
    fuzz::Check(tag == kErrorTag, "only an error reply may raise the wrong-kind error");
    fuzz::Check(result.deliveries().empty(), "a reply that raises delivers nothing");
    return 0;
  }
  meter.CheckWithinBound(size, "unpacking a reply");

  fuzz::Check(recognised == known_tag, "exactly the tags 00 and 01 are recognised");
  if (!recognised) {
    fuzz::Check(result.deliveries().empty(), "an unrecognised reply delivers nothing");
    return 0;
  }
  fuzz::Check(result.deliveries().size() == 1, "a recognised reply delivers one outcome");
  const Delivery& delivery = result.deliveries().front();
  const Outcome expected = tag == kSuccessTag ? Outcome::kSuccess : Outcome::kError;
  fuzz::Check(delivery.outcome == expected, "the tag decides the outcome");
  fuzz::Check(!delivery.value || !delivery.value->IsNull(),
              "a null value or null details are delivered as none");
  CheckRoundTrip(codec, delivery);
  return 0;
}
