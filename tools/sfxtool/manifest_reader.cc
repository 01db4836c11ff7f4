// The manifest's keys and the reader of their values. A new key is one
// line in kKeys (with an example value for messages) and one call where
// it is read.
#include "manifest_reader.h"

#include <algorithm>

#include "ansi.h"
#include "paths/text.h"

namespace sfxtool {
namespace {

struct KeySpec {
  const char* section;  // "" for the top level, else the array of tables
  const char* key;
  const char* example;  // a value, as the manifest would write it
};

constexpr KeySpec kKeys[] = {
    {"", "format", "\"2.4\""},
    {"", "skip_checksum", "false"},
    {"", "product_name", "\"Hello World\""},
    {"", "product_texts", "[\"Version 1.0\"]"},
    {"", "package_texts", "[\"Example Makers\"]"},
    {"", "install_dir", "\"C:\\\\Program Files\\\\Hello\""},
    {"", "menu_folder", "\"Hello World\""},
    {"", "browse_prompt", "\"Choose a folder\""},
    {"", "registry_key", "\"Software\\\\Example Makers\\\\Hello\""},
    {"", "launch_program", "\"hello.exe\""},
    {"", "space_required", "1048576"},
    {"", "welcome", "[\"Welcome to Hello World.\"]"},
    {"", "finish", "[\"Hello World has been installed.\"]"},
    {"", "directories", "[\"Data\"]"},
    {"", "extra_log_entries", "[\"hello.ini\"]"},
    {"", "icon", "\"hello.ico\""},
    {"", "info_texts", "[\"\", \"\", \"\"]"},
    {"", "flags", "[true, true, true]"},
    {"", "product_version", "\"1.2.0\""},
    {"", "publisher", "\"Example Makers\""},
    {"", "execution_level", "\"requireAdministrator\""},
    {"", "uninstaller", "true"},
    {"", "file", "[[file]]"},
    {"", "tree", "[[tree]]"},
    {"", "pre_run", "[[pre_run]]"},
    {"file", "source", "\"bin/hello.exe\""},
    {"file", "name", "\"hello.exe\""},
    {"file", "target_dir", "\"Data\""},
    {"file", "shortcut", "\"Hello World\""},
    {"file", "parameters", "\"/s\""},
    {"file", "desktop_icon", "true"},
    {"file", "add_to_log", "false"},
    {"file", "convert", "false"},
    {"tree", "source", "\"build/data\""},
    {"tree", "target_dir", "\"Data\""},
    {"tree", "exclude", "[\"*.bak\", \".git\"]"},
    {"tree", "add_to_log", "false"},
    {"pre_run", "file", "\"setup-helper.exe\""},
    {"pre_run", "parameters", "\"/s\""},
    {"pre_run", "directory", "\"%TEMP%\""},
    {"pre_run", "extract_first", "true"},
    {"pre_run", "delete_after", "true"},
    {"pre_run", "stage", "\"before\""},
};

// The section and key a field names: "pre_run[1].file" is ("pre_run",
// "file"), "welcome[2]" is ("", "welcome").
void SplitField(const std::string& field, std::string* section,
                std::string* key) {
  const std::size_t dot = field.find('.');
  if (dot == std::string::npos) {
    section->clear();
    *key = field.substr(0, field.find('['));
  } else {
    *section = field.substr(0, field.find('['));
    *key = field.substr(dot + 1);
  }
}

const KeySpec* FindKey(const std::string& section, const std::string& key) {
  for (const KeySpec& key_spec : kKeys) {
    if (section == key_spec.section && key == key_spec.key) return &key_spec;
  }
  return nullptr;
}

// Edit distance, for "did you mean".
std::size_t Distance(const std::string& a, const std::string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The nearest key of `section`, empty when none is near enough.
std::string NearestKey(const std::string& section, const std::string& key) {
  std::string best;
  std::size_t best_distance = 0;
  for (const KeySpec& key_spec : kKeys) {
    if (section != key_spec.section) continue;
    const std::string lower = Lower(key);
    const std::string known = key_spec.key;
    // A key cut short or with a part too many is as near as a typo.
    const bool prefix = lower.size() >= 3 && (known.rfind(lower, 0) == 0 ||
                                              lower.rfind(known, 0) == 0);
    const std::size_t d = prefix ? 1 : Distance(lower, known);
    if (best.empty() || d < best_distance) {
      best = key_spec.key;
      best_distance = d;
    }
  }
  const std::size_t allowed = std::max<std::size_t>(2, key.size() / 3);
  return best_distance <= allowed ? best : std::string();
}

// A message as one C string: a NUL that a quoted text holds ("\u0000" in
// TOML) would end it there, and with it the reason; it is shown as the
// other control characters are, \x00.
std::string WithoutNul(std::string message) {
  for (std::size_t at = message.find('\0'); at != std::string::npos;
       at = message.find('\0', at)) {
    message.replace(at, 1, "\\x00");
  }
  return message;
}

}  // namespace

Reader::Reader(const std::string& path, std::vector<std::string>* warnings)
    : path_(path), warnings_(warnings) {
  const std::size_t slash = path.find_last_of('/');
  dir_ = slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

void Reader::Fail(const toml::node* node, const std::string& field,
                  const std::string& message) const {
  const auto line = node ? node->source().begin.line : 0;
  throw ManifestError(WithoutNul(path_ + ":" + std::to_string(line) + ": " +
                                 field + ": " + message));
}

void Reader::Warn(const toml::node* node, const std::string& field,
                  const std::string& message) const {
  const auto line = node ? node->source().begin.line : 0;
  warnings_->push_back(WithoutNul(path_ + ":" + std::to_string(line) + ": " +
                                  field + ": " + message));
}

void Reader::RefuseNul(const toml::node* node, const std::string& field,
                       const std::string& text) const {
  if (text.find('\0') != std::string::npos) {
    Fail(node, field, "may not hold a NUL (\\u0000)");
  }
}

std::string Reader::Example(const std::string& field) const {
  std::string section;
  std::string key;
  SplitField(field, &section, &key);
  const KeySpec* key_spec = FindKey(section, key);
  return key_spec ? std::string(", e.g. ") + key + " = " + key_spec->example
                  : std::string();
}

std::string Reader::Expected(const std::string& what,
                             const std::string& field) const {
  return "must be " + what + Example(field);
}

void Reader::CheckKeys(const toml::table& table, const std::string& section,
                       const std::string& prefix) const {
  for (const auto& [key_name, node] : table) {
    const std::string key(key_name.str());
    if (FindKey(section, key)) continue;
    const std::string nearest = NearestKey(section, key);
    if (!nearest.empty()) {
      Fail(&node, prefix + key, "unknown key; did you mean " + nearest + "?");
    }
    std::string owners;  // the tables that do know the key
    for (const KeySpec& key_spec : kKeys) {
      if (key != key_spec.key || section == key_spec.section) continue;
      if (!owners.empty()) owners += " or ";
      owners += *key_spec.section ? std::string("[[") + key_spec.section + "]]"
                                  : std::string("the top level");
    }
    Fail(&node, prefix + key,
         owners.empty() ? "unknown key"
                        : "unknown key here; it belongs in " + owners);
  }
}

std::string Reader::Text(const toml::table& table, const std::string& key,
                         const std::string& field, bool required,
                         const std::string& fallback) const {
  const toml::node* node = table.get(key);
  if (!node) {
    if (required) Fail(&table, field, "missing" + Example(field));
    return fallback;
  }
  std::string text = TextOf(*node, field);
  if (required && text.empty()) Fail(node, field, "may not be empty");
  return text;
}

std::string Reader::TextOf(const toml::node& node,
                           const std::string& field) const {
  const auto* value = node.as_string();
  if (!value) Fail(&node, field, Expected("a string", field));
  std::string ansi;
  std::string bad;
  if (!Utf8ToAnsi(value->get(), &ansi, &bad)) {
    Fail(&node, field, "\"" + bad + "\" cannot be written in code page 1252");
  }
  RefuseNul(&node, field, ansi);
  if (ansi.size() > sfx::kShortTextMax) {
    Fail(&node, field,
         "is " + std::to_string(ansi.size()) +
             " bytes long; a text holds at most 255");
  }
  return ansi;
}

std::vector<std::string> Reader::List(
    const toml::table& table, const std::string& key, const std::string& field,
    const std::function<std::string(const toml::node&, const std::string&)>&
        item) const {
  std::vector<std::string> list;
  const toml::node* node = table.get(key);
  if (!node) return list;
  const auto* array = node->as_array();
  if (!array) Fail(node, field, Expected("an array of strings", field));
  for (std::size_t i = 0; i < array->size(); ++i) {
    list.push_back(item(*array->get(i), field + "[" + std::to_string(i) + "]"));
  }
  return list;
}

std::vector<std::string> Reader::TextList(const toml::table& table,
                                          const std::string& key,
                                          const std::string& field) const {
  return List(table, key, field,
              [this](const toml::node& item, const std::string& item_field) {
                return TextOf(item, item_field);
              });
}

std::string Reader::WithSlashesTurned(const toml::node* node,
                                      const std::string& field,
                                      std::string text) const {
  const std::size_t end = std::min(text.find('"'), text.size());
  if (text.find('/') >= end) return text;
  const std::string original = text;
  std::replace(text.begin(), text.begin() + end, '/', '\\');
  Warn(node, field,
       "\"" + AnsiToUtf8(original) + "\" is taken as \"" + AnsiToUtf8(text) +
           "\": Windows paths are written with backslashes");
  return text;
}

std::string Reader::WindowsPath(const toml::table& table,
                                const std::string& key,
                                const std::string& field, bool required) const {
  return WithSlashesTurned(table.get(key), field,
                           Text(table, key, field, required));
}

std::vector<std::string> Reader::PathList(const toml::table& table,
                                          const std::string& key,
                                          const std::string& field) const {
  std::vector<std::string> list = TextList(table, key, field);
  const toml::node* node = table.get(key);
  for (std::size_t i = 0; i < list.size(); ++i) {
    list[i] = WithSlashesTurned(node->as_array()->get(i),
                                field + "[" + std::to_string(i) + "]", list[i]);
  }
  return list;
}

bool Reader::Bool(const toml::table& table, const std::string& key,
                  const std::string& field, bool fallback) const {
  const toml::node* node = table.get(key);
  if (!node) return fallback;
  const auto* value = node->as_boolean();
  if (!value) Fail(node, field, Expected("true or false", field));
  return value->get();
}

std::string Reader::Path(const toml::table& table, const std::string& key,
                         const std::string& field) const {
  const toml::node* node = table.get(key);
  if (!node) Fail(&table, field, "missing" + Example(field));
  const auto* value = node->as_string();
  if (!value) Fail(node, field, Expected("a path", field));
  if (value->get().empty()) Fail(node, field, "may not be empty");
  const std::string& path = value->get();
  RefuseNul(node, field, path);
  return path[0] == '/' ? path : dir_ + path;
}

std::vector<std::string> Reader::HostList(const toml::table& table,
                                          const std::string& key,
                                          const std::string& field) const {
  return List(
      table, key, field,
      [this, &field](const toml::node& item, const std::string& item_field) {
        const auto* value = item.as_string();
        if (!value) Fail(&item, item_field, Expected("a string", field));
        RefuseNul(&item, item_field, value->get());
        return value->get();
      });
}

}  // namespace sfxtool
