// What the engine library reports to its test controls, in the build that ships without them:
// nothing is counted or observed, and no call fails or consumes a message on demand.
#include "call_ledger.h"
#include "observations.h"
#include "test_switches.h"

namespace standin {

void CountCall(WeftStandinCall) {}
void CountRefusedResponse() {}
void CountLateResponse() {}
void CountSentMessage() {}
void CountReportedFrame() {}

void ObserveEngineCreate(const EngineConfig&) {}
void ObserveViewSize(int32_t, int32_t) {}
void ObserveOffer(const WeftStandinOffer&) {}

bool IsFailing(WeftStandinCall) {
  return false;
}

ConsumedMessage CurrentConsumedMessage() {
  return {};
}

DeclinedMessage CurrentDeclinedMessage() {
  return {};
}

}  // namespace standin
