// The parts of `sfxtool build` and `sfxtool verify` that make a setup.exe a
// vendor can ship: finding the installer program and the uninstaller when
// sfxtool is installed, the vendor's resources, and code signing through
// osslsigncode (docs/vendor.md).
#ifndef SFXTOOL_VENDOR_BUILD_H_
#define SFXTOOL_VENDOR_BUILD_H_

#include <string>
#include <vector>

#include "package/package_writer.h"

namespace sfxtool {

constexpr char kStubName[] = "installer.exe";
constexpr char kUninstallerProgramName[] = "uninstaller.exe";

// The path of the program `name`: `given` when not empty; else the file
// named by the environment variable `env`; else <sfxtool's folder>/
// ../share/sfx/<name> (an installed sfxtool); else <sfxtool's folder>/
// ../win32/<name> (the build tree). Empty, with `*tried` listing the
// places, when none exists.
std::string FindProgram(const std::string& given, const char* env,
                        const char* name, std::string* tried);

struct SigningOptions {
  std::string certificate;    // --sign (PEM or DER), empty: no signing
  std::string key;            // --key; empty: `certificate` is PKCS#12
  std::string timestamp;      // --timestamp URL, optional
  std::string password_file;  // --key-password-file: the key's password
};

// Files made for one build and removed with it.
class VendorBuild {
 public:
  ~VendorBuild();
  // Applies the identity keys of the manifest at `manifest_path` to `plan`
  // (whose stub is loaded from `stub_path`): the stub's resources, and the
  // uninstaller when the manifest asks for it. False, with the message
  // printed (naming the program it is about), on failure.
  bool Prepare(const std::string& manifest_path, const std::string& stub_path,
               sfx::PackagePlan* plan);
  // The files Prepare read that are not among the plan's sources (the
  // icon, the uninstaller program): the output must not be one of them.
  const std::vector<std::string>& inputs() const { return inputs_; }

 private:
  std::string temporary_;
  int temporary_slot_ = -1;
  std::vector<std::string> inputs_;
};

// Signs `path` in place with osslsigncode (through a temporary file, so
// that a failed signing leaves it as it was) and checks that the result is
// signed, still passes the integrity check and carries an intact
// signature, whose signer goes to `*signer`. `shown` names the file in
// messages. False, with `*problem` saying why in one line, on failure.
bool SignInstaller(const std::string& path, const std::string& shown,
                   const std::string& product, const SigningOptions& options,
                   std::string* signer, std::string* problem);

}  // namespace sfxtool

#endif  // SFXTOOL_VENDOR_BUILD_H_
