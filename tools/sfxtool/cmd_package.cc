// The installer commands of sfxtool: build (manifest to installer), list,
// verify and extract. The last three read the file with the installer's
// own readers (through the host platform), so they accept and reject
// exactly what the installer program would.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codec/file_entry.h"
#include "commands.h"
#include "installer_reader.h"
#include "listing.h"
#include "manifest.h"
#include "package/package_writer.h"
#include "platform/platform.h"
#include "vendor_build.h"

namespace sfxtool {
namespace {

constexpr char kBuildUsage[] =
    "usage: sfxtool build MANIFEST -o SETUP.EXE [--stub FILE]\n"
    "                     [--format 1.2|2.1|2.2|2.3|2.4] [--skip-checksum]\n"
    "                     [--werror] [--level fast|best]\n"
    "                     [--sign CERT --key KEY [--timestamp URL]]\n"
    "Builds an installer from a TOML manifest (see docs/manifest.md and\n"
    "'sfxtool help manifest'). The stub is --stub, else $SFX_STUB, else\n"
    "<sfxtool's folder>/../share/sfx/installer.exe (installed), else\n"
    "<sfxtool's folder>/../win32/installer.exe (build tree). --sign signs the\n"
    "result with osslsigncode and checks it again. Time stamps are the files'\n"
    "modification times in the local time zone (TZ), clamped to\n"
    "SOURCE_DATE_EPOCH when it is set. --werror: stop at a warning.\n"
    "--level sets the compression (as for sfxtool lzh encode; best by\n"
    "default).\n";
constexpr char kListUsage[] =
    "usage: sfxtool list SETUP.EXE [--json]\n"
    "Shows the installer's header and one row per packaged file.\n";
constexpr char kVerifyUsage[] =
    "usage: sfxtool verify SETUP.EXE\n"
    "Checks the installer as the installer program does (marker and\n"
    "checksum), then reads the header and decodes every block. Exit code 0\n"
    "when everything is sound, 1 with the reason otherwise.\n";
constexpr char kExtractUsage[] =
    "usage: sfxtool extract SETUP.EXE -o DIR\n"
    "Writes every packaged file, with its time stamp, below DIR: one folder\n"
    "per target directory, macros kept as folder names (\"..\" becomes\n"
    "\"(parent)\", a colon becomes \"_\"); files for the destination itself\n"
    "go into DIR.\n";

// Packages larger than this report their progress during extraction.
constexpr std::uint64_t kProgressThreshold = 16u << 20;

bool IsHelp(const char* arg) {
  return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0;
}

int Usage(const char* usage) {
  std::fputs(usage, stderr);
  return 2;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in),
                std::istreambuf_iterator<char>());
  return !in.bad();
}

// Creates `path` and its missing parents.
bool MakeDirectories(const std::string& path) {
  std::string partial;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    partial = path.substr(0, slash);
    if (!partial.empty() && ::mkdir(partial.c_str(), 0777) != 0 &&
        errno != EEXIST) {
      return false;
    }
    start = slash + 1;
  }
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder below the output directory for a target directory: each
// component kept as it is (macros included), but never one that would
// climb out of the output directory or name a drive.
std::string HostFolderOf(const std::string& target_dir) {
  std::string folder;
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
    folder += "/" + component;
    component.clear();
  };
  for (char c : target_dir) {
    if (c == '\\' || c == '/') {
      flush();
    } else {
      component += c;
    }
  }
  flush();
  return folder;
}

// Opens and inspects an installer for list and extract: prints the reason
// and returns false when the installer program would refuse it.
bool OpenInstaller(const std::string& path, std::unique_ptr<sfx::File>* file,
                   InstallerInfo* info) {
  *file = sfx::Os().OpenRead(path);
  if (!*file) {
    std::fprintf(stderr, "sfxtool: cannot open %s: %s\n", path.c_str(),
                 std::strerror(errno));
    return false;
  }
  std::string problem;
  if (!InspectInstaller(**file, info, &problem)) {
    std::fprintf(stderr, "sfxtool: %s: %s\n", path.c_str(), problem.c_str());
    return false;
  }
  return true;
}

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
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (IsHelp(argv[i])) {
      std::fputs(kBuildUsage, stdout);
      return 0;
    } else if (arg == "--sign" && i + 1 < argc) {
      signing.certificate = argv[++i];
    } else if (arg == "--key" && i + 1 < argc) {
      signing.key = argv[++i];
    } else if (arg == "--timestamp" && i + 1 < argc) {
      signing.timestamp = argv[++i];
    } else if (arg == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (arg == "--stub" && i + 1 < argc) {
      stub_path = argv[++i];
    } else if (arg == "--format" && i + 1 < argc) {
      format = argv[++i];
    } else if (arg == "--skip-checksum") {
      skip_checksum = true;
    } else if (arg == "--werror") {
      werror = true;
    } else if (arg == "--level" && i + 1 < argc) {
      level = argv[++i];
    } else if (manifest_path.empty() && !arg.empty() && arg[0] != '-') {
      manifest_path = arg;
    } else {
      std::fprintf(stderr, "sfxtool build: unexpected argument '%s'\n",
                   argv[i]);
      return Usage(kBuildUsage);
    }
  }
  if (manifest_path.empty() || output.empty()) return Usage(kBuildUsage);
  if (signing.certificate.empty() != signing.key.empty() ||
      (signing.certificate.empty() && !signing.timestamp.empty())) {
    std::fputs("sfxtool build: --sign and --key go together\n", stderr);
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
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(epoch, &end, 10);
    if (*epoch == '\0' || *end != '\0' || errno != 0 || value < 0) {
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
  VendorBuild vendor;
  if (!vendor.Prepare(manifest_path, &plan)) return 1;
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
  try {
    const sfx::PackageSummary summary = sfx::WritePackage(plan, output);
    std::printf(
        "%s: %" PRId64 " bytes, %s, %zu files (%" PRId64 " bytes in %" PRId64
        " bytes of entries), checksum 0x%08" PRIX32 "%s\n",
        output.c_str(), summary.installer_size,
        sfx::FormatSignature(plan.version).c_str(), plan.record.Files.size(),
        summary.data_size, summary.packed_size, summary.checksum,
        plan.skip_checksum ? " (not checked)" : "");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sfxtool: %s\n", e.what());
    return 1;
  }
  if (!signing.certificate.empty()) {
    if (!SignInstaller(output, plan.record.ProductName, signing)) return 1;
    std::printf("%s: signed by %s\n", output.c_str(), SignerOf(output).c_str());
  }
  return 0;
}

int RunListCommand(int argc, char** argv) {
  std::string path;
  bool json = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (IsHelp(argv[i])) {
      std::fputs(kListUsage, stdout);
      return 0;
    } else if (arg == "--json") {
      json = true;
    } else if (path.empty() && !arg.empty() && arg[0] != '-') {
      path = arg;
    } else {
      return Usage(kListUsage);
    }
  }
  if (path.empty()) return Usage(kListUsage);
  std::unique_ptr<sfx::File> file;
  InstallerInfo info;
  if (!OpenInstaller(path, &file, &info)) return 1;
  if (json) {
    PrintJsonListing(stdout, info);
  } else {
    PrintListing(stdout, info);
  }
  return 0;
}

int RunVerifyCommand(int argc, char** argv) {
  if (argc == 1 && IsHelp(argv[0])) {
    std::fputs(kVerifyUsage, stdout);
    return 0;
  }
  if (argc != 1 || argv[0][0] == '-') return Usage(kVerifyUsage);
  const std::string path = argv[0];
  std::unique_ptr<sfx::File> file = sfx::Os().OpenRead(path);
  if (!file) {
    std::fprintf(stderr, "%s: FAILED: cannot open: %s\n", path.c_str(),
                 std::strerror(errno));
    return 1;
  }
  InstallerInfo info;
  std::string problem;
  if (!InspectInstaller(*file, &info, &problem) ||
      !CheckAllBlocks(*file, info, &problem)) {
    std::printf("%s: FAILED: %s\n", path.c_str(), problem.c_str());
    return 1;
  }
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
                  : ("signed by " + SignerOf(path)).c_str());
  return 0;
}

int RunExtractCommand(int argc, char** argv) {
  std::string path;
  std::string output;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (IsHelp(argv[i])) {
      std::fputs(kExtractUsage, stdout);
      return 0;
    } else if (arg == "-o" && i + 1 < argc) {
      output = argv[++i];
    } else if (path.empty() && !arg.empty() && arg[0] != '-') {
      path = arg;
    } else {
      return Usage(kExtractUsage);
    }
  }
  if (path.empty() || output.empty()) return Usage(kExtractUsage);
  std::unique_ptr<sfx::File> file;
  InstallerInfo info;
  if (!OpenInstaller(path, &file, &info)) return 1;

  std::uint64_t total = 0;
  for (const auto& entry : info.entries) total += entry.header.FileSize;
  const bool progress = total > kProgressThreshold;
  std::uint64_t done = 0;
  for (std::size_t i = 0; i < info.entries.size(); ++i) {
    const std::string folder =
        output + HostFolderOf(info.record.Files[i]->TargetDir);
    if (!MakeDirectories(folder)) {
      std::fprintf(stderr, "sfxtool: cannot create %s: %s\n", folder.c_str(),
                   std::strerror(errno));
      return 1;
    }
    const bool written =
        file->Seek(info.entry_offsets[i], sfx::File::Origin::kBegin) &&
        sfx::ExtractPackedFile(*file, folder, false);
    if (!written) {
      std::fprintf(stderr, "sfxtool: extracting %s failed\n",
                   info.entries[i].name.c_str());
      return 1;
    }
    done += info.entries[i].header.FileSize;
    if (progress) {
      std::fprintf(stderr, "%3d%% %s/%s\n",
                   static_cast<int>(done * 100 / total), folder.c_str(),
                   info.entries[i].name.c_str());
    }
  }
  std::printf("%zu files extracted to %s\n", info.entries.size(),
              output.c_str());
  return 0;
}

}  // namespace sfxtool
