// A reader of the user's own, as a library user may write one, so that a target can check that
// the decoder treats every reader alike.
#ifndef FUZZ_READERS_H_
#define FUZZ_READERS_H_

#include <cstddef>
#include <cstdint>

#include "weft/byte_streams.h"

namespace fuzz {

// What a streaming reader throws where its bytes end.
struct EndOfInput {};

// Not derived from the standard reader: its operations, passed on to one inside. As kinds:
// - kTellsRemaining: it tells its remaining bytes, and a read past the end writes the standard
//   reader's line and yields zeros;
// - kStreaming: it cannot tell, and throws EndOfInput instead of reading past the end.
class OwnReader : public weft::ByteStreamReader {
 public:
  enum class Kind { kTellsRemaining, kStreaming };

  OwnReader(Kind kind, const uint8_t* data, size_t size) : kind_(kind), inner_(data, size) {}

  uint8_t NextByte() override {
    EndsBefore(1);
    return inner_.NextByte();
  }
  void NextBytes(uint8_t* buffer, size_t length) override {
    EndsBefore(length);
    inner_.NextBytes(buffer, length);
  }
  void SkipPadding(uint8_t alignment) override { inner_.SkipPadding(alignment); }
  size_t RemainingBytes() const override {
    return kind_ == Kind::kTellsRemaining ? inner_.RemainingBytes() : kUnknownRemaining;
  }

  size_t position() const { return inner_.position(); }

 private:
  void EndsBefore(size_t length) const {
    if (kind_ == Kind::kStreaming && length > inner_.RemainingBytes()) {
      throw EndOfInput();
    }
  }

  Kind kind_;
  weft::ByteBufferStreamReader inner_;
};

}  // namespace fuzz

#endif  // FUZZ_READERS_H_
