// Counts the bytes that operator new hands out, so that a fuzz target can hold decoding to the
// memory bound that the codec promises. Every operator new and delete of the program is
// replaced (allocation_meter.cpp); the sizes come from the sanitizer's allocator.
#ifndef FUZZ_ALLOCATION_METER_H_
#define FUZZ_ALLOCATION_METER_H_

#include <cstddef>

namespace fuzz {

// The codec's promise for a message of n bytes: at most kBytesPerInputByte * n +
// kFixedAllowance bytes live at any moment while it is decoded and the value is alive.
constexpr size_t kBytesPerInputByte = 128;
constexpr size_t kFixedAllowance = size_t{1} << 20;

size_t DecodingBound(size_t input_size);

// Measures the peak of live bytes from its construction on, above what was live then.
class AllocationMeter {
 public:
  AllocationMeter();

  AllocationMeter(const AllocationMeter&) = delete;
  AllocationMeter& operator=(const AllocationMeter&) = delete;

  size_t PeakBytes() const;
  // Aborts the run when the peak so far exceeds the bound for input_size.
  void CheckWithinBound(size_t input_size, const char* what) const;

 private:
  size_t baseline_;
};

}  // namespace fuzz

#endif  // FUZZ_ALLOCATION_METER_H_
