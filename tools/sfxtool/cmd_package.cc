// The installer commands of sfxtool: build (manifest to installer), list,
// verify and extract. The last three read the file with the installer's
// own readers (through the host platform), so they accept and reject
// exactly what the installer program would. build, verify and extract
// compress or decode blocks on several threads (-j) with the same output
// for any number, and show a progress line on a terminal. Failures are
// one line on standard error and exit code 1; usage errors exit code 2.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ansi.h"
#include "authenticode.h"
#include "codec/file_entry.h"
#include "commands.h"
#include "host_files.h"
#include "installer_reader.h"
#include "listing.h"
#include "manifest.h"
#include "output_tree.h"
#include "package/block_pipeline.h"
#include "package/package_writer.h"
#include "paths/name_rules.h"
#include "platform/platform.h"
#include "progress.h"
#include "vendor_build.h"

namespace sfxtool {
namespace {

// How the options common to build, verify and extract read.
#define SFX_COMMON_OPTIONS                                                \
  "  -j N, --jobs N  compress or decode on N threads (default: every\n"   \
  "                  core, here %u); the output is the same for any N.\n" \
  "                  At most 4 blocks per thread are in memory (65000\n"  \
  "                  bytes each, at most 130000 packed), so memory\n"     \
  "                  stays at a few MB whatever the package's size.\n"    \
  "  -q, --quiet     no progress line and no summary; failures only\n"    \
  "  -v, --verbose   one line per file\n"                                 \
  "  --              ends the options: a file name after it may begin\n"  \
  "                  with '-'\n"                                          \
  "On a terminal a progress line shows work that lasts over a second.\n"

constexpr char kBuildUsage[] =
    "usage: sfxtool build MANIFEST -o SETUP.EXE [--stub FILE]\n"
    "                     [--format 1.2|2.1|2.2|2.3|2.4] [--skip-checksum]\n"
    "                     [--werror] [--level fast|best] [-j N] [-q] [-v]\n"
    "                     [--sign CERT [--key KEY] [--key-password-file FILE]\n"
    "                      [--timestamp URL]]\n"
    "Builds an installer from a TOML manifest (see docs/manifest.md and\n"
    "'sfxtool help manifest'). The stub is --stub, else $SFX_STUB, else\n"
    "<sfxtool's folder>/../share/sfx/installer.exe (installed), else\n"
    "<sfxtool's folder>/../win32/installer.exe (build tree). --sign signs the\n"
    "result with osslsigncode and checks it again: CERT and KEY in PEM (or\n"
    "DER), or CERT alone a PKCS#12 file (.pfx) with both. The password of\n"
    "an encrypted KEY or CERT is the first line of --key-password-file,\n"
    "else it is asked for on the terminal. Time stamps are the files'\n"
    "modification times in the local time zone (TZ), clamped to\n"
    "SOURCE_DATE_EPOCH when it is set (empty counts as unset). --werror:\n"
    "stop at a warning.\n"
    "--level sets the compression (as for sfxtool lzh encode; best by\n"
    "default). The installer is written under a temporary name and renamed\n"
    "once complete; an output that is one of the inputs (stub, manifest, a\n"
    "source) is refused.\n" SFX_COMMON_OPTIONS;
constexpr char kListUsage[] =
    "usage: sfxtool list SETUP.EXE [--json]\n"
    "Shows the installer's header and one row per packaged file. Characters\n"
    "that are not printable are shown as \\xNN. After '--' the name of the\n"
    "installer may begin with '-'.\n";
constexpr char kVerifyUsage[] =
    "usage: sfxtool verify SETUP.EXE [-j N] [-q] [-v]\n"
    "Checks the installer as the installer program does (marker and\n"
    "checksum), then reads the header and decodes every block. Exit code 0\n"
    "when everything is sound, 1 with the reason "
    "otherwise.\n" SFX_COMMON_OPTIONS;
constexpr char kExtractUsage[] =
    "usage: sfxtool extract SETUP.EXE -o DIR [-j N] [-q] [-v]\n"
    "Writes every packaged file, with its time stamp, below DIR: one folder\n"
    "per target directory, macros kept as folder names (\"..\" becomes\n"
    "\"(parent)\", a colon becomes \"_\"); files for the destination itself\n"
    "go into DIR. Names are written in UTF-8. Each file is written under a\n"
    "temporary name and renamed once its size matches its entry; symbolic\n"
    "links inside DIR are never followed, and the installer itself is never\n"
    "replaced.\n" SFX_COMMON_OPTIONS;

#undef SFX_COMMON_OPTIONS

bool IsHelp(const char* arg) {
  return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

int Usage(const char* usage) {
  std::fprintf(stderr, usage, sfx::DefaultJobCount());
  return 2;
}

int Help(const char* usage) {
  std::printf(usage, sfx::DefaultJobCount());
  return 0;
}

// Every block in flight may keep its source file open while building: with
// 4 blocks per thread, 64 threads stay well below the usual limit of 1024
// open files.
constexpr unsigned kMaxJobs = 64;

// -j, -q and -v, shared by build, verify and extract.
struct CommonOptions {
  unsigned jobs = std::min(sfx::DefaultJobCount(), kMaxJobs);
  bool quiet = false;
  bool verbose = false;
  bool progress() const { return !quiet && Progress::OnTerminal(); }
};

enum class Parsed { kNo, kYes, kBad };

// Takes argv[*i] (and its value) when it is a common option; kBad for a
// missing or wrong value and for an option given before.
Parsed ParseCommon(int argc, char** argv, int* i, CommonOptions* options,
                   OptionsGiven* given) {
  const std::string arg = argv[*i];
  std::string value;
  if (arg == "-q" || arg == "--quiet" || arg == "-v" || arg == "--verbose") {
    const bool quiet = arg == "-q" || arg == "--quiet";
    if (!given->First(quiet ? "-q" : "-v", arg)) return Parsed::kBad;
    (quiet ? options->quiet : options->verbose) = true;
    return Parsed::kYes;
  }
  std::string written = "-j";
  if (arg == "-j" || arg == "--jobs") {
    if (*i + 1 >= argc) return Parsed::kBad;
    written = arg;
    value = argv[++*i];
  } else if (arg.size() > 2 && arg.compare(0, 2, "-j") == 0) {
    value = arg.substr(2);
  } else if (arg.compare(0, 7, "--jobs=") == 0) {
    written = "--jobs";
    value = arg.substr(7);
  } else {
    return Parsed::kNo;
  }
  if (!given->First("-j", written)) return Parsed::kBad;
  char* end = nullptr;
  errno = 0;
  const unsigned long n = std::strtoul(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || errno != 0 || n < 1 || n > kMaxJobs) {
    std::fprintf(stderr,
                 "sfxtool: -j wants a number of threads from 1 to %u, not "
                 "'%s'\n",
                 kMaxJobs, value.c_str());
    return Parsed::kBad;
  }
  options->jobs = static_cast<unsigned>(n);
  return Parsed::kYes;
}

// A command's own flags: takes `arg` (with `next`, the argument after it
// or null, setting *took_next when it is the flag's value) and says
// whether it was one of them.
using OwnFlags = std::function<bool(const std::string& arg, const char* next,
                                    bool* took_next)>;

int Unexpected(const char* command, const char* arg, const char* usage) {
  std::fprintf(stderr, "%s: unexpected argument '%s'\n", command, arg);
  return Usage(usage);
}

// ParseArguments' result when the command is to run.
constexpr int kRun = -1;

// Walks the arguments of `command` ("sfxtool build"): the common options
// (when `options`), -h/--help, the command's own flags and one operand
// (`*operand`); after "--" every argument is an operand, so that a file
// name may begin with '-'. Every option may be given once. kRun, or the
// exit code to end with: 0 after the help, 2 after a usage error (an
// option given twice, an unexpected argument).
int ParseArguments(const char* command, int argc, char** argv,
                   const char* usage, CommonOptions* options,
                   const OwnFlags& own, std::string* operand) {
  OptionsGiven given(command);
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) {
      while (++i < argc) {
        if (!operand->empty() || argv[i][0] == '\0') {
          return Unexpected(command, argv[i], usage);
        }
        *operand = argv[i];
      }
      break;
    }
    if (options) {
      const Parsed common = ParseCommon(argc, argv, &i, options, &given);
      if (common == Parsed::kBad) return Usage(usage);
      if (common == Parsed::kYes) continue;
    }
    const std::string arg = argv[i];
    if (IsHelp(argv[i])) return Help(usage);
    // A long flag's value may follow it or be joined to it ("--level=fast").
    const std::size_t equals = arg.find('=');
    const bool joined = arg.rfind("--", 0) == 0 && equals != std::string::npos;
    const std::string name = joined ? arg.substr(0, equals) : arg;
    const std::string joined_value = joined ? arg.substr(equals + 1) : "";
    const char* next =
        joined ? joined_value.c_str() : (i + 1 < argc ? argv[i + 1] : nullptr);
    bool took_next = false;
    if (own && own(name, next, &took_next)) {
      if (joined && !took_next) {
        std::fprintf(stderr, "%s: %s takes no value\n", command, name.c_str());
        return Usage(usage);
      }
      if (!given.First(name, name)) return Usage(usage);
      if (took_next && !joined) ++i;
      continue;
    }
    if (operand->empty() && !arg.empty() && arg[0] != '-') {
      *operand = arg;
      continue;
    }
    return Unexpected(command, argv[i], usage);
  }
  return kRun;
}

// The folders below the output directory for a target directory, as host
// names: each component kept as it is (macros included) and converted to
// UTF-8, but never one that would climb out of the output directory or
// name a drive.
std::vector<std::string> HostFolderOf(const std::string& target_dir) {
  std::vector<std::string> folder;
  std::string component;
  auto flush = [&folder, &component]() {
    if (component.empty() || component == ".") {
      component.clear();
      return;
    }
    if (component == "..") component = "(parent)";
    for (char& c : component) {
      if (c == ':') c = '_';
    }
    folder.push_back(AnsiToUtf8(component));
    component.clear();
  };
  for (char c : target_dir) {
    if (c == '\\' || c == '/') {
      flush();
    } else {
      component += c;
      // A macro ends a folder of its own: "%SYSTEM%Sub" as "%SYSTEM%\Sub".
      if (c == '%' && component.size() > 1 && component[0] == '%') flush();
    }
  }
  flush();
  return folder;
}

// Opens an installer for reading; false, with the reason, for a path that
// is no regular file (a directory, a device, a pipe) or cannot be opened.
bool OpenInput(const std::string& path, struct stat* st,
               std::unique_ptr<sfx::File>* file, std::string* problem) {
  if (::stat(path.c_str(), st) != 0) {
    *problem = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(st->st_mode)) {
    *problem = "is a directory";
    return false;
  }
  if (!S_ISREG(st->st_mode)) {
    *problem = "is not a regular file";
    return false;
  }
  *file = sfx::Os().OpenRead(path);
  if (!*file) {
    *problem = std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  return true;
}

// Opens and inspects an installer for list and extract: prints the reason
// and returns false when the installer program would refuse it.
bool OpenInstaller(const std::string& path, struct stat* st,
                   std::unique_ptr<sfx::File>* file, InstallerInfo* info) {
  std::string problem;
  if (!OpenInput(path, st, file, &problem) ||
      !InspectInstaller(**file, info, &problem)) {
    std::fprintf(stderr, "sfxtool: %s: %s\n", path.c_str(), problem.c_str());
    return false;
  }
  return true;
}

std::int64_t TotalFileSize(const InstallerInfo& info) {
  std::int64_t total = 0;
  for (const auto& entry : info.entries) total += entry.header.FileSize;
  return total;
}

// verify's sink: counts, shows progress, lists files with -v.
class CheckSink : public BlockSink {
 public:
  CheckSink(const InstallerInfo& info, const CommonOptions& options,
            Progress* progress)
      : info_(info), options_(options), progress_(progress) {}
  bool BeginEntry(std::size_t, std::string*) override { return true; }
  bool TakeBlock(const DecodedBlock& block, std::string*) override {
    done_ += block.length;
    progress_->Update(done_);
    return true;
  }
  bool EndEntry(std::size_t entry, std::string*) override {
    if (options_.verbose) {
      progress_->Clear();
      std::printf("%12" PRIu32 "  %s\n", info_.entries[entry].header.FileSize,
                  ShownText(info_.entries[entry].name).c_str());
    }
    return true;
  }

 private:
  const InstallerInfo& info_;
  const CommonOptions& options_;
  Progress* progress_;
  std::int64_t done_ = 0;
};

// extract's sink: writes each entry through the output tree.
class ExtractSink : public BlockSink {
 public:
  ExtractSink(const InstallerInfo& info, OutputTree* tree,
              const CommonOptions& options, Progress* progress)
      : info_(info), tree_(tree), options_(options), progress_(progress) {}
  bool BeginEntry(std::size_t entry, std::string* problem) override {
    // Two entries for one file (as Windows compares names) would leave one
    // file where the count says two.
    std::string folder = info_.record.Files[entry]->TargetDir;
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    const std::string& name = info_.entries[entry].name;
    if (!written_.insert(sfx::NameKey(folder) + "\\" + sfx::NameKey(name))
             .second) {
      *problem = "entry " + std::to_string(entry) + ": \"" + ShownText(name) +
                 "\" is written by an earlier entry already";
      return false;
    }
    return tree_->BeginFile(HostFolderOf(info_.record.Files[entry]->TargetDir),
                            AnsiToUtf8(name), problem);
  }
  bool TakeBlock(const DecodedBlock& block, std::string* problem) override {
    done_ += block.length;
    progress_->Update(done_);
    return tree_->Write(block.data, block.length, problem);
  }
  bool EndEntry(std::size_t entry, std::string* problem) override {
    if (!tree_->CommitFile(info_.entries[entry].header.DosDateTime, problem)) {
      return false;
    }
    if (options_.verbose) {
      progress_->Clear();
      std::printf("%s\n", tree_->current_path().c_str());
    }
    return true;
  }

 private:
  const InstallerInfo& info_;
  OutputTree* tree_;
  const CommonOptions& options_;
  Progress* progress_;
  std::int64_t done_ = 0;
  std::set<std::string> written_;  // NameKey of folder and name
};

}  // namespace

int RunBuildCommand(int argc, char** argv) {
  std::string manifest_path;
  std::string output;
  std::string stub_path;
  std::string format;
  bool skip_checksum = false;
  bool werror = false;
  SigningOptions signing;
  std::string level;
  CommonOptions options;
  const int parsed = ParseArguments(
      "sfxtool build", argc, argv, kBuildUsage, &options,
      [&](const std::string& arg, const char* next, bool* took_next) {
        const std::pair<const char*, std::string*> valued[] = {
            {"--sign", &signing.certificate},
            {"--key", &signing.key},
            {"--timestamp", &signing.timestamp},
            {"--key-password-file", &signing.password_file},
            {"-o", &output},
            {"--stub", &stub_path},
            {"--format", &format},
            {"--level", &level}};
        for (const auto& flag : valued) {
          if (arg == flag.first && next) {
            *flag.second = next;
            *took_next = true;
            return true;
          }
        }
        bool* const on = arg == "--skip-checksum" ? &skip_checksum
                         : arg == "--werror"      ? &werror
                                                  : nullptr;
        if (on) *on = true;
        return on != nullptr;
      },
      &manifest_path);
  if (parsed != kRun) return parsed;
  if (manifest_path.empty() || output.empty()) return Usage(kBuildUsage);
  if (signing.certificate.empty() &&
      !(signing.key.empty() && signing.timestamp.empty() &&
        signing.password_file.empty())) {
    std::fputs(
        "sfxtool build: --key, --key-password-file and --timestamp need "
        "--sign\n",
        stderr);
    return Usage(kBuildUsage);
  }

  Manifest manifest;
  try {
    manifest = LoadManifest(manifest_path);
  } catch (const ManifestError& e) {
    std::fprintf(stderr, "sfxtool: %s\n", e.what());
    return 1;
  }
  sfx::PackagePlan& plan = manifest.plan;
  if (!format.empty()) {
    plan.version = FormatCodeOf(format);
    if (plan.version == 0) {
      std::fprintf(stderr, "sfxtool build: unknown format '%s'\n",
                   format.c_str());
      return Usage(kBuildUsage);
    }
  }
  if (skip_checksum) plan.skip_checksum = true;
  if (!level.empty() && !sfx::ParseLzhLevel(level, &plan.level)) {
    std::fprintf(stderr, "sfxtool build: unknown level '%s'\n", level.c_str());
    return Usage(kBuildUsage);
  }
  // Set but empty is unset, as for the other tools that read it.
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch && *epoch != '\0') {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(epoch, &end, 10);
    if (*end != '\0' || errno != 0 || value < 0) {
      std::fprintf(stderr, "sfxtool: SOURCE_DATE_EPOCH='%s' is not a time\n",
                   epoch);
      return 1;
    }
    plan.newest_time = static_cast<std::time_t>(value);
  }
  std::string tried;
  stub_path = FindProgram(stub_path, "SFX_STUB", kStubName, &tried);
  if (stub_path.empty()) {
    std::fprintf(stderr,
                 "sfxtool: the stub is not found (tried %s); build the win32 "
                 "tree or give --stub FILE\n",
                 tried.c_str());
    return 1;
  }
  if (!ReadWholeFile(stub_path, &plan.stub)) {
    std::fprintf(stderr, "sfxtool: cannot read the stub %s\n",
                 stub_path.c_str());
    return 1;
  }
  // The stub's own faults, named with it before anything else is done.
  try {
    sfx::FindStubSizeBlock(plan.stub);
    sfx::PrepareStubForSigning(plan.stub);
  } catch (const sfx::PackageWriteError& e) {
    std::fprintf(stderr, "sfxtool: %s: %s\n", stub_path.c_str(), e.what());
    return 1;
  }
  VendorBuild vendor;
  if (!vendor.Prepare(manifest_path, stub_path, &plan)) return 1;
  try {
    CheckLimits(&manifest);
  } catch (const ManifestError& e) {
    std::fprintf(stderr, "sfxtool: %s\n", e.what());
    return 1;
  }
  for (const std::string& warning : manifest.warnings) {
    std::fprintf(stderr, "sfxtool: %s: %s\n", werror ? "error" : "warning",
                 warning.c_str());
  }
  if (werror && !manifest.warnings.empty()) return 1;
  std::int64_t total = 0;
  for (const std::string& source : plan.sources) {
    struct stat st;
    if (::stat(source.c_str(), &st) == 0) total += st.st_size;
  }
  ReplacedOutput replaced;
  std::string problem;
  if (!replaced.Check(output, &problem)) {
    std::fprintf(stderr, "sfxtool: %s\n", problem.c_str());
    return 1;
  }
  std::string signer;  // the signed installer's, from --sign
  try {
    Progress progress("build", total, options.progress());
    sfx::PackageWriteOptions write;
    write.jobs = options.jobs;
    write.other_inputs = {stub_path, manifest_path};
    write.other_inputs.insert(write.other_inputs.end(),
                              manifest.other_inputs.begin(),
                              manifest.other_inputs.end());
    write.other_inputs.insert(write.other_inputs.end(), vendor.inputs().begin(),
                              vendor.inputs().end());
    write.finish = [&](const std::string& temporary) {
      if (!signing.certificate.empty() &&
          !SignInstaller(temporary, output, plan.record.ProductName, signing,
                         &signer, &problem)) {
        throw sfx::PackageWriteError(problem);
      }
      if (!replaced.KeepMode(temporary)) {
        throw sfx::PackageWriteError("cannot set the permissions of " + output +
                                     ": " + std::strerror(errno));
      }
    };
    write.on_progress = [&progress](std::int64_t done) {
      progress.Update(done);
    };
    if (options.verbose) {
      write.on_file = [&progress](const sfx::PackedFileInfo& file) {
        progress.Clear();
        std::printf("%12" PRId64 " %12" PRId64 " %-6s  %s\n", file.size,
                    file.entry_size, file.packed ? "packed" : "stored",
                    ShownText(file.name).c_str());
      };
    }
    const sfx::PackageSummary summary = sfx::WritePackage(plan, output, write);
    progress.Clear();
    if (!options.quiet) {
      std::printf(
          "%s: %" PRId64 " bytes, %s, %zu files (%" PRId64 " bytes in %" PRId64
          " bytes of entries), checksum 0x%08" PRIX32 "%s\n",
          output.c_str(), summary.installer_size,
          sfx::FormatSignature(plan.version).c_str(), plan.record.Files.size(),
          summary.data_size, summary.packed_size, summary.checksum,
          plan.skip_checksum ? " (not checked)" : "");
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sfxtool: %s\n", e.what());
    return 1;
  }
  if (!signing.certificate.empty() && !options.quiet) {
    struct stat signed_file;
    const long long size =
        ::stat(output.c_str(), &signed_file) == 0 ? signed_file.st_size : -1;
    std::printf("%s: signed by %s (%lld bytes with the signature)\n",
                output.c_str(), signer.c_str(), size);
  }
  return 0;
}

int RunListCommand(int argc, char** argv) {
  std::string path;
  bool json = false;
  const int parsed = ParseArguments(
      "sfxtool list", argc, argv, kListUsage, nullptr,
      [&json](const std::string& arg, const char*, bool*) {
        if (arg == "--json") json = true;
        return arg == "--json";
      },
      &path);
  if (parsed != kRun) return parsed;
  if (path.empty()) return Usage(kListUsage);
  struct stat st;
  std::unique_ptr<sfx::File> file;
  InstallerInfo info;
  if (!OpenInstaller(path, &st, &file, &info)) return 1;
  if (json) {
    PrintJsonListing(stdout, info);
  } else {
    PrintListing(stdout, info);
  }
  return 0;
}

int RunVerifyCommand(int argc, char** argv) {
  std::string path;
  CommonOptions options;
  const int parsed = ParseArguments("sfxtool verify", argc, argv, kVerifyUsage,
                                    &options, nullptr, &path);
  if (parsed != kRun) return parsed;
  if (path.empty()) return Usage(kVerifyUsage);
  struct stat st;
  std::unique_ptr<sfx::File> file;
  InstallerInfo info;
  std::string problem;
  bool ok = OpenInput(path, &st, &file, &problem) &&
            InspectInstaller(*file, &info, &problem);
  // What the installer would get wrong without a word fails the check.
  const std::vector<std::string> faults =
      ok ? PackageFaults(info) : std::vector<std::string>();
  if (!faults.empty()) {
    problem = ShownText(faults[0]);
    ok = false;
  }
  if (ok) {
    Progress progress("verify", TotalFileSize(info), options.progress());
    CheckSink sink(info, options, &progress);
    ok = DecodeAllBlocks(*file, info, options.jobs, &sink, &problem);
  }
  // Signing appends the certificate table, which the integrity check
  // passes over: the signature's own check covers it.
  AuthenticodeCheck signature;
  if (ok && info.check.signature_offset >= 0) {
    signature = CheckAuthenticode(path);
    if (signature.state != AuthenticodeCheck::kIntact) {
      problem = "the signature is broken: " +
                (signature.state == AuthenticodeCheck::kBroken
                     ? signature.problem
                     : std::string("the certificate table holds none"));
      ok = false;
    }
  }
  if (!ok) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: FAILED: %s\n", path.c_str(), problem.c_str());
    return 1;
  }
  if (options.quiet) return 0;
  for (const std::string& warning : info.warnings) {
    std::printf("%s: warning: %s\n", path.c_str(), warning.c_str());
  }
  std::size_t blocks = 0;
  for (const auto& entry : info.entries) blocks += entry.blocks.size();
  std::printf("%s: OK (%s, %zu files, %zu blocks, checksum 0x%08" PRIX32 ")\n",
              path.c_str(),
              sfx::FormatSignature(info.record.FormatVersion).c_str(),
              info.entries.size(), blocks, info.check.stored_checksum);
  std::printf("%s: %s\n", path.c_str(),
              info.check.signature_offset < 0
                  ? "not signed"
                  : ("signed by " + signature.signer).c_str());
  return 0;
}

int RunExtractCommand(int argc, char** argv) {
  std::string path;
  std::string output;
  CommonOptions options;
  const int parsed = ParseArguments(
      "sfxtool extract", argc, argv, kExtractUsage, &options,
      [&output](const std::string& arg, const char* next, bool* took_next) {
        if (arg != "-o" || !next) return false;
        output = next;
        *took_next = true;
        return true;
      },
      &path);
  if (parsed != kRun) return parsed;
  if (path.empty() || output.empty()) return Usage(kExtractUsage);
  struct stat st;
  std::unique_ptr<sfx::File> file;
  InstallerInfo info;
  if (!OpenInstaller(path, &st, &file, &info)) return 1;

  OutputTree tree(st.st_dev, st.st_ino);
  std::string problem;
  if (!tree.OpenRoot(output, &problem)) {
    std::fprintf(stderr, "sfxtool: %s\n", problem.c_str());
    return 1;
  }
  // Refused before anything is written.
  for (std::size_t i = 0; i < info.entries.size(); ++i) {
    if (tree.IsInstaller(HostFolderOf(info.record.Files[i]->TargetDir),
                         AnsiToUtf8(info.entries[i].name))) {
      std::fprintf(stderr,
                   "sfxtool: %s: entry %zu (%s) would replace the installer "
                   "itself; extract into another folder\n",
                   path.c_str(), i, ShownText(info.entries[i].name).c_str());
      return 1;
    }
  }
  // The listed directories first, as the installer creates them: empty
  // folders of a tree come back too.
  bool ok = true;
  for (const std::string& directory : info.record.Directories) {
    if (ok) ok = tree.MakeFolder(HostFolderOf(directory), &problem);
  }
  if (ok) {
    Progress progress("extract", TotalFileSize(info), options.progress());
    ExtractSink sink(info, &tree, options, &progress);
    ok = DecodeAllBlocks(*file, info, options.jobs, &sink, &problem);
  }
  if (!ok) {
    tree.AbortFile();
    std::fflush(stdout);
    std::fprintf(stderr, "sfxtool: %s: %s\n", path.c_str(), problem.c_str());
    return 1;
  }
  // A warning, as in build: the files are there, one stamp is not.
  const std::string untimed =
      UntimedEntriesText(info, "written with the time of extraction");
  if (!untimed.empty()) {
    std::fprintf(stderr, "sfxtool: warning: %s: %s\n", path.c_str(),
                 ShownText(untimed).c_str());
  }
  if (!options.quiet) {
    std::printf("%zu files extracted to %s\n", info.entries.size(),
                output.c_str());
  }
  return 0;
}

}  // namespace sfxtool
