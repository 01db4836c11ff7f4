// The folder tree that `sfxtool extract` writes into. Every folder below
// the output directory is created and opened relative to its parent
// (mkdirat, openat with O_NOFOLLOW), so a symbolic link planted inside the
// output directory is refused, never followed. Every file is written under
// a temporary name in its folder and renamed over its final name only
// once it is complete, so a failed extraction never leaves a partial file
// under a real name; and no file may replace the installer being read.
#ifndef SFXTOOL_OUTPUT_TREE_H_
#define SFXTOOL_OUTPUT_TREE_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sfxtool {

class OutputTree {
 public:
  // `installer_device` and `installer_inode` identify the file being read.
  OutputTree(dev_t installer_device, ino_t installer_inode)
      : installer_device_(installer_device),
        installer_inode_(installer_inode) {}
  ~OutputTree();  // removes an unfinished file
  OutputTree(const OutputTree&) = delete;
  OutputTree& operator=(const OutputTree&) = delete;

  // Opens the output directory `root`, creating it and its missing
  // parents (a link in `root` itself is the user's choice and followed).
  bool OpenRoot(const std::string& root, std::string* problem);

  // True when `name` in the folder `folder` (components below the root,
  // host names) exists and is the installer. Creates nothing.
  bool IsInstaller(const std::vector<std::string>& folder,
                   const std::string& name);

  // Creates `folder` and its missing parents (a listed directory).
  bool MakeFolder(const std::vector<std::string>& folder, std::string* problem);

  // Starts the file `name` in `folder`, creating the missing folders.
  bool BeginFile(const std::vector<std::string>& folder,
                 const std::string& name, std::string* problem);
  bool Write(const std::uint8_t* data, std::size_t size, std::string* problem);
  // Gives the file its time (`dos_date_time`, local time; an invalid one
  // leaves the time of writing) and moves it to its name.
  bool CommitFile(std::uint32_t dos_date_time, std::string* problem);
  // Removes the unfinished file, if any.
  void AbortFile();

  // The path of the current file for messages ("out/Data/a.txt"), with
  // control characters shown as \xNN.
  const std::string& current_path() const { return path_; }

 private:
  // Opens `folder` below the root; creates missing parts when `create`.
  // Returns a descriptor the caller closes, or -1 with errno set (ELOOP
  // for a symbolic link).
  int OpenFolder(const std::vector<std::string>& folder, bool create,
                 std::string* failed_at);
  // OpenFolder creating what is missing, with the message on failure.
  int CreateFolder(const std::vector<std::string>& folder,
                   std::string* problem);
  bool Fail(const std::string& what, std::string* problem);

  dev_t installer_device_;
  ino_t installer_inode_;
  std::string root_path_;
  int root_ = -1;
  // The file being written.
  int folder_ = -1;
  int file_ = -1;
  std::string temporary_;
  int temporary_slot_ = -1;  // in the table of files removed on a signal
  std::string name_;
  std::string path_;
};

}  // namespace sfxtool

#endif  // SFXTOOL_OUTPUT_TREE_H_
