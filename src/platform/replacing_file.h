// A host file written under a temporary name beside its final one and
// moved over it only once complete, so that a failed or interrupted write
// leaves an existing file as it was and no partial file behind; and the
// table of such temporary files that SIGINT, SIGTERM and SIGHUP remove
// before the process ends. Host only.
#ifndef SFX_PLATFORM_REPLACING_FILE_H_
#define SFX_PLATFORM_REPLACING_FILE_H_

#include <string>

namespace sfx {

class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();  // removes the temporary file unless committed
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Creates a new temporary file beside `path` (open for reading and
  // writing; the descriptor stays the caller's to close). Where `path` is
  // a link, beside the file it names, which is then replaced; where it is
  // a device or a pipe, opens it for writing instead (no temporary file;
  // Commit has nothing to do). -1, with errno set, when neither works.
  int Create(const std::string& path);
  // Moves the temporary file over the final path. False, with errno set,
  // when it cannot; the temporary file is then removed.
  bool Commit();
  // The temporary file's path while it exists; empty before Create and
  // after Commit.
  const std::string& temporary() const { return temporary_; }

 private:
  std::string path_;
  std::string temporary_;
  int slot_ = -1;
};

// Installs, once, handlers for SIGINT, SIGTERM and SIGHUP that remove every
// tracked temporary file and then end the process as the signal would.
void RemoveTemporariesOnSignals();

// Adds `path` to the table; returns its slot, or -1 when the table is full
// or the path too long (the file is then only removed by its owner).
int TrackTemporary(const std::string& path);
// Takes a slot from TrackTemporary out of the table (-1 is ignored).
void UntrackTemporary(int slot);

// The child process that writes a tracked file (0: none), which a signal
// ends before the files are removed.
void TrackChildProcess(int pid);

}  // namespace sfx

#endif  // SFX_PLATFORM_REPLACING_FILE_H_
