#ifndef WEFT_BENCH_ALLOCATION_COUNTER_H_
#define WEFT_BENCH_ALLOCATION_COUNTER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace weft_bench {

// Heap allocations through operator new on any thread since the program started.
uint64_t AllocationCount();

// One allocation seen while recording: its size and who asked for it.
struct Allocation {
  size_t size;
  std::string caller;
};

// Records each allocation made between the two calls, with the innermost named function of
// this project that made it.
void StartRecording();
std::vector<Allocation> StopRecording();

}  // namespace weft_bench

#endif  // WEFT_BENCH_ALLOCATION_COUNTER_H_
