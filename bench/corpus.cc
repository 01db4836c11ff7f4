// Assembly of the benchmark corpus (corpus.h).
#include "corpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <system_error>

namespace sfx {
namespace bench {

namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t kMinFile = 16 * 1024;
constexpr std::uintmax_t kMaxFile = 4 * 1024 * 1024;

// Regular files (no links) under `dir`, sorted; recursive when asked.
std::vector<fs::path> ListFiles(
    const fs::path& dir, bool recursive,
    const std::function<bool(const fs::path&)>& keep) {
  std::vector<fs::path> files;
  std::error_code ec;
  auto consider = [&](const fs::directory_entry& entry) {
    std::error_code e;
    if (!entry.is_symlink(e) && entry.is_regular_file(e) &&
        keep(entry.path())) {
      const std::uintmax_t size = entry.file_size(e);
      if (!e && size >= kMinFile / 16 && size <= kMaxFile) {
        files.push_back(entry.path());
      }
    }
  };
  if (recursive) {
    for (fs::recursive_directory_iterator
             it(dir, fs::directory_options::skip_permission_denied, ec),
         end;
         !ec && it != end; it.increment(ec)) {
      consider(*it);
    }
  } else {
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end;
         it.increment(ec)) {
      consider(*it);
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Appends whole files until `budget` bytes have been added.
void Take(const std::vector<fs::path>& files, std::size_t budget,
          std::uintmax_t min_size, Corpus* corpus) {
  std::size_t taken = 0;
  for (const fs::path& path : files) {
    if (taken >= budget) break;
    std::error_code ec;
    if (fs::file_size(path, ec) < min_size || ec) continue;
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (bytes.size() > budget - taken) bytes.resize(budget - taken);
    corpus->data.insert(corpus->data.end(), bytes.begin(), bytes.end());
    corpus->sources.push_back(path.string());
    taken += bytes.size();
  }
}

bool HasTextName(const fs::path& path) {
  static const char* const kExtensions[] = {".txt",  ".pm",  ".py", ".html",
                                            ".xml",  ".css", ".js", ".sh",
                                            ".conf", ".h",   ".c",  ".pl"};
  const std::string ext = path.extension().string();
  if (path.filename() == "copyright") return true;
  return std::find(std::begin(kExtensions), std::end(kExtensions), ext) !=
         std::end(kExtensions);
}

}  // namespace

Corpus AssembleCorpus() {
  Corpus corpus;
  Take(ListFiles("/usr/bin", false, [](const fs::path&) { return true; }),
       8000000, kMinFile, &corpus);
  std::vector<fs::path> libraries;
  std::error_code ec;
  for (fs::directory_iterator it("/usr/lib", ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().filename().string().find("-linux-gnu") !=
        std::string::npos) {
      const std::vector<fs::path> found =
          ListFiles(it->path(), false, [](const fs::path& p) {
            return p.filename().string().find(".so") != std::string::npos;
          });
      libraries.insert(libraries.end(), found.begin(), found.end());
    }
  }
  std::sort(libraries.begin(), libraries.end());
  Take(libraries, 6000000, kMinFile, &corpus);
  Take(ListFiles("/usr/share", true, HasTextName), 6000000, 1024, &corpus);
  return corpus;
}

}  // namespace bench
}  // namespace sfx
