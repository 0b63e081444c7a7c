#include "value_properties.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace fuzz {
namespace {

using weft::EncodableValue;
using weft::ValueList;
using weft::ValueMap;

template <typename T>
bool AnyNan(const std::vector<T>& elements) {
  return std::any_of(elements.begin(), elements.end(),
                     [](T element) { return std::isnan(element); });
}

bool ContainsNan(const EncodableValue& value) {
  if (const auto* number = std::get_if<double>(&value)) {
    return std::isnan(*number);
  }
  if (const auto* doubles = std::get_if<std::vector<double>>(&value)) {
    return AnyNan(*doubles);
  }
  if (const auto* floats = std::get_if<std::vector<float>>(&value)) {
    return AnyNan(*floats);
  }
  if (const auto* list = std::get_if<ValueList>(&value)) {
    return std::any_of(list->begin(), list->end(), ContainsNan);
  }
  if (const auto* map = std::get_if<ValueMap>(&value)) {
    return std::any_of(map->begin(), map->end(), [](const ValueMap::value_type& entry) {
      return ContainsNan(entry.first) || ContainsNan(entry.second);
    });
  }
  return false;
}

}  // namespace

bool HasNanInMapKey(const EncodableValue& value) {
  if (const auto* list = std::get_if<ValueList>(&value)) {
    return std::any_of(list->begin(), list->end(), HasNanInMapKey);
  }
  if (const auto* map = std::get_if<ValueMap>(&value)) {
    return std::any_of(map->begin(), map->end(), [](const ValueMap::value_type& entry) {
      return ContainsNan(entry.first) || HasNanInMapKey(entry.second);
    });
  }
  return false;
}

}  // namespace fuzz
