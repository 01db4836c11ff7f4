// The installation record: everything the package header describes, and
// the reader of the versioned header stream ("Installer 1.2" to "2.4").
#ifndef SFX_PACKAGE_RECORD_H_
#define SFX_PACKAGE_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/string.h"
#include "base/vector.h"

namespace sfx {

// Version codes selected by the header signature.
enum FormatVersionCode : int {
  kFormat12 = 2,  // "Installer 1.2": the base format
  kFormat21 = 3,  // "Installer 2.1": the pre-run list
  kFormat22 = 4,  // "Installer 2.2": per file AddToLog
  kFormat23 = 5,  // "Installer 2.3": icon and info texts
  kFormat24 = 6,  // "Installer 2.4": per file DesktopIcon, Flag1-Flag3
};

// The signature text of a version code ("Installer 2.4"), empty if unknown.
String FormatSignature(int version_code);
// The version code of a signature text, 0 if unknown.
int FormatVersionOf(const String& signature);

struct TInstallFileRecord {
  String FileName;
  String ShortcutName;
  String Parameters;
  String TargetDir;
  std::uint8_t AddToLog = 1;
  std::uint8_t DesktopIcon = 0;
};

struct TPreRunFileRecord {
  String FileName;
  String Parameters;
  String Directory;
  std::uint8_t ExtractFirst = 0;
  std::uint8_t DeleteAfter = 0;
  std::int32_t RunStage = 0;
};

struct TInstalRecord {
  Vector<std::unique_ptr<TInstallFileRecord>> Files;
  String PackageText1;
  String PackageText2;
  String ProductName;
  String MenuFolderName;
  String BrowsePrompt;
  String RegistryKey;
  String LaunchProgram;
  String InstallDir;
  String ProductText2;
  String ProductText3;
  String ProductText4;
  Vector<String> WelcomeLines;
  Vector<String> ExtraProgEntries;
  Vector<String> FinishLines;
  Vector<String> Directories;
  std::int32_t SpaceRequired = 0;
  Vector<std::unique_ptr<TPreRunFileRecord>> PreRunFiles;
  String InfoText1 = " ";
  String InfoText2 = " ";
  String InfoText3 = " ";
  Vector<std::uint8_t> Icon;  // an .ico image, kept undecoded
  std::uint8_t Flag1 = 1;
  std::uint8_t Flag2 = 1;
  std::uint8_t Flag3 = 1;
  int FormatVersion = 0;  // the version code the header was read with
};

enum class ReadResult {
  kOk,
  kUnknownSignature,  // none of the known signatures
  kCorrupted,         // the stream ended early or a count cannot fit
};

// Fills `record` from a decoded header. On kUnknownSignature the record
// keeps its defaults; on kCorrupted its contents are unspecified. Shows no
// message and publishes nothing (ReadFromStream in
// install/package_reports.h does both).
ReadResult ParseRecord(TInstalRecord& record, const std::uint8_t* data,
                       std::size_t size);

// Sizes of the stream's items.
constexpr std::size_t kFixedSlotSize = 256;
constexpr std::size_t kPreRunEntrySize = 3 * kFixedSlotSize + 1 + 1 + 4;

}  // namespace sfx

#endif  // SFX_PACKAGE_RECORD_H_
