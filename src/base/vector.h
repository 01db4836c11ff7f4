// Vector: the array type of the shared code. Why our own in the installer
// program, and why the standard one on the host: see base/string.h.
#ifndef SFX_BASE_VECTOR_H_
#define SFX_BASE_VECTOR_H_

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

#include "base/string.h"

namespace sfx {
namespace base {

// A growable array of T. Elements move when it grows.
template <typename T>
class OwnVector {
 public:
  using value_type = T;
  using size_type = std::size_t;
  using iterator = T*;
  using const_iterator = const T*;

  OwnVector() = default;
  explicit OwnVector(std::size_t n) { resize(n); }
  OwnVector(std::size_t n, const T& value) { resize(n, value); }
  OwnVector(std::initializer_list<T> items) {
    reserve(items.size());
    for (const T& item : items) push_back(item);
  }
  template <typename It, typename = decltype(*std::declval<It>())>
  OwnVector(It first, It last) {
    if constexpr (std::is_same_v<It, const T*> &&
                  std::is_trivially_copyable_v<T>) {
      // A range of plain values: one copy of the bytes.
      const auto n = static_cast<std::size_t>(last - first);
      reserve(n);
      if (n != 0) std::memcpy(data_, first, n * sizeof(T));
      size_ = n;
    } else {
      for (; first != last; ++first) push_back(*first);
    }
  }
  OwnVector(const OwnVector& other) {
    reserve(other.size_);
    for (const T& item : other) push_back(item);
  }
  OwnVector(OwnVector&& other) noexcept { Swap(other); }
  OwnVector& operator=(const OwnVector& other) {
    if (this != &other) {
      OwnVector copy(other);
      Swap(copy);
    }
    return *this;
  }
  OwnVector& operator=(OwnVector&& other) noexcept {
    Swap(other);
    return *this;
  }
  ~OwnVector() {
    clear();
    std::free(data_);
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T& front() { return data_[0]; }
  const T& front() const { return data_[0]; }
  T& back() { return data_[size_ - 1]; }
  const T& back() const { return data_[size_ - 1]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

  void reserve(std::size_t n) {
    if (n <= capacity_) return;
    if constexpr (std::is_trivially_copyable_v<T>) {
      // Plain bytes move with the allocation itself.
      T* grown = static_cast<T*>(std::realloc(data_, n * sizeof(T)));
      if (grown == nullptr) OutOfMemory();
      data_ = grown;
      capacity_ = n;
      return;
    }
    T* grown = static_cast<T*>(Allocate(n * sizeof(T)));
    for (std::size_t i = 0; i < size_; ++i) {
      new (grown + i) T(std::move(data_[i]));
      data_[i].~T();
    }
    std::free(data_);
    data_ = grown;
    capacity_ = n;
  }
  void resize(std::size_t n) {
    reserve(n);
    while (size_ < n) new (data_ + size_++) T();
    while (size_ > n) data_[--size_].~T();
  }
  void resize(std::size_t n, const T& value) {
    reserve(n);
    while (size_ < n) new (data_ + size_++) T(value);
    while (size_ > n) data_[--size_].~T();
  }
  void assign(std::size_t n, const T& value) {
    clear();
    resize(n, value);
  }
  template <typename It, typename = decltype(*std::declval<It>())>
  void assign(It first, It last) {
    OwnVector copy(first, last);
    Swap(copy);
  }
  void clear() {
    while (size_ > 0) data_[--size_].~T();
  }
  void push_back(const T& value) { emplace_back(value); }
  void push_back(T&& value) { emplace_back(std::move(value)); }
  template <typename... Args>
  T& emplace_back(Args&&... args) {
    if (size_ == capacity_) {
      // `args` may refer into this vector: build first, then grow.
      T item(std::forward<Args>(args)...);
      reserve(capacity_ < 4 ? 4 : 2 * capacity_);
      return *new (data_ + size_++) T(std::move(item));
    }
    return *new (data_ + size_++) T(std::forward<Args>(args)...);
  }
  void pop_back() { data_[--size_].~T(); }
  // Inserts [first, last) before `pos`.
  template <typename It>
  void insert(T* pos, It first, It last) {
    std::size_t at = static_cast<std::size_t>(pos - data_);
    OwnVector tail;
    for (std::size_t i = at; i < size_; ++i)
      tail.push_back(std::move(data_[i]));
    resize(at);
    for (; first != last; ++first) push_back(*first);
    for (T& item : tail) push_back(std::move(item));
  }
  T* erase(T* first, T* last) {
    T* out = first;
    for (T* in = last; in != end(); ++in, ++out) *out = std::move(*in);
    resize(static_cast<std::size_t>(out - data_));
    return first;
  }
  T* erase(T* pos) { return erase(pos, pos + 1); }

  friend bool operator==(const OwnVector& a, const OwnVector& b) {
    if (a.size_ != b.size_) return false;
    for (std::size_t i = 0; i < a.size_; ++i) {
      if (!(a.data_[i] == b.data_[i])) return false;
    }
    return true;
  }
  friend bool operator!=(const OwnVector& a, const OwnVector& b) {
    return !(a == b);
  }

 private:
 public:
  void swap(OwnVector& other) noexcept { Swap(other); }

 private:
  void Swap(OwnVector& other) {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace base

#ifdef _WIN32
template <typename T>
using Vector = base::OwnVector<T>;
#else
template <typename T>
using Vector = std::vector<T>;
#endif

}  // namespace sfx

#endif  // SFX_BASE_VECTOR_H_
