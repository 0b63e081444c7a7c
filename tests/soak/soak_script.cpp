#include "soak_script.h"

#include <windows.h>

#include <random>

namespace test_support {

namespace {

constexpr char kSetTitle[] = "setTitle";
constexpr char kInitialTitle[] = "Quillmere";
constexpr char kSuccessReply[] = "0000";
constexpr char kEmptyReply[] = "-";
constexpr char kSendCommand[] = "send ";
constexpr char kTitleCommand[] = "title";
constexpr char kCloseCommand[] = "close";
constexpr char kReplyLine[] = "reply ";
constexpr char kTitleLine[] = "title ";

constexpr uint8_t kNullTag = 0x00;
constexpr uint8_t kLegacyStringTag = 0x05;
constexpr uint8_t kStringTag = 0x07;
constexpr uint8_t kTwoByteSize = 0xFE;
constexpr uint8_t kFourByteSize = 0xFF;
constexpr size_t kLargestOneByteSize = 253;
constexpr size_t kLargestTwoByteSize = 0xFFFF;

constexpr size_t kFewestMessages = 10;
constexpr size_t kMoreMessages = 41;
constexpr int kNestingDepth = 3;
// One message in this many carries a title too long for the two-byte size prefix.
constexpr uint64_t kHugeTitleOdds = 300;
constexpr size_t kHugeTitleBytes = 0x10000;

enum class SizeForm { kShortest, kTwoByte, kFourByte };

class Random {
 public:
  explicit Random(uint64_t seed) : engine_(seed) {}
  uint64_t Below(uint64_t bound) { return engine_() % bound; }
  bool OneIn(uint64_t odds) { return Below(odds) == 0; }
  uint8_t Byte() { return static_cast<uint8_t>(engine_()); }
  uint32_t Between(uint32_t low, uint32_t high) {
    return low + static_cast<uint32_t>(Below(high - low + 1));
  }

 private:
  std::mt19937_64 engine_;
};

using Bytes = std::vector<uint8_t>;

void AppendLittleEndian(Bytes* out, uint64_t value, int count) {
  for (int i = 0; i < count; ++i) {
    out->push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

void AppendSize(Bytes* out, size_t size, SizeForm form) {
  if (form == SizeForm::kShortest && size <= kLargestOneByteSize) {
    out->push_back(static_cast<uint8_t>(size));
    return;
  }
  if (form != SizeForm::kFourByte && size <= kLargestTwoByteSize) {
    out->push_back(kTwoByteSize);
    AppendLittleEndian(out, size, 2);
    return;
  }
  out->push_back(kFourByteSize);
  AppendLittleEndian(out, size, 4);
}

void AppendPadding(Bytes* out, size_t alignment) {
  while (out->size() % alignment != 0) {
    out->push_back(0);
  }
}

void AppendRandomBytes(Random& random, Bytes* out, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    out->push_back(random.Byte());
  }
}

SizeForm RandomSizeForm(Random& random) {
  const uint64_t pick = random.Below(10);
  if (pick < 7) {
    return SizeForm::kShortest;
  }
  return pick < 9 ? SizeForm::kTwoByte : SizeForm::kFourByte;
}

void AppendString(Random& random, Bytes* out, const std::string& text) {
  out->push_back(random.OneIn(5) ? kLegacyStringTag : kStringTag);
  AppendSize(out, text.size(), RandomSizeForm(random));
  out->insert(out->end(), text.begin(), text.end());
}

void AppendUtf8(std::string* out, uint32_t code_point) {
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// Any scalar value but the line ends, which would split the application's log line.
uint32_t RandomCodePoint(Random& random) {
  const uint64_t pick = random.Below(100);
  if (pick < 40) {
    return random.Between(0x20, 0x7E);
  }
  if (pick < 45) {
    const uint32_t control = random.Between(0x01, 0x1F);
    return control == '\n' || control == '\r' ? 0x7F : control;
  }
  if (pick < 48) {
    return 0;
  }
  if (pick < 65) {
    return random.Between(0x80, 0x7FF);
  }
  if (pick < 85) {
    const uint32_t bmp = random.Between(0x800, 0xFFFF);
    return bmp >= 0xD800 && bmp <= 0xDFFF ? 0xFFFD : bmp;
  }
  return random.Between(0x10000, 0x10FFFF);
}

size_t RandomTextLength(Random& random) {
  if (random.OneIn(7)) {
    return random.Between(25, 400);
  }
  return random.Below(25);
}

std::string ValidUtf8(Random& random, size_t code_points) {
  std::string text;
  for (size_t i = 0; i < code_points; ++i) {
    AppendUtf8(&text, RandomCodePoint(random));
  }
  return text;
}

uint8_t Continuation(Random& random) {
  return static_cast<uint8_t>(random.Between(0x80, 0xBF));
}

// One sequence that UTF-8 does not allow.
void AppendIllFormed(Random& random, std::string* out) {
  std::string piece;
  switch (random.Below(7)) {
    case 0:  // a continuation byte without a lead
      piece.push_back(static_cast<char>(Continuation(random)));
      break;
    case 1:  // a lead byte without its continuations
      piece.push_back(static_cast<char>(random.Between(0xC2, 0xDF)));
      break;
    case 2:
      piece.push_back(static_cast<char>(random.Between(0xE0, 0xEF)));
      piece.push_back(static_cast<char>(0xA0));
      break;
    case 3:  // overlong forms
      piece.push_back(static_cast<char>(random.Between(0xC0, 0xC1)));
      piece.push_back(static_cast<char>(Continuation(random)));
      break;
    case 4:  // an encoded surrogate
      piece.push_back(static_cast<char>(0xED));
      piece.push_back(static_cast<char>(random.Between(0xA0, 0xBF)));
      piece.push_back(static_cast<char>(Continuation(random)));
      break;
    case 5:  // beyond U+10FFFF
      piece.push_back(static_cast<char>(0xF4));
      piece.push_back(static_cast<char>(random.Between(0x90, 0xBF)));
      piece.push_back(static_cast<char>(Continuation(random)));
      piece.push_back(static_cast<char>(Continuation(random)));
      break;
    default:  // bytes that never occur
      piece.push_back(static_cast<char>(random.Between(0xF5, 0xFF)));
      break;
  }
  *out += piece;
}

std::string IllFormedUtf8(Random& random) {
  std::string text;
  const size_t pieces = 1 + random.Below(12);
  for (size_t i = 0; i < pieces; ++i) {
    if (random.OneIn(2)) {
      AppendIllFormed(random, &text);
    } else {
      text += ValidUtf8(random, 1 + random.Below(3));
    }
  }
  return text;
}

std::string RandomTitle(Random& random) {
  if (random.OneIn(kHugeTitleOdds)) {
    return std::string(kHugeTitleBytes + random.Below(4096), 'q');
  }
  return ValidUtf8(random, RandomTextLength(random));
}

void AppendAnyValue(Random& random, Bytes* out, int depth);

// A well-formed value of any kind but a string.
void AppendNonStringValue(Random& random, Bytes* out, int depth) {
  constexpr uint8_t kTags[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x06, 0x08,
                               0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
  const uint8_t tag = kTags[random.Below(sizeof(kTags))];
  const bool nested = depth < kNestingDepth;
  out->push_back(tag);
  const size_t count = random.Below(6);
  switch (tag) {
    case 0x03:
      AppendRandomBytes(random, out, 4);
      return;
    case 0x04:
      AppendRandomBytes(random, out, 8);
      return;
    case 0x06:
      AppendPadding(out, 8);
      AppendRandomBytes(random, out, 8);
      return;
    case 0x08:
      AppendSize(out, count, RandomSizeForm(random));
      AppendRandomBytes(random, out, count);
      return;
    case 0x09:
    case 0x0E:
      AppendSize(out, count, RandomSizeForm(random));
      AppendPadding(out, 4);
      AppendRandomBytes(random, out, count * 4);
      return;
    case 0x0A:
    case 0x0B:
      AppendSize(out, count, RandomSizeForm(random));
      AppendPadding(out, 8);
      AppendRandomBytes(random, out, count * 8);
      return;
    case 0x0C:
      AppendSize(out, nested ? count : 0, RandomSizeForm(random));
      for (size_t i = 0; nested && i < count; ++i) {
        AppendAnyValue(random, out, depth + 1);
      }
      return;
    case 0x0D:
      AppendSize(out, nested ? count : 0, RandomSizeForm(random));
      for (size_t i = 0; nested && i < count; ++i) {
        AppendAnyValue(random, out, depth + 1);
        AppendAnyValue(random, out, depth + 1);
      }
      return;
    default:
      return;
  }
}

void AppendAnyValue(Random& random, Bytes* out, int depth) {
  if (random.OneIn(3)) {
    AppendString(random, out, ValidUtf8(random, random.Below(6)));
    return;
  }
  AppendNonStringValue(random, out, depth);
}

// A tag that is no string, then whatever bytes.
void AppendJunkValue(Random& random, Bytes* out) {
  uint8_t tag = random.Byte();
  if (tag == kStringTag || tag == kLegacyStringTag) {
    tag = kNullTag;
  }
  out->push_back(tag);
  AppendRandomBytes(random, out, random.Below(40));
}

std::string OtherMethodName(Random& random) {
  static const char* const kNearMisses[] = {
      "SetTitle",  "settitle", "setTitle ", " setTitle", "setTitl",
      "setTitlee", "",         "getTitle",  "SETTITLE",  "setTitle\xC3\xA9",
  };
  const uint64_t pick = random.Below(14);
  if (pick < 10) {
    return kNearMisses[pick];
  }
  if (pick == 10) {
    return std::string(kSetTitle) + '\0';
  }
  if (pick == 11) {
    return IllFormedUtf8(random);
  }
  return ValidUtf8(random, 1 + random.Below(20));
}

Bytes SetTitleName(Random& random) {
  Bytes out;
  AppendString(random, &out, kSetTitle);
  return out;
}

Bytes TitleCall(Random& random, const std::string& title) {
  Bytes out = SetTitleName(random);
  AppendString(random, &out, title);
  return out;
}

Bytes RandomMessage(Random& random) {
  const uint64_t kind = random.Below(100);
  if (kind < 25) {
    return TitleCall(random, RandomTitle(random));
  }
  if (kind < 37) {
    return TitleCall(random, IllFormedUtf8(random));
  }
  if (kind < 47) {
    Bytes out = SetTitleName(random);
    AppendNonStringValue(random, &out, 0);
    return out;
  }
  if (kind < 52) {
    Bytes out = SetTitleName(random);
    AppendJunkValue(random, &out);
    return out;
  }
  if (kind < 55) {
    return SetTitleName(random);
  }
  if (kind < 60) {  // a title whose bytes end before its declared size
    Bytes out = SetTitleName(random);
    const std::string title = ValidUtf8(random, 1 + random.Below(10));
    out.push_back(kStringTag);
    AppendSize(&out, title.size() + 1 + random.Below(300), RandomSizeForm(random));
    out.insert(out.end(), title.begin(), title.end());
    return out;
  }
  if (kind < 72) {
    Bytes out;
    AppendString(random, &out, OtherMethodName(random));
    if (random.OneIn(2)) {
      AppendString(random, &out, RandomTitle(random));
    } else {
      AppendAnyValue(random, &out, 0);
    }
    return out;
  }
  if (kind < 80) {
    Bytes out;
    if (!random.OneIn(10)) {
      AppendJunkValue(random, &out);
    }
    return out;
  }
  if (kind < 88) {
    Bytes out = TitleCall(random, RandomTitle(random));
    out.resize(random.Below(out.size()));
    return out;
  }
  if (kind < 95) {
    Bytes out;
    if (random.OneIn(2)) {
      out = SetTitleName(random);
    } else if (random.OneIn(3)) {
      out.push_back(kStringTag);
    }
    AppendRandomBytes(random, &out, random.Below(48));
    return out;
  }
  Bytes out = TitleCall(random, RandomTitle(random));
  AppendRandomBytes(random, &out, 1 + random.Below(20));
  return out;
}

// Reads the way the host's byte reader does: past the end a byte reads as 0 and a run of
// bytes as nothing, leaving the position where it was.
class MessageReader {
 public:
  explicit MessageReader(const Bytes& bytes) : bytes_(bytes) {}

  uint8_t NextByte() { return position_ < bytes_.size() ? bytes_[position_++] : 0; }

  size_t NextSize() {
    const uint8_t first = NextByte();
    if (first < kTwoByteSize) {
      return first;
    }
    const size_t width = first == kTwoByteSize ? 2 : 4;
    if (bytes_.size() - position_ < width) {
      return 0;
    }
    size_t size = 0;
    for (size_t i = 0; i < width; ++i) {
      size |= static_cast<size_t>(bytes_[position_ + i]) << (8 * i);
    }
    position_ += width;
    return size;
  }

  // A string whose bytes run past the end reads as zero bytes or as nothing, which as a
  // title both mean the empty text.
  std::string NextStringPayload(bool* complete) {
    const size_t size = NextSize();
    *complete = bytes_.size() - position_ >= size;
    if (!*complete) {
      return std::string();
    }
    const std::string text(bytes_.begin() + static_cast<std::ptrdiff_t>(position_),
                           bytes_.begin() + static_cast<std::ptrdiff_t>(position_ + size));
    position_ += size;
    return text;
  }

 private:
  const Bytes& bytes_;
  size_t position_ = 0;
};

bool IsStringTag(uint8_t tag) {
  return tag == kStringTag || tag == kLegacyStringTag;
}

std::string Hex(const Bytes& bytes) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

std::string WideToUtf8(const std::wstring& wide) {
  if (wide.empty()) {
    return std::string();
  }
  const int size = static_cast<int>(wide.size());
  const int count =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  if (count <= 0) {
    return std::string();
  }
  std::string text(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, text.data(), count, nullptr, nullptr);
  return text;
}

bool HasLineEnd(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

ExpectedOutcome PredictOutcome(const std::vector<uint8_t>& message) {
  ExpectedOutcome outcome;
  outcome.reply = kEmptyReply;
  MessageReader reader(message);
  if (!IsStringTag(reader.NextByte())) {
    return outcome;
  }
  outcome.is_call = true;
  bool complete = false;
  if (reader.NextStringPayload(&complete) != kSetTitle || !complete) {
    return outcome;
  }
  outcome.reply = kSuccessReply;
  if (!IsStringTag(reader.NextByte())) {
    return outcome;
  }
  outcome.sets_title = true;
  outcome.title_argument = reader.NextStringPayload(&complete);
  return outcome;
}

std::string TitleAsLogged(const std::string& argument) {
  const int count = MultiByteToWideChar(CP_UTF8, 0, argument.c_str(), -1, nullptr, 0);
  if (count <= 0) {
    return std::string();
  }
  std::vector<wchar_t> wide(static_cast<size_t>(count));
  MultiByteToWideChar(CP_UTF8, 0, argument.c_str(), -1, wide.data(), count);
  return WideToUtf8(std::wstring(wide.data()));
}

SoakScript GenerateSoakScript(uint64_t seed) {
  Random random(seed);
  SoakScript script;
  script.final_title = kInitialTitle;
  const std::string send = std::string(kSendCommand) + kSoakChannel + " ";
  const std::string reply = std::string(kReplyLine) + kSoakChannel + " ";
  const size_t messages = kFewestMessages + random.Below(kMoreMessages);
  while (script.messages < messages) {
    const Bytes message = RandomMessage(random);
    const ExpectedOutcome outcome = PredictOutcome(message);
    const std::string title = outcome.sets_title ? TitleAsLogged(outcome.title_argument) : "";
    if (HasLineEnd(title)) {
      continue;
    }
    ++script.messages;
    script.not_calls += outcome.is_call ? 0 : 1;
    script.commands.push_back(send + Hex(message));
    script.expected_log.push_back(reply + outcome.reply);
    if (outcome.sets_title) {
      script.final_title = title;
    }
    if (random.OneIn(4)) {
      script.commands.push_back(kTitleCommand);
      script.expected_log.push_back(kTitleLine + script.final_title);
    }
  }
  script.commands.push_back(kTitleCommand);
  script.expected_log.push_back(kTitleLine + script.final_title);
  script.commands.push_back(kCloseCommand);
  return script;
}

std::vector<std::vector<uint8_t>> GenerateSoakMessages(uint64_t seed, size_t count) {
  Random random(seed);
  std::vector<Bytes> messages;
  messages.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    messages.push_back(RandomMessage(random));
  }
  return messages;
}

}  // namespace test_support
