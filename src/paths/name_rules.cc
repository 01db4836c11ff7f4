// Name and path rules for what a package may write (see name_rules.h).
#include "paths/name_rules.h"

#include <cstring>

#include "paths/macros.h"
#include "paths/text.h"

namespace sfx {
namespace {

bool IsDeviceName(const String& name) {
  // Windows maps these names to devices whatever extension follows, and
  // ignores blanks before the extension.
  String base = UpperCaseLatin(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"CON", "PRN",    "AUX",
                                         "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  // COM1-9 and LPT1-9, also with a superscript digit (code page 1252's
  // 0xB9, 0xB2, 0xB3), which Windows takes as the digit.
  const unsigned char digit = base.size() == 4 ? base[3] : 0;
  return (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
         ((digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 ||
          digit == 0xB3);
}

}  // namespace

NameProblem CheckNameComponent(const String& name) {
  if (name.empty()) return NameProblem::kEmpty;
  if (name == "." || name == "..") return NameProblem::kDotComponent;
  for (const char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || std::strchr("<>:\"/\\|?*", c) != nullptr) {
      return NameProblem::kForbiddenChar;
    }
  }
  if (name.back() == '.' || name.back() == ' ') {
    return NameProblem::kTrailingDotSpace;
  }
  if (IsDeviceName(name)) return NameProblem::kDeviceName;
  return NameProblem::kNone;
}

NameProblem CheckProductName(const String& name) {
  if (name == "." || name == "..") return NameProblem::kDotComponent;
  if (name.size() >= 2 && name[1] == ':') return NameProblem::kRooted;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 32 || c == '\\' || c == '/') {
      return NameProblem::kForbiddenChar;
    }
  }
  return NameProblem::kNone;
}

NameProblem CheckRelativePath(const String& path, bool macro_allowed) {
  String rest = path;
  if (macro_allowed) {
    const String upper = UpperCaseLatin(path);
    std::size_t end = String::npos;
    for (const char* macro : kMacroNames) {
      const std::size_t at = upper.rfind(macro);
      if (at == String::npos) continue;
      const std::size_t after = at + std::strlen(macro);
      if (end == String::npos || after > end) end = after;
    }
    if (end != String::npos) {
      rest = path.substr(end);
      if (!rest.empty() && rest[0] == '\\') rest.erase(0, 1);
    }
  }
  if (rest.empty()) return NameProblem::kNone;
  if (rest[0] == '\\' || (rest.size() >= 2 && rest[1] == ':')) {
    return NameProblem::kRooted;
  }
  if (rest.back() == '\\') rest.pop_back();
  std::size_t start = 0;
  while (true) {
    const std::size_t cut = rest.find('\\', start);
    const NameProblem problem =
        CheckNameComponent(rest.substr(start, cut - start));
    if (problem != NameProblem::kNone) return problem;
    if (cut == String::npos) return NameProblem::kNone;
    start = cut + 1;
  }
}

const char* DescribeNameProblem(NameProblem problem) {
  switch (problem) {
    case NameProblem::kNone:
      return "is allowed";
    case NameProblem::kEmpty:
      return "is empty or has an empty component";
    case NameProblem::kDotComponent:
      return "has a . or .. component";
    case NameProblem::kRooted:
      return "names a drive or root; only a directory macro may start a "
             "path outside the destination";
    case NameProblem::kForbiddenChar:
      return "holds a character Windows forbids in names "
             "(< > : \" / \\ | ? * or a control character)";
    case NameProblem::kDeviceName:
      return "is a Windows device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9)";
    case NameProblem::kTrailingDotSpace:
      return "ends with a dot or a blank, which Windows drops";
  }
  return "is not allowed";
}

char FoldNameChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u != 0xF7 && u != 0xFF)) {
    return static_cast<char>(u - 0x20);
  }
  if (u == 0x9A || u == 0x9C || u == 0x9E) return static_cast<char>(u - 0x10);
  return u == 0xFF ? static_cast<char>(0x9F) : c;
}

String NameKey(const String& name) {
  String key = name;
  for (char& c : key) c = FoldNameChar(c);
  return key;
}

}  // namespace sfx
