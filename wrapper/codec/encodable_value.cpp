#include "weft/encodable_value.h"

#include <algorithm>
#include <functional>

namespace weft {

namespace {

// Walks both sequences from the start; the first position where one element is less decides,
// positions where neither is less (equal, or a NaN involved) are passed over, and then the
// shorter sequence is less. This is exactly the standard lexicographical comparison.
template <typename Sequence, typename Less>
bool SequenceLess(const Sequence& a, const Sequence& b, Less less) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), less);
}

bool EntryLess(const ValueMap::value_type& a, const ValueMap::value_type& b) {
  if (a.first < b.first) {
    return true;
  }
  return !(b.first < a.first) && a.second < b.second;
}

// Compares the contents of two values that hold the same alternative.
struct SameAlternativeLess {
  const EncodableVariant& other;

  template <typename T>
  bool operator()(const T& a) const {
    return a < std::get<T>(other);
  }
  bool operator()(const ValueList& a) const {
    return SequenceLess(a, std::get<ValueList>(other),
                        [](const EncodableValue& x, const EncodableValue& y) { return x < y; });
  }
  bool operator()(const ValueMap& a) const {
    return SequenceLess(a, std::get<ValueMap>(other), EntryLess);
  }
  bool operator()(const CustomValue& a) const {
    return std::less<const CustomValue*>()(&a, &std::get<CustomValue>(other));
  }
};

}  // namespace

bool operator<(const EncodableValue& a, const EncodableValue& b) {
  if (a.valueless_by_exception() || b.valueless_by_exception()) {
    return a.valueless_by_exception() && !b.valueless_by_exception();
  }
  if (a.index() != b.index()) {
    return a.index() < b.index();
  }
  const EncodableVariant& b_variant = b;
  return std::visit(SameAlternativeLess{b_variant}, static_cast<const EncodableVariant&>(a));
}

}  // namespace weft
