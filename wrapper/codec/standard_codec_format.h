// The standard message format's tags and size prefixes, shared by the serializer's writing and
// reading halves.
#ifndef WEFT_CODEC_STANDARD_CODEC_FORMAT_H_
#define WEFT_CODEC_STANDARD_CODEC_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace weft {

enum Tag : uint8_t {
  kNullTag = 0,
  kTrueTag = 1,
  kFalseTag = 2,
  kInt32Tag = 3,
  kInt64Tag = 4,
  kLegacyStringTag = 5,
  kDoubleTag = 6,
  kStringTag = 7,
  kByteArrayTag = 8,
  kInt32ArrayTag = 9,
  kInt64ArrayTag = 10,
  kDoubleArrayTag = 11,
  kListTag = 12,
  kMapTag = 13,
  kFloatArrayTag = 14,
};

inline constexpr size_t kMaxOneByteSize = 253;
inline constexpr uint8_t kTwoByteSizeMarker = 254;
inline constexpr uint8_t kFourByteSizeMarker = 255;
inline constexpr size_t kMaxTwoByteSize = 0xFFFF;
inline constexpr size_t kMaxFourByteSize = 0xFFFFFFFF;

}  // namespace weft

#endif  // WEFT_CODEC_STANDARD_CODEC_FORMAT_H_
