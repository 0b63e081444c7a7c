#include "window_title_channel.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "weft/encodable_value.h"
#include "win32_window.h"

namespace {

using weft::EncodableValue;

enum class Outcome { kNone, kSuccess, kError, kNotImplemented };

// Remembers how it was answered; the test keeps a view of it after handing it over.
class RecordingResult : public weft::MethodResult<EncodableValue> {
 public:
  explicit RecordingResult(Outcome* outcome, bool* had_value)
      : outcome_(outcome), had_value_(had_value) {}

 protected:
  void DeliverSuccess(const EncodableValue* result) override {
    Record(Outcome::kSuccess);
    *had_value_ = result != nullptr;
  }
  void DeliverError(const std::string&, const std::string&, const EncodableValue*) override {
    Record(Outcome::kError);
  }
  void DeliverNotImplemented() override { Record(Outcome::kNotImplemented); }

 private:
  void Record(Outcome outcome) {
    EXPECT_EQ(*outcome_, Outcome::kNone) << "answered twice";
    *outcome_ = outcome;
  }
  Outcome* outcome_;
  bool* had_value_;
};

class WindowTitleChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(window_.OpenWindow(L"Quillmere", {10, 10}, {200, 100})); }

  // Hands the call to the handler and returns how it was answered.
  Outcome Call(const std::string& method, std::unique_ptr<EncodableValue> arguments) {
    Outcome outcome = Outcome::kNone;
    bool had_value = false;
    weft::MethodCall<EncodableValue> call(method, std::move(arguments));
    HandleTitleCall(window_, call, std::make_unique<RecordingResult>(&outcome, &had_value));
    EXPECT_FALSE(had_value);
    return outcome;
  }

  Outcome SetTitle(EncodableValue argument) {
    return Call(kSetTitleMethod, std::make_unique<EncodableValue>(std::move(argument)));
  }

  std::wstring Title() {
    wchar_t text[256] = {};
    GetWindowTextW(window_.NativeHandle(), text, 256);
    return text;
  }

  Win32Window window_;
};

TEST_F(WindowTitleChannelTest, SetsTheTitleFromUtf8) {
  EXPECT_EQ(SetTitle(EncodableValue(std::string("Hello"))), Outcome::kSuccess);
  EXPECT_EQ(Title(), L"Hello");
  EXPECT_EQ(SetTitle(EncodableValue(std::string("Gr\xC3\xBC\xC3\x9F"
                                                "e"))),
            Outcome::kSuccess);
  EXPECT_EQ(Title(), L"Gr\u00FC\u00DFe");
}

TEST_F(WindowTitleChannelTest, SetsAnEmptyTitle) {
  EXPECT_EQ(SetTitle(EncodableValue(std::string())), Outcome::kSuccess);
  EXPECT_EQ(Title(), L"");
}

TEST_F(WindowTitleChannelTest, StopsAtTheFirstNul) {
  EXPECT_EQ(SetTitle(EncodableValue(std::string("ab\0cd", 5))), Outcome::kSuccess);
  EXPECT_EQ(Title(), L"ab");
}

TEST_F(WindowTitleChannelTest, CarriesCharactersBeyondTheBasicPlaneAsSurrogatePairs) {
  EXPECT_EQ(SetTitle(EncodableValue(std::string("\xF0\x9F\x96\x8B"))), Outcome::kSuccess);
  EXPECT_EQ(Title(), std::wstring(L"\xD83D\xDD8B"));
}

TEST_F(WindowTitleChannelTest, ReplacesIllFormedUtf8InsteadOfFailing) {
  EXPECT_EQ(SetTitle(EncodableValue(std::string("a\xFF"
                                                "b"))),
            Outcome::kSuccess);
  EXPECT_EQ(Title(), L"a\uFFFDb");
}

TEST_F(WindowTitleChannelTest, AcceptsOnlyAStringAndStillSucceeds) {
  SetTitle(EncodableValue(std::string("Keep")));
  EXPECT_EQ(SetTitle(EncodableValue(int32_t{42})), Outcome::kSuccess);
  EXPECT_EQ(SetTitle(EncodableValue(weft::ValueList{EncodableValue(std::string("a"))})),
            Outcome::kSuccess);
  EXPECT_EQ(SetTitle(EncodableValue(weft::ValueMap{
                {EncodableValue(std::string("a")), EncodableValue(std::string("b"))}})),
            Outcome::kSuccess);
  EXPECT_EQ(SetTitle(EncodableValue()), Outcome::kSuccess);
  EXPECT_EQ(Call(kSetTitleMethod, nullptr), Outcome::kSuccess);
  EXPECT_EQ(Title(), L"Keep");
}

TEST_F(WindowTitleChannelTest, AnswersOtherNamesAsNotImplemented) {
  SetTitle(EncodableValue(std::string("Keep")));
  auto title = [] { return std::make_unique<EncodableValue>(std::string("x")); };
  EXPECT_EQ(Call("SetTitle", title()), Outcome::kNotImplemented);
  EXPECT_EQ(Call("setTitle ", title()), Outcome::kNotImplemented);
  EXPECT_EQ(Call(std::string("setTitle\0", 9), title()), Outcome::kNotImplemented);
  EXPECT_EQ(Call("", title()), Outcome::kNotImplemented);
  EXPECT_EQ(Title(), L"Keep");
}

TEST(WindowTitleChannelWithoutWindowTest, SucceedsWithoutANativeWindow) {
  Win32Window closed;
  Outcome outcome = Outcome::kNone;
  bool had_value = false;
  weft::MethodCall<EncodableValue> call(kSetTitleMethod,
                                        std::make_unique<EncodableValue>(std::string("x")));
  HandleTitleCall(closed, call, std::make_unique<RecordingResult>(&outcome, &had_value));
  EXPECT_EQ(outcome, Outcome::kSuccess);
}

}  // namespace
