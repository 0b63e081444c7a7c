#include "hex.h"

namespace standin {

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";
constexpr int kNotADigit = -1;

int DigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return kNotADigit;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::optional<std::vector<uint8_t>> ParseHex(std::string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  int high = kNotADigit;
  for (char c : text) {
    if (IsBlank(c)) {
      continue;
    }
    const int value = DigitValue(c);
    if (value == kNotADigit) {
      return std::nullopt;
    }
    if (high == kNotADigit) {
      high = value;
      continue;
    }
    bytes.push_back(static_cast<uint8_t>(high * 16 + value));
    high = kNotADigit;
  }
  if (high != kNotADigit) {
    return std::nullopt;
  }
  return bytes;
}

std::string FormatHex(const uint8_t* bytes, size_t size) {
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

}  // namespace standin
