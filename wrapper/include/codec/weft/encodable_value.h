#ifndef WEFT_ENCODABLE_VALUE_H_
#define WEFT_ENCODABLE_VALUE_H_

#include <any>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <variant>
#include <vector>

namespace weft {

class EncodableValue;

using ValueList = std::vector<EncodableValue>;
using ValueMap = std::map<EncodableValue, EncodableValue>;

// An application-defined object of any copyable type, for serializers that add their own types.
// It is ordered and compared by identity: a CustomValue is equal only to itself, and a copy is a
// new identity.
class CustomValue {
 public:
  template <typename T, typename = std::enable_if_t<!std::is_same_v<std::decay_t<T>, CustomValue>>>
  explicit CustomValue(T&& value) : value_(std::forward<T>(value)) {}

  const std::type_info& type() const { return value_.type(); }
  const std::any& value() const { return value_; }
  // Null when the held object is not a T.
  template <typename T>
  const T* TryGet() const {
    return std::any_cast<T>(&value_);
  }

  bool operator==(const CustomValue& other) const { return this == &other; }
  bool operator!=(const CustomValue& other) const { return this != &other; }

 private:
  std::any value_;
};

// The alternatives in their fixed order: the wire tags and the value ordering depend on it.
using EncodableVariant =
    std::variant<std::monostate, bool, int32_t, int64_t, double, std::string, std::vector<uint8_t>,
                 std::vector<int32_t>, std::vector<int64_t>, std::vector<double>, ValueList,
                 ValueMap, CustomValue, std::vector<float>>;

// The value of all channel traffic. Being a std::variant, it works with std::get (strict access,
// throws std::bad_variant_access), std::get_if (testing access) and std::holds_alternative.
class EncodableValue : public EncodableVariant {
 public:
  using EncodableVariant::EncodableVariant;
  using EncodableVariant::operator=;

  EncodableValue() = default;
  // A string literal would otherwise convert to bool rather than to std::string. Implicit, as
  // every other alternative's constructor.
  // cppcheck-suppress noExplicitConstructor
  EncodableValue(const char* string) : EncodableVariant(std::string(string)) {}
  EncodableValue& operator=(const char* string) {
    EncodableVariant::operator=(std::string(string));
    return *this;
  }

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }
};

// Alternative index first (a valueless value lowest), then contents; see encodable_value.cpp.
bool operator<(const EncodableValue& a, const EncodableValue& b);

}  // namespace weft

#endif  // WEFT_ENCODABLE_VALUE_H_
