#include "test_switches.h"

#include <array>
#include <mutex>

namespace standin {

namespace {

struct Switches {
  std::mutex mutex;
  std::array<bool, kWeftStandinCallKinds> failing = {};
  ConsumedMessage consumed;
  DeclinedMessage declined;
};

Switches& TheSwitches() {
  static Switches switches;
  return switches;
}

bool IsKnown(WeftStandinCall call) {
  return call >= 0 && call < kWeftStandinCallKinds;
}

}  // namespace

void SetFailing(WeftStandinCall call, bool failing) {
  if (!IsKnown(call)) {
    return;
  }
  Switches& switches = TheSwitches();
  std::lock_guard<std::mutex> hold(switches.mutex);
  switches.failing[call] = failing;
}

bool IsFailing(WeftStandinCall call) {
  if (!IsKnown(call)) {
    return false;
  }
  Switches& switches = TheSwitches();
  std::lock_guard<std::mutex> hold(switches.mutex);
  return switches.failing[call];
}

void SetConsumedMessage(ConsumedMessage consumed) {
  Switches& switches = TheSwitches();
  std::lock_guard<std::mutex> hold(switches.mutex);
  switches.consumed = consumed;
}

ConsumedMessage CurrentConsumedMessage() {
  Switches& switches = TheSwitches();
  std::lock_guard<std::mutex> hold(switches.mutex);
  return switches.consumed;
}

void SetDeclinedMessage(DeclinedMessage declined) {
  Switches& switches = TheSwitches();
  std::lock_guard<std::mutex> hold(switches.mutex);
  switches.declined = declined;
}

DeclinedMessage CurrentDeclinedMessage() {
  Switches& switches = TheSwitches();
  std::lock_guard<std::mutex> hold(switches.mutex);
  return switches.declined;
}

void ResetSwitches() {
  Switches& switches = TheSwitches();
  std::lock_guard<std::mutex> hold(switches.mutex);
  switches.failing = {};
  switches.consumed = {};
  switches.declined = {};
}

}  // namespace standin
