// Draws the progress line with a carriage return and an erase-to-end-of-
// line sequence, so it never scrolls.
#include "progress.h"

#include <unistd.h>

#include <cstdio>

#include "safe_stderr.h"

namespace sfxtool {
namespace {

// Work that ends sooner than this shows no line at all.
constexpr std::chrono::milliseconds kQuietStart(1000);
constexpr std::chrono::milliseconds kRedrawEvery(100);

std::string DurationText(double seconds) {
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600,
                  total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

}  // namespace

std::string ByteText(std::int64_t bytes) {
  char text[32];
  if (bytes < 1000000) {
    std::snprintf(text, sizeof text, "%.1f kB",
                  static_cast<double>(bytes) / 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB",
                  static_cast<double>(bytes) / 1e6);
  }
  return text;
}

Progress::Progress(const std::string& verb, std::int64_t total, bool enabled)
    : verb_(verb), total_(total), enabled_(enabled), start_(Clock::now()) {}

Progress::~Progress() { Clear(); }

bool Progress::OnTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void Progress::Update(std::int64_t done) {
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kQuietStart) return;
  if (drawn_ && now - last_draw_ < kRedrawEvery) return;
  Draw(done, now);
}

void Progress::Clear() {
  if (!drawn_) return;
  // Everything else on standard error goes first, then the erase.
  std::fflush(stderr);
  std::fputs("\r\033[K", RawStandardError());
  std::fflush(RawStandardError());
  drawn_ = false;
}

void Progress::Draw(std::int64_t done, Clock::time_point now) {
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  std::string line = verb_ + "  " + ByteText(done) + " of " + ByteText(total_);
  char text[64];
  std::snprintf(text, sizeof text, "  %.1f MB/s", rate / 1e6);
  line += text;
  if (rate > 0 && done <= total_) {
    line += "  " + DurationText(static_cast<double>(total_ - done) / rate) +
            " left";
  }
  std::fflush(stderr);
  std::fprintf(RawStandardError(), "\r%s\033[K", line.c_str());
  std::fflush(RawStandardError());
  drawn_ = true;
  last_draw_ = now;
}

}  // namespace sfxtool
