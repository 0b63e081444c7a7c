#include "method_call_bytes.h"

namespace standin {

namespace {

constexpr uint8_t kStringTag = 7;
constexpr size_t kLargestShortSize = 253;
constexpr size_t kLargestMediumSize = 0xFFFF;
constexpr uint8_t kMediumSizeMark = 254;
constexpr uint8_t kLongSizeMark = 255;

void PutLittleEndian(uint64_t value, int byte_count, std::vector<uint8_t>* out) {
  for (int i = 0; i < byte_count; ++i) {
    out->push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

void PutSize(size_t size, std::vector<uint8_t>* out) {
  if (size <= kLargestShortSize) {
    out->push_back(static_cast<uint8_t>(size));
    return;
  }
  if (size <= kLargestMediumSize) {
    out->push_back(kMediumSizeMark);
    PutLittleEndian(size, 2, out);
    return;
  }
  out->push_back(kLongSizeMark);
  PutLittleEndian(size, 4, out);
}

void PutString(std::string_view text, std::vector<uint8_t>* out) {
  out->push_back(kStringTag);
  PutSize(text.size(), out);
  out->insert(out->end(), text.begin(), text.end());
}

}  // namespace

std::vector<uint8_t> EncodeStringCall(std::string_view method, std::string_view argument) {
  std::vector<uint8_t> bytes;
  PutString(method, &bytes);
  PutString(argument, &bytes);
  return bytes;
}

}  // namespace standin
