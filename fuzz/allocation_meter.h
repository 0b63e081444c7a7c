// Counts the bytes that the program holds while a fuzz target decodes, so that the target can
// hold decoding to the memory bound that the codec promises. AddressSanitizer reports every
// allocation and release to hooks (allocation_meter.cpp), which count only while a meter
// measures; a build without AddressSanitizer, for profiling only, measures nothing.
#ifndef FUZZ_ALLOCATION_METER_H_
#define FUZZ_ALLOCATION_METER_H_

#include <cstddef>

namespace fuzz {

// Measures the peak of live bytes above what was live at its construction, until the first
// CheckWithinBound or its end. One meter at a time.
class AllocationMeter {
 public:
  AllocationMeter();
  ~AllocationMeter();

  AllocationMeter(const AllocationMeter&) = delete;
  AllocationMeter& operator=(const AllocationMeter&) = delete;

  size_t PeakBytes() const;
  // Stops measuring, so that the checks after the decode run at full speed, and aborts the run
  // when the peak exceeded the bound that the codec states for a message of input_size bytes
  // (StandardCodecSerializer::DecodeMemoryBound).
  void CheckWithinBound(size_t input_size, const char* what);
};

}  // namespace fuzz

#endif  // FUZZ_ALLOCATION_METER_H_
