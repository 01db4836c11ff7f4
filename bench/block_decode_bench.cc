// The decoder's speed as the installer meets it: every packed block of an
// installer's package, each a stream of its own with a fresh tree, decoded
// in memory (the package is read first), or one stream decoded whole.
// Built in both trees: run under Wine, the Win32 build measures the
// installer's own 32-bit decoder at its own compile flags (make bench
// does). Prints the speed of each round, then the best and the median, in
// MB (10^6 bytes) of decoded output per second.
//
//   block_decode_bench setup.exe [rounds]
//   block_decode_bench --stream FILE [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/bytes.h"
#include "codec/file_entry.h"
#include "codec/lzh_decoder.h"
#include "package/container.h"
#include "platform/file_io.h"
#include "platform/platform.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The packed blocks of every entry of the installer at `path`, in package
// order; false with a message when the file is no valid installer.
bool LoadPackageBlocks(const char* path, std::vector<Bytes>* blocks) {
  sfx::ExePath = path;
  if (sfx::CheckInstallerFile(sfx::ExePath, false) != sfx::PackageCheck::kOk) {
    std::fprintf(stderr, "block_decode_bench: %s is no valid installer\n",
                 path);
    return false;
  }
  std::unique_ptr<sfx::File> package;
  std::int32_t count = 0;
  if (sfx::OpenPackageAtFirstEntry(&package, &count) != sfx::PackageWalk::kOk) {
    std::fprintf(stderr, "block_decode_bench: cannot read %s\n", path);
    return false;
  }
  Bytes input(sfx::kMaxBlockBufferSize);
  for (std::int32_t i = 0; i < count; ++i) {
    sfx::PackedFileEntry entry;
    if (!sfx::ReadPackedFileEntry(*package, &entry)) {
      std::fprintf(stderr, "block_decode_bench: entry %d unreadable\n", i);
      return false;
    }
    for (std::size_t b = 0; b < entry.blocks.size(); ++b) {
      const std::uint8_t* data = nullptr;
      std::uint32_t length = 0;
      if (sfx::ReadFileBlock(*package, entry.blocks[b].BlockSize, false,
                             input.data(), nullptr, &data,
                             &length) != sfx::BlockRead::kOk) {
        std::fprintf(stderr, "block_decode_bench: entry %d unreadable\n", i);
        return false;
      }
      if (entry.header.Packed != 0) blocks->emplace_back(data, data + length);
    }
  }
  return true;
}

// The whole file at `path`, read through the platform as the package is.
bool LoadFile(const char* path, Bytes* bytes) {
  std::unique_ptr<sfx::File> file = sfx::Os().OpenRead(path);
  std::int64_t size = 0;
  std::uint32_t got = 0;
  bool read = file && file->Size(&size) && size <= 0x7FFFFFFF;
  if (read) {
    bytes->resize(static_cast<std::size_t>(size));
    read = sfx::ReadFull(*file, bytes->data(), static_cast<std::uint32_t>(size),
                         &got) &&
           got == size;
  }
  if (!read) std::fprintf(stderr, "block_decode_bench: cannot read %s\n", path);
  return read;
}

// Decodes every stream once; the decoded bytes, or -1 when one fails.
long long DecodeAll(const std::vector<Bytes>& streams, Bytes* out) {
  long long total = 0;
  for (const Bytes& s : streams) {
    std::int32_t produced = 0;
    if (!sfx::LzhDecodeBuffer(
             s.data(), static_cast<std::uint32_t>(s.size()), out->data(),
             static_cast<std::uint32_t>(out->size()), &produced)
             .ok() ||
        produced <= 0) {
      return -1;
    }
    total += produced;
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  const bool stream = argc > 1 && std::strcmp(argv[1], "--stream") == 0;
  const int first = stream ? 2 : 1;
  const bool help = argc > 1 && (std::strcmp(argv[1], "--help") == 0 ||
                                 std::strcmp(argv[1], "-h") == 0);
  if (argc <= first || help) {
    std::fprintf(help ? stdout : stderr,
                 "usage: block_decode_bench setup.exe [rounds]\n"
                 "       block_decode_bench --stream FILE [rounds]\n"
                 "Decodes the packed blocks of an installer (or one LZH "
                 "stream) `rounds`\ntimes (5 by default) and prints each "
                 "round's speed, the best and the median.\n");
    return help ? 0 : 2;
  }
  std::vector<Bytes> streams;
  std::size_t capacity = sfx::kMaxBlockBufferSize;
  if (stream) {
    streams.emplace_back();
    if (!LoadFile(argv[first], &streams.back())) return 1;
    if (streams.back().size() >= 4) {
      capacity = static_cast<std::size_t>(
          std::max<std::int32_t>(sfx::LoadInt32(streams.back().data()), 1));
    }
  } else if (!LoadPackageBlocks(argv[first], &streams)) {
    return 1;
  }
  if (streams.empty()) {
    std::fprintf(stderr, "block_decode_bench: no packed block to decode\n");
    return 1;
  }
  const int rounds = argc > first + 1 ? std::atoi(argv[first + 1]) : 5;
  Bytes out(capacity);
  std::vector<double> speeds;
  for (int round = 0; round < rounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const long long decoded = DecodeAll(streams, &out);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
    if (decoded < 0) {
      std::fprintf(stderr, "block_decode_bench: a stream does not decode\n");
      return 1;
    }
    speeds.push_back(static_cast<double>(decoded) / 1e6 / seconds);
    std::printf("round %d: %lld bytes from %zu streams, %.3f s, %.1f MB/s\n",
                round + 1, decoded, streams.size(), seconds, speeds.back());
  }
  std::sort(speeds.begin(), speeds.end());
  std::printf("best %.1f MB/s, median %.1f MB/s (%d rounds)\n", speeds.back(),
              speeds[speeds.size() / 2], rounds);
  return 0;
}
