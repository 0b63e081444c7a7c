#ifndef TESTS_SUPPORT_CODEC_TEST_SUPPORT_H_
#define TESTS_SUPPORT_CODEC_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "weft/byte_streams.h"
#include "weft/encodable_value.h"
#include "weft/standard_codec_serializer.h"

namespace weft::testing_support {

// "07 03 61" -> {0x07, 0x03, 0x61}.
inline std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::istringstream in(text);
  unsigned int byte = 0;
  while (in >> std::hex >> byte) {
    bytes.push_back(static_cast<uint8_t>(byte));
  }
  return bytes;
}

inline std::vector<uint8_t> Repeat(const std::vector<uint8_t>& bytes, size_t times) {
  std::vector<uint8_t> out;
  out.reserve(bytes.size() * times);
  for (size_t i = 0; i < times; ++i) {
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

inline std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Standard error as written while capturing, one entry per line. Text-mode streams on Windows
// end lines with CR LF.
class StderrLines {
 public:
  StderrLines() { ::testing::internal::CaptureStderr(); }
  std::vector<std::string> Take() {
    std::istringstream in(::testing::internal::GetCapturedStderr());
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') {
        line.pop_back();
      }
      lines.push_back(line);
    }
    return lines;
  }
};

inline const std::string kInvalidRead = "Invalid read in StandardCodecByteStreamReader";

inline std::vector<std::string> Times(const std::string& line, size_t count) {
  return std::vector<std::string>(count, line);
}

inline std::vector<uint8_t> Encode(const EncodableValue& value, size_t prefix = 0) {
  std::vector<uint8_t> bytes(prefix, 0xAA);
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  return bytes;
}

// Any stream other than the buffer writer itself, so that the serializer writes it value by
// value through the virtual calls instead of straight into the vector. Records what the
// serializer announces before writing.
class ForwardingWriter : public ByteStreamWriter {
 public:
  explicit ForwardingWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}
  void PutByte(uint8_t byte) override { buffer_.PutByte(byte); }
  void PutBytes(const uint8_t* data, size_t length) override { buffer_.PutBytes(data, length); }
  void PutPadding(uint8_t alignment) override { buffer_.PutPadding(alignment); }
  void ExpectBytes(size_t length) override {
    expected.push_back(length);
    buffer_.ExpectBytes(length);
  }
  std::vector<size_t> expected;

 private:
  ByteBufferStreamWriter buffer_;
};

inline std::vector<uint8_t> EncodeValueByValue(const EncodableValue& value, size_t prefix = 0) {
  std::vector<uint8_t> bytes(prefix, 0xAA);
  ForwardingWriter writer(&bytes);
  StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  return bytes;
}

// A value that an exception has left without an alternative.
inline EncodableValue Valueless() {
  struct ThrowsOnMove {
    ThrowsOnMove() = default;
    ThrowsOnMove(const ThrowsOnMove&) = default;
    ThrowsOnMove(ThrowsOnMove&&) { throw std::runtime_error("move"); }
  };
  EncodableValue value(1);
  try {
    value.emplace<CustomValue>(ThrowsOnMove());
  } catch (const std::runtime_error&) {
  }
  return value;
}

struct Decoded {
  EncodableValue value;
  std::vector<std::string> lines;
  size_t position = 0;
};

// One value read by the shared serializer, with the lines written meanwhile.
template <typename Reader>
Decoded DecodeWith(Reader* reader) {
  StderrLines capture;
  Decoded decoded;
  decoded.value = StandardCodecSerializer::SharedInstance().ReadTaggedValue(reader);
  decoded.lines = capture.Take();
  decoded.position = reader->position();
  return decoded;
}

inline Decoded Decode(const std::vector<uint8_t>& bytes, size_t prefix = 0) {
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  std::vector<uint8_t> skipped(prefix);
  reader.NextBytes(skipped.data(), prefix);
  return DecodeWith(&reader);
}

// Lists nested depth deep around true.
inline std::vector<uint8_t> NestedLists(size_t depth) {
  return Concat(Repeat(Hex("0C 01"), depth), Hex("01"));
}

inline EncodableValue NestedValue(size_t depth, EncodableValue innermost) {
  for (size_t i = 0; i < depth; ++i) {
    innermost = EncodableValue(ValueList{std::move(innermost)});
  }
  return innermost;
}

// What a streaming reader throws where its bytes end.
struct EndOfInput : std::runtime_error {
  EndOfInput() : std::runtime_error("end of input") {}
};

// A reader of the user's own, not derived from the standard one: the three operations over
// bytes that it keeps, each counted, passed on to a standard reader inside it. As kinds:
// - kThreeOperations: no more than that, so it cannot tell its remaining bytes, and a read past
//   the end writes the standard reader's line and yields zeros;
// - kTellsRemaining: that, and it tells its remaining bytes;
// - kStreaming: it cannot tell, and throws EndOfInput instead of reading past the end.
class OwnReader : public ByteStreamReader {
 public:
  enum class Kind { kThreeOperations, kTellsRemaining, kStreaming };

  OwnReader(Kind kind, std::vector<uint8_t> bytes) : kind_(kind) { Reset(std::move(bytes)); }

  // Starts over on other bytes, as a reader that a caller reuses for the next message.
  void Reset(std::vector<uint8_t> bytes) {
    bytes_ = std::move(bytes);
    inner_ = std::make_unique<ByteBufferStreamReader>(bytes_.data(), bytes_.size());
  }

  uint8_t NextByte() override {
    ++calls;
    EndsBefore(1);
    return inner_->NextByte();
  }
  void NextBytes(uint8_t* buffer, size_t length) override {
    ++calls;
    lengths.push_back(length);
    EndsBefore(length);
    inner_->NextBytes(buffer, length);
  }
  void SkipPadding(uint8_t alignment) override {
    ++calls;
    inner_->SkipPadding(alignment);
  }
  size_t RemainingBytes() const override {
    return kind_ == Kind::kTellsRemaining ? inner_->RemainingBytes() : kUnknownRemaining;
  }

  size_t position() const { return inner_->position(); }

  size_t calls = 0;
  // The length of each NextBytes.
  std::vector<size_t> lengths;

 private:
  void EndsBefore(size_t length) const {
    if (kind_ == Kind::kStreaming && length > inner_->RemainingBytes()) {
      throw EndOfInput();
    }
  }

  Kind kind_;
  std::vector<uint8_t> bytes_;
  std::unique_ptr<ByteBufferStreamReader> inner_;
};

inline bool Equivalent(const EncodableValue& a, const EncodableValue& b) {
  return !(a < b) && !(b < a);
}

}  // namespace weft::testing_support

#endif  // TESTS_SUPPORT_CODEC_TEST_SUPPORT_H_
