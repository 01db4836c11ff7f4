// The host's sfx::File over a POSIX file descriptor: the files of the host
// platform and the installer file that the packer writes. Host only.
#ifndef SFX_PLATFORM_POSIX_FILE_H_
#define SFX_PLATFORM_POSIX_FILE_H_

#include <cstdint>

#include "platform/platform.h"

namespace sfx {

class PosixFile : public File {
 public:
  // Takes over `fd` (open, not a directory) and closes it when destroyed.
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override;
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  // Read and Write repeat interrupted and partial calls; a short count
  // means the end of the file (or a full device).
  bool Read(void* buffer, std::uint32_t n, std::uint32_t* got) override;
  bool Write(const void* buffer, std::uint32_t n,
             std::uint32_t* written) override;
  bool Seek(std::int64_t offset, Origin origin,
            std::int64_t* position) override;
  bool Size(std::int64_t* size) override;
  bool SetLastWriteDosTime(std::uint32_t dos_date_time) override;

 protected:
  int fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace sfx

#endif  // SFX_PLATFORM_POSIX_FILE_H_
