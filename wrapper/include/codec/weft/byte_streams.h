#ifndef WEFT_BYTE_STREAMS_H_
#define WEFT_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace weft {

class DecodeState;

// Where a decoder takes message bytes from. A read past the end is no error that stops anything:
// it writes one line to standard error, moves nowhere and yields zeros. A reader may also end a
// message by throwing: the exception reaches the decode's caller as it was thrown, and the
// reader and the serializer can be used again afterwards.
class ByteStreamReader {
 public:
  ByteStreamReader() = default;
  virtual ~ByteStreamReader() = default;

  ByteStreamReader(const ByteStreamReader&) = delete;
  ByteStreamReader& operator=(const ByteStreamReader&) = delete;

  virtual uint8_t NextByte() = 0;
  // All or nothing: when fewer than length bytes remain, buffer keeps what it held.
  virtual void NextBytes(uint8_t* buffer, size_t length) = 0;
  // Moves to the next multiple of alignment, counted from the start of the message.
  virtual void SkipPadding(uint8_t alignment) = 0;

  // Optional, beyond the three operations above; a reader written to those alone works as well.

  // What RemainingBytes says when the reader cannot tell.
  static constexpr size_t kUnknownRemaining = SIZE_MAX;
  // Bytes still to read, 0 once the position has passed the end; never more than the reader
  // can deliver. Lets a decoder refuse to reserve or zero-fill for a size that the rest of the
  // message cannot back, and stop a list at the message's end. A reader that cannot tell has
  // strings and arrays read in chunks that grow with the bytes it has delivered, so that it
  // gets nothing allocated far ahead of them; every read that returns counts as delivered.
  virtual size_t RemainingBytes() const { return kUnknownRemaining; }
  // Reads like NextBytes but lends the bytes where they lie instead of copying them, so a
  // decoder can build a value straight from the message. On success *bytes points at them and
  // stays valid as long as the message does. False when the reader does not lend (the default:
  // nothing is read, and the caller reads with NextBytes instead) or the read does not fit.
  virtual bool NextBytesInPlace(size_t /*length*/, const uint8_t** /*bytes*/) { return false; }

 private:
  friend class DecodeState;

  // The decode that is reading from this reader, while one is inside a list or map. Kept here
  // rather than per thread, since two decodes on one thread need not nest: on fibers, a reader
  // that waits for bytes may let another decode run in between.
  DecodeState* decode_ = nullptr;
};

// Where an encoder puts message bytes.
class ByteStreamWriter {
 public:
  ByteStreamWriter() = default;
  virtual ~ByteStreamWriter() = default;

  ByteStreamWriter(const ByteStreamWriter&) = delete;
  ByteStreamWriter& operator=(const ByteStreamWriter&) = delete;

  virtual void PutByte(uint8_t byte) = 0;
  virtual void PutBytes(const uint8_t* data, size_t length) = 0;
  // Appends zero bytes up to the next multiple of alignment, counted from the start of the output.
  virtual void PutPadding(uint8_t alignment) = 0;
  // Says that about this many bytes follow, so that a writer can make room for them at once
  // instead of growing step by step. A hint only: a writer may ignore it.
  virtual void ExpectBytes(size_t) {}
};

// Reads a byte range that the caller owns and keeps alive while the reader is used.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size);

  uint8_t NextByte() override;
  void NextBytes(uint8_t* buffer, size_t length) override;
  void SkipPadding(uint8_t alignment) override;
  size_t RemainingBytes() const override;
  bool NextBytesInPlace(size_t length, const uint8_t** bytes) override;

  size_t position() const { return position_; }

 private:
  // Writes the invalid-read line when the read does not fit.
  bool CanRead(size_t length) const;
  // NextBytesInPlace without the virtual call, so that a derived reader's own NextBytesInPlace
  // does not change what NextBytes reads.
  bool Lend(size_t length, const uint8_t** bytes);

  const uint8_t* bytes_;
  size_t size_;
  size_t position_ = 0;
};

// Appends to a vector that the caller owns; bytes already in it stay and count for alignment.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer);

  void PutByte(uint8_t byte) override;
  void PutBytes(const uint8_t* data, size_t length) override;
  void PutPadding(uint8_t alignment) override;
  void ExpectBytes(size_t length) override;

  std::vector<uint8_t>* buffer() const { return buffer_; }

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace weft

#endif  // WEFT_BYTE_STREAMS_H_
