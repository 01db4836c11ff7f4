// Program lookup, the vendor's resources and code signing for sfxtool.
// Signing runs the external osslsigncode; everything else is our own code.
#include "vendor_build.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "authenticode.h"
#include "host_files.h"
#include "manifest.h"
#include "package/container.h"
#include "package/signature.h"
#include "pe_resources.h"
#include "platform/platform.h"
#include "platform/replacing_file.h"
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
// `*output`. `input`, when given, is its standard input; else it keeps
// ours (a terminal to ask for a password on).
int Run(const std::vector<std::string>& args, std::string* output,
        const std::string* input = nullptr) {
  int pipe_fds[2];
  int input_fds[2] = {-1, -1};
  if (::pipe(pipe_fds) != 0) return -1;
  // The input (a password: far less than a pipe holds) goes in before the
  // child starts, so that nothing waits and a child that ends without
  // reading it raises no SIGPIPE here.
  if (input && (::pipe(input_fds) != 0 ||
                ::write(input_fds[1], input->data(), input->size()) !=
                    static_cast<ssize_t>(input->size()))) {
    for (int fd : {pipe_fds[0], pipe_fds[1], input_fds[0], input_fds[1]}) {
      if (fd >= 0) ::close(fd);
    }
    return -1;
  }
  if (input) ::close(input_fds[1]);
  const pid_t pid = ::fork();
  if (pid < 0) {
    for (int fd : {pipe_fds[0], pipe_fds[1], input_fds[0]}) {
      if (fd >= 0) ::close(fd);
    }
    return -1;
  }
  if (pid == 0) {
    if (input) {
      ::dup2(input_fds[0], 0);
      ::close(input_fds[0]);
    }
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
  if (input) ::close(input_fds[0]);
  sfx::TrackChildProcess(pid);
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
  sfx::TrackChildProcess(0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The password in `path`: its first line, without the line's end (a key's
// password has no line break). Empty, or why there is none.
constexpr std::size_t kMaxPassword = 1024;
std::string ReadPassword(const std::string& path, std::string* password) {
  std::vector<std::uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes)) {
    return "cannot read the password file " + path + ": " +
           std::strerror(errno);
  }
  password->assign(bytes.begin(), bytes.end());
  password->erase(std::min(password->find('\n'), password->size()));
  if (!password->empty() && password->back() == '\r') password->pop_back();
  if (password->size() > kMaxPassword) {
    return "the first line of " + path + " is longer than " +
           std::to_string(kMaxPassword) + " bytes: that is no password";
  }
  return std::string();
}

// The line of osslsigncode's output that says why it failed: the first
// that is not one of OpenSSL's error-queue dumps, else the first.
std::string FirstErrorLine(const std::string& output) {
  std::string first;
  std::size_t at = 0;
  while (at < output.size()) {
    std::size_t end = output.find('\n', at);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(at, end - at);
    at = end + 1;
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    if (first.empty()) first = line;
    if (line.find(":error:") == std::string::npos) return line;
  }
  return first.empty() ? "no message" : first;
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
  sfx::UntrackTemporary(temporary_slot_);
}

namespace {

// ApplyIdentity, its failure naming the program's file.
std::vector<std::uint8_t> ApplyIdentityTo(
    const std::string& path, const std::vector<std::uint8_t>& program,
    const VendorIdentity& identity, const std::string& description) {
  try {
    return ApplyIdentity(program, identity, description);
  } catch (const PeError& e) {
    throw PeError(path + ": " + e.what());
  }
}

}  // namespace

bool VendorBuild::Prepare(const std::string& manifest_path,
                          const std::string& stub_path,
                          sfx::PackagePlan* plan) {
  try {
    const VendorIdentity identity = LoadVendorIdentity(manifest_path);
    if (!identity.icon_path.empty()) inputs_.push_back(identity.icon_path);
    sfx::PeSigningFields fields;
    // A stand-in stub that is no PE program (tests) is packed as it is.
    if (sfx::FindPeSigningFields(plan->stub, &fields)) {
      if (!identity.icon.empty()) {
        try {
          std::vector<Resource> images;
          SetIcon(&images, identity.icon);
        } catch (const PeError& e) {
          std::fprintf(stderr, "sfxtool: %s: icon: %s: %s\n",
                       manifest_path.c_str(), identity.icon_path.c_str(),
                       e.what());
          return false;
        }
      }
      plan->stub = ApplyIdentityTo(stub_path, plan->stub, identity,
                                   identity.product_name + " Setup");
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
    inputs_.push_back(source);
    program = ApplyIdentityTo(source, program, identity,
                              identity.product_name + " Uninstall");
    std::string name = TempFolder() + "/sfxtool-uninstaller-XXXXXX";
    const int fd = ::mkstemp(&name[0]);
    if (fd < 0) {
      std::fprintf(stderr,
                   "sfxtool: cannot create a file in %s for the uninstaller: "
                   "%s\n",
                   TempFolder().c_str(), std::strerror(errno));
      return false;
    }
    temporary_ = name;
    temporary_slot_ = sfx::TrackTemporary(temporary_);
    const bool written = ::write(fd, program.data(), program.size()) ==
                         static_cast<ssize_t>(program.size());
    ::close(fd);
    // The packaged time stamp is the program's own, not the copy's.
    struct stat st;
    if (!written || ::stat(source.c_str(), &st) != 0) {
      std::fprintf(stderr, "sfxtool: cannot write %s\n", name.c_str());
      return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, name.c_str(), times, 0);
    AddUninstaller(plan, temporary_, identity);
    return true;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sfxtool: %s\n", e.what());
    return false;
  }
}

bool SignInstaller(const std::string& path, const std::string& shown,
                   const std::string& product, const SigningOptions& options,
                   std::string* signer, std::string* problem) {
  // The inputs are checked first: osslsigncode's own messages about them
  // are terse, and it would sign with an expired certificate.
  const int terminal = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (terminal >= 0) ::close(terminal);
  std::string password;
  const bool has_password = !options.password_file.empty();
  if (has_password) {
    const std::string why = ReadPassword(options.password_file, &password);
    if (!why.empty()) {
      *problem = "cannot sign " + shown + ": " + why;
      return false;
    }
  }
  if (!CheckSigningKey(options.certificate, options.key, terminal >= 0,
                       has_password ? &password : nullptr, problem)) {
    *problem = "cannot sign " + shown + ": " + *problem;
    return false;
  }
  sfx::ReplacingFile signed_file;
  const int fd = signed_file.Create(path);
  if (fd < 0) {
    *problem =
        "cannot create a file beside " + shown + ": " + std::strerror(errno);
    return false;
  }
  ::close(fd);
  std::vector<std::string> args = {"osslsigncode", "sign"};
  if (options.key.empty()) {  // a PKCS#12 file with both
    args.insert(args.end(), {"-pkcs12", options.certificate});
    // osslsigncode tries the empty password unless told to ask.
    if (!has_password && terminal >= 0 &&
        Pkcs12NeedsPassword(options.certificate)) {
      args.push_back("-askpass");
    }
  } else {
    args.insert(args.end(),
                {"-certs", options.certificate, "-key", options.key});
  }
  args.insert(args.end(), {"-n", product});
  if (!options.timestamp.empty()) {
    args.insert(args.end(), {"-t", options.timestamp});
  }
  // The password goes through a pipe, not the command line, where any
  // user could read it.
  if (has_password) args.insert(args.end(), {"-readpass", "-"});
  // osslsigncode refuses to write over an existing file.
  ::unlink(signed_file.temporary().c_str());
  args.insert(args.end(), {"-in", path, "-out", signed_file.temporary()});
  std::string output;
  const int status = Run(args, &output, has_password ? &password : nullptr);
  if (status == 127 && output.rfind("cannot run ", 0) == 0) {
    *problem = "signing " + shown +
               " needs osslsigncode, which is not installed (Debian: apt "
               "install osslsigncode)";
    return false;
  }
  if (status != 0) {
    *problem = "signing " + shown + " failed (osslsigncode exit " +
               std::to_string(status) + "): " + FirstErrorLine(output);
    return false;
  }
  if (!signed_file.Commit()) {
    *problem = "cannot write " + shown + ": " + std::strerror(errno);
    return false;
  }
  std::unique_ptr<sfx::File> file = sfx::Os().OpenRead(path);
  const sfx::PackageCheckResult check =
      file ? sfx::CheckPackageFile(*file, false) : sfx::PackageCheckResult();
  if (check.signature_offset < 0 || check.status != sfx::PackageCheck::kOk) {
    *problem = shown +
               ": the signed file is not recognised as a signed "
               "installer";
    return false;
  }
  const AuthenticodeCheck signature = CheckAuthenticode(path);
  if (signature.state != AuthenticodeCheck::kIntact) {
    *problem = shown + ": the signature does not verify: " + signature.problem;
    return false;
  }
  *signer = signature.signer;
  return true;
}

}  // namespace sfxtool
