// Runs the real inkmoor.exe several times at once: unlike RunInkmoor, each launch gets the
// script and log variables in its own environment block, so concurrent launches stay apart.
#ifndef RUNNER_TESTING_SOAK_LAUNCHER_H_
#define RUNNER_TESTING_SOAK_LAUNCHER_H_

#include <chrono>
#include <string>
#include <vector>

#include "testing/inkmoor_launcher.h"

namespace inkmoor::testing {

// Safe to call from several threads at once.
Launch RunInkmoorConcurrently(const std::wstring& executable,
                              const std::vector<std::string>& script,
                              std::chrono::milliseconds limit);

}  // namespace inkmoor::testing

#endif  // RUNNER_TESTING_SOAK_LAUNCHER_H_
