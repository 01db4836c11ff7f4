// Program lookup, the vendor's resources and code signing for sfxtool.
// Signing runs the external osslsigncode; everything else is our own code.
#include "vendor_build.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host_files.h"
#include "manifest.h"
#include "package/container.h"
#include "package/signature.h"
#include "pe_resources.h"
#include "platform/platform.h"
#include "vendor_identity.h"

namespace sfxtool {
namespace {

std::string ExecutableFolder() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<std::size_t>(n));
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Runs `args` (args[0] looked up in PATH) and returns its exit status, -1
// when it could not be started; its output (stdout and stderr) goes to
// `*output`.
int Run(const std::vector<std::string>& args, std::string* output) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    return -1;
  }
  if (pid == 0) {
    ::dup2(pipe_fds[1], 1);
    ::dup2(pipe_fds[1], 2);
    ::close(pipe_fds[0]);
    ::close(pipe_fds[1]);
    std::vector<char*> argv;
    for (const std::string& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) != 0) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    output->append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipe_fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

std::string FindProgram(const std::string& given, const char* env,
                        const char* name, std::string* tried) {
  if (!given.empty()) {
    *tried = given;
    return IsFile(given) ? given : std::string();
  }
  std::vector<std::string> places;
  if (const char* value = std::getenv(env); value && *value) {
    places.push_back(value);
  }
  const std::string folder = ExecutableFolder();
  places.push_back(folder + "/../share/sfx/" + name);
  places.push_back(folder + "/../win32/" + name);
  tried->clear();
  for (const std::string& place : places) {
    if (IsFile(place)) return place;
    *tried += (tried->empty() ? "" : ", ") + place;
  }
  return {};
}

VendorBuild::~VendorBuild() {
  if (!temporary_.empty()) std::remove(temporary_.c_str());
}

bool VendorBuild::Prepare(const std::string& manifest_path,
                          sfx::PackagePlan* plan) {
  try {
    const VendorIdentity identity = LoadVendorIdentity(manifest_path);
    sfx::PeSigningFields fields;
    // A stand-in stub that is no PE program (tests) is packed as it is.
    if (sfx::FindPeSigningFields(plan->stub, &fields)) {
      plan->stub =
          ApplyIdentity(plan->stub, identity, identity.product_name + " Setup");
    }
    if (!identity.uninstaller) return true;
    std::string tried;
    const std::string source =
        FindProgram("", "SFX_UNINSTALLER", kUninstallerProgramName, &tried);
    std::vector<std::uint8_t> program;
    if (source.empty() || !ReadWholeFile(source, &program)) {
      std::fprintf(stderr,
                   "sfxtool: uninstaller = true, but the uninstaller program "
                   "is not found (tried %s); set SFX_UNINSTALLER\n",
                   tried.c_str());
      return false;
    }
    program =
        ApplyIdentity(program, identity, identity.product_name + " Uninstall");
    char name[] = "/tmp/sfxtool-uninstaller-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) {
      std::fprintf(stderr, "sfxtool: cannot create a temporary file: %s\n",
                   std::strerror(errno));
      return false;
    }
    temporary_ = name;
    const bool written = ::write(fd, program.data(), program.size()) ==
                         static_cast<ssize_t>(program.size());
    ::close(fd);
    // The packaged time stamp is the program's own, not the copy's.
    struct stat st;
    if (!written || ::stat(source.c_str(), &st) != 0) {
      std::fprintf(stderr, "sfxtool: cannot write %s\n", name);
      return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, name, times, 0);
    AddUninstaller(plan, temporary_, identity);
    return true;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sfxtool: %s\n", e.what());
    return false;
  }
}

bool SignInstaller(const std::string& path, const std::string& product,
                   const SigningOptions& options) {
  const std::string signed_path = path + ".signing";
  std::vector<std::string> args = {
      "osslsigncode", "sign",      "-certs", options.certificate,
      "-key",         options.key, "-n",     product};
  if (!options.timestamp.empty()) {
    args.insert(args.end(), {"-t", options.timestamp});
  }
  args.insert(args.end(), {"-in", path, "-out", signed_path});
  std::string output;
  const int status = Run(args, &output);
  if (status != 0) {
    std::remove(signed_path.c_str());
    std::fprintf(stderr,
                 "sfxtool: signing %s failed (osslsigncode exit %d):\n%s",
                 path.c_str(), status, output.c_str());
    return false;
  }
  if (std::rename(signed_path.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "sfxtool: cannot replace %s: %s\n", path.c_str(),
                 std::strerror(errno));
    return false;
  }
  std::unique_ptr<sfx::File> file = sfx::Os().OpenRead(path);
  const sfx::PackageCheckResult check =
      file ? sfx::CheckPackageFile(*file, false) : sfx::PackageCheckResult();
  if (check.signature_offset < 0 || check.status != sfx::PackageCheck::kOk) {
    std::fprintf(stderr,
                 "sfxtool: %s: the signed file is not recognised as "
                 "a signed installer\n",
                 path.c_str());
    return false;
  }
  return true;
}

std::string SignerOf(const std::string& path) {
  std::string output;
  if (Run({"osslsigncode", "verify", "-in", path}, &output) < 0 ||
      output.find("cannot run") == 0) {
    return "(signer unknown: osslsigncode is not available)";
  }
  std::size_t at = output.find("Signer's certificate:");
  if (at == std::string::npos) at = 0;
  at = output.find("Subject:", at);
  if (at == std::string::npos) return "(signer unknown)";
  at += std::strlen("Subject:");
  while (at < output.size() && output[at] == ' ') ++at;
  const std::size_t end = output.find('\n', at);
  return output.substr(at, end == std::string::npos ? end : end - at);
}

}  // namespace sfxtool
