#ifndef WEFT_METHOD_RESULT_H_
#define WEFT_METHOD_RESULT_H_

#include <string>

namespace weft {

// The one answer to a method call: exactly one of Success, Error or NotImplemented, once.
// Handed to its user with unique ownership; it may be kept and answered later.
template <typename T>
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult() = default;

  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  void Success(const T& result) { DeliverSuccess(&result); }
  void Success() { DeliverSuccess(nullptr); }
  void Error(const std::string& error_code, const std::string& error_message, const T& details) {
    DeliverError(error_code, error_message, &details);
  }
  void Error(const std::string& error_code, const std::string& error_message = std::string()) {
    DeliverError(error_code, error_message, nullptr);
  }
  void NotImplemented() { DeliverNotImplemented(); }

 protected:
  // result is null when there is no value.
  virtual void DeliverSuccess(const T* result) = 0;
  // details is null when there are none.
  virtual void DeliverError(const std::string& error_code, const std::string& error_message,
                            const T* details) = 0;
  virtual void DeliverNotImplemented() = 0;
};

}  // namespace weft

#endif  // WEFT_METHOD_RESULT_H_
