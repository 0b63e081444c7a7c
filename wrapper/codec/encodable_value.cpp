#include "weft/encodable_value.h"

#include <algorithm>
#include <functional>

namespace weft {

namespace {

// Comparisons are three-way (negative: less, zero: neither is less, positive: greater), so that
// each pair of nested values is compared once: asking "less" and then "greater" at every level
// would take time exponential in the nesting depth for equivalent values.
int Compare(const EncodableValue& a, const EncodableValue& b);

template <typename T>
int CompareScalars(const T& a, const T& b) {
  if (a < b) {
    return -1;
  }
  return b < a ? 1 : 0;
}

// Walks both sequences from the start; the first position where one element is less decides,
// positions where neither is less (equal, or a NaN involved) are passed over, and then the
// shorter sequence is less.
template <typename Sequence, typename ElementCompare>
int CompareSequences(const Sequence& a, const Sequence& b, ElementCompare compare) {
  auto x = a.begin();
  auto y = b.begin();
  for (; x != a.end() && y != b.end(); ++x, ++y) {
    if (const int order = compare(*x, *y); order != 0) {
      return order;
    }
  }
  return CompareScalars(a.size(), b.size());
}

int CompareEntries(const ValueMap::value_type& a, const ValueMap::value_type& b) {
  if (const int order = Compare(a.first, b.first); order != 0) {
    return order;
  }
  return Compare(a.second, b.second);
}

// Compares the contents of two values that hold the same alternative.
struct SameAlternativeCompare {
  const EncodableVariant& other;

  template <typename T>
  int operator()(const T& a) const {
    return CompareScalars(a, std::get<T>(other));
  }
  template <typename T>
  int operator()(const std::vector<T>& a) const {
    return CompareSequences(a, std::get<std::vector<T>>(other), CompareScalars<T>);
  }
  int operator()(const ValueList& a) const {
    return CompareSequences(a, std::get<ValueList>(other), Compare);
  }
  int operator()(const ValueMap& a) const {
    return CompareSequences(a, std::get<ValueMap>(other), CompareEntries);
  }
  int operator()(const CustomValue& a) const {
    const CustomValue* b = &std::get<CustomValue>(other);
    if (std::less<const CustomValue*>()(&a, b)) {
      return -1;
    }
    return std::less<const CustomValue*>()(b, &a) ? 1 : 0;
  }
};

int Compare(const EncodableValue& a, const EncodableValue& b) {
  if (a.valueless_by_exception() || b.valueless_by_exception()) {
    return CompareScalars(!a.valueless_by_exception(), !b.valueless_by_exception());
  }
  if (a.index() != b.index()) {
    return CompareScalars(a.index(), b.index());
  }
  const EncodableVariant& b_variant = b;
  return std::visit(SameAlternativeCompare{b_variant}, static_cast<const EncodableVariant&>(a));
}

}  // namespace

bool operator<(const EncodableValue& a, const EncodableValue& b) {
  return Compare(a, b) < 0;
}

}  // namespace weft
