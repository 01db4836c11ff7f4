// Installer files for native tests, written through the packer into a
// temporary directory and read back.
#include "package_image.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "package/container.h"
#include "package/package_writer.h"

namespace sfx::fake {
namespace {

// A stand-in for the installer program: some bytes around a size block.
std::vector<std::uint8_t> StubImage() {
  std::vector<std::uint8_t> stub(64, 'S');
  stub.push_back(22);
  for (const char* c = kStubSizeTag; *c; ++c) stub.push_back(*c);
  stub.insert(stub.end(), 9, 0);
  stub.insert(stub.end(), 32, 'T');
  return stub;
}

// A temporary directory removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/sfx-image-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

TInstalRecord CloneRecord(const TInstalRecord& record) {
  TInstalRecord copy;
  for (const auto& file : record.Files) {
    copy.Files.push_back(std::make_unique<TInstallFileRecord>(*file));
  }
  for (const auto& entry : record.PreRunFiles) {
    copy.PreRunFiles.push_back(std::make_unique<TPreRunFileRecord>(*entry));
  }
  copy.PackageText1 = record.PackageText1;
  copy.PackageText2 = record.PackageText2;
  copy.ProductName = record.ProductName;
  copy.MenuFolderName = record.MenuFolderName;
  copy.BrowsePrompt = record.BrowsePrompt;
  copy.RegistryKey = record.RegistryKey;
  copy.LaunchProgram = record.LaunchProgram;
  copy.InstallDir = record.InstallDir;
  copy.ProductText2 = record.ProductText2;
  copy.ProductText3 = record.ProductText3;
  copy.ProductText4 = record.ProductText4;
  copy.WelcomeLines = record.WelcomeLines;
  copy.ExtraProgEntries = record.ExtraProgEntries;
  copy.FinishLines = record.FinishLines;
  copy.Directories = record.Directories;
  copy.SpaceRequired = record.SpaceRequired;
  copy.InfoText1 = record.InfoText1;
  copy.InfoText2 = record.InfoText2;
  copy.InfoText3 = record.InfoText3;
  copy.Icon = record.Icon;
  copy.Flag1 = record.Flag1;
  copy.Flag2 = record.Flag2;
  copy.Flag3 = record.Flag3;
  copy.FormatVersion = record.FormatVersion;
  return copy;
}

TInstallFileRecord& AddFileEntry(TInstalRecord& record,
                                 const std::string& file_name,
                                 const std::string& target_dir) {
  auto file = std::make_unique<TInstallFileRecord>();
  file->FileName = file_name;
  file->TargetDir = target_dir;
  record.Files.push_back(std::move(file));
  return *record.Files.back();
}

TPreRunFileRecord& AddPreRunEntry(TInstalRecord& record,
                                  const std::string& file_name,
                                  std::int32_t run_stage) {
  auto entry = std::make_unique<TPreRunFileRecord>();
  entry->FileName = file_name;
  entry->RunStage = run_stage;
  record.PreRunFiles.push_back(std::move(entry));
  return *record.PreRunFiles.back();
}

std::vector<std::uint8_t> BuildInstallerImage(
    const TInstalRecord& record, const std::vector<std::string>& contents,
    std::time_t mtime, bool skip_checksum) {
  TempDir dir;
  PackagePlan plan;
  plan.stub = StubImage();
  plan.record = CloneRecord(record);
  plan.skip_checksum = skip_checksum;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    // One directory per entry: packaged names may repeat.
    const std::string sub = dir.path() + "/" + std::to_string(i);
    ::mkdir(sub.c_str(), 0700);
    const std::string source = sub + "/file";
    std::ofstream(source, std::ios::binary) << contents[i];
    struct utimbuf times = {mtime, mtime};
    ::utime(source.c_str(), &times);
    plan.sources.push_back(source);
  }
  const std::string output = dir.path() + "/setup.exe";
  WritePackage(plan, output);
  std::ifstream in(output, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

}  // namespace sfx::fake
