// UnpackReply on any bytes, into a result that checks what it receives: it recognises exactly
// the tags 00 and 01, delivers exactly one outcome when it does, lets no exception out but the
// wrong-kind error of an error reply (and then delivers nothing), stays within the memory
// bound, and an outcome it delivers packs and unpacks to the same outcome. The checks run while
// the outcome is delivered, so that its value is looked at in place rather than copied.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
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

// One outcome as delivered; value and the strings live only as long as the delivery.
struct Delivery {
  Outcome outcome = Outcome::kSuccess;
  const EncodableValue* value = nullptr;
  std::string_view code;
  std::string_view message;
};

// Counts the outcomes it receives and hands each to check while it is being delivered.
template <typename Check>
class CheckingResult : public weft::MethodResult<EncodableValue> {
 public:
  explicit CheckingResult(Check check) : check_(std::move(check)) {}
  int deliveries() const { return deliveries_; }

 protected:
  void DeliverSuccess(const EncodableValue* result) override {
    Receive(Delivery{Outcome::kSuccess, result, {}, {}});
  }
  void DeliverError(const std::string& error_code, const std::string& error_message,
                    const EncodableValue* details) override {
    Receive(Delivery{Outcome::kError, details, error_code, error_message});
  }
  void DeliverNotImplemented() override { Receive(Delivery{Outcome::kNotImplemented, {}, {}, {}}); }

 private:
  void Receive(const Delivery& delivery) {
    ++deliveries_;
    check_(delivery);
  }

  Check check_;
  int deliveries_ = 0;
};

bool SameValue(const EncodableValue* a, const EncodableValue* b) {
  return (a == nullptr) == (b == nullptr) && (a == nullptr || fuzz::Equivalent(*a, *b));
}

std::unique_ptr<std::vector<uint8_t>> Pack(const StandardMethodCodec& codec,
                                           const Delivery& delivery) {
  if (delivery.outcome == Outcome::kSuccess) {
    return codec.PackSuccess(delivery.value);
  }
  return codec.PackError(std::string(delivery.code), std::string(delivery.message), delivery.value);
}

// Packs the delivered outcome and unpacks it again: the same outcome must arrive, once.
void CheckRoundTrip(const StandardMethodCodec& codec, const Delivery& delivery) {
  const std::unique_ptr<std::vector<uint8_t>> packed = Pack(codec, delivery);
  const auto compare = [&delivery](const Delivery& second) {
    fuzz::Check(second.outcome == delivery.outcome, "the outcome survives packing");
    fuzz::Check(second.code == delivery.code && second.message == delivery.message,
                "the error code and message survive packing");
    if (delivery.value != nullptr && fuzz::HasNanInMapKey(*delivery.value)) {
      return;
    }
    fuzz::Check(SameValue(second.value, delivery.value), "the value or details survive packing");
  };
  CheckingResult again(compare);
  const fuzz::DiagnosticWatch watch;
  bool recognised = false;
  // Caught here, or the handler for the reply being delivered would take it for its own.
  try {
    recognised = codec.UnpackReply(packed->data(), packed->size(), &again);
  } catch (const std::bad_variant_access&) {
    fuzz::Check(false, "a packed reply unpacks without an exception");
  }
  fuzz::Check(watch.Clean(), "a packed reply unpacks without a diagnostic");
  fuzz::Check(recognised && again.deliveries() == 1, "a packed reply is delivered once");
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
  const Outcome expected = tag == kSuccessTag ? Outcome::kSuccess : Outcome::kError;

  fuzz::AllocationMeter meter;
  const auto check = [&](const Delivery& delivery) {
    // Decoding is over and its value alive: the moment the memory bound speaks of.
    meter.CheckWithinBound(size, "unpacking a reply");
    fuzz::Check(delivery.outcome == expected, "the tag decides the outcome");
    fuzz::Check(delivery.value == nullptr || !delivery.value->IsNull(),
                "a null value or null details are delivered as none");
    CheckRoundTrip(codec, delivery);
  };
  CheckingResult result(check);
  bool recognised = false;
  try {
    recognised = codec.UnpackReply(data, size, &result);
  } catch (const std::bad_variant_access&) {
    meter.CheckWithinBound(size, "unpacking a reply");
    fuzz::Check(tag == kErrorTag, "only an error reply may raise the wrong-kind error");
    fuzz::Check(result.deliveries() == 0, "a reply that raises delivers nothing");
    return 0;
  }

  fuzz::Check(recognised == known_tag, "exactly the tags 00 and 01 are recognised");
  if (!recognised) {
    meter.CheckWithinBound(size, "unpacking a reply");
    fuzz::Check(result.deliveries() == 0, "an unrecognised reply delivers nothing");
    return 0;
  }
  fuzz::Check(result.deliveries() == 1, "a recognised reply delivers one outcome");
  return 0;
}
