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
  // Success.
  Status() = default;
  // A failure whose message the user is to be shown.
  static Status Error(String message) {
    Status status;
    status.failed_ = true;
    status.message_ = std::move(message);
    return status;
  }
  // A failure that has already been reported (its message is empty).
  static Status Reported() { return Error(String()); }

  bool ok() const { return !failed_; }
  const String& message() const { return message_; }

 private:
  bool failed_ = false;
  String message_;
};

}  // namespace sfx

#endif  // SFX_BASE_STATUS_H_
