// The in-memory platform of the native unit tests.
#include "fake_platform.h"

#include <algorithm>

#include "memory_file.h"

namespace sfx::fake {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string ParentOf(const std::string& normalized) {
  std::size_t cut = normalized.find_last_of('\\');
  if (cut == std::string::npos) return std::string();
  return normalized.substr(0, cut);
}

// A file of the platform: the node's bytes, shared with the node.
std::unique_ptr<File> OpenNode(std::shared_ptr<FakePlatform::FileNode> node,
                               bool writable) {
  std::shared_ptr<std::vector<std::uint8_t>> data(node, &node->data);
  return std::make_unique<sfx_test::MemoryFile>(std::move(data), writable);
}

class FakeProcess : public Process {
 public:
  explicit FakeProcess(ProgramScript script) : script_(std::move(script)) {}
  bool GetExitCode(std::uint32_t* code) override {
    if (script_.polls_running > 0) {
      --script_.polls_running;
      *code = os::kStillActive;
    } else {
      *code = script_.exit_code;
    }
    return true;
  }
  bool WaitForEnd(std::uint32_t) override {
    if (script_.polls_running <= 0) return true;
    --script_.polls_running;
    return false;
  }

 private:
  ProgramScript script_;
};

class FakeKey : public RegistryKey {
 public:
  FakeKey(FakePlatform* platform, os::RegistryRoot root, std::string path)
      : platform_(platform), root_(root), path_(std::move(path)) {}
  bool SetString(const std::string& name, const std::string& value) override {
    platform_->log.push_back("SetString " + name + "=" + value);
    if (platform_->failing_value_names.count(name)) return false;
    platform_->registry_writes.push_back({root_, path_, name, value});
    return true;
  }
  bool SetDword(const std::string& name, std::uint32_t value) override {
    return SetString(name, "dword:" + std::to_string(value));
  }
  bool DeleteAllValues() override {
    platform_->log.push_back("DeleteAllValues " + path_);
    auto& writes = platform_->registry_writes;
    writes.erase(std::remove_if(writes.begin(), writes.end(),
                                [this](const RegistryWrite& write) {
                                  return write.root == root_ &&
                                         Upper(write.key) == Upper(path_);
                                }),
                 writes.end());
    return true;
  }

 private:
  FakePlatform* platform_;
  os::RegistryRoot root_;
  std::string path_;
};

}  // namespace

FakePlatform::FakePlatform() {
  AddDirectory("C:\\");
  AddDirectory(system_dir);
  AddDirectory(temp_dir);
  AddDirectory("C:\\Downloads");
  special_folders[os::kCsidlCommonAppData] = "C:\\ProgramData";
  special_folders[os::kCsidlPrograms] = "C:\\Users\\me\\Start Menu\\Programs";
  special_folders[os::kCsidlDesktop] = "C:\\Users\\me\\Desktop";
  for (const auto& folder : special_folders) AddDirectory(folder.second);
  free_space['C'] = 1000000000;
}

std::string FakePlatform::Normalize(const std::string& path) const {
  std::string full = path;
  const bool absolute = (full.size() >= 2 && full[1] == ':') ||
                        (!full.empty() && full[0] == '\\');
  if (!absolute) {
    std::string base = current_dir;
    if (!base.empty() && base.back() != '\\') base += '\\';
    full = base + full;
  }
  full = Upper(full);
  while (full.size() > 2 && full.back() == '\\') full.pop_back();
  if (full.size() == 3 && full[1] == ':' && full[2] == '\\') full.pop_back();
  return full;
}

void FakePlatform::AddDirectory(const std::string& path) {
  std::string dir = Normalize(path);
  while (!dir.empty() && !directories_.count(dir)) {
    directories_.insert(dir);
    dir = ParentOf(dir);
  }
}

void FakePlatform::AddFile(const std::string& path,
                           const std::vector<std::uint8_t>& data,
                           std::uint32_t dos_time) {
  std::string key = Normalize(path);
  AddDirectory(ParentOf(key));
  auto node = std::make_shared<FileNode>();
  node->data = data;
  node->dos_time = dos_time;
  files_[key] = node;
}

void FakePlatform::AddFile(const std::string& path, const std::string& text,
                           std::uint32_t dos_time) {
  AddFile(path, std::vector<std::uint8_t>(text.begin(), text.end()), dos_time);
}

void FakePlatform::LockFile(const std::string& path) {
  auto it = files_.find(Normalize(path));
  if (it != files_.end()) it->second->locked = true;
}

bool FakePlatform::HasFile(const std::string& path) const {
  return files_.count(Normalize(path)) != 0;
}

bool FakePlatform::HasDirectory(const std::string& path) const {
  return directories_.count(Normalize(path)) != 0;
}

const FakePlatform::FileNode* FakePlatform::FindFile(
    const std::string& path) const {
  auto it = files_.find(Normalize(path));
  return it == files_.end() ? nullptr : it->second.get();
}

std::string FakePlatform::FileText(const std::string& path) const {
  const FileNode* node = FindFile(path);
  return node ? std::string(node->data.begin(), node->data.end())
              : std::string();
}

std::optional<std::string> FakePlatform::RegistryValue(
    os::RegistryRoot root, const std::string& key,
    const std::string& name) const {
  std::optional<std::string> value;
  for (const RegistryWrite& write : registry_writes) {
    if (write.root == root && Upper(write.key) == Upper(key) &&
        Upper(write.name) == Upper(name)) {
      value = write.value;
    }
  }
  return value;
}

std::vector<std::string> FakePlatform::RegistryNames(
    os::RegistryRoot root, const std::string& key) const {
  std::vector<std::string> names;
  for (const RegistryWrite& write : registry_writes) {
    if (write.root == root && Upper(write.key) == Upper(key) &&
        std::find(names.begin(), names.end(), write.name) == names.end()) {
      names.push_back(write.name);
    }
  }
  return names;
}

std::vector<std::string> FakePlatform::MessageTexts() const {
  std::vector<std::string> texts;
  for (const MessageBoxCall& call : message_boxes) texts.push_back(call.text);
  return texts;
}

std::unique_ptr<File> FakePlatform::OpenRead(const std::string& path) {
  auto it = files_.find(Normalize(path));
  if (it == files_.end() || it->second->locked) return nullptr;
  return OpenNode(it->second, false);
}

std::unique_ptr<File> FakePlatform::OpenReadWrite(const std::string& path) {
  auto it = files_.find(Normalize(path));
  if (it == files_.end() || it->second->locked) return nullptr;
  return OpenNode(it->second, true);
}

std::unique_ptr<File> FakePlatform::CreateWrite(const std::string& path) {
  std::string key = Normalize(path);
  log.push_back("CreateWrite " + path);
  if (!directories_.count(ParentOf(key)) || directories_.count(key)) {
    return nullptr;
  }
  auto it = files_.find(key);
  if (it != files_.end() && it->second->locked) return nullptr;
  auto node = std::make_shared<FileNode>();
  files_[key] = node;
  return OpenNode(node, true);
}

bool FakePlatform::DeleteFile(const std::string& path) {
  log.push_back("DeleteFile " + path);
  auto it = files_.find(Normalize(path));
  if (it == files_.end() || it->second->locked) return false;
  files_.erase(it);
  return true;
}

bool FakePlatform::MoveFileReplace(const std::string& from,
                                   const std::string& to) {
  log.push_back("MoveFileReplace " + from + " -> " + to);
  auto source = files_.find(Normalize(from));
  const std::string key = Normalize(to);
  if (source == files_.end() || source->second->locked ||
      directories_.count(key) || !directories_.count(ParentOf(key))) {
    return false;
  }
  auto target = files_.find(key);
  if (target != files_.end() && target->second->locked) return false;
  std::shared_ptr<FileNode> node = source->second;
  files_.erase(source);
  files_[key] = node;
  return true;
}

bool FakePlatform::GetLastWriteDosTime(const std::string& path,
                                       std::uint32_t* dos_date_time) {
  const FileNode* node = FindFile(path);
  if (!node) return false;
  *dos_date_time = node->dos_time;
  return true;
}

bool FakePlatform::SetLastWriteDosTime(const std::string& path,
                                       std::uint32_t dos_date_time) {
  auto it = files_.find(Normalize(path));
  if (it == files_.end()) return false;
  it->second->dos_time = dos_date_time;
  return true;
}

std::uint32_t FakePlatform::GetFileAttributes(const std::string& path) {
  std::string key = Normalize(path);
  if (directories_.count(key)) return os::kAttributeDirectory;
  if (files_.count(key)) return 0x20;
  return os::kInvalidAttributes;
}

bool FakePlatform::CreateDirectory(const std::string& path) {
  log.push_back("CreateDirectory " + path);
  std::string key = Normalize(path);
  if (directories_.count(key) || files_.count(key)) return false;
  if (!directories_.count(ParentOf(key))) return false;
  directories_.insert(key);
  return true;
}

bool FakePlatform::SetCurrentDirectory(const std::string& path) {
  std::string key = Normalize(path);
  if (!directories_.count(key)) return false;
  current_dir = key.size() == 2 ? key + "\\" : key;
  return true;
}

std::string FakePlatform::GetCurrentDirectory() { return current_dir; }
std::string FakePlatform::GetSystemDirectory() { return system_dir; }
std::string FakePlatform::GetWindowsDirectory() { return windows_dir; }
std::string FakePlatform::GetTempPath() { return temp_dir; }

std::string FakePlatform::GetSpecialFolderPath(int csidl, WindowHandle) {
  auto it = special_folders.find(csidl);
  return it == special_folders.end() ? std::string() : it->second;
}

bool FakePlatform::GetDiskFreeSpace(char drive, std::int64_t* free_bytes) {
  auto it = free_space.find(Upper(std::string(1, drive))[0]);
  if (it == free_space.end()) return false;
  *free_bytes = it->second;
  return true;
}

std::string FakePlatform::GetModuleFileName() { return module_file_name; }
std::string FakePlatform::GetCommandLine() { return command_line; }

void FakePlatform::ExitProcess(std::uint32_t code) {
  log.push_back("ExitProcess " + std::to_string(code));
  throw FakeExit{code};
}

std::unique_ptr<Process> FakePlatform::StartProcess(const std::string& path) {
  log.push_back("StartProcess " + path);
  started_programs.push_back(path);
  auto it = programs.find(Upper(path));
  if (it == programs.end()) {
    if (!HasFile(path)) return nullptr;
    return std::make_unique<FakeProcess>(ProgramScript{});
  }
  if (it->second.on_start) it->second.on_start();
  return std::make_unique<FakeProcess>(it->second);
}

void FakePlatform::Sleep(std::uint32_t milliseconds) {
  sleeps.push_back(milliseconds);
}

std::uint32_t FakePlatform::WinExec(const std::string& command_line_text,
                                    int show) {
  log.push_back("WinExec " + command_line_text +
                " show=" + std::to_string(show));
  winexec_calls.push_back(command_line_text);
  return winexec_result;
}

bool FakePlatform::KeepSystemAwake(std::uint32_t flags) {
  log.push_back("SetThreadExecutionState " + std::to_string(flags));
  execution_state = flags;
  return true;
}

std::unique_ptr<RegistryKey> FakePlatform::CreateKey(os::RegistryRoot root,
                                                     const std::string& path) {
  log.push_back(
      std::string("CreateKey ") +
      (root == os::RegistryRoot::kLocalMachine ? "HKLM\\" : "HKCU\\") + path);
  // The system refuses a subkey path that starts with a backslash.
  if (!path.empty() && path[0] == '\\') return nullptr;
  if (failing_keys.count(Upper(path))) return nullptr;
  return std::make_unique<FakeKey>(this, root, path);
}

void FakePlatform::CoInitialize() { ++co_initialize_calls; }
void FakePlatform::CoUninitialize() { ++co_uninitialize_calls; }

std::int32_t FakePlatform::CreateShellLink(const std::string& target,
                                           const std::string& link_path,
                                           const std::string& description,
                                           const std::string& arguments,
                                           const std::string& working_dir) {
  log.push_back("CreateShellLink " + link_path);
  shell_links.push_back(
      {target, link_path, description, arguments, working_dir});
  return shell_link_status;
}

int FakePlatform::MessageBox(WindowHandle owner, const std::string& text,
                             const std::string& caption, std::uint32_t flags) {
  log.push_back("MessageBox " + caption + ": " + text);
  message_boxes.push_back({owner, text, caption, flags});
  if (!answers.empty()) {
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  return (flags & 0x0F) == os::kMbYesNo ? os::kIdYes : os::kIdOk;
}

std::string FakePlatform::GetThousandsSeparator() {
  return thousands_separator;
}

void FakePlatform::AnnounceSettingsChange() {
  log.push_back("AnnounceSettingsChange");
  ++settings_announcements;
}

}  // namespace sfx::fake
