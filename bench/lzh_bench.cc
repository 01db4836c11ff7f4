// Throughput and compressed size of the LZH codec against zlib (level 6)
// and liblzma (preset 6), on one corpus, both as one stream and cut into
// 65000-byte blocks as packages store files. Throughput counts uncompressed
// bytes in both directions.
//   lzh_bench [--write_corpus=PATH] [benchmark flags]
// --write_corpus writes the corpus to PATH and exits (scripts/run-bench
// feeds the same bytes to the whole-process comparisons).
#include <benchmark/benchmark.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "codec/lzh_decoder.h"
#include "codec/lzh_encoder.h"
#include "corpus.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kBlockSize = 65000;

struct Codec {
  const char* name;
  std::function<Bytes(const std::uint8_t*, std::size_t)> encode;
  // Decodes `packed` into exactly `size` bytes at `out`.
  std::function<void(const Bytes&, std::uint8_t*, std::size_t)> decode;
  // Decodes the streams of this codec instead of encoding its own.
  const char* streams_of = nullptr;
};

Bytes LzhEncode(const std::uint8_t* data, std::size_t size) {
  return sfx::LzhEncodeBuffer(data, size, sfx::LzhLevel::kBest);
}

Bytes LzhEncodeFast(const std::uint8_t* data, std::size_t size) {
  return sfx::LzhEncodeBuffer(data, size, sfx::LzhLevel::kFast);
}

void LzhDecode(const Bytes& packed, std::uint8_t* out, std::size_t size) {
  std::int32_t n = 0;
  if (!sfx::LzhDecodeBuffer(packed.data(),
                            static_cast<std::uint32_t>(packed.size()), out,
                            static_cast<std::uint32_t>(size), &n)
           .ok() ||
      static_cast<std::size_t>(n) != size) {
    throw std::runtime_error("lzh");
  }
}

// The callback path (LzhDecode) over a memory source and sink, as a caller
// that streams would use it.
void LzhDecodeCallback(const Bytes& packed, std::uint8_t* out,
                       std::size_t size) {
  std::size_t in_pos = 0;
  std::size_t out_pos = 0;
  sfx::LzhDecode(
      [&](std::uint8_t* buffer, std::uint16_t requested,
          std::uint16_t& delivered) {
        const std::size_t n =
            std::min<std::size_t>(requested, packed.size() - in_pos);
        std::memcpy(buffer, packed.data() + in_pos, n);
        in_pos += n;
        delivered = static_cast<std::uint16_t>(n);
      },
      [&](const std::uint8_t* buffer, std::uint16_t count,
          std::uint16_t& written) {
        const std::size_t n = std::min<std::size_t>(count, size - out_pos);
        std::memcpy(out + out_pos, buffer, n);
        out_pos += n;
        written = static_cast<std::uint16_t>(n);
      });
  if (out_pos != size) throw std::runtime_error("lzh callback");
}

Bytes ZlibEncode(const std::uint8_t* data, std::size_t size) {
  uLongf n = compressBound(size);
  Bytes out(n);
  if (compress2(out.data(), &n, data, size, 6) != Z_OK) {
    throw std::runtime_error("zlib");
  }
  out.resize(n);
  return out;
}

void ZlibDecode(const Bytes& packed, std::uint8_t* out, std::size_t size) {
  uLongf n = size;
  if (uncompress(out, &n, packed.data(), packed.size()) != Z_OK || n != size) {
    throw std::runtime_error("zlib");
  }
}

Bytes XzEncode(const std::uint8_t* data, std::size_t size) {
  Bytes out(lzma_stream_buffer_bound(size));
  std::size_t n = 0;
  if (lzma_easy_buffer_encode(6, LZMA_CHECK_NONE, nullptr, data, size,
                              out.data(), &n, out.size()) != LZMA_OK) {
    throw std::runtime_error("lzma");
  }
  out.resize(n);
  return out;
}

void XzDecode(const Bytes& packed, std::uint8_t* out, std::size_t size) {
  std::uint64_t memlimit = UINT64_MAX;
  std::size_t in_pos = 0, out_pos = 0;
  if (lzma_stream_buffer_decode(&memlimit, 0, nullptr, packed.data(), &in_pos,
                                packed.size(), out, &out_pos,
                                size) != LZMA_OK ||
      out_pos != size) {
    throw std::runtime_error("lzma");
  }
}

// kCodecs[0] is the reference of the summary's ratios.
const Codec kCodecs[] = {
    {"lzh", LzhEncode, LzhDecode},
    {"lzh-fast", LzhEncodeFast, LzhDecode},
    // The same streams as "lzh", decoded through the callback path.
    {"lzh-callback", LzhEncode, LzhDecodeCallback, "lzh"},
    {"zlib-6", ZlibEncode, ZlibDecode},
    {"xz-6", XzEncode, XzDecode},
};

const sfx::bench::Corpus& TheCorpus() {
  static const sfx::bench::Corpus corpus = sfx::bench::AssembleCorpus();
  return corpus;
}

// The corpus as one piece or as 65000-byte blocks.
std::vector<std::pair<std::size_t, std::size_t>> Pieces(bool blocks) {
  const std::size_t size = TheCorpus().data.size();
  std::vector<std::pair<std::size_t, std::size_t>> pieces;
  const std::size_t step = blocks ? kBlockSize : size;
  for (std::size_t at = 0; at < size; at += step) {
    pieces.emplace_back(at, std::min(step, size - at));
  }
  return pieces;
}

std::vector<Bytes> Encode(const Codec& codec, bool blocks) {
  std::vector<Bytes> packed;
  for (const auto& piece : Pieces(blocks)) {
    packed.push_back(
        codec.encode(TheCorpus().data.data() + piece.first, piece.second));
  }
  return packed;
}

// Encoded pieces per codec and layout, made once.
const std::vector<Bytes>& Packed(const Codec& codec, bool blocks) {
  static std::map<std::string, std::vector<Bytes>> cache;
  const std::string key =
      std::string(codec.streams_of ? codec.streams_of : codec.name) +
      (blocks ? "/b" : "/w");
  auto it = cache.find(key);
  if (it == cache.end()) it = cache.emplace(key, Encode(codec, blocks)).first;
  return it->second;
}

std::size_t TotalSize(const std::vector<Bytes>& packed) {
  std::size_t total = 0;
  for (const Bytes& p : packed) total += p.size();
  return total;
}

void SetCounters(benchmark::State& state, const std::vector<Bytes>& packed) {
  const double original = static_cast<double>(TheCorpus().data.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(original));
  state.counters["packed"] = static_cast<double>(TotalSize(packed));
  state.counters["ratio%"] =
      100.0 * static_cast<double>(TotalSize(packed)) / original;
}

void BM_Encode(benchmark::State& state, const Codec* codec, bool blocks) {
  // Before the clock starts: the corpus is assembled (the first benchmark
  // used to time that too), and one block warms the code, its tables and
  // the allocator, as the decoders' repeated runs are warm.
  const Bytes& corpus = TheCorpus().data;
  benchmark::DoNotOptimize(
      codec->encode(corpus.data(), std::min(kBlockSize, corpus.size())));
  std::vector<Bytes> packed;
  for (auto _ : state) {
    packed = Encode(*codec, blocks);
    benchmark::DoNotOptimize(packed.data());
  }
  SetCounters(state, packed);
}

void BM_Decode(benchmark::State& state, const Codec* codec, bool blocks) {
  const std::vector<Bytes>& packed = Packed(*codec, blocks);
  const auto pieces = Pieces(blocks);
  Bytes out(TheCorpus().data.size() + 64);
  for (auto _ : state) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      codec->decode(packed[i], out.data() + pieces[i].first, pieces[i].second);
    }
    benchmark::DoNotOptimize(out.data());
  }
  if (std::memcmp(out.data(), TheCorpus().data.data(),
                  TheCorpus().data.size()) != 0) {
    state.SkipWithError("decoded bytes differ from the corpus");
  }
  SetCounters(state, packed);
}

// Processor seconds of the fastest of `runs` decodes of the one-stream
// corpus by each of `codecs` (processor time is steadier than wall time on
// a shared machine). The codecs take turns, so that a burst of load on the
// machine falls on all of them alike.
std::vector<double> BestDecodeSeconds(const std::vector<const Codec*>& codecs,
                                      int runs) {
  const std::size_t size = TheCorpus().data.size();
  Bytes out(size + 64);
  std::vector<double> best(codecs.size(), 0);
  for (int i = 0; i < runs; ++i) {
    for (std::size_t c = 0; c < codecs.size(); ++c) {
      const Bytes& packed = Packed(*codecs[c], false)[0];
      const std::clock_t start = std::clock();
      codecs[c]->decode(packed, out.data(), size);
      const double seconds =
          static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
      if (i == 0 || seconds < best[c]) best[c] = seconds;
    }
  }
  return best;
}

void PrintSummary() {
  const double original = static_cast<double>(TheCorpus().data.size());
  std::printf("\ncorpus: %zu bytes from %zu files\n", TheCorpus().data.size(),
              TheCorpus().sources.size());
  for (bool blocks : {false, true}) {
    std::printf("%-13s", blocks ? "65000 blocks:" : "one stream:");
    const double lzh =
        static_cast<double>(TotalSize(Packed(kCodecs[0], blocks)));
    for (const Codec& codec : kCodecs) {
      if (codec.streams_of) continue;
      const double size = static_cast<double>(TotalSize(Packed(codec, blocks)));
      std::printf("  %s %.0f (%.1f%%, lzh/%s %.3f)", codec.name, size,
                  100.0 * size / original, codec.name, lzh / size);
    }
    std::printf("\n");
  }
  // The two decoder entry points on the same stream, best of seven each.
  const std::vector<double> best =
      BestDecodeSeconds({&kCodecs[0], &kCodecs[2]}, 7);
  const double buffer = best[0];
  const double callback = best[1];
  std::printf(
      "lzh decode, one stream: buffer path %.1f MB/s, callback path %.1f "
      "MB/s: the callback path takes %.1f%% longer\n",
      original / 1e6 / buffer, original / 1e6 / callback,
      100.0 * (callback / buffer - 1.0));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string flag = "--write_corpus=";
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], flag.c_str(), flag.size()) == 0) {
      const char* path = argv[i] + flag.size();
      std::FILE* file = std::fopen(path, "wb");
      const Bytes& data = TheCorpus().data;
      if (!file ||
          std::fwrite(data.data(), 1, data.size(), file) != data.size() ||
          std::fclose(file) != 0) {
        std::fprintf(stderr, "lzh_bench: cannot write %s\n", path);
        return 1;
      }
      std::printf("lzh_bench: wrote %zu bytes from %zu files to %s\n",
                  data.size(), TheCorpus().sources.size(), path);
      return 0;
    }
    rest.push_back(argv[i]);
  }
  int rest_count = static_cast<int>(rest.size());
  for (const Codec& codec : kCodecs) {
    for (bool blocks : {false, true}) {
      const std::string suffix =
          std::string(codec.name) + (blocks ? "/65000-blocks" : "/one-stream");
      // Encoding is slow for some codecs: one pass is a good enough figure.
      if (!codec.streams_of) {
        benchmark::RegisterBenchmark(("BM_Encode/" + suffix).c_str(), BM_Encode,
                                     &codec, blocks)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
      }
      benchmark::RegisterBenchmark(("BM_Decode/" + suffix).c_str(), BM_Decode,
                                   &codec, blocks)
          ->Unit(benchmark::kMillisecond)
          ->MinTime(1.0);
    }
  }
  benchmark::Initialize(&rest_count, rest.data());
  if (benchmark::ReportUnrecognizedArguments(rest_count, rest.data())) return 2;
  benchmark::RunSpecifiedBenchmarks();
  PrintSummary();
  benchmark::Shutdown();
  return 0;
}
