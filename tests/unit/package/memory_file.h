// An in-memory sfx::File for tests and fuzz targets: reads, writes, seeks
// and sizes a byte vector, optionally failing reads past a given offset.
#ifndef SFX_TESTS_UNIT_PACKAGE_MEMORY_FILE_H_
#define SFX_TESTS_UNIT_PACKAGE_MEMORY_FILE_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace sfx_test {

class MemoryFile : public sfx::File {
 public:
  explicit MemoryFile(std::vector<std::uint8_t> data)
      : data_(std::move(data)) {}

  bool Read(void* buffer, std::uint32_t n, std::uint32_t* got) override {
    *got = 0;
    if (position_ >= fail_reads_from_) return false;
    if (position_ >= static_cast<std::int64_t>(data_.size())) return true;
    const std::uint64_t left =
        data_.size() - static_cast<std::size_t>(position_);
    *got = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, left));
    std::memcpy(buffer, data_.data() + position_, *got);
    position_ += *got;
    ++reads_;
    return true;
  }
  bool Write(const void* buffer, std::uint32_t n,
             std::uint32_t* written) override {
    const std::size_t end = static_cast<std::size_t>(position_) + n;
    if (end > data_.size()) data_.resize(end);
    std::memcpy(data_.data() + position_, buffer, n);
    position_ = static_cast<std::int64_t>(end);
    *written = n;
    return true;
  }
  bool Seek(std::int64_t offset, Origin origin,
            std::int64_t* position) override {
    const std::int64_t base = origin == Origin::kBegin ? 0
                              : origin == Origin::kCurrent
                                  ? position_
                                  : static_cast<std::int64_t>(data_.size());
    if (base + offset < 0) return false;
    position_ = base + offset;
    if (position) *position = position_;
    return true;
  }
  bool Size(std::int64_t* size) override {
    *size = static_cast<std::int64_t>(data_.size());
    return true;
  }

  void FailReadsFrom(std::int64_t offset) { fail_reads_from_ = offset; }
  std::int64_t position() const { return position_; }
  const std::vector<std::uint8_t>& data() const { return data_; }

 private:
  std::vector<std::uint8_t> data_;
  std::int64_t position_ = 0;
  std::int64_t fail_reads_from_ = INT64_MAX;
  int reads_ = 0;
};

}  // namespace sfx_test

#endif  // SFX_TESTS_UNIT_PACKAGE_MEMORY_FILE_H_
