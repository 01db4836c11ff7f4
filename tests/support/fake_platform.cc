// The in-memory platform of the native unit tests.
#include "fake_platform.h"

#include <algorithm>
#include <iterator>

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
  return cut == std::string::npos ? std::string() : normalized.substr(0, cut);
}

class FakeProcess : public Process {
 public:
  explicit FakeProcess(ProgramScript script) : script_(std::move(script)) {}
  bool GetExitCode(std::uint32_t* code) override {
    *code = WaitForEnd(0) ? script_.exit_code : os::kStillActive;
    return true;
  }
  bool WaitForEnd(std::uint32_t) override {
    return script_.polls_running-- <= 0;
  }

 private:
  ProgramScript script_;
};

class FakeKey : public RegistryKey {
 public:
  FakeKey(FakePlatform* platform, os::RegistryRoot root, std::string path)
      : platform_(platform), root_(root), path_(std::move(path)) {}
  bool SetString(const std::string& name, const std::string& value) override {
    if (platform_->failing_value_names.count(name)) return false;
    platform_->registry_writes.push_back({root_, path_, name, value});
    return true;
  }
  bool SetDword(const std::string& name, std::uint32_t value) override {
    return SetString(name, "dword:" + std::to_string(value));
  }
  bool DeleteAllValues() override {
    platform_->DeleteKey(root_, path_);  // the fake keeps values only
    return true;
  }

 private:
  FakePlatform* platform_;
  os::RegistryRoot root_;
  std::string path_;
};

}  // namespace

FakePlatform::FakePlatform() {
  special_folders[os::kCsidlCommonAppData] = "C:\\ProgramData";
  special_folders[os::kCsidlPrograms] = "C:\\Users\\me\\Start Menu\\Programs";
  special_folders[os::kCsidlDesktop] = "C:\\Users\\me\\Desktop";
  for (const auto& folder : special_folders) AddDirectory(folder.second);
  for (const std::string& dir : {system_dir, temp_dir}) AddDirectory(dir);
  AddDirectory("C:\\Downloads");
  free_space['C'] = 1000000000;
}

std::string FakePlatform::FullPath(const std::string& path) const {
  if ((path.size() >= 2 && path[1] == ':') || path.rfind('\\', 0) == 0) {
    return path;
  }
  const bool ends = !current_dir.empty() && current_dir.back() == '\\';
  return current_dir + (ends ? "" : "\\") + path;
}

std::string FakePlatform::Normalize(const std::string& path) const {
  std::string full = Upper(FullPath(path));
  while (full.size() > 2 && full.back() == '\\') full.pop_back();
  return full;
}

FakePlatform::Node* FakePlatform::Find(const std::string& path,
                                       bool directory) const {
  auto it = nodes_.find(Normalize(path));
  if (it == nodes_.end() || it->second.directory != directory) return nullptr;
  return &it->second;
}

bool FakePlatform::IsDirectoryKey(const std::string& key) const {
  auto it = nodes_.find(key);
  return it != nodes_.end() && it->second.directory;
}

bool FakePlatform::CanCreateAt(const std::string& key) const {
  auto it = nodes_.find(key);
  return IsDirectoryKey(ParentOf(key)) &&
         (it == nodes_.end() || !(it->second.directory || it->second.locked));
}

void FakePlatform::AddDirectory(const std::string& path) {
  for (std::string dir = Normalize(path); !dir.empty(); dir = ParentOf(dir)) {
    nodes_[dir].directory = true;
  }
}

void FakePlatform::AddFile(const std::string& path,
                           const std::vector<std::uint8_t>& data,
                           std::uint32_t dos_time) {
  const std::string key = Normalize(path);
  AddDirectory(ParentOf(key));
  nodes_[key] = {false, std::make_shared<std::vector<std::uint8_t>>(data),
                 std::make_shared<std::uint32_t>(dos_time), false};
}

std::string FakePlatform::FileText(const std::string& path) const {
  const Node* node = Find(path, false);
  return node ? std::string(node->data->begin(), node->data->end()) : "";
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

std::unique_ptr<File> FakePlatform::Open(const std::string& path,
                                         bool writable) {
  Node* node = Find(path, false);
  if (!node || node->locked) return nullptr;
  return std::make_unique<sfx_test::MemoryFile>(node->data, writable,
                                                node->dos_time);
}

std::unique_ptr<File> FakePlatform::CreateWrite(const std::string& path) {
  const std::string key = Normalize(path);
  if (!CanCreateAt(key)) return nullptr;
  AddFile(key, std::vector<std::uint8_t>());
  return Open(key, true);
}

std::unique_ptr<File> FakePlatform::CreateNew(const std::string& path) {
  if (Find(path, false) || HasDirectory(path)) return nullptr;
  return CreateWrite(path);
}

bool FakePlatform::DeleteFile(const std::string& path) {
  Node* node = Find(path, false);
  if (!node || node->locked) return false;
  nodes_.erase(Normalize(path));
  return true;
}

bool FakePlatform::MoveFileReplace(const std::string& from,
                                   const std::string& to) {
  Node* source = Find(from, false);
  const std::string key = Normalize(to);
  if (!source || source->locked || !CanCreateAt(key)) return false;
  Node moved = *source;
  nodes_.erase(Normalize(from));
  nodes_[key] = moved;
  return true;
}

bool FakePlatform::GetLastWriteDosTime(const std::string& path,
                                       std::uint32_t* dos_date_time) {
  const Node* node = Find(path, false);
  if (node) *dos_date_time = *node->dos_time;
  return node;
}

std::uint32_t FakePlatform::GetFileAttributes(const std::string& path) {
  if (HasDirectory(path)) return os::kAttributeDirectory;
  return HasFile(path) ? 0x20 : os::kInvalidAttributes;
}

bool FakePlatform::CreateDirectory(const std::string& path) {
  log.push_back("CreateDirectory " + path);
  const std::string key = Normalize(path);
  if (nodes_.count(key) || !IsDirectoryKey(ParentOf(key))) return false;
  nodes_[key].directory = true;
  return true;
}

bool FakePlatform::SetCurrentDirectory(const std::string& path) {
  const std::string key = Normalize(path);
  if (!HasDirectory(key)) return false;
  current_dir = key.size() == 2 ? key + "\\" : key;
  return true;
}

bool FakePlatform::GetDiskFreeSpace(char drive, std::int64_t* free_bytes) {
  auto it = free_space.find(Upper(std::string(1, drive))[0]);
  if (it != free_space.end()) *free_bytes = it->second;
  return it != free_space.end();
}

std::unique_ptr<Process> FakePlatform::StartProcess(const std::string& path) {
  log.push_back("StartProcess " + path);
  started_programs.push_back(path);
  auto it = programs.find(Upper(path));
  if (it == programs.end()) {
    return HasFile(path) ? std::make_unique<FakeProcess>(ProgramScript{})
                         : nullptr;
  }
  if (it->second.on_start) it->second.on_start();
  return std::make_unique<FakeProcess>(it->second);
}

std::unique_ptr<RegistryKey> FakePlatform::CreateKey(os::RegistryRoot root,
                                                     const std::string& path) {
  log.push_back(
      std::string("CreateKey ") +
      (root == os::RegistryRoot::kLocalMachine ? "HKLM\\" : "HKCU\\") + path);
  // The system refuses a subkey path that starts with a backslash.
  if (path.rfind('\\', 0) == 0 || failing_keys.count(Upper(path))) {
    return nullptr;
  }
  created_keys.insert(Upper(path));
  return std::make_unique<FakeKey>(this, root, path);
}

bool FakePlatform::DeleteKey(os::RegistryRoot root, const std::string& path) {
  const std::size_t before = registry_writes.size();
  registry_writes.erase(
      std::remove_if(registry_writes.begin(), registry_writes.end(),
                     [&](const RegistryWrite& write) {
                       return write.root == root &&
                              Upper(write.key) == Upper(path);
                     }),
      registry_writes.end());
  return created_keys.erase(Upper(path)) != 0 ||
         registry_writes.size() != before;
}

os::KeyCopy FakePlatform::CopyKeyOnce(os::RegistryRoot root,
                                      const std::string& from,
                                      const std::string& to) {
  const auto in = [&](const std::string& key) {
    return [&, key](const RegistryWrite& write) {
      return write.root == root && Upper(write.key) == Upper(key);
    };
  };
  std::vector<RegistryWrite> copies;
  std::copy_if(registry_writes.begin(), registry_writes.end(),
               std::back_inserter(copies), in(from));
  if (copies.empty()) return os::KeyCopy::kNoSource;
  if (std::any_of(registry_writes.begin(), registry_writes.end(), in(to))) {
    return os::KeyCopy::kTargetExists;
  }
  for (RegistryWrite& write : copies) {
    write.key = to;
    registry_writes.push_back(write);
  }
  return os::KeyCopy::kCopied;
}

int FakePlatform::MessageBox(WindowHandle owner, const std::string& text,
                             const std::string& caption, std::uint32_t flags) {
  message_boxes.push_back({owner, text, caption, flags});
  if (answers.empty()) {
    return (flags & 0x0F) == os::kMbYesNo ? os::kIdYes : os::kIdOk;
  }
  const int answer = answers.front();
  answers.pop_front();
  return answer;
}

}  // namespace sfx::fake
