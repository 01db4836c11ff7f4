// Fault injection over any platform (LevelDB's FaultInjectionTestEnv): it
// forwards every call and fails the n-th call of one kind, or runs out of
// space after a number of written bytes, so that a test can prove that no
// failure of the file system loses what was there before.
#ifndef SFX_TESTS_SUPPORT_FAULT_PLATFORM_H_
#define SFX_TESTS_SUPPORT_FAULT_PLATFORM_H_

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "support/forwarding_platform.h"

namespace sfx_test {

enum class Fault {
  kNone,
  kCreate,     // CreateWrite gives no file
  kCreateNew,  // CreateNew gives no file
  kWrite,      // a Write to a created file fails, writing nothing
  kMove,       // MoveFileReplace refuses
  kRead,       // a Read from a file opened for reading fails
};

const char* FaultName(Fault fault);

class FaultInjectionPlatform : public ForwardingPlatform {
 public:
  explicit FaultInjectionPlatform(sfx::Platform& target)
      : ForwardingPlatform(target) {}

  // Fails the `n`-th call (from 1) of `fault`'s kind from now on.
  void FailNth(Fault fault, int n) {
    fault_ = fault;
    countdown_ = n;
  }
  // Writes to created files stop after `bytes` bytes in all: a write that
  // would pass the limit writes what fits and reports the rest unwritten.
  void DiskFullAfter(std::uint64_t bytes) { space_left_ = bytes; }
  // Whether the fault has struck.
  bool struck() const { return struck_; }

  std::unique_ptr<File> OpenRead(const std::string& path) override {
    return Wrap(target().OpenRead(path));
  }
  std::unique_ptr<File> CreateWrite(const std::string& path) override {
    if (Strike(Fault::kCreate)) return nullptr;
    return Wrap(target().CreateWrite(path));
  }
  std::unique_ptr<File> CreateNew(const std::string& path) override {
    if (Strike(Fault::kCreateNew)) return nullptr;
    return Wrap(target().CreateNew(path));
  }
  bool MoveFileReplace(const std::string& from,
                       const std::string& to) override {
    if (Strike(Fault::kMove)) return false;
    return target().MoveFileReplace(from, to);
  }

 private:
  class FaultFile : public File {
   public:
    FaultFile(FaultInjectionPlatform* owner, std::unique_ptr<File> inner)
        : owner_(owner), inner_(std::move(inner)) {}
    bool Read(void* buffer, std::uint32_t n, std::uint32_t* got) override {
      *got = 0;
      if (owner_->Strike(Fault::kRead)) return false;
      return inner_->Read(buffer, n, got);
    }
    bool Write(const void* buffer, std::uint32_t n,
               std::uint32_t* written) override {
      *written = 0;
      if (owner_->Strike(Fault::kWrite)) return false;
      const std::uint32_t fits = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(n, owner_->space_left_));
      const bool ok = inner_->Write(buffer, fits, written);
      owner_->space_left_ -= *written;
      return ok;
    }
    bool Seek(std::int64_t offset, Origin origin,
              std::int64_t* position) override {
      return inner_->Seek(offset, origin, position);
    }
    bool Size(std::int64_t* size) override { return inner_->Size(size); }
    bool SetLastWriteDosTime(std::uint32_t dos_date_time) override {
      return inner_->SetLastWriteDosTime(dos_date_time);
    }

   private:
    FaultInjectionPlatform* owner_;
    std::unique_ptr<File> inner_;
  };

  std::unique_ptr<File> Wrap(std::unique_ptr<File> file) {
    if (!file) return nullptr;
    return std::make_unique<FaultFile>(this, std::move(file));
  }
  // True when this call of kind `fault` is the one to fail.
  bool Strike(Fault fault) {
    if (fault != fault_ || countdown_ <= 0 || --countdown_ > 0) return false;
    struck_ = true;
    return true;
  }

  Fault fault_ = Fault::kNone;
  int countdown_ = 0;
  bool struck_ = false;
  std::uint64_t space_left_ = UINT64_MAX;
};

inline const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kNone:
      return "none";
    case Fault::kCreate:
      return "create";
    case Fault::kCreateNew:
      return "create new";
    case Fault::kWrite:
      return "write";
    case Fault::kMove:
      return "move";
    case Fault::kRead:
      return "read";
  }
  return "?";
}

}  // namespace sfx_test

#endif  // SFX_TESTS_SUPPORT_FAULT_PLATFORM_H_
