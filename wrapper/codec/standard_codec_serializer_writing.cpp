#include "weft/standard_codec_serializer.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <numeric>
#include <type_traits>
#include <typeinfo>
#include <variant>

#include "standard_codec_format.h"
#include "weft/diagnostic_line.h"

// Writing values: one path value by value through any stream's virtual operations, and a direct
// path for the standard serializer writing into a ByteBufferStreamWriter, which sizes the output
// once and writes through a cursor without a virtual call per value or byte.

namespace weft {

namespace {

constexpr char kCustomTypeLine[] =
    "Unhandled custom type in StandardCodecSerializer::WriteValue. "
    "Custom types require codec extensions.";

// The writing functions below take the stream's type as a parameter: ByteStreamWriter for any
// stream, or BufferCursor for the standard serializer writing into a ByteBufferStreamWriter.
template <typename T, typename Stream>
void WriteScalar(T value, Stream* stream) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  stream->PutBytes(bytes, sizeof(T));
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

// The cursor grows the vector and zero-fills it one page at a time ahead of the small writes:
// the zero-fill, which a vector cannot skip, faults the page in, and the writes find it still in
// the first-level cache.
constexpr size_t kZeroFillAheadBytes = 4096;

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
    const size_t ahead = std::min(limit_, position + kZeroFillAheadBytes);
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

}  // namespace weft
