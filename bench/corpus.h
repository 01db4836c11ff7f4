// The benchmark corpus: about 20 MB of binaries, libraries and text taken
// from a Debian system in a fixed order, so that every run on a machine
// measures the same bytes.
#ifndef BENCH_CORPUS_H_
#define BENCH_CORPUS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace sfx {
namespace bench {

struct Corpus {
  std::vector<std::uint8_t> data;
  std::vector<std::string> sources;  // the files, in order
};

// Executables from /usr/bin (8 MB), shared libraries from the multiarch
// directories of /usr/lib (6 MB) and uncompressed text from /usr/share
// (6 MB): whole files sorted by path, the last of each group cut to fit.
Corpus AssembleCorpus();

}  // namespace bench
}  // namespace sfx

#endif  // BENCH_CORPUS_H_
