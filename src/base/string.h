// String and Vector: the text and array types of the shared code.
//
// Why our own: in the installer program the standard library's string and
// vector cost more than they give. Their out-of-range and allocation paths
// throw (length_error, bad_alloc), and one use of either links the C++
// exception runtime with its unwinder and the terminate handler's
// demangler: about 160 KB in a program of 60. base::OwnString and
// base::OwnVector do without exceptions; running out of memory ends the
// program (base::OutOfMemory), as it did before.
//
// On the host (sfxtool, tests, benchmarks) String and Vector are the
// standard types, so the tools and tests keep one vocabulary with the
// standard library; the own types are unit-tested there on their own
// (tests/unit/base). Shared code uses only the members both provide.
#ifndef SFX_BASE_STRING_H_
#define SFX_BASE_STRING_H_

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
#include <string_view>
#include <utility>

#ifndef _WIN32
#include <string>
#include <vector>
#endif

namespace sfx {
namespace base {

// Ends the program: memory ran out.
[[noreturn]] inline void OutOfMemory() { std::abort(); }

inline void* Allocate(std::size_t bytes) {
  void* p = std::malloc(bytes == 0 ? 1 : bytes);
  if (p == nullptr) OutOfMemory();
  return p;
}

// What an OwnString without an allocation points to; never written.
inline char g_empty_text[1] = {'\0'};

// A byte string with a terminating NUL, growing geometrically.
class OwnString {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  using value_type = char;
  using size_type = std::size_t;
  using iterator = char*;
  using const_iterator = const char*;

  // Constant, so that a global text needs no constructor at start-up; one
  // copy called by the rest (three stores at every empty text otherwise).
  [[gnu::noinline]] constexpr OwnString() noexcept {}
  OwnString(const char* text);
  OwnString(const char* text, std::size_t n);
  OwnString(std::size_t n, char c);
  template <typename It, typename = decltype(*std::declval<It>())>
  OwnString(It first, It last) {
    for (; first != last; ++first) push_back(*first);
  }
  OwnString(std::string_view view);
  OwnString(const OwnString& other);
  OwnString(OwnString&& other) noexcept;
  OwnString& operator=(const OwnString& other);
  OwnString& operator=(OwnString&& other) noexcept;
  OwnString& operator=(const char* text);
  ~OwnString();

  operator std::string_view() const { return std::string_view(data(), size_); }

  std::size_t size() const { return size_; }
  std::size_t length() const { return size_; }
  bool empty() const { return size_ == 0; }
  const char* data() const { return data_; }
  char* data() { return data_; }
  const char* c_str() const { return data(); }
  char& operator[](std::size_t i) { return data_[i]; }
  char operator[](std::size_t i) const { return data_[i]; }
  char& back() { return data_[size_ - 1]; }
  char back() const { return data_[size_ - 1]; }
  char front() const { return data_[0]; }
  char* begin() { return data(); }
  char* end() { return data() + size_; }
  const char* begin() const { return data(); }
  const char* end() const { return data() + size_; }

  std::reverse_iterator<char*> rbegin() {
    return std::reverse_iterator<char*>(end());
  }
  std::reverse_iterator<char*> rend() {
    return std::reverse_iterator<char*>(begin());
  }
  std::reverse_iterator<const char*> rbegin() const {
    return std::reverse_iterator<const char*>(end());
  }
  std::reverse_iterator<const char*> rend() const {
    return std::reverse_iterator<const char*>(begin());
  }

  void swap(OwnString& other) noexcept;
  void clear();
  void reserve(std::size_t n) { Reserve(n); }
  void resize(std::size_t n, char c = '\0');
  void push_back(char c) { append(&c, 1); }
  void pop_back();

  OwnString& append(const char* text, std::size_t n);
  OwnString& append(std::string_view view) {
    return append(view.data(), view.size());
  }
  OwnString& append(const char* text);
  OwnString& append(std::size_t n, char c);
  OwnString& append(const OwnString& s, std::size_t pos, std::size_t n) {
    return append(std::string_view(s.substr(pos, n)));
  }
  template <typename It, typename = decltype(*std::declval<It>())>
  OwnString& append(It first, It last) {
    for (; first != last; ++first) push_back(*first);
    return *this;
  }
  OwnString& assign(const char* text, std::size_t n) {
    Assign(text, n);
    return *this;
  }
  OwnString& assign(std::size_t n, char c) {
    clear();
    return append(n, c);
  }
  template <typename It, typename = decltype(*std::declval<It>())>
  OwnString& assign(It first, It last) {
    OwnString copy(first, last);
    swap(copy);
    return *this;
  }
  OwnString& operator+=(std::string_view view) { return append(view); }
  OwnString& operator+=(const OwnString& s) {
    return append(s.data(), s.size_);
  }
  OwnString& operator+=(const char* text) { return append(text); }
  OwnString& operator+=(char c) { return append(&c, 1); }

  OwnString& erase(std::size_t pos = 0, std::size_t n = npos);
  OwnString& insert(std::size_t pos, std::string_view view);
  char* insert(char* pos, char c) {
    std::size_t at = static_cast<std::size_t>(pos - data());
    insert(at, std::string_view(&c, 1));
    return data() + at;
  }
  OwnString& insert(std::size_t pos, std::size_t n, char c) {
    return insert(pos, OwnString(n, c));
  }
  OwnString& replace(std::size_t pos, std::size_t n, std::string_view view);

  // Positions past the end are clamped, not an error.
  OwnString substr(std::size_t pos = 0, std::size_t n = npos) const;
  std::size_t find(std::string_view what, std::size_t pos = 0) const;
  std::size_t find(char c, std::size_t pos = 0) const;
  std::size_t rfind(std::string_view what, std::size_t pos = npos) const;
  std::size_t rfind(char c, std::size_t pos = npos) const;
  std::size_t find_first_of(char c, std::size_t pos = 0) const {
    return View().find_first_of(c, pos);
  }
  std::size_t find_first_not_of(char c, std::size_t pos = 0) const;
  std::size_t find_last_not_of(char c, std::size_t pos = npos) const;
  std::size_t find_first_of(std::string_view set, std::size_t pos = 0) const;
  std::size_t find_last_of(std::string_view set, std::size_t pos = npos) const;
  std::size_t find_first_not_of(std::string_view set,
                                std::size_t pos = 0) const;
  std::size_t find_last_not_of(std::string_view set,
                               std::size_t pos = npos) const;
  int compare(std::string_view other) const { return View().compare(other); }
  int compare(std::size_t pos, std::size_t n, std::string_view other) const;

  friend bool operator==(const OwnString& a, std::string_view b) {
    return a.Equals(b);
  }
  friend bool operator==(std::string_view a, const OwnString& b) {
    return b.Equals(a);
  }
  friend bool operator==(const OwnString& a, const OwnString& b) {
    return a.Equals(b.View());
  }
  friend bool operator==(const OwnString& a, const char* b) {
    return a.Equals(b);
  }
  friend bool operator!=(const OwnString& a, std::string_view b) {
    return !(a == b);
  }
  friend bool operator!=(const OwnString& a, const OwnString& b) {
    return !(a == b);
  }
  friend bool operator!=(const OwnString& a, const char* b) {
    return !(a == b);
  }
  friend bool operator<(const OwnString& a, const OwnString& b) {
    return a.View() < b.View();
  }
  friend OwnString operator+(OwnString a, std::string_view b) {
    return std::move(a.append(b));
  }
  friend OwnString operator+(OwnString a, const OwnString& b) {
    return std::move(a.append(b.data(), b.size_));
  }
  friend OwnString operator+(OwnString a, const char* b) {
    return std::move(a.append(b));
  }
  friend OwnString operator+(OwnString a, char b) {
    return std::move(a.append(&b, 1));
  }
  friend OwnString operator+(const char* a, const OwnString& b) {
    return OwnString(a).append(b.data(), b.size_);
  }
  friend OwnString operator+(char a, const OwnString& b) {
    return OwnString(1, a).append(b.data(), b.size_);
  }

 private:
  std::string_view View() const { return std::string_view(data(), size_); }
  // Equal texts; one out-of-line comparison behind every form of ==.
  bool Equals(std::string_view other) const;
  void SetSize(std::size_t n) {
    size_ = n;
    if (capacity_ != 0) data_[n] = '\0';
  }
  void Reserve(std::size_t n);
  void Grow(std::size_t n) {
    if (n > capacity_) {
      Reserve(n < 2 * capacity_ ? 2 * capacity_ : (n < 15 ? 15 : n));
    }
  }
  void Assign(const char* text, std::size_t n);

  // The text and its NUL: an allocation of capacity_ + 1 bytes, or the
  // shared empty text while nothing is allocated (capacity_ 0).
  char* data_ = g_empty_text;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace base

#ifdef _WIN32
using String = base::OwnString;
#else
using String = std::string;
#endif

}  // namespace sfx

#endif  // SFX_BASE_STRING_H_
