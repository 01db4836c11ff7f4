// An in-memory sfx::File for tests, fuzz targets and the fake platform:
// reads, writes, seeks and sizes a byte vector, either its own or one it
// shares with its owner (a file of the fake platform), and can be made to
// fail reads from a given offset on.
#ifndef SFX_TESTS_SUPPORT_MEMORY_FILE_H_
#define SFX_TESTS_SUPPORT_MEMORY_FILE_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace sfx_test {

class MemoryFile : public sfx::File {
 public:
  // A file over its own copy of `data`.
  explicit MemoryFile(std::vector<std::uint8_t> data)
      : data_(std::make_shared<std::vector<std::uint8_t>>(std::move(data))) {}
  // A file over `data`, which the owner keeps; writes fail (nothing
  // written) when it is not `writable`.
  MemoryFile(std::shared_ptr<std::vector<std::uint8_t>> data, bool writable)
      : data_(std::move(data)), writable_(writable) {}
  // The same, with a last-write time that the owner keeps as well.
  MemoryFile(std::shared_ptr<std::vector<std::uint8_t>> data, bool writable,
             std::shared_ptr<std::uint32_t> dos_time)
      : data_(std::move(data)),
        dos_time_(std::move(dos_time)),
        writable_(writable) {}

  bool Read(void* buffer, std::uint32_t n, std::uint32_t* got) override {
    *got = 0;
    if (position_ >= fail_reads_from_) return false;
    if (position_ >= static_cast<std::int64_t>(data_->size())) return true;
    const std::uint64_t left =
        data_->size() - static_cast<std::size_t>(position_);
    *got = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, left));
    std::memcpy(buffer, data_->data() + position_, *got);
    position_ += *got;
    return true;
  }
  bool Write(const void* buffer, std::uint32_t n,
             std::uint32_t* written) override {
    *written = 0;
    if (!writable_) return false;
    const std::size_t end = static_cast<std::size_t>(position_) + n;
    if (end > data_->size()) data_->resize(end);
    if (n > 0) std::memcpy(data_->data() + position_, buffer, n);
    position_ = static_cast<std::int64_t>(end);
    *written = n;
    return true;
  }
  bool Seek(std::int64_t offset, Origin origin,
            std::int64_t* position) override {
    const std::int64_t base = origin == Origin::kBegin ? 0
                              : origin == Origin::kCurrent
                                  ? position_
                                  : static_cast<std::int64_t>(data_->size());
    if (base + offset < 0) return false;
    position_ = base + offset;
    if (position) *position = position_;
    return true;
  }
  bool Size(std::int64_t* size) override {
    *size = static_cast<std::int64_t>(data_->size());
    return true;
  }
  bool SetLastWriteDosTime(std::uint32_t dos_date_time) override {
    if (!writable_) return false;
    *dos_time_ = dos_date_time;
    return true;
  }

  void FailReadsFrom(std::int64_t offset) { fail_reads_from_ = offset; }
  std::int64_t position() const { return position_; }
  const std::vector<std::uint8_t>& data() const { return *data_; }

 private:
  std::shared_ptr<std::vector<std::uint8_t>> data_;
  std::shared_ptr<std::uint32_t> dos_time_ = std::make_shared<std::uint32_t>();
  bool writable_ = true;
  std::int64_t position_ = 0;
  std::int64_t fail_reads_from_ = INT64_MAX;
};

}  // namespace sfx_test

#endif  // SFX_TESTS_SUPPORT_MEMORY_FILE_H_
