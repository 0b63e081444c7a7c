#include "weft/standard_codec_serializer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "decode_state.h"
#include "standard_codec_format.h"
#include "weft/diagnostic_line.h"

// Reading values from untrusted bytes, within the decode limits that the header states. The
// standard reader is read through its own operations, which lend the message bytes in place;
// any other reader only through NextByte, NextBytes and SkipPadding, so that it sees every byte
// and every read that fails.

namespace weft {

namespace {

static_assert(sizeof(size_t) >= sizeof(uint64_t), "array byte counts are computed in size_t");

constexpr char kUnknownTypeLine[] = "Unknown type in StandardCodecSerializer::ReadValueOfType: ";
constexpr char kTooDeepLine[] =
    "Nesting too deep in StandardCodecSerializer::ReadValueOfType; value read as null.";

// Typed arrays are grown and value-initialised one page at a time ahead of the bytes copied in:
// the zero-fill, which a vector cannot skip, faults the page in, and the copy finds it still in
// the first-level cache.
constexpr size_t kCopyBlockBytes = 4096;

// The first chunk of a string or array read from a reader that cannot tell how many bytes
// remain: it is allocated before any of its bytes arrive, so it comes out of the fixed memory
// allowance, and the doubled run that follows it must too.
constexpr size_t kFirstChunkBytes = size_t{64} << 10;
static_assert(3 * kFirstChunkBytes <= StandardCodecSerializer::kMemoryAllowance,
              "a run grown past its first chunk holds both chunks for a moment");

// Only the exact standard reader is read in place: a derived reader may read differently, and
// is read through its virtual operations like any other.
bool LendsInPlace(const ByteStreamReader& stream) {
  return typeid(stream) == typeid(ByteBufferStreamReader);
}

bool KnowsRemaining(const ByteStreamReader& stream) {
  return stream.RemainingBytes() != ByteStreamReader::kUnknownRemaining;
}

// Only a reader that counts its bytes can say that the message has ended.
bool AtEnd(const ByteStreamReader& stream) {
  return stream.RemainingBytes() == 0;
}

template <typename T>
T ReadScalar(ByteStreamReader* stream) {
  uint8_t bytes[sizeof(T)] = {};
  stream->NextBytes(bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

// The element count that a read of count elements falls back to when its bytes run past the end.
size_t UnbackedCount(size_t count, size_t element_size) {
  return count * element_size <= StandardCodecSerializer::kMaxUnbackedBytes ? count : 0;
}

// Built straight from the message bytes, without zero-filling first.
template <typename Bytes>
Bytes BytesFrom(const uint8_t* bytes, size_t length);

template <>
std::string BytesFrom(const uint8_t* bytes, size_t length) {
  return std::string(reinterpret_cast<const char*>(bytes), length);
}

template <>
std::vector<uint8_t> BytesFrom(const uint8_t* bytes, size_t length) {
  return std::vector<uint8_t>(bytes, bytes + length);
}

template <typename Bytes>
Bytes ReadByteRunInPlace(ByteStreamReader* stream, size_t length) {
  const uint8_t* bytes = nullptr;
  if (!stream->NextBytesInPlace(length, &bytes)) {
    return Bytes(UnbackedCount(length, 1), 0);
  }
  if (length == 0) {
    return Bytes();
  }
  return BytesFrom<Bytes>(bytes, length);
}

// The message bytes may lie at any alignment and are no T objects, so they are copied into the
// elements byte-wise (memcpy) rather than read through a T pointer.
template <typename T>
std::vector<T> ReadTypedArrayInPlace(ByteStreamReader* stream, size_t count) {
  const uint8_t* bytes = nullptr;
  if (!stream->NextBytesInPlace(count * sizeof(T), &bytes)) {
    return std::vector<T>(UnbackedCount(count, sizeof(T)));
  }
  constexpr size_t kBlockCount = kCopyBlockBytes / sizeof(T);
  std::vector<T> array;
  array.reserve(count);
  while (array.size() < count) {
    const size_t done = array.size();
    const size_t block = std::min(kBlockCount, count - done);
    array.resize(done + block);
    std::memcpy(array.data() + done, bytes + done * sizeof(T), block * sizeof(T));
  }
  return array;
}

// A run is a string or an array that a reader fills through NextBytes.
template <typename Run>
uint8_t* BytesAt(Run& run, size_t offset) {
  return reinterpret_cast<uint8_t*>(run.data() + offset);
}

template <typename Run>
constexpr size_t kElementSize = sizeof(typename Run::value_type);

template <typename Run>
size_t ByteCount(size_t count) {
  return count * kElementSize<Run>;
}

// A run that the rest of the message cannot back reads as zeros up to the allowance, after one
// read that the reader fails, so that every reader reports it as the standard one does. Beyond
// the allowance there is no room to read into; a read of one byte more than remain fails as
// surely, and its buffer is left uninitialised, since a failed read copies nothing into it.
template <typename Run>
Run ReadUnbackedRun(ByteStreamReader* stream, size_t count, size_t remaining) {
  Run run(UnbackedCount(count, kElementSize<Run>), typename Run::value_type());
  if (!run.empty()) {
    stream->NextBytes(BytesAt(run, 0), ByteCount<Run>(count));
    return run;
  }
  const std::unique_ptr<uint8_t[]> failing_read(new uint8_t[remaining + 1]);
  stream->NextBytes(failing_read.get(), remaining + 1);
  return run;
}

// For a reader that cannot tell how many bytes remain: the run grows with what the reader has
// delivered, each chunk as large as all before it, the first within the memory allowance. The
// run of none is read too, since at a position past the end even that read fails.
template <typename Run>
Run ReadRunInChunks(ByteStreamReader* stream, size_t count) {
  constexpr size_t kFirstChunk = kFirstChunkBytes / kElementSize<Run>;
  Run run;
  size_t chunk = std::min(count, kFirstChunk);
  do {
    const size_t done = run.size();
    run.resize(done + chunk);
    stream->NextBytes(BytesAt(run, done), ByteCount<Run>(chunk));
    chunk = std::min(count - run.size(), std::max(kFirstChunk, run.size()));
  } while (run.size() < count);
  return run;
}

// A string or array from a reader that does not lend its bytes.
template <typename Run>
Run ReadRun(ByteStreamReader* stream, size_t count) {
  const size_t remaining = stream->RemainingBytes();
  if (remaining == ByteStreamReader::kUnknownRemaining) {
    return ReadRunInChunks<Run>(stream, count);
  }
  if (ByteCount<Run>(count) > remaining) {
    return ReadUnbackedRun<Run>(stream, count, remaining);
  }
  Run run(count, typename Run::value_type());
  stream->NextBytes(BytesAt(run, 0), ByteCount<Run>(count));
  return run;
}

template <typename Bytes>
Bytes ReadByteRun(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t length = serializer.ReadSizePrefix(stream);
  if (LendsInPlace(*stream)) {
    return ReadByteRunInPlace<Bytes>(stream, length);
  }
  return ReadRun<Bytes>(stream, length);
}

template <typename T>
std::vector<T> ReadTypedArray(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t count = serializer.ReadSizePrefix(stream);
  stream->SkipPadding(sizeof(T));
  if (LendsInPlace(*stream)) {
    return ReadTypedArrayInPlace<T>(stream, count);
  }
  return ReadRun<std::vector<T>>(stream, count);
}

// Each element is read from the list's own bytes, however many its enclosing lists still expect.
ValueList ReadList(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t count = serializer.ReadSizePrefix(stream);
  const DecodeState::Container container(stream);
  DecodeState::PendingElements elements(container.state());
  for (size_t i = 0; i < count; ++i) {
    const bool at_end = AtEnd(*stream);
    elements.Add(serializer.ReadTaggedValue(stream));
    if (at_end) {
      break;
    }
  }
  return elements.Take();
}

ValueMap ReadMap(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t count = serializer.ReadSizePrefix(stream);
  const DecodeState::Container container(stream);
  ValueMap map;
  for (size_t i = 0; i < count; ++i) {
    const bool at_end = AtEnd(*stream);
    EncodableValue key = serializer.ReadTaggedValue(stream);
    EncodableValue mapped = serializer.ReadTaggedValue(stream);
    // Keys arrive in order from an encoded map, so the end is the right place to look first.
    map.try_emplace(map.end(), std::move(key), std::move(mapped));
    if (at_end) {
      break;
    }
  }
  return map;
}

// Moves past length bytes, or to the end when fewer remain, without a diagnostic where the
// reader can tell: nothing is read where nothing is left, also past the end.
void SkipBytes(ByteStreamReader* stream, size_t length) {
  if (KnowsRemaining(*stream)) {
    length = std::min(length, stream->RemainingBytes());
  }
  if (length == 0) {
    return;
  }
  if (LendsInPlace(*stream)) {
    const uint8_t* bytes = nullptr;
    stream->NextBytesInPlace(length, &bytes);
    return;
  }
  uint8_t scratch[kCopyBlockBytes];
  while (length != 0) {
    const size_t block = std::min(length, sizeof(scratch));
    stream->NextBytes(scratch, block);
    length -= block;
  }
}

// Moves past the payload of a value whose tag has been read and returns how many nested
// values follow it (elements, or keys and mapped values).
size_t SkipPayload(const StandardCodecSerializer& serializer, uint8_t type,
                   ByteStreamReader* stream) {
  switch (type) {
    case kInt32Tag:
      SkipBytes(stream, sizeof(int32_t));
      return 0;
    case kInt64Tag:
      SkipBytes(stream, sizeof(int64_t));
      return 0;
    case kDoubleTag:
      stream->SkipPadding(sizeof(double));
      SkipBytes(stream, sizeof(double));
      return 0;
    case kLegacyStringTag:
    case kStringTag:
    case kByteArrayTag:
      SkipBytes(stream, serializer.ReadSizePrefix(stream));
      return 0;
    case kInt32ArrayTag:
    case kFloatArrayTag: {
      const size_t count = serializer.ReadSizePrefix(stream);
      stream->SkipPadding(4);
      SkipBytes(stream, count * 4);
      return 0;
    }
    case kInt64ArrayTag:
    case kDoubleArrayTag: {
      const size_t count = serializer.ReadSizePrefix(stream);
      stream->SkipPadding(8);
      SkipBytes(stream, count * 8);
      return 0;
    }
    case kListTag:
      return serializer.ReadSizePrefix(stream);
    case kMapTag:
      return 2 * serializer.ReadSizePrefix(stream);
    default:
      return 0;
  }
}

// Skips a value and all that it holds with a counter instead of recursion. No more values can
// be pending than bytes remain, which also keeps the counter from overflowing.
void SkipNestedValue(const StandardCodecSerializer& serializer, uint8_t type,
                     ByteStreamReader* stream) {
  size_t pending = SkipPayload(serializer, type, stream);
  while (pending != 0 && !AtEnd(*stream)) {
    pending = std::min(pending - 1, stream->RemainingBytes());
    pending += SkipPayload(serializer, stream->NextByte(), stream);
  }
}

}  // namespace

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (type) {
    case kNullTag:
      return EncodableValue();
    case kTrueTag:
      return EncodableValue(true);
    case kFalseTag:
      return EncodableValue(false);
    case kInt32Tag:
      return EncodableValue(ReadScalar<int32_t>(stream));
    case kInt64Tag:
      return EncodableValue(ReadScalar<int64_t>(stream));
    case kDoubleTag:
      stream->SkipPadding(sizeof(double));
      return EncodableValue(ReadScalar<double>(stream));
    case kLegacyStringTag:
    case kStringTag:
      return EncodableValue(ReadByteRun<std::string>(*this, stream));
    case kByteArrayTag:
      return EncodableValue(ReadByteRun<std::vector<uint8_t>>(*this, stream));
    case kInt32ArrayTag:
      return EncodableValue(ReadTypedArray<int32_t>(*this, stream));
    case kInt64ArrayTag:
      return EncodableValue(ReadTypedArray<int64_t>(*this, stream));
    case kDoubleArrayTag:
      return EncodableValue(ReadTypedArray<double>(*this, stream));
    case kFloatArrayTag:
      return EncodableValue(ReadTypedArray<float>(*this, stream));
    case kListTag:
    case kMapTag:
      break;
    default:
      WriteDiagnosticLine(kUnknownTypeLine + std::to_string(type));
      return EncodableValue();
  }
  if (DecodeState::DepthOf(*stream) >= kMaxNestingDepth) {
    WriteDiagnosticLine(kTooDeepLine);
    SkipNestedValue(*this, type, stream);
    return EncodableValue();
  }
  if (type == kListTag) {
    return EncodableValue(ReadList(*this, stream));
  }
  return EncodableValue(ReadMap(*this, stream));
}

EncodableValue StandardCodecSerializer::ReadTaggedValue(ByteStreamReader* stream) const {
  return ReadValueOfType(stream->NextByte(), stream);
}

size_t StandardCodecSerializer::ReadSizePrefix(ByteStreamReader* stream) const {
  const uint8_t first = stream->NextByte();
  if (first < kTwoByteSizeMarker) {
    return first;
  }
  if (first == kTwoByteSizeMarker) {
    return ReadScalar<uint16_t>(stream);
  }
  return ReadScalar<uint32_t>(stream);
}

}  // namespace weft
