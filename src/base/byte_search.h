// Finding a short run of bytes: in one buffer, and in data that arrives in
// pieces (a file read block by block), where a run may straddle two pieces.
// The installer finds its trailer marker this way, the packer the size
// block and the marker in what it packs, sfxtool the same in the files it
// reads.
#ifndef SFX_BASE_BYTE_SEARCH_H_
#define SFX_BASE_BYTE_SEARCH_H_

#include <cstddef>
#include <cstdint>

namespace sfx {

// The first position at or after `from` where `pattern` (1 byte or more)
// starts in `data`, or -1.
std::int64_t FindBytes(const std::uint8_t* data, std::size_t size,
                       const std::uint8_t* pattern, std::size_t pattern_size,
                       std::size_t from = 0);

// Finds the first place of a pattern in everything fed to it, counted from
// the first byte fed.
class StreamSearch {
 public:
  static constexpr std::size_t kMaxPattern = 32;

  // `pattern` (1 to kMaxPattern bytes) must outlive the search.
  StreamSearch(const std::uint8_t* pattern, std::size_t size)
      : pattern_(pattern), size_(size) {}

  // Feeds the next `n` bytes. Returns found(): once found, the position
  // stays and later bytes are ignored.
  std::int64_t Feed(const std::uint8_t* data, std::size_t n);
  // The position of the first match, or -1 while there is none.
  std::int64_t found() const { return found_; }

 private:
  const std::uint8_t* pattern_;
  std::size_t size_;
  std::uint8_t tail_[kMaxPattern - 1];  // the last bytes fed, up to size_ - 1
  std::size_t tail_size_ = 0;
  std::int64_t fed_ = 0;  // bytes fed before this piece
  std::int64_t found_ = -1;
};

}  // namespace sfx

#endif  // SFX_BASE_BYTE_SEARCH_H_
