#include "weft/standard_method_codec.h"

#include <map>
#include <utility>
#include <variant>

#include "weft/byte_streams.h"
#include "weft/diagnostic_line.h"

namespace weft {

namespace {

constexpr char kNotAStringLine[] = "Invalid method call; method name is not a string.";

constexpr uint8_t kSuccessTag = 0x00;
constexpr uint8_t kErrorTag = 0x01;
// Enough for the usual envelope, so that writing one takes a single allocation for its bytes
// rather than a regrowth every few bytes.
constexpr size_t kEnvelopeReserve = 64;

using CodecRegistry =
    std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>>;

// Never destroyed, so the codecs outlive every static that might still use one at exit.
CodecRegistry& Registry() {
  static CodecRegistry* registry = new CodecRegistry();
  return *registry;
}

// The value itself when there is one, so that packing writes it where it lies instead of a copy.
const EncodableValue& ValueOrNull(const EncodableValue* value) {
  static const EncodableValue null;
  return value != nullptr ? *value : null;
}

}  // namespace

const StandardMethodCodec& StandardMethodCodec::ForSerializer(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) {
    serializer = &StandardCodecSerializer::SharedInstance();
  }
  CodecRegistry& registry = Registry();
  auto found = registry.find(serializer);
  if (found != registry.end()) {
    return *found->second;
  }
  std::unique_ptr<StandardMethodCodec> codec(new StandardMethodCodec(serializer));
  return *registry.try_emplace(serializer, std::move(codec)).first->second;
}

StandardMethodCodec::StandardMethodCodec(const StandardCodecSerializer* serializer)
    : serializer_(serializer) {}

std::unique_ptr<MethodCall<EncodableValue>> StandardMethodCodec::UnpackCall(
    const uint8_t* message, size_t message_size) const {
  ByteBufferStreamReader reader(message, message_size);
  EncodableValue method_name = serializer_->ReadTaggedValue(&reader);
  const std::string* name = std::get_if<std::string>(&method_name);
  if (name == nullptr) {
    WriteDiagnosticLine(kNotAStringLine);
    return nullptr;
  }
  auto arguments = std::make_unique<EncodableValue>(serializer_->ReadTaggedValue(&reader));
  return std::make_unique<MethodCall<EncodableValue>>(*name, std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::PackCall(
    const MethodCall<EncodableValue>& call) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  bytes->reserve(kEnvelopeReserve);
  ByteBufferStreamWriter writer(bytes.get());
  serializer_->WriteValue(EncodableValue(call.method_name()), &writer);
  serializer_->WriteValue(ValueOrNull(call.arguments()), &writer);
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::PackSuccess(
    const EncodableValue* result) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  bytes->reserve(kEnvelopeReserve);
  ByteBufferStreamWriter writer(bytes.get());
  writer.PutByte(kSuccessTag);
  serializer_->WriteValue(ValueOrNull(result), &writer);
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::PackError(
    const std::string& error_code, const std::string& error_message,
    const EncodableValue* details) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  bytes->reserve(kEnvelopeReserve);
  ByteBufferStreamWriter writer(bytes.get());
  writer.PutByte(kErrorTag);
  serializer_->WriteValue(EncodableValue(error_code), &writer);
  serializer_->WriteValue(error_message.empty() ? EncodableValue() : EncodableValue(error_message),
                          &writer);
  serializer_->WriteValue(ValueOrNull(details), &writer);
  return bytes;
}

bool StandardMethodCodec::UnpackReply(const uint8_t* reply, size_t reply_size,
                                      MethodResult<EncodableValue>* result) const {
  ByteBufferStreamReader reader(reply, reply_size);
  const uint8_t tag = reader.NextByte();
  if (tag == kSuccessTag) {
    const EncodableValue value = serializer_->ReadTaggedValue(&reader);
    if (value.IsNull()) {
      result->Success();
    } else {
      result->Success(value);
    }
    return true;
  }
  if (tag != kErrorTag) {
    return false;
  }
  const EncodableValue code = serializer_->ReadTaggedValue(&reader);
  const EncodableValue message = serializer_->ReadTaggedValue(&reader);
  const EncodableValue details = serializer_->ReadTaggedValue(&reader);
  const std::string error_message =
      message.IsNull() ? std::string() : std::get<std::string>(message);
  const std::string& error_code = std::get<std::string>(code);
  if (details.IsNull()) {
    result->Error(error_code, error_message);
  } else {
    result->Error(error_code, error_message, details);
  }
  return true;
}

}  // namespace weft
