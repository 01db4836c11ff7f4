// The progress line of sfxtool's long commands: one line on standard
// error, redrawn in place, with the bytes done, the total, the throughput
// and the time left. It appears only on a terminal and only for work that
// lasts longer than about a second, so scripts and pipes see nothing of it.
#ifndef SFXTOOL_PROGRESS_H_
#define SFXTOOL_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <string>

namespace sfxtool {

class Progress {
 public:
  // `verb` starts the line ("build", "verify"); `total` is the byte count
  // that `Update` counts towards. With `enabled` false nothing is drawn.
  Progress(const std::string& verb, std::int64_t total, bool enabled);
  ~Progress();  // erases the line
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // True when standard error is a terminal: where a progress line belongs.
  static bool OnTerminal();

  // `done` bytes of the total are done. Cheap when nothing is drawn;
  // redraws at most ten times a second.
  void Update(std::int64_t done);
  // Erases the line, so that something else can be printed; the next
  // Update draws it again.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;
  void Draw(std::int64_t done, Clock::time_point now);

  std::string verb_;
  std::int64_t total_;
  bool enabled_;
  bool drawn_ = false;
  Clock::time_point start_;
  Clock::time_point last_draw_;
};

// "12.3 MB" for a byte count (decimal megabytes; kB below one).
std::string ByteText(std::int64_t bytes);

}  // namespace sfxtool

#endif  // SFXTOOL_PROGRESS_H_
