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
class StandardCodecSerializer {
 public:
  // Decode limits. Decoding untrusted bytes is safe on any input; for a message of n bytes:
  // - Stack: lists and maps nest at most kMaxNestingDepth deep. A deeper one is skipped without
  //   recursion (its nested content included), reads as null, and writes one line.
  // - Time: a list or map stops at the first element that starts at the end of the message;
  //   that element still reads as null. Every other element takes at least one byte.
  // - Memory: a declared count reserves nothing: a list collects its elements as they arrive and
  //   then takes exactly their number, so at most twice what the message's own bytes made is
  //   alive at any moment. A string or array whose bytes run past the end is made of zeros only
  //   up to kMaxUnbackedBytes; such a read fails, which can only happen within the last
  //   kMaxUnbackedBytes of the message, so these zeros stay within a fixed allowance.
  // The time limit and the zeros' allowance need the reader's RemainingBytes; for a reader that
  // cannot tell, a list reads as many elements as it declares, and strings and arrays take their
  // declared sizes, as the format itself trusts them.
  // The depth is counted per decode, and a decode is what reads from one reader: an extension
  // that reads nested values through these operations on the same reader counts on, while a
  // decode on another reader, even one started from inside this one, counts from zero.

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
