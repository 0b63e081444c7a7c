// The standard message serializer on any bytes: decoding one value stays within the memory
// bound through any reader, and a reader of the user's own that can tell its remaining bytes
// gives the same value, end position and number of diagnostic lines as the standard one. A
// streaming reader, which cannot tell and throws where its bytes end, decodes a message that the
// standard reader decodes cleanly to the same value, and throws nothing but its own end otherwise.
// Whatever the decoder yields encodes to bytes that decode cleanly to an equivalent value and
// encode again to the same bytes, written directly into a vector or value by value alike. Values
// with a NaN in a map key are only decoded twice: the ordering is no strict weak ordering on them
// (value_properties.h).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "allocation_meter.h"
#include "diagnostic_sink.h"
#include "fuzz_check.h"
#include "readers.h"
#include "value_properties.h"
#include "weft/byte_streams.h"
#include "weft/encodable_value.h"
#include "weft/standard_codec_serializer.h"

namespace {

using weft::ByteBufferStreamReader;
using weft::ByteBufferStreamWriter;
using weft::EncodableValue;
using weft::StandardCodecSerializer;

// Any stream but the buffer writer itself, which the serializer writes value by value through
// the virtual calls instead of directly into the vector.
class ForwardingWriter : public weft::ByteStreamWriter {
 public:
  explicit ForwardingWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}
  void PutByte(uint8_t byte) override { buffer_.PutByte(byte); }
  void PutBytes(const uint8_t* data, size_t length) override { buffer_.PutBytes(data, length); }
  void PutPadding(uint8_t alignment) override { buffer_.PutPadding(alignment); }

 private:
  ByteBufferStreamWriter buffer_;
};

std::vector<uint8_t> EncodeValueByValue(const EncodableValue& value, size_t prefix) {
  std::vector<uint8_t> bytes(prefix, 0);
  ForwardingWriter writer(&bytes);
  StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  return bytes;
}

// Straight into the vector: the standard serializer's own path for its buffer writer.
std::vector<uint8_t> Encode(const EncodableValue& value, size_t prefix = 0) {
  std::vector<uint8_t> bytes(prefix, 0);
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  return bytes;
}

EncodableValue Decode(const uint8_t* data, size_t size) {
  ByteBufferStreamReader reader(data, size);
  return StandardCodecSerializer::SharedInstance().ReadTaggedValue(&reader);
}

struct Decoded {
  EncodableValue value;
  size_t position = 0;
  size_t lines = 0;
};

template <typename Reader>
Decoded DecodeWithinBound(Reader* reader, size_t size, const char* what) {
  fuzz::AllocationMeter meter;
  const fuzz::DiagnosticWatch watch;
  Decoded decoded;
  decoded.value = StandardCodecSerializer::SharedInstance().ReadTaggedValue(reader);
  meter.CheckWithinBound(size, what);
  decoded.position = reader->position();
  decoded.lines = watch.Lines();
  return decoded;
}

void CheckAlike(const Decoded& decoded, const Decoded& standard) {
  fuzz::Check(fuzz::Equivalent(decoded.value, standard.value),
              "every reader decodes the same value");
  fuzz::Check(decoded.position == standard.position, "every reader ends at the same position");
  fuzz::Check(decoded.lines == standard.lines, "every reader writes as many lines");
}

void CheckOtherReaders(const uint8_t* data, size_t size, const Decoded& standard) {
  fuzz::OwnReader own(fuzz::OwnReader::Kind::kTellsRemaining, data, size);
  CheckAlike(DecodeWithinBound(&own, size, "decoding through a reader of the user's own"),
             standard);

  fuzz::OwnReader streaming(fuzz::OwnReader::Kind::kStreaming, data, size);
  try {
    const Decoded streamed = DecodeWithinBound(&streaming, size, "decoding a stream");
    if (standard.lines == 0) {
      CheckAlike(streamed, standard);
    }
  } catch (const fuzz::EndOfInput&) {
    fuzz::Check(standard.lines != 0, "a stream of a clean message decodes before its end");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::InstallDiagnosticSink();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteBufferStreamReader reader(data, size);
  const Decoded standard = DecodeWithinBound(&reader, size, "decoding a value");
  CheckOtherReaders(data, size, standard);
  const EncodableValue& value = standard.value;

  // Anything the decoder yields is a value that the encoder can write: a cleanly decoded input
  // must round-trip, and so must the fallbacks (nulls, zero-filled runs) of a damaged one.
  const std::vector<uint8_t> encoded = Encode(value);
  // The first byte picks the output's alignment, so that padding is checked at every offset.
  const size_t prefix = size == 0 ? 0 : data[0] % 8;
  fuzz::Check(Encode(value, prefix) == EncodeValueByValue(value, prefix),
              "writing directly and value by value give the same bytes");
  const fuzz::DiagnosticWatch watch;
  const EncodableValue decoded = Decode(encoded.data(), encoded.size());
  fuzz::Check(watch.Clean(), "re-encoded bytes decode without a diagnostic");
  if (fuzz::HasNanInMapKey(value)) {
    return 0;
  }
  fuzz::Check(fuzz::Equivalent(value, decoded), "re-encoded value decodes to an equivalent one");
  fuzz::Check(Encode(decoded) == encoded, "a decoded value encodes to the bytes it came from");
  return 0;
}
