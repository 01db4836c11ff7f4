// The installer's copy loop on the host: every entry of an installer
// extracted into a folder, reading in place (one processor) and with
// decode-ahead (two), in turn, for a number of rounds. Prints the wall
// time of each round and the best and median of each way.
//
//   copy_bench setup.exe out-folder [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "codec/decode_ahead.h"
#include "codec/file_entry.h"
#include "package/container.h"
#include "support/forwarding_platform.h"

namespace {

// The host's platform with a chosen number of processors.
class Processors : public sfx_test::ForwardingPlatform {
 public:
  explicit Processors(int n)
      : ForwardingPlatform(sfx::SystemPlatform()), n_(n) {}
  int ProcessorCount() override { return n_; }

 private:
  int n_;
};

// Seconds for one extraction of every entry into `folder`; negative on a
// failure.
double CopyAll(const std::string& folder) {
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<sfx::File> package;
  std::int32_t count = 0;
  if (sfx::OpenPackageAtFirstEntry(&package, &count) != sfx::PackageWalk::kOk) {
    return -1;
  }
  std::unique_ptr<sfx::EntrySource> entries =
      sfx::OpenEntrySource(*package, static_cast<std::uint32_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    if (sfx::ExtractPackedEntry(*entries, folder, false) !=
        sfx::ExtractStatus::kDone) {
      return -1;
    }
  }
  entries.reset();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: copy_bench setup.exe out-folder [rounds]\n");
    return 2;
  }
  sfx::ExePath = argv[1];
  if (sfx::CheckInstallerFile(sfx::ExePath, false) != sfx::PackageCheck::kOk) {
    return 1;
  }
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
  std::vector<double> times[2];
  for (int round = 0; round < rounds; ++round) {
    for (int processors : {1, 2}) {
      Processors platform(processors);
      sfx::SetPlatformForTesting(&platform);
      const double seconds = CopyAll(argv[2]);
      sfx::SetPlatformForTesting(nullptr);
      if (seconds < 0) {
        std::fprintf(stderr, "copy_bench: the extraction failed\n");
        return 1;
      }
      std::printf("%s\t%.3f\n", processors == 1 ? "in-place" : "ahead",
                  seconds);
      times[processors - 1].push_back(seconds);
    }
  }
  for (int i = 0; i < 2; ++i) {
    std::sort(times[i].begin(), times[i].end());
    std::printf("%s: best %.3f s, median %.3f s\n",
                i == 0 ? "in-place" : "ahead", times[i].front(),
                times[i][times[i].size() / 2]);
  }
  return 0;
}
