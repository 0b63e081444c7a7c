// Seeded scripts for the soak of the real inkmoor.exe: random valid and invalid messages on
// the window channel, each with the reply and title that the host must produce.
#ifndef TESTS_SOAK_SOAK_SCRIPT_H_
#define TESTS_SOAK_SOAK_SCRIPT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

inline constexpr char kSoakChannel[] = "quillmere/window";

struct SoakScript {
  std::vector<std::string> commands;      // for the stand-in's scripted application
  std::vector<std::string> expected_log;  // its event lines, frames left out
  size_t messages = 0;
  size_t not_calls = 0;     // messages whose first value is no string
  std::string final_title;  // as the application reads it back, in UTF-8
};

// What the host's decoder makes of one message on the window channel.
struct ExpectedOutcome {
  bool is_call = false;        // the first value is a string
  bool sets_title = false;     // the call is "setTitle" and its argument a string
  std::string title_argument;  // that string as decoded
  std::string reply;           // the reply as the application logs it: hex, or "-"
};

ExpectedOutcome PredictOutcome(const std::vector<uint8_t>& message);

// The title text after the host has set it from argument and the application has read it
// back: up to the first NUL, converted to UTF-16 and back to UTF-8 the way both sides do.
std::string TitleAsLogged(const std::string& argument);

SoakScript GenerateSoakScript(uint64_t seed);

// The messages that scripts are made of, for checking PredictOutcome against the decoder.
std::vector<std::vector<uint8_t>> GenerateSoakMessages(uint64_t seed, size_t count);

}  // namespace test_support

#endif  // TESTS_SOAK_SOAK_SCRIPT_H_
