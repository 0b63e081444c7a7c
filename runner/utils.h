// Start-up helpers of the host executable: the command line.
#ifndef RUNNER_UTILS_H_
#define RUNNER_UTILS_H_

#include <string>
#include <vector>

// The process's command-line arguments after the program name, as UTF-8.
std::vector<std::string> CollectCommandLineArguments();

// Converts at most the first 32767 UTF-16 code units of a NUL-terminated string. Null input
// and ill-formed UTF-16 give the empty string.
std::string WideToUtf8(const wchar_t* text);

#endif  // RUNNER_UTILS_H_
