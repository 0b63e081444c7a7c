#ifndef WEFT_STANDARD_CODEC_SERIALIZER_H_
#define WEFT_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>

#include "weft/byte_streams.h"
#include "weft/encodable_value.h"

namespace weft {

// Converts between EncodableValue and the standard message format. Stateless: any number of
// threads may share one instance, each with its own streams. A derived serializer adds its own
// types by overriding the two virtual operations and passing everything else to these; nested
// values go through the virtual operations too.
//
// Decoding is safe on any input: lists and maps nest at most kMaxNestingDepth deep, and sizes
// that the rest of the message cannot back neither reserve nor zero-fill more than a fixed
// allowance (see standard_codec_serializer.cpp for the exact rules).
class StandardCodecSerializer {
 public:
  // Lists and maps inside one another; a deeper one is skipped and read as null.
  static constexpr size_t kMaxNestingDepth = 128;
  // A string or array whose bytes run past the end of the message still reads as that many
  // zero bytes up to this size; a larger one reads as empty.
  static constexpr size_t kMaxUnbackedBytes = 1024;

  StandardCodecSerializer() = default;
  virtual ~StandardCodecSerializer() = default;

  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // The process-wide instance, created on first use.
  static const StandardCodecSerializer& SharedInstance();

  // The outermost call first tells the stream how many bytes will follow, from EncodedSize; into
  // a ByteBufferStreamWriter the standard serializer writes directly, in one allocation.
  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;
  // Reads the payload of a value whose tag the caller has read.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  EncodableValue ReadTaggedValue(ByteStreamReader* stream) const;
  // Sizes of 2^32 and more have no encoding; passing one is a caller's error.
  void WriteSizePrefix(size_t size, ByteStreamWriter* stream) const;
  size_t ReadSizePrefix(ByteStreamReader* stream) const;

  // At least the bytes that WriteValue writes for value, and at most the alignment less one
  // more for each padded value in it; custom values count as their tag.
  size_t EncodedSize(const EncodableValue& value) const;
};

}  // namespace weft

#endif  // WEFT_STANDARD_CODEC_SERIALIZER_H_
