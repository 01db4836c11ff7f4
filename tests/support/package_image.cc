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

#include "base/bytes.h"
#include "memory_file.h"
#include "package/container.h"
#include "package/package_writer.h"
#include "package/record_writer.h"
#include "temp_dir.h"

namespace sfx::fake {

std::vector<std::uint8_t> StubImage() {
  std::vector<std::uint8_t> stub(64, 'S');
  stub.push_back(kStubSizeBlockSize - 1);
  stub.insert(stub.end(), kStubSizeTag, kStubSizeTag + 13);
  stub.insert(stub.end(), 9, 0xEE);  // the packer must fill all of them
  stub.insert(stub.end(), 32, 'T');
  return stub;
}

TInstalRecord CloneRecord(const TInstalRecord& record) {
  // The packer's writer and the installer's reader are exact inverses (the
  // record tests hold them to it), so the way through the header stream
  // copies every field.
  const std::vector<std::uint8_t> stream = WriteRecord(record, kFormat24);
  TInstalRecord copy;
  if (ParseRecord(copy, stream.data(), stream.size()) != ReadResult::kOk) {
    throw std::runtime_error("the record does not read back");
  }
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
  sfx_test::TempDir dir;
  PackagePlan plan;
  plan.stub = StubImage();
  plan.record = CloneRecord(record);
  plan.skip_checksum = skip_checksum;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    // One directory per entry: packaged names may repeat.
    const std::string source =
        dir.Write(std::to_string(i) + "/file", contents[i]);
    struct utimbuf times = {mtime, mtime};
    ::utime(source.c_str(), &times);
    plan.sources.push_back(source);
  }
  const std::string output = dir.path() + "setup.exe";
  WritePackage(plan, output);
  return sfx_test::ReadBytes(output);
}

std::vector<std::uint8_t> MarkerBytes() {
  const TrailerMarker marker;
  return std::vector<std::uint8_t>(marker.bytes, marker.bytes + kMarkerSize);
}

std::vector<std::uint8_t> Sealed(std::vector<std::uint8_t> bytes) {
  const std::size_t marker = bytes.size();
  const std::vector<std::uint8_t> m = MarkerBytes();
  bytes.insert(bytes.end(), m.begin(), m.end());
  Reseal(&bytes, marker);
  return bytes;
}

void Reseal(std::vector<std::uint8_t>* bytes, std::size_t marker) {
  sfx_test::MemoryFile file(*bytes);
  std::uint32_t checksum = 0;
  if (!ComputePackageChecksum(file, static_cast<std::int64_t>(marker),
                              &checksum)) {
    throw std::runtime_error("no checksum for a marker beyond the file");
  }
  if (bytes->size() < marker + kMarkerSize + 4) {
    bytes->resize(marker + kMarkerSize + 4);
  }
  StoreUint32(bytes->data() + marker + kMarkerSize, checksum);
}

}  // namespace sfx::fake
