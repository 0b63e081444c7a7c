#include "allocation_meter.h"

#include <sanitizer/allocator_interface.h>
#include <stdlib.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "fuzz_check.h"

namespace fuzz {
namespace {

// Atomic because the fuzzing engine's own threads allocate too.
std::atomic<size_t> live_bytes{0};
std::atomic<size_t> peak_bytes{0};

void Count(void* block) {
  const size_t size = __sanitizer_get_allocated_size(block);
  const size_t live = live_bytes.fetch_add(size, std::memory_order_relaxed) + size;
  size_t peak = peak_bytes.load(std::memory_order_relaxed);
  while (live > peak && !peak_bytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
}

void Uncount(void* block) {
  live_bytes.fetch_sub(__sanitizer_get_allocated_size(block), std::memory_order_relaxed);
}

void* Allocate(size_t size, size_t alignment) {
  // A zero-byte request still needs a distinct block.
  const size_t request = size == 0 ? 1 : size;
  void* block = nullptr;
  if (alignment <= alignof(std::max_align_t)) {
    block = std::malloc(request);
  } else if (posix_memalign(&block, alignment, request) != 0) {
    block = nullptr;
  }
  if (block != nullptr) {
    Count(block);
  }
  return block;
}

void* AllocateOrThrow(size_t size, size_t alignment) {
  void* block = Allocate(size, alignment);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  return block;
}

void Release(void* block) {
  if (block == nullptr) {
    return;
  }
  Uncount(block);
  std::free(block);
}

constexpr size_t kDefaultAlignment = alignof(std::max_align_t);

}  // namespace

size_t DecodingBound(size_t input_size) {
  return kBytesPerInputByte * input_size + kFixedAllowance;
}

AllocationMeter::AllocationMeter() : baseline_(live_bytes.load(std::memory_order_relaxed)) {
  peak_bytes.store(baseline_, std::memory_order_relaxed);
}

size_t AllocationMeter::PeakBytes() const {
  const size_t peak = peak_bytes.load(std::memory_order_relaxed);
  return peak > baseline_ ? peak - baseline_ : 0;
}

void AllocationMeter::CheckWithinBound(size_t input_size, const char* what) const {
  const size_t peak = PeakBytes();
  if (peak > DecodingBound(input_size)) {
    Fail("memory bound exceeded while %s: %zu bytes peak for %zu input bytes (bound %zu)", what,
         peak, input_size, DecodingBound(input_size));
  }
}

}  // namespace fuzz

void* operator new(size_t size) {
  return fuzz::AllocateOrThrow(size, fuzz::kDefaultAlignment);
}
void* operator new[](size_t size) {
  return fuzz::AllocateOrThrow(size, fuzz::kDefaultAlignment);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return fuzz::Allocate(size, fuzz::kDefaultAlignment);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return fuzz::Allocate(size, fuzz::kDefaultAlignment);
}
void* operator new(size_t size, std::align_val_t alignment) {
  return fuzz::AllocateOrThrow(size, static_cast<size_t>(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment) {
  return fuzz::AllocateOrThrow(size, static_cast<size_t>(alignment));
}
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return fuzz::Allocate(size, static_cast<size_t>(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return fuzz::Allocate(size, static_cast<size_t>(alignment));
}

void operator delete(void* block) noexcept {
  fuzz::Release(block);
}
void operator delete[](void* block) noexcept {
  fuzz::Release(block);
}
void operator delete(void* block, size_t) noexcept {
  fuzz::Release(block);
}
void operator delete[](void* block, size_t) noexcept {
  fuzz::Release(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
  fuzz::Release(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  fuzz::Release(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
  fuzz::Release(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
  fuzz::Release(block);
}
void operator delete(void* block, size_t, std::align_val_t) noexcept {
  fuzz::Release(block);
}
void operator delete[](void* block, size_t, std::align_val_t) noexcept {
  fuzz::Release(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  fuzz::Release(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  fuzz::Release(block);
}
