#include "weft/standard_codec_serializer.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <numeric>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "diagnostic_line.h"

// Bounds on decoding untrusted bytes, for a message of n bytes:
// - Stack: lists and maps nest at most kMaxNestingDepth deep. A deeper one is skipped without
//   recursion (its nested content included), reads as null, and writes kTooDeepLine once.
// - Time: a list or map stops at the first element that starts at the end of the message; that
//   element still reads as null. Every other element takes at least one byte.
// - Memory: each element of a list takes at least one byte, so a list reserves, and reads, no
//   more elements than the bytes left can back once the elements still owed to its enclosing
//   lists are set aside, plus the one null at the end (none when nothing is left unclaimed).
//   Honest messages never reach that limit.
//   A string or array whose bytes run past the end is made of zeros only up to
//   kMaxUnbackedBytes; such a read fails, which can only happen within the last
//   kMaxUnbackedBytes of the message, so these zeros stay within a fixed allowance.

namespace weft {

namespace {

static_assert(sizeof(size_t) >= sizeof(uint64_t), "array byte counts are computed in size_t");

constexpr char kUnknownTypeLine[] = "Unknown type in StandardCodecSerializer::ReadValueOfType: ";
constexpr char kCustomTypeLine[] =
    "Unhandled custom type in StandardCodecSerializer::WriteValue. "
    "Custom types require codec extensions.";
constexpr char kTooDeepLine[] =
    "Nesting too deep in StandardCodecSerializer::ReadValueOfType; value read as null.";

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

constexpr size_t kMaxOneByteSize = 253;
constexpr uint8_t kTwoByteSizeMarker = 254;
constexpr uint8_t kFourByteSizeMarker = 255;
constexpr size_t kMaxTwoByteSize = 0xFFFF;
// Checked by an assertion only, which release builds leave out.
[[maybe_unused]] constexpr size_t kMaxFourByteSize = 0xFFFFFFFF;

// The lists and maps that the decoder on this thread is inside of.
struct OpenContainers {
  size_t depth = 0;
  // Elements that the enclosing lists over `stream` still expect after the current one.
  const ByteStreamReader* stream = nullptr;
  size_t owed_elements = 0;
};

thread_local OpenContainers open_containers;

// Enters one list or map; a nested decode of another stream starts owing nothing.
class ContainerScope {
 public:
  explicit ContainerScope(const ByteStreamReader* stream) : saved_(open_containers) {
    ++open_containers.depth;
    if (open_containers.stream != stream) {
      open_containers.stream = stream;
      open_containers.owed_elements = 0;
    }
  }
  ~ContainerScope() { open_containers = saved_; }

  ContainerScope(const ContainerScope&) = delete;
  ContainerScope& operator=(const ContainerScope&) = delete;

 private:
  OpenContainers saved_;
};

// The writing functions below take the stream's type as a parameter: ByteStreamWriter for any
// stream, or BufferCursor for the standard serializer writing into a ByteBufferStreamWriter.
template <typename T, typename Stream>
void WriteScalar(T value, Stream* stream) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  stream->PutBytes(bytes, sizeof(T));
}

template <typename T>
T ReadScalar(ByteStreamReader* stream) {
  uint8_t bytes[sizeof(T)] = {};
  stream->NextBytes(bytes, sizeof(T));
  T value;
  std::memcpy(&value, bytes, sizeof(T));
  return value;
}

uint8_t TagOf(const EncodableValue& value) {
  static constexpr uint8_t kTagByIndex[] = {
      kNullTag,   kTrueTag,      kInt32Tag,      kInt64Tag,      kDoubleTag,
      kStringTag, kByteArrayTag, kInt32ArrayTag, kInt64ArrayTag, kDoubleArrayTag,
      kListTag,   kMapTag,       kNullTag,       kFloatArrayTag,
  };
  static_assert(sizeof(kTagByIndex) == std::variant_size_v<EncodableVariant>);
  if (value.valueless_by_exception()) {
    return kNullTag;
  }
  if (const bool* boolean = std::get_if<bool>(&value)) {
    return *boolean ? kTrueTag : kFalseTag;
  }
  return kTagByIndex[value.index()];
}

// Vectors are grown and value-initialised one page at a time ahead of the bytes copied in: the
// zero-fill, which a vector cannot skip, faults the page in, and the copy finds it still in the
// first-level cache.
constexpr size_t kCopyBlockBytes = 4096;

// The most that a value writes before its variable-length payload: tag, size prefix, padding
// and an eight-byte scalar. BufferCursor writes a value's head unchecked after making this much
// room, so every write but a payload's must stay within it.
constexpr size_t kMaxValueHeadBytes = 1 + 5 + 7 + 8;

// Appends to a vector whose capacity already holds the value's EncodedSize, with one check per
// value and per payload instead of a call per byte. Small writes go into a zero-filled block
// grown ahead of them, so that padding only moves the position; a payload longer than that room
// is appended in one copy. The vector is trimmed to what was written at the end.
class BufferCursor {
 public:
  // Writes from the vector's end up to limit, the end of the room made for the value.
  BufferCursor(std::vector<uint8_t>* buffer, size_t limit) : buffer_(buffer), limit_(limit) {
    Rebase(buffer->size());
  }

  // Makes room for the value's head, which the calls below then write without checks.
  void BeginValue() { Ensure(kMaxValueHeadBytes); }

  void PutByte(uint8_t byte) {
    assert(at_ < end_);
    *at_++ = byte;
  }
  void PutBytes(const uint8_t* data, size_t length) {
    if (length <= static_cast<size_t>(end_ - at_)) {
      if (length != 0) {
        std::memcpy(at_, data, length);
        at_ += length;
      }
      return;
    }
    // Longer than the zero-filled room: appended in one copy, without zero-filling first.
    const size_t position = Position();
    buffer_->resize(position);
    buffer_->insert(buffer_->end(), data, data + length);
    Rebase(position + length);
  }
  void PutPadding(uint8_t alignment) {
    const size_t remainder = Position() % alignment;
    if (remainder != 0) {
      at_ += alignment - remainder;
    }
    assert(at_ <= end_);
  }
  void Finish() { buffer_->resize(Position()); }

 private:
  size_t Position() const { return static_cast<size_t>(at_ - start_); }

  void Ensure(size_t length) {
    if (static_cast<size_t>(end_ - at_) < length) {
      Grow(length);
    }
  }

  void Grow(size_t length) {
    const size_t position = Position();
    const size_t ahead = std::min(limit_, position + kCopyBlockBytes);
    buffer_->resize(std::max(position + length, ahead));
    Rebase(position);
  }

  // The vector's storage moves only should EncodedSize fall short, but is looked up anew anyway.
  void Rebase(size_t position) {
    start_ = buffer_->data();
    at_ = start_ + position;
    end_ = start_ + buffer_->size();
  }

  std::vector<uint8_t>* buffer_;
  size_t limit_;
  uint8_t* start_ = nullptr;
  uint8_t* at_ = nullptr;
  uint8_t* end_ = nullptr;
};

template <typename Stream>
void WriteSize(size_t size, Stream* stream) {
  assert(size <= kMaxFourByteSize && "sizes of 2^32 and more have no encoding");
  if (size <= kMaxOneByteSize) {
    stream->PutByte(static_cast<uint8_t>(size));
    return;
  }
  if (size <= kMaxTwoByteSize) {
    stream->PutByte(kTwoByteSizeMarker);
    WriteScalar(static_cast<uint16_t>(size), stream);
    return;
  }
  stream->PutByte(kFourByteSizeMarker);
  WriteScalar(static_cast<uint32_t>(size), stream);
}

template <typename Stream>
void WriteTaggedValue(const StandardCodecSerializer& serializer, const EncodableValue& value,
                      Stream* stream);

// Writes the payload that follows the tag.
template <typename Stream>
struct PayloadWriter {
  const StandardCodecSerializer& serializer;
  Stream* stream;

  void operator()(std::monostate) const {}
  void operator()(bool) const {}
  void operator()(int32_t value) const { WriteScalar(value, stream); }
  void operator()(int64_t value) const { WriteScalar(value, stream); }
  void operator()(double value) const {
    stream->PutPadding(sizeof(double));
    WriteScalar(value, stream);
  }
  void operator()(const std::string& value) const {
    WriteBytes(reinterpret_cast<const uint8_t*>(value.data()), value.size());
  }
  void operator()(const std::vector<uint8_t>& value) const {
    WriteBytes(value.data(), value.size());
  }
  template <typename T>
  void operator()(const std::vector<T>& value) const {
    WriteSize(value.size(), stream);
    // Padded also when empty: the reader always aligns, and would otherwise skip into the next
    // value.
    stream->PutPadding(sizeof(T));
    stream->PutBytes(reinterpret_cast<const uint8_t*>(value.data()), value.size() * sizeof(T));
  }
  void operator()(const ValueList& value) const {
    WriteSize(value.size(), stream);
    for (const EncodableValue& element : value) {
      WriteNested(element);
    }
  }
  void operator()(const ValueMap& value) const {
    WriteSize(value.size(), stream);
    for (const auto& [key, mapped] : value) {
      WriteNested(key);
      WriteNested(mapped);
    }
  }
  void operator()(const CustomValue&) const { WriteDiagnosticLine(kCustomTypeLine); }

  void WriteBytes(const uint8_t* bytes, size_t length) const {
    WriteSize(length, stream);
    stream->PutBytes(bytes, length);
  }

  // Through the virtual WriteValue, so that a derived serializer sees every nested value; only
  // the standard serializer itself writes through a cursor, and then directly.
  void WriteNested(const EncodableValue& value) const {
    if constexpr (std::is_same_v<Stream, BufferCursor>) {
      WriteTaggedValue(serializer, value, stream);
    } else {
      serializer.WriteValue(value, stream);
    }
  }
};

template <typename Stream>
void WriteTaggedValue(const StandardCodecSerializer& serializer, const EncodableValue& value,
                      Stream* stream) {
  if constexpr (std::is_same_v<Stream, BufferCursor>) {
    stream->BeginValue();
  }
  stream->PutByte(TagOf(value));
  if (value.valueless_by_exception()) {
    return;
  }
  std::visit(PayloadWriter<Stream>{serializer, stream},
             static_cast<const EncodableVariant&>(value));
}

size_t SizePrefixSize(size_t size) {
  if (size <= kMaxOneByteSize) {
    return 1;
  }
  return size <= kMaxTwoByteSize ? 1 + sizeof(uint16_t) : 1 + sizeof(uint32_t);
}

// Sums the bytes a value takes after its tag; padding counts at its largest, as the position
// in the output is not known here.
struct PayloadSizer {
  const StandardCodecSerializer& serializer;

  size_t operator()(std::monostate) const { return 0; }
  size_t operator()(bool) const { return 0; }
  size_t operator()(int32_t) const { return sizeof(int32_t); }
  size_t operator()(int64_t) const { return sizeof(int64_t); }
  size_t operator()(double) const { return sizeof(double) - 1 + sizeof(double); }
  size_t operator()(const std::string& value) const {
    return SizePrefixSize(value.size()) + value.size();
  }
  size_t operator()(const std::vector<uint8_t>& value) const {
    return SizePrefixSize(value.size()) + value.size();
  }
  template <typename T>
  size_t operator()(const std::vector<T>& value) const {
    return SizePrefixSize(value.size()) + sizeof(T) - 1 + value.size() * sizeof(T);
  }
  size_t operator()(const ValueList& value) const {
    return std::accumulate(value.begin(), value.end(), SizePrefixSize(value.size()),
                           [this](size_t size, const EncodableValue& element) {
                             return size + serializer.EncodedSize(element);
                           });
  }
  size_t operator()(const ValueMap& value) const {
    size_t size = SizePrefixSize(value.size());
    for (const auto& [key, mapped] : value) {
      size += serializer.EncodedSize(key) + serializer.EncodedSize(mapped);
    }
    return size;
  }
  size_t operator()(const CustomValue&) const { return 0; }
};

// Values that WriteValue on this thread is inside of; the outermost one sizes the output.
thread_local size_t open_writes = 0;

class WriteScope {
 public:
  WriteScope() { ++open_writes; }
  ~WriteScope() { --open_writes; }

  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;
};

// The vector behind stream when neither the serializer nor the stream is of a derived class
// that could override a call, so that the value can be encoded without a virtual call per value
// and per byte.
std::vector<uint8_t>* DirectBuffer(const StandardCodecSerializer& serializer,
                                   ByteStreamWriter* stream) {
  if (typeid(serializer) != typeid(StandardCodecSerializer) ||
      typeid(*stream) != typeid(ByteBufferStreamWriter)) {
    return nullptr;
  }
  return dynamic_cast<ByteBufferStreamWriter&>(*stream).buffer();
}

// Makes room for the value's EncodedSize at once and writes the value without virtual calls.
// The room also holds one more value head, so that making room for the head of the last value
// never needs a larger vector. A vector written to again and again grows geometrically.
void WriteIntoBuffer(const StandardCodecSerializer& serializer, const EncodableValue& value,
                     std::vector<uint8_t>* buffer) {
  const size_t limit = buffer->size() + serializer.EncodedSize(value) + kMaxValueHeadBytes;
  if (limit > buffer->capacity()) {
    buffer->reserve(std::max(limit, 2 * buffer->capacity()));
  }
  BufferCursor cursor(buffer, limit);
  WriteTaggedValue(serializer, value, &cursor);
  cursor.Finish();
}

// The element count that a bulk read falls back to when its bytes run past the end.
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
Bytes ReadByteRun(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t length = serializer.ReadSizePrefix(stream);
  const uint8_t* bytes = nullptr;
  if (!stream->NextBytesInPlace(length, &bytes)) {
    return Bytes(UnbackedCount(length, 1), 0);
  }
  if (length == 0) {
    return Bytes();
  }
  return BytesFrom<Bytes>(bytes, length);
}

template <typename T>
std::vector<T> ReadTypedArray(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t count = serializer.ReadSizePrefix(stream);
  stream->SkipPadding(sizeof(T));
  const size_t length = count * sizeof(T);
  const uint8_t* bytes = nullptr;
  if (!stream->NextBytesInPlace(length, &bytes)) {
    return std::vector<T>(UnbackedCount(count, sizeof(T)));
  }
  // The message bytes may lie at any alignment and are no T objects, so they are copied into the
  // elements byte-wise (memcpy) rather than read through a T pointer.
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

size_t ListElementLimit(size_t count, const ByteStreamReader& stream) {
  const size_t remaining = stream.RemainingBytes();
  const size_t owed = open_containers.owed_elements;
  const size_t unclaimed = remaining > owed ? remaining - owed : 0;
  // One element more for the one that finds the message exhausted. When the enclosing lists
  // have claimed every byte left, this list cannot hold any element at all.
  const size_t exhausted_element = unclaimed != 0 || remaining == 0 ? 1 : 0;
  return std::min(count, unclaimed + exhausted_element);
}

ValueList ReadList(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t count = serializer.ReadSizePrefix(stream);
  ContainerScope scope(stream);
  const size_t owed_outside = open_containers.owed_elements;
  const size_t limit = ListElementLimit(count, *stream);
  ValueList list;
  list.reserve(limit);
  for (size_t i = 0; i < limit; ++i) {
    open_containers.owed_elements = owed_outside + (limit - 1 - i);
    const bool at_end = stream->RemainingBytes() == 0;
    list.push_back(serializer.ReadTaggedValue(stream));
    if (at_end) {
      break;
    }
  }
  return list;
}

ValueMap ReadMap(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const size_t count = serializer.ReadSizePrefix(stream);
  ContainerScope scope(stream);
  ValueMap map;
  for (size_t i = 0; i < count; ++i) {
    const bool at_end = stream->RemainingBytes() == 0;
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

// Moves past length bytes, or to the end when fewer remain, without a diagnostic.
void SkipBytes(ByteStreamReader* stream, size_t length) {
  const uint8_t* bytes = nullptr;
  stream->NextBytesInPlace(std::min(length, stream->RemainingBytes()), &bytes);
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
  while (pending != 0 && stream->RemainingBytes() != 0) {
    pending = std::min(pending - 1, stream->RemainingBytes());
    pending += SkipPayload(serializer, stream->NextByte(), stream);
  }
}

}  // namespace

const StandardCodecSerializer& StandardCodecSerializer::SharedInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  if (open_writes == 0) {
    if (std::vector<uint8_t>* buffer = DirectBuffer(*this, stream)) {
      WriteIntoBuffer(*this, value, buffer);
      return;
    }
    stream->ExpectBytes(EncodedSize(value));
  }
  WriteScope scope;
  WriteTaggedValue(*this, value, stream);
}

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
  if (open_containers.depth >= kMaxNestingDepth) {
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

void StandardCodecSerializer::WriteSizePrefix(size_t size, ByteStreamWriter* stream) const {
  WriteSize(size, stream);
}

size_t StandardCodecSerializer::EncodedSize(const EncodableValue& value) const {
  constexpr size_t kTagSize = 1;
  if (value.valueless_by_exception()) {
    return kTagSize;
  }
  return kTagSize + std::visit(PayloadSizer{*this}, static_cast<const EncodableVariant&>(value));
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
