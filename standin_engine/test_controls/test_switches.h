// The behaviour that in-process tests switch on: failing calls and a consumed window message.
#ifndef STANDIN_ENGINE_TEST_SWITCHES_H_
#define STANDIN_ENGINE_TEST_SWITCHES_H_

#include <cstdint>

#include "weft_standin_test_controls.h"

namespace standin {

struct ConsumedMessage {
  unsigned int message = 0;  // 0: none
  intptr_t result = 0;
};

// A message whose result is written although the message is not consumed.
struct DeclinedMessage {
  unsigned int message = 0;  // 0: none
  intptr_t written = 0;
};

void SetFailing(WeftStandinCall call, bool failing);
bool IsFailing(WeftStandinCall call);
void SetConsumedMessage(ConsumedMessage consumed);
ConsumedMessage CurrentConsumedMessage();
void SetDeclinedMessage(DeclinedMessage declined);
DeclinedMessage CurrentDeclinedMessage();
void ResetSwitches();

}  // namespace standin

#endif  // STANDIN_ENGINE_TEST_SWITCHES_H_
