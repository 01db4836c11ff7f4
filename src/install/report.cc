// The reporter: message boxes, the log and the exit code (see report.h).
#include "install/report.h"

#include <cstring>
#include <memory>

namespace sfx {

bool QuietMode = false;
WindowHandle MainWindow = 0;

namespace {

ExitCode g_exit_code = ExitCode::kInstalled;
// The log file of /LOG, held open for the whole process.
std::unique_ptr<File> g_log;

void WriteLog(const char* bytes, std::size_t n) {
  std::uint32_t written = 0;
  g_log->Write(bytes, static_cast<std::uint32_t>(n), &written);
}

}  // namespace

bool OpenLog(const String& path) {
  g_log = Os().CreateWrite(path);
  return g_log != nullptr;
}

void LogLine(const String& text) {
  if (!g_log) return;
  // A CR inside a message starts an indented line of the log.
  std::size_t start = 0;
  while (true) {
    const std::size_t cut = text.find('\r', start);
    WriteLog(text.data() + start,
             (cut == String::npos ? text.size() : cut) - start);
    if (cut == String::npos) break;
    WriteLog("\r\n    ", 6);
    start = cut + 1;
  }
  WriteLog("\r\n", 2);
}

void LogLine(const char* label, const String& text) {
  if (!g_log) return;
  WriteLog(label, std::strlen(label));
  LogLine(text);
}

int ShowMessage(const String& text, const char* caption, std::uint32_t flags,
                WindowHandle owner) {
  if (g_log) {
    WriteLog(caption, std::strlen(caption));
    WriteLog(": ", 2);
    LogLine(text);
  }
  if (!QuietMode) return Os().MessageBox(owner, text, caption, flags);
  return (flags & 0x0F) == os::kMbYesNo ? os::kIdNo : os::kIdOk;
}

void ReportFailure(ExitCode code, const String& text) {
  ReportFailure(code, text, MainWindow);
}

void ReportFailure(ExitCode code, const String& text, WindowHandle owner) {
  ShowMessage(text, "Error", os::kMbOk | os::kMbIconError, owner);
  g_exit_code = code;
}

void SetExitCode(ExitCode code) { g_exit_code = code; }
ExitCode CurrentExitCode() { return g_exit_code; }

void EndProcess(ExitCode code) {
  const std::uint32_t value = static_cast<std::uint32_t>(code);
  const char line[] = {'E',
                       'x',
                       'i',
                       't',
                       ' ',
                       'c',
                       'o',
                       'd',
                       'e',
                       ' ',
                       static_cast<char>('0' + value),
                       '\0'};
  LogLine(line);
  g_log.reset();
  Os().ExitProcess(value);
  for (;;) {
    // A platform whose ExitProcess returns (none should) ends here.
  }
}

}  // namespace sfx
