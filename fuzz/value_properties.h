// What a fuzz target may expect of decoded values under the value ordering.
#ifndef FUZZ_VALUE_PROPERTIES_H_
#define FUZZ_VALUE_PROPERTIES_H_

#include "weft/encodable_value.h"

namespace fuzz {

// The only relation between values that the value model offers.
inline bool Equivalent(const weft::EncodableValue& a, const weft::EncodableValue& b) {
  return !(a < b) && !(b < a);
}

// Whether some map in value has a key holding a NaN (a double, or an element of a double or
// float array, at any depth). The ordering passes NaNs over, so on such keys it is no strict
// weak ordering: which entries a map keeps, and in which order, then depends on the order of
// insertion, and a round trip need not give an equivalent value.
bool HasNanInMapKey(const weft::EncodableValue& value);

}  // namespace fuzz

#endif  // FUZZ_VALUE_PROPERTIES_H_
