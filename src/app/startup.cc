// The start-up sequence: the installer verifies its own file before it reads
// anything from the package, reads the header, prepares the destination from
// the package default, and only then looks at the command line to choose
// between the unattended run and the window.
#include "app/startup.h"

#include <memory>

#include "app/stub_size_block.h"
#include "install/installation.h"
#include "package/signature.h"
#include "paths/concat.h"
#include "paths/macros.h"
#include "paths/text.h"
#include "platform/divide.h"
#include "platform/platform.h"
#include "ui/main_window.h"

namespace sfx {
namespace {

constexpr char kErrorCaption[] = "Error";

void ShowError(const std::string& text) {
  Os().MessageBox(MainWindow, text, kErrorCaption,
                  os::kMbOk | os::kMbIconError);
}

bool IsSeparator(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

// Reads one argument starting at `*pos` (quotes removed) and moves `*pos`
// behind it. A leading pair of quotes is skipped, with the blanks around it.
std::string NextArgument(const std::string& line, std::size_t* pos) {
  std::size_t i = *pos;
  while (true) {
    while (i < line.size() && IsSeparator(line[i])) ++i;
    if (i + 1 < line.size() && line[i] == '"' && line[i + 1] == '"') {
      i += 2;
    } else {
      break;
    }
  }
  std::string argument;
  bool quoted = false;
  for (; i < line.size() && line[i] != '\0'; ++i) {
    const char c = line[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && IsSeparator(c)) {
      break;
    } else {
      argument += c;
    }
  }
  *pos = i;
  return argument;
}

// The installer file's length as built (a signature appended later does
// not count), -1 when it cannot be measured.
std::int64_t MeasureFile(const std::string& path, std::int64_t expected) {
  std::unique_ptr<File> file = Os().OpenRead(path);
  return file ? LengthBeforeSigning(*file, expected) : -1;
}

// Moves a drive-letter default to the Windows directory's drive, or
// expands a macro default and lets the window install by itself.
void PrepareDestination(TInstalRecord& record) {
  std::string& dir = record.InstallDir;
  if (dir.size() >= 2 && dir[1] == ':') {
    TargetDrive = UpperCaseLatin(dir)[0];
    const std::string windows = Os().GetWindowsDirectory();
    if (!windows.empty()) {
      const char letter = windows[0];
      if ((letter >= 'A' && letter <= 'Z') ||
          (letter >= 'a' && letter <= 'z')) {
        TargetDrive = letter;
        dir[0] = letter;
      }
    }
    return;
  }
  dir = ExpandMacros(dir);
  TargetDrive = dir.empty() ? '\0' : UpperCaseLatin(dir)[0];
  AutoInstall = true;
}

}  // namespace

std::string FirstArgument(const std::string& command_line) {
  std::size_t pos = 0;
  NextArgument(command_line, &pos);  // the program's own name
  return NextArgument(command_line, &pos);
}

std::string FormatThousands(std::int64_t n, const std::string& separator) {
  const bool negative = n < 0;
  // Built from the right.
  std::string reversed_digits;
  std::uint64_t rest = Magnitude(n);
  int count = 0;
  do {
    const Division64 step = DivideUint64(rest, 10);
    if (count > 0 && count % 3 == 0) {
      reversed_digits.append(separator.rbegin(), separator.rend());
    }
    reversed_digits += static_cast<char>('0' + step.remainder);
    ++count;
    rest = step.quotient;
  } while (rest != 0);
  if (negative) reversed_digits += '-';
  return std::string(reversed_digits.rbegin(), reversed_digits.rend());
}

std::string CorruptionMessage(const std::string& exe_path,
                              std::int64_t actual_size,
                              const StubSizeValues& stub,
                              const std::string& separator) {
  std::string size_sentence;
  if (actual_size >= 0 && stub.expected_size1 == stub.expected_size2 &&
      stub.expected_size1 > 0 && actual_size != stub.expected_size1) {
    size_sentence =
        Concat({"The size of file ", FormatThousands(actual_size, separator),
                " bytes, must be ",
                FormatThousands(stub.expected_size1, separator), " bytes\r"});
  }
  return Concat({"File ", LastPathComponent(exe_path), " is corrupted. \r",
                 size_sentence,
                 "Probably you have not completed file downloading or some "
                 "errors occured during download process.\rPlease try to "
                 "download the file again."});
}

void RunInstaller(TInstalRecord& record) {
  const StubSizeValues stub = ReadStubSizeBlock();
  if (!VerifyPackage(ExePath, stub.skip_checksum != 0)) {
    Os().MessageBox(
        0,
        CorruptionMessage(ExePath, MeasureFile(ExePath, stub.expected_size1),
                          stub, Os().GetThousandsSeparator()),
        kErrorCaption, os::kMbOk | os::kMbIconError);
    return;
  }

  ReadPackageHeader(record);
  // An unknown signature has shown "Data is corrupted." and left the record
  // empty; a package without a default destination cannot be installed
  // either. Both end like a header that cannot be read.
  if (record.FormatVersion == 0) Os().ExitProcess(1);
  if (record.InstallDir.empty()) {
    ShowError("Packed data is corrupted.");
    Os().ExitProcess(1);
  }
  PrepareDestination(record);

  const std::string argument = FirstArgument(Os().GetCommandLine());
  if (!argument.empty()) {
    if (argument.size() >= kDestBufferSize) {
      ShowError(
          "The destination directory is too long:\rit may hold at most 499 "
          "characters.");
      return;
    }
    Unattended = true;
    DestBuffer = argument;
    TargetDrive = UpperCaseLatin(argument)[0];
    RunInstallation(record);
    return;
  }
  RunMainWindow(record);
}

}  // namespace sfx
