// The reporter: message boxes, the log and the exit code (see report.h).
#include "platform/report.h"

#include <memory>

namespace sfx {

bool QuietMode = false;

namespace {

ExitCode g_exit_code = ExitCode::kInstalled;
// The log file of /LOG, held open for the whole process.
std::unique_ptr<File> g_log;

void WriteLog(const std::string& text) {
  std::uint32_t written = 0;
  g_log->Write(text.data(), static_cast<std::uint32_t>(text.size()), &written);
}

}  // namespace

bool OpenLog(const std::string& path) {
  g_log = Os().CreateWrite(path);
  return g_log != nullptr;
}

void LogLine(const std::string& text) {
  if (!g_log) return;
  std::string line;
  for (const char c : text) {
    if (c == '\r') {
      line += "\r\n    ";
    } else {
      line += c;
    }
  }
  line += "\r\n";
  WriteLog(line);
}

int ShowMessage(const std::string& text, const char* caption,
                std::uint32_t flags, WindowHandle owner) {
  LogLine(std::string(caption) + ": " + text);
  if (!QuietMode) return Os().MessageBox(owner, text, caption, flags);
  return (flags & 0x0F) == os::kMbYesNo ? os::kIdNo : os::kIdOk;
}

void ReportFailure(ExitCode code, const std::string& text) {
  ReportFailure(code, text, MainWindow);
}

void ReportFailure(ExitCode code, const std::string& text, WindowHandle owner) {
  ShowMessage(text, "Error", os::kMbOk | os::kMbIconError, owner);
  g_exit_code = code;
}

void SetExitCode(ExitCode code) { g_exit_code = code; }
ExitCode CurrentExitCode() { return g_exit_code; }

void EndProcess(ExitCode code) {
  const std::uint32_t value = static_cast<std::uint32_t>(code);
  LogLine(std::string("Exit code ") + static_cast<char>('0' + value));
  g_log.reset();
  Os().ExitProcess(value);
  for (;;) {
    // A platform whose ExitProcess returns (none should) ends here.
  }
}

}  // namespace sfx
