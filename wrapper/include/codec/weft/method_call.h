#ifndef WEFT_METHOD_CALL_H_
#define WEFT_METHOD_CALL_H_

#include <memory>
#include <string>
#include <utility>

namespace weft {

// A method name with its arguments; built once and not changed afterwards.
template <typename T>
class MethodCall {
 public:
  // arguments may be null: a call without arguments.
  MethodCall(const std::string& method_name, std::unique_ptr<T> arguments)
      : method_name_(method_name), arguments_(std::move(arguments)) {}
  virtual ~MethodCall() = default;

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  const std::string& method_name() const { return method_name_; }
  // Null when the call has no arguments.
  const T* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<T> arguments_;
};

}  // namespace weft

#endif  // WEFT_METHOD_CALL_H_
