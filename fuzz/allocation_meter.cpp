#include "allocation_meter.h"

#include <sanitizer/allocator_interface.h>

#include <atomic>
#include <cstddef>

#include "fuzz_check.h"
#include "weft/standard_codec_serializer.h"

namespace fuzz {
namespace {

// Atomic because the fuzzing engine's own threads allocate too. Signed: a block allocated before
// the meter started may be released while it measures.
std::atomic<bool> measuring{false};
std::atomic<std::ptrdiff_t> live_bytes{0};
std::atomic<std::ptrdiff_t> peak_bytes{0};

#if defined(__has_feature) && __has_feature(address_sanitizer)

void OnAllocate(const volatile void*, size_t size) {
  if (!measuring.load(std::memory_order_relaxed)) {
    return;
  }
  const auto added = static_cast<std::ptrdiff_t>(size);
  const std::ptrdiff_t live = live_bytes.fetch_add(added, std::memory_order_relaxed) + added;
  std::ptrdiff_t peak = peak_bytes.load(std::memory_order_relaxed);
  while (live > peak && !peak_bytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
}

void OnRelease(const volatile void* block) {
  // A block that is not live is a double or wild release, which AddressSanitizer reports next.
  if (!measuring.load(std::memory_order_relaxed) || !__sanitizer_get_ownership(block)) {
    return;
  }
  const auto released = static_cast<std::ptrdiff_t>(__sanitizer_get_allocated_size(block));
  live_bytes.fetch_sub(released, std::memory_order_relaxed);
}

void InstallHooksOnce() {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks(OnAllocate, OnRelease);
  if (!installed) {
    Fail("the allocation hooks could not be installed");
  }
}

#else

// Only AddressSanitizer calls hooks; a build without it, for profiling only, counts nothing.
void InstallHooksOnce() {}

#endif

}  // namespace

AllocationMeter::AllocationMeter() {
  InstallHooksOnce();
  live_bytes.store(0, std::memory_order_relaxed);
  peak_bytes.store(0, std::memory_order_relaxed);
  measuring.store(true, std::memory_order_relaxed);
}

AllocationMeter::~AllocationMeter() {
  measuring.store(false, std::memory_order_relaxed);
}

size_t AllocationMeter::PeakBytes() const {
  return static_cast<size_t>(peak_bytes.load(std::memory_order_relaxed));
}

void AllocationMeter::CheckWithinBound(size_t input_size, const char* what) {
  measuring.store(false, std::memory_order_relaxed);
  const size_t peak = PeakBytes();
  const size_t bound = weft::StandardCodecSerializer::DecodeMemoryBound(input_size);
  if (peak > bound) {
    Fail("memory bound exceeded while %s: %zu bytes peak for %zu input bytes (bound %zu)", what,
         peak, input_size, bound);
  }
}

}  // namespace fuzz
