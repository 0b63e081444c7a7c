#include "call_ledger.h"

#include <array>
#include <mutex>

namespace standin {

namespace {

struct CallRecord {
  uint32_t count = 0;
  uint64_t last_sequence = 0;
};

struct Ledger {
  std::mutex mutex;
  std::array<CallRecord, kWeftStandinCallKinds> calls;
  uint64_t sequence = 0;
  uint32_t refused_responses = 0;
  uint32_t late_responses = 0;
  uint32_t sent_messages = 0;
  uint32_t reported_frames = 0;
};

Ledger& TheLedger() {
  static Ledger ledger;
  return ledger;
}

bool IsKnown(WeftStandinCall call) {
  return call >= 0 && call < kWeftStandinCallKinds;
}

void Increment(uint32_t Ledger::*counter) {
  Ledger& ledger = TheLedger();
  std::lock_guard<std::mutex> hold(ledger.mutex);
  ++(ledger.*counter);
}

uint32_t Read(uint32_t Ledger::*counter) {
  Ledger& ledger = TheLedger();
  std::lock_guard<std::mutex> hold(ledger.mutex);
  return ledger.*counter;
}

}  // namespace

void CountCall(WeftStandinCall call) {
  if (!IsKnown(call)) {
    return;
  }
  Ledger& ledger = TheLedger();
  std::lock_guard<std::mutex> hold(ledger.mutex);
  CallRecord& record = ledger.calls[call];
  ++record.count;
  record.last_sequence = ++ledger.sequence;
}

uint32_t CallCount(WeftStandinCall call) {
  if (!IsKnown(call)) {
    return 0;
  }
  Ledger& ledger = TheLedger();
  std::lock_guard<std::mutex> hold(ledger.mutex);
  return ledger.calls[call].count;
}

uint64_t LastCallSequence(WeftStandinCall call) {
  if (!IsKnown(call)) {
    return 0;
  }
  Ledger& ledger = TheLedger();
  std::lock_guard<std::mutex> hold(ledger.mutex);
  return ledger.calls[call].last_sequence;
}

void CountRefusedResponse() {
  Increment(&Ledger::refused_responses);
}

uint32_t RefusedResponseCount() {
  return Read(&Ledger::refused_responses);
}

void CountLateResponse() {
  Increment(&Ledger::late_responses);
}

uint32_t LateResponseCount() {
  return Read(&Ledger::late_responses);
}

void CountSentMessage() {
  Increment(&Ledger::sent_messages);
}

uint32_t SentMessageCount() {
  return Read(&Ledger::sent_messages);
}

void CountReportedFrame() {
  Increment(&Ledger::reported_frames);
}

uint32_t ReportedFrameCount() {
  return Read(&Ledger::reported_frames);
}

void ResetLedger() {
  Ledger& ledger = TheLedger();
  std::lock_guard<std::mutex> hold(ledger.mutex);
  ledger.calls = {};
  ledger.sequence = 0;
  ledger.refused_responses = 0;
  ledger.late_responses = 0;
  ledger.sent_messages = 0;
  ledger.reported_frames = 0;
}

}  // namespace standin
