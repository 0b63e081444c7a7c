// Prints what CollectCommandLineArguments returns for this process's real command line: the
// count on the first line, then each argument's UTF-8 bytes in hex, one argument per line.
#include <cstdio>
#include <string>
#include <vector>

#include "utils.h"

int main() {
  const std::vector<std::string> arguments = CollectCommandLineArguments();
  std::printf("%zu\n", arguments.size());
  for (const std::string& argument : arguments) {
    for (const char byte : argument) {
      std::printf("%02X", static_cast<unsigned char>(byte));
    }
    std::printf("\n");
  }
  return 0;
}
