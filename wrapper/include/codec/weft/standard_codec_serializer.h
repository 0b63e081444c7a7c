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
  // Decode limits. Decoding untrusted bytes is safe on any input and through any reader; for a
  // message of n bytes:
  // - Stack: lists and maps nest at most kMaxNestingDepth deep. A deeper one is skipped without
  //   recursion (its nested content included), reads as null, and writes one line.
  // - Time: a list or map stops at the first element that starts at the end of the message;
  //   that element still reads as null. Every other element takes at least one byte.
  // - Memory: at most DecodeMemoryBound(n) bytes are alive at any moment while the message is
  //   decoded and while its value lives. A declared count reserves nothing: a list collects its
  //   elements as they arrive and then takes exactly their number. A string or array whose bytes
  //   run past the end is made of zeros only up to kMaxUnbackedBytes.
  // The depth is counted per decode, and a decode is what reads from one reader: an extension
  // that reads nested values through these operations on the same reader counts on, while a
  // decode on another reader, even one started from inside this one, counts from zero.
  // Every reader gives the same value, end position and diagnostic lines for the same bytes as
  // long as it can tell its remaining bytes (ByteStreamReader::RemainingBytes). For a reader that
  // cannot, n counts every byte that its reads delivered, or claimed to by returning: a list
  // reads as many elements as it declares, and strings and arrays are read in chunks that grow
  // with the bytes delivered, so that such a reader ends a message by throwing (or by blocking
  // until more bytes arrive) rather than by yielding zeros.

  // Lists and maps inside one another; a deeper one is skipped and read as null. A value at the
  // limit fits the 1 MiB main-thread stack that Windows programs get by default with room to
  // spare, to decode, copy, compare, encode and destroy.
  static constexpr size_t kMaxNestingDepth = 128;
  // A string or array whose bytes run past the end of the message still reads as that many
  // zero bytes, as the format has it, up to this size; a larger one reads as empty. Such a read
  // fails, which can only happen within the last kMaxUnbackedBytes of the message, so these
  // zeros stay within a fixed allowance.
  static constexpr size_t kMaxUnbackedBytes = 1024;
  // The memory bound's share per message byte. A list holds its elements twice for a moment
  // when it takes them from the ones it collected, and a value is 56 bytes, so an honest list
  // of a million nulls takes 114 bytes per message byte.
  static constexpr size_t kMemoryPerMessageByte = 128;
  // The memory bound's fixed share: the zeros of short reads, the first chunk of a string or
  // array read from a reader that cannot tell its remaining bytes, and the first blocks of the
  // containers that collect elements.
  static constexpr size_t kMemoryAllowance = size_t{1} << 20;

  static constexpr size_t DecodeMemoryBound(size_t message_bytes) {
    return kMemoryPerMessageByte * message_bytes + kMemoryAllowance;
  }

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
