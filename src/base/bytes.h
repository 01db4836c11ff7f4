// Little-endian numbers in byte buffers: loads and stores, a reader that
// fails once and stays failed (so that a parser checks once, at the end),
// and a writer that appends. Every format of the project (the package, the
// PE file, resources, dialog templates) stores its numbers this way.
#ifndef SFX_BASE_BYTES_H_
#define SFX_BASE_BYTES_H_

#include <cstddef>
#include <cstdint>

#include "base/vector.h"

namespace sfx {

inline std::uint16_t LoadUint16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t LoadUint32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) |
         static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[3]) << 24;
}

// The same read as a signed value (two's complement).
inline std::int32_t LoadInt32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(LoadUint32(p));
}

inline void StoreUint16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void StoreUint32(std::uint8_t* p, std::uint32_t value) {
  StoreUint16(p, static_cast<std::uint16_t>(value));
  StoreUint16(p + 2, static_cast<std::uint16_t>(value >> 16));
}

// Reads numbers and runs of bytes from a buffer in order. A read past the
// end fails the reader: it and every later read give zeros (or null), and
// ok() stays false.
class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size)
      : data_(data), size_(size) {}

  bool ok() const { return ok_; }
  std::size_t remaining() const { return size_ - pos_; }
  void Fail() { ok_ = false; }

  std::uint8_t Byte() {
    const std::uint8_t* p = Take(1);
    return p ? *p : 0;
  }
  std::uint16_t Uint16() {
    const std::uint8_t* p = Take(2);
    return p ? LoadUint16(p) : 0;
  }
  std::uint32_t Uint32() {
    const std::uint8_t* p = Take(4);
    return p ? LoadUint32(p) : 0;
  }
  std::int32_t Int32() { return static_cast<std::int32_t>(Uint32()); }
  // The next `n` bytes, or null (failing the reader) when fewer are left.
  const std::uint8_t* Take(std::size_t n) {
    if (!ok_ || n > size_ - pos_) {
      ok_ = false;
      return nullptr;
    }
    const std::uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// Appends numbers and bytes to a growing buffer.
class ByteWriter {
 public:
  explicit ByteWriter(Vector<std::uint8_t>* out) : out_(out) {}

  void Byte(std::uint8_t value) { out_->push_back(value); }
  void Uint16(std::uint16_t value) {
    Byte(static_cast<std::uint8_t>(value));
    Byte(static_cast<std::uint8_t>(value >> 8));
  }
  void Uint32(std::uint32_t value) {
    Uint16(static_cast<std::uint16_t>(value));
    Uint16(static_cast<std::uint16_t>(value >> 16));
  }
  void Bytes(const void* data, std::size_t n) {
    const std::uint8_t* p = static_cast<const std::uint8_t*>(data);
    out_->insert(out_->end(), p, p + n);
  }

 private:
  Vector<std::uint8_t>* out_;
};

}  // namespace sfx

#endif  // SFX_BASE_BYTES_H_
