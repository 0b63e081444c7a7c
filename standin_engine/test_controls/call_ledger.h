// What the host did with the engine library since the last reset: every interface call with
// its order, and the events that the test controls report.
#ifndef STANDIN_ENGINE_CALL_LEDGER_H_
#define STANDIN_ENGINE_CALL_LEDGER_H_

#include <cstdint>

#include "weft_standin_test_controls.h"

namespace standin {

void CountCall(WeftStandinCall call);
uint32_t CallCount(WeftStandinCall call);
uint64_t LastCallSequence(WeftStandinCall call);

void CountRefusedResponse();
uint32_t RefusedResponseCount();
void CountLateResponse();
uint32_t LateResponseCount();
void CountSentMessage();
uint32_t SentMessageCount();
void CountReportedFrame();
uint32_t ReportedFrameCount();

void ResetLedger();

}  // namespace standin

#endif  // STANDIN_ENGINE_CALL_LEDGER_H_
