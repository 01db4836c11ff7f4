// Status: the one error type of the shared code. Routines that can fail
// return one (or take one to fill) and their callers pass it up to the one
// place that reports it (install/report.h); nothing in src/ throws.
#ifndef SFX_BASE_STATUS_H_
#define SFX_BASE_STATUS_H_

#include <utility>

#include "base/string.h"

namespace sfx {

class Status {
 public:
  // Success. This constructor, the move and the named failures below are
  // kept out of line: one copy in the installer, called from every use
  // (inline, each success alone stores four words).
  [[gnu::noinline]] Status() noexcept {}
  [[gnu::noinline]] Status(Status&& other) noexcept = default;
  Status& operator=(Status&& other) noexcept = default;
  ~Status() = default;
  Status(const Status& other) = default;
  Status& operator=(const Status& other) = default;
  // A failure whose message the user is to be shown.
  [[gnu::noinline]] static Status Error(String message) {
    Status status;
    status.failed_ = true;
    status.message_ = std::move(message);
    return status;
  }
  // A failure that has already been reported (its message is empty).
  [[gnu::noinline]] static Status Reported() { return Error(String()); }

  bool ok() const { return !failed_; }
  const String& message() const { return message_; }

 private:
  bool failed_ = false;
  String message_;
};

}  // namespace sfx

#endif  // SFX_BASE_STATUS_H_
