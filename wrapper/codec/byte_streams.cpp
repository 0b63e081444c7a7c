#include "weft/byte_streams.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "weft/diagnostic_line.h"

namespace weft {

namespace {

constexpr char kInvalidReadLine[] = "Invalid read in StandardCodecByteStreamReader";

}  // namespace

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes, size_t size)
    : bytes_(bytes), size_(size) {}

uint8_t ByteBufferStreamReader::NextByte() {
  if (!CanRead(1)) {
    return 0;
  }
  return bytes_[position_++];
}

void ByteBufferStreamReader::NextBytes(uint8_t* buffer, size_t length) {
  const uint8_t* bytes = nullptr;
  if (!Lend(length, &bytes) || length == 0) {
    return;
  }
  std::memcpy(buffer, bytes, length);
}

void ByteBufferStreamReader::SkipPadding(uint8_t alignment) {
  assert(alignment != 0);
  const size_t remainder = position_ % alignment;
  if (remainder != 0) {
    position_ += alignment - remainder;
  }
}

size_t ByteBufferStreamReader::RemainingBytes() const {
  return position_ < size_ ? size_ - position_ : 0;
}

bool ByteBufferStreamReader::NextBytesInPlace(size_t length, const uint8_t** bytes) {
  return Lend(length, bytes);
}

bool ByteBufferStreamReader::Lend(size_t length, const uint8_t** bytes) {
  if (!CanRead(length)) {
    return false;
  }
  if (length != 0) {
    *bytes = bytes_ + position_;
    position_ += length;
  }
  return true;
}

bool ByteBufferStreamReader::CanRead(size_t length) const {
  // Written so that a huge length cannot wrap around.
  if (position_ <= size_ && length <= size_ - position_) {
    return true;
  }
  WriteDiagnosticLine(kInvalidReadLine);
  return false;
}

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

void ByteBufferStreamWriter::PutByte(uint8_t byte) {
  buffer_->push_back(byte);
}

void ByteBufferStreamWriter::PutBytes(const uint8_t* data, size_t length) {
  if (length == 0) {
    return;
  }
  buffer_->insert(buffer_->end(), data, data + length);
}

void ByteBufferStreamWriter::PutPadding(uint8_t alignment) {
  assert(alignment != 0);
  const size_t remainder = buffer_->size() % alignment;
  if (remainder == 0) {
    return;
  }
  for (size_t i = remainder; i < alignment; ++i) {
    PutByte(0);
  }
}

// Grows geometrically, so that many values written one after another into the same vector do
// not reallocate it for each.
void ByteBufferStreamWriter::ExpectBytes(size_t length) {
  if (length > buffer_->max_size() - buffer_->size()) {
    return;
  }
  const size_t needed = buffer_->size() + length;
  if (needed > buffer_->capacity()) {
    buffer_->reserve(std::max(needed, 2 * buffer_->capacity()));
  }
}

}  // namespace weft
