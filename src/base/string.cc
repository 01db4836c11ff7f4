// The out-of-line members of base::OwnString (base/string.h): one copy in
// the program rather than one per caller.
#include "base/string.h"

#include <cstdint>

namespace sfx {
namespace base {

OwnString::OwnString(const char* text) { Assign(text, std::strlen(text)); }

OwnString::OwnString(const char* text, std::size_t n) { Assign(text, n); }

void OwnString::clear() { SetSize(0); }

int OwnString::compare(std::size_t pos, std::size_t n,
                       std::string_view other) const {
  return std::string_view(substr(pos, n)).compare(other);
}

void OwnString::pop_back() { SetSize(size_ - 1); }

OwnString::OwnString(std::string_view view) {
  Assign(view.data(), view.size());
}

OwnString::OwnString(const OwnString& other) {
  Assign(other.data(), other.size_);
}

OwnString::OwnString(OwnString&& other) noexcept
    : data_(other.data_), size_(other.size_), capacity_(other.capacity_) {
  other.data_ = g_empty_text;
  other.size_ = other.capacity_ = 0;
}

OwnString& OwnString::operator=(OwnString&& other) noexcept {
  swap(other);
  return *this;
}

void OwnString::swap(OwnString& other) noexcept {
  std::swap(data_, other.data_);
  std::swap(size_, other.size_);
  std::swap(capacity_, other.capacity_);
}

OwnString& OwnString::operator=(const OwnString& other) {
  if (this != &other) Assign(other.data(), other.size_);
  return *this;
}

OwnString& OwnString::operator=(const char* text) {
  Assign(text, std::strlen(text));
  return *this;
}

bool OwnString::Equals(std::string_view other) const { return View() == other; }

std::size_t OwnString::find(char c, std::size_t pos) const {
  return View().find(c, pos);
}

std::size_t OwnString::rfind(char c, std::size_t pos) const {
  return View().rfind(c, pos);
}

std::size_t OwnString::find_first_not_of(char c, std::size_t pos) const {
  return View().find_first_not_of(c, pos);
}

std::size_t OwnString::find_last_not_of(char c, std::size_t pos) const {
  return View().find_last_not_of(c, pos);
}

OwnString& OwnString::append(const char* text) {
  return append(text, std::strlen(text));
}

OwnString::~OwnString() {
  if (capacity_ != 0) std::free(data_);
}

OwnString::OwnString(std::size_t n, char c) {
  Reserve(n);
  std::memset(data_, c, n);
  SetSize(n);
}

void OwnString::resize(std::size_t n, char c) {
  Reserve(n);
  if (n > size_) std::memset(data_ + size_, c, n - size_);
  SetSize(n);
}

OwnString& OwnString::append(const char* text, std::size_t n) {
  if (n == 0) return *this;
  // A part of itself moves when the buffer grows.
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(text);
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(data_);
  const bool inside = capacity_ != 0 && at >= start && at <= start + size_;
  Grow(size_ + n);
  if (inside) text = data_ + (at - start);
  std::memmove(data_ + size_, text, n);
  SetSize(size_ + n);
  return *this;
}

OwnString& OwnString::append(std::size_t n, char c) {
  Grow(size_ + n);
  std::memset(data_ + size_, c, n);
  SetSize(size_ + n);
  return *this;
}

OwnString& OwnString::erase(std::size_t pos, std::size_t n) {
  if (pos > size_) pos = size_;
  if (n > size_ - pos) n = size_ - pos;
  if (n == 0) return *this;
  std::memmove(data_ + pos, data_ + pos + n, size_ - pos - n);
  SetSize(size_ - n);
  return *this;
}

OwnString& OwnString::insert(std::size_t pos, std::string_view view) {
  if (pos > size_) pos = size_;
  OwnString tail = substr(pos);
  SetSize(pos);
  append(view);
  return append(tail.data(), tail.size_);
}

OwnString& OwnString::replace(std::size_t pos, std::size_t n,
                              std::string_view view) {
  if (pos > size_) pos = size_;
  OwnString tail = substr(pos + (n > size_ - pos ? size_ - pos : n));
  SetSize(pos);
  append(view);
  return append(tail.data(), tail.size_);
}

OwnString OwnString::substr(std::size_t pos, std::size_t n) const {
  if (pos > size_) pos = size_;
  if (n > size_ - pos) n = size_ - pos;
  return OwnString(data() + pos, n);
}

std::size_t OwnString::find(std::string_view what, std::size_t pos) const {
  return pos > size_ ? npos : View().find(what, pos);
}

std::size_t OwnString::rfind(std::string_view what, std::size_t pos) const {
  return View().rfind(what, pos);
}

std::size_t OwnString::find_first_of(std::string_view set,
                                     std::size_t pos) const {
  return View().find_first_of(set, pos);
}

std::size_t OwnString::find_last_of(std::string_view set,
                                    std::size_t pos) const {
  return View().find_last_of(set, pos);
}

std::size_t OwnString::find_first_not_of(std::string_view set,
                                         std::size_t pos) const {
  return View().find_first_not_of(set, pos);
}

std::size_t OwnString::find_last_not_of(std::string_view set,
                                        std::size_t pos) const {
  return View().find_last_not_of(set, pos);
}

void OwnString::Reserve(std::size_t n) {
  if (n <= capacity_) return;
  char* grown =
      static_cast<char*>(std::realloc(capacity_ != 0 ? data_ : nullptr, n + 1));
  if (grown == nullptr) OutOfMemory();
  data_ = grown;
  capacity_ = n;
  data_[size_] = '\0';
}

void OwnString::Assign(const char* text, std::size_t n) {
  if (capacity_ != 0 && text >= data_ && text <= data_ + size_) {
    OwnString copy(text, n);  // a part of itself
    *this = std::move(copy);
    return;
  }
  Reserve(n);
  if (n != 0) std::memcpy(data_, text, n);
  SetSize(n);
}

}  // namespace base
}  // namespace sfx
