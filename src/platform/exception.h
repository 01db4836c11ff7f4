// The installer's base exception class. Failures that a routine raises
// derive from it and carry a message text; they are reported to the user
// by whoever catches them (or not at all when the message is empty).
#ifndef SFX_PLATFORM_EXCEPTION_H_
#define SFX_PLATFORM_EXCEPTION_H_

#include <string>
#include <utility>

namespace sfx {

class Exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  virtual ~Exception() = default;
  const std::string& Message() const { return message_; }

 private:
  std::string message_;
};

// An input/output failure whose message box has already been shown; its
// message is empty.
class EInOutError : public Exception {
 public:
  EInOutError() : Exception(std::string()) {}
};

}  // namespace sfx

#endif  // SFX_PLATFORM_EXCEPTION_H_
