// `sfxtool lzh encode|decode IN OUT`: converts between plain data and one
// raw LZH stream (4-byte length field + bit stream), as the package stores
// the header and each file block. '-' stands for stdin or stdout.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "codec/lzh_decoder.h"
#include "codec/lzh_encoder.h"
#include "commands.h"
#include "host_files.h"
#include "platform/file_io.h"
#include "platform/replacing_file.h"

namespace sfxtool {

namespace {

constexpr char kLzhUsage[] =
    "usage: sfxtool lzh encode [--level fast|best] IN OUT\n"
    "       sfxtool lzh decode IN OUT\n"
    "\n"
    "Encodes IN into one LZH stream (a 4-byte little-endian length, then the\n"
    "adaptive-Huffman bit stream the installer decodes), or decodes such a\n"
    "stream back. IN or OUT may be '-' for stdin or stdout. Input of 2 GiB\n"
    "or more cannot be encoded.\n"
    "  --level best   smallest output (the default)\n"
    "  --level fast   about twice as fast, a little larger\n"
    "  --             ends the options: IN and OUT may begin with '-'\n";

// No symbol yields more than 60 bytes and none takes fewer than 10 bits
// when it yields more than one byte, so an honest stream of n bytes after
// its length field decodes to at most 6 bytes per bit.
constexpr std::uint64_t kMaxBytesPerStreamByte = 48;

bool ReadAll(const std::string& path, std::vector<std::uint8_t>* data) {
  std::FILE* file = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (!file) {
    std::fprintf(stderr, "sfxtool: cannot open %s: %s\n", path.c_str(),
                 std::strerror(errno));
    return false;
  }
  const bool ok = ReadStream(file, data);
  if (!ok) {
    std::fprintf(stderr, "sfxtool: cannot read %s: %s\n", path.c_str(),
                 std::strerror(errno));
  }
  if (file != stdin) std::fclose(file);
  return ok;
}

// Where a command writes: stdout for '-', else a temporary file beside
// OUT that takes OUT's name only once it is complete, so that a failure
// leaves an existing OUT as it was.
class Output {
 public:
  ~Output() {
    if (file_ && file_ != stdout) std::fclose(file_);
  }
  // Prints the message and returns false when OUT is IN (the same file,
  // whatever its name), a directory, or cannot be created.
  bool Open(const std::string& in, const std::string& out) {
    path_ = out;
    if (out == "-") {
      file_ = stdout;
      return true;
    }
    struct stat target;
    if (::stat(out.c_str(), &target) == 0) {
      struct stat source;
      const bool same =
          (in == "-" ? ::fstat(0, &source) : ::stat(in.c_str(), &source)) ==
              0 &&
          source.st_dev == target.st_dev && source.st_ino == target.st_ino;
      if (same) {
        std::fprintf(stderr,
                     "sfxtool: the output %s is the input %s; choose another "
                     "output\n",
                     out.c_str(), in.c_str());
        return false;
      }
      if (S_ISDIR(target.st_mode)) {
        std::fprintf(stderr, "sfxtool: the output %s is a directory\n",
                     out.c_str());
        return false;
      }
    }
    std::string problem;
    if (!replaced_.Check(out, &problem)) {
      std::fprintf(stderr, "sfxtool: %s\n", problem.c_str());
      return false;
    }
    const int fd = replacing_.Create(out);
    if (fd >= 0) file_ = ::fdopen(fd, "wb");
    if (!file_) {
      std::fprintf(stderr, "sfxtool: cannot create %s: %s\n", out.c_str(),
                   std::strerror(errno));
      if (fd >= 0) ::close(fd);
      return false;
    }
    return true;
  }
  std::FILE* file() const { return file_; }
  // Flushes what is written and gives the file its name; false, with the
  // message printed, when a write failed (`ok` false) or fails now.
  bool Finish(bool ok) {
    ok = std::fflush(file_) == 0 && ok;
    if (file_ != stdout) {
      ok = std::fclose(file_) == 0 && ok;
      file_ = nullptr;
      ok = ok &&
           (replacing_.temporary().empty() ||
            replaced_.KeepMode(replacing_.temporary())) &&
           replacing_.Commit();
    }
    if (!ok) {
      std::fprintf(stderr, "sfxtool: cannot write %s: %s\n", path_.c_str(),
                   std::strerror(errno));
    }
    return ok;
  }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  sfx::ReplacingFile replacing_;
  ReplacedOutput replaced_;
};

int Encode(const std::string& in, const std::string& out, sfx::LzhLevel level) {
  Output output;
  if (!output.Open(in, out)) return 1;
  std::vector<std::uint8_t> data;
  if (!ReadAll(in, &data)) return 1;
  if (data.size() >
      static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    std::fprintf(stderr,
                 "sfxtool: %s: input of %zu bytes is too long (at "
                 "most 2147483647)\n",
                 in.c_str(), data.size());
    return 1;
  }
  const std::vector<std::uint8_t> stream =
      sfx::LzhEncodeBuffer(data.data(), data.size(), level);
  const bool written = std::fwrite(stream.data(), 1, stream.size(),
                                   output.file()) == stream.size();
  return output.Finish(written) ? 0 : 1;
}

int Decode(const std::string& in, const std::string& out) {
  Output output;
  if (!output.Open(in, out)) return 1;
  // A regular file is read as the decoder asks for it, so that neither the
  // memory nor the page faults grow with its size; stdin and other streams
  // are read whole first, as the check below needs their size.
  std::vector<std::uint8_t> stream;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> source(nullptr, &std::fclose);
  std::uint64_t stream_size = 0;
  if (in != "-") {
    source.reset(std::fopen(in.c_str(), "rb"));
    struct stat info;
    if (source && ::fstat(fileno(source.get()), &info) == 0 &&
        S_ISREG(info.st_mode)) {
      stream_size = static_cast<std::uint64_t>(info.st_size);
      std::setvbuf(source.get(), nullptr, _IOFBF, 1 << 16);
    } else {
      source.reset();
    }
  }
  if (!source) {
    if (!ReadAll(in, &stream)) return 1;
    stream_size = stream.size();
  }
  std::uint8_t field[4];
  if (stream_size < sizeof field) {
    std::fprintf(stderr,
                 "sfxtool: %s: not an LZH stream (%llu bytes, shorter "
                 "than the length field)\n",
                 in.c_str(), static_cast<unsigned long long>(stream_size));
    return 1;
  }
  if (source) {
    if (std::fread(field, 1, sizeof field, source.get()) != sizeof field) {
      std::fprintf(stderr, "sfxtool: cannot read %s: %s\n", in.c_str(),
                   std::strerror(errno));
      return 1;
    }
    std::rewind(source.get());  // the decoder reads the field itself
  } else {
    std::memcpy(field, stream.data(), sizeof field);
  }
  const std::int32_t length = sfx::LoadInt32(field);
  if (length < 0) {
    std::fprintf(stderr,
                 "sfxtool: %s: not an LZH stream (negative length "
                 "%d)\n",
                 in.c_str(), length);
    return 1;
  }
  const std::uint64_t most =
      kMaxBytesPerStreamByte * (stream_size - sizeof field);
  if (static_cast<std::uint64_t>(length) > most) {
    std::fprintf(stderr,
                 "sfxtool: %s: cannot be decoded: declares %d bytes, "
                 "but %llu bytes of stream hold at most %llu\n",
                 in.c_str(), length,
                 static_cast<unsigned long long>(stream_size - sizeof field),
                 static_cast<unsigned long long>(most));
    return 1;
  }
  // Decoded through the callback path straight into the output file, so
  // that memory stays small whatever the length. The last match may run
  // up to 59 bytes past the declared length: those bytes are dropped.
  std::FILE* file = output.file();
  std::size_t read_at = 0;
  std::uint64_t left = static_cast<std::uint64_t>(length);
  bool write_failed = false;
  const sfx::Status decoded = sfx::LzhDecode(
      [&](std::uint8_t* buffer, std::uint16_t requested,
          std::uint16_t& delivered) {
        if (source) {
          delivered = static_cast<std::uint16_t>(
              std::fread(buffer, 1, requested, source.get()));
          return;
        }
        const std::size_t n =
            std::min<std::size_t>(requested, stream.size() - read_at);
        std::memcpy(buffer, stream.data() + read_at, n);
        read_at += n;
        delivered = static_cast<std::uint16_t>(n);
      },
      [&](const std::uint8_t* buffer, std::uint16_t count,
          std::uint16_t& written) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, left));
        written = count;
        if (n > 0 && std::fwrite(buffer, 1, n, file) != n) {
          write_failed = true;
          written = 0;
        }
        left -= n;
      });
  if (source && std::ferror(source.get())) {
    std::fprintf(stderr, "sfxtool: cannot read %s: %s\n", in.c_str(),
                 std::strerror(errno));
    return 1;
  }
  if (write_failed) {
    output.Finish(false);
    return 1;
  }
  if (!decoded.ok() || left != 0) {
    std::fprintf(
        stderr, "sfxtool: %s: cannot be decoded: %s\n", in.c_str(),
        decoded.ok() ? "the stream ends early" : decoded.message().c_str());
    return 1;
  }
  return output.Finish(true) ? 0 : 1;
}

}  // namespace

int RunLzhCommand(int argc, char** argv) {
  if (argc >= 1 && (std::strcmp(argv[0], "--help") == 0 ||
                    std::strcmp(argv[0], "-h") == 0)) {
    std::fputs(kLzhUsage, stdout);
    return 0;
  }
  sfx::LzhLevel level = sfx::LzhLevel::kBest;
  bool leveled = false;
  std::vector<std::string> args;
  OptionsGiven given("sfxtool lzh");
  bool operands_only = false;  // after "--": IN or OUT may begin with '-'
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!operands_only && arg == "--") {
      operands_only = true;
    } else if (!operands_only &&
               (arg == "--level" || arg.rfind("--level=", 0) == 0)) {
      leveled = true;
      if (!given.First("--level", "--level")) {
        std::fprintf(stderr, "\n%s", kLzhUsage);
        return 2;
      }
      std::string value;
      if (arg == "--level") {
        if (i + 1 == argc) {
          std::fprintf(stderr, "sfxtool: --level needs a value\n\n%s",
                       kLzhUsage);
          return 2;
        }
        value = argv[++i];
      } else {
        value = arg.substr(8);
      }
      if (!sfx::ParseLzhLevel(value, &level)) {
        std::fprintf(stderr, "sfxtool: unknown level '%s' (fast or best)\n\n%s",
                     value.c_str(), kLzhUsage);
        return 2;
      }
    } else {
      args.push_back(arg);
    }
  }
  if (args.size() != 3) {
    std::fprintf(stderr, "sfxtool: lzh needs a mode, IN and OUT\n\n%s",
                 kLzhUsage);
    return 2;
  }
  const std::string& mode = args[0];
  if (mode == "encode") return Encode(args[1], args[2], level);
  if (mode == "decode") {
    if (leveled) {
      std::fprintf(stderr, "sfxtool: --level is for encode only\n\n%s",
                   kLzhUsage);
      return 2;
    }
    return Decode(args[1], args[2]);
  }
  std::fprintf(stderr, "sfxtool: unknown lzh mode '%s'\n\n%s", mode.c_str(),
               kLzhUsage);
  return 2;
}

}  // namespace sfxtool
