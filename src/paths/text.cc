// The text and path rules that every part of the installer shares: the
// locale-free upper-casing, the trailing-backslash rule, the split at a
// delimiter and the case-insensitive macro replacement.
#include "paths/text.h"

namespace sfx {

String ToShortText(const String& text) {
  return text.size() > kShortTextMax ? text.substr(0, kShortTextMax) : text;
}

char UpperCaseLatin(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return (byte >= 0x61 && byte <= 0x7A) || byte >= 0xE0
             ? static_cast<char>(byte - 0x20)
             : c;
}

String UpperCaseLatin(const String& text) {
  String result = text;
  for (char& c : result) c = UpperCaseLatin(c);
  return result;
}

String AddTrailingBackslash(const String& text) {
  if (text.empty() || text.back() == '\\') return text;
  return text + '\\';
}

String AddTrailingBackslashShort(const String& text) {
  return ToShortText(AddTrailingBackslash(text));
}

String SplitAtDelimiter(char delimiter, String& text) {
  const std::size_t at = text.find(delimiter);
  String head;
  if (at == String::npos) {
    head.swap(text);
    text.clear();
  } else {
    head = text.substr(0, at);
    text.erase(0, at + 1);
  }
  return head;
}

void ReplaceAllText(String& text, const String& macro, const String& value) {
  if (macro == value || text.empty() || macro.empty()) return;
  const String upper_macro = UpperCaseLatin(macro);
  std::size_t resume = 0;
  for (;;) {
    // The search runs on an upper-cased copy so that the macro matches in
    // any case, while the text outside the macros keeps its own.
    const std::size_t at = UpperCaseLatin(text).find(upper_macro, resume);
    if (at == String::npos) break;
    text.replace(at, macro.size(), value);
    // Resume after the inserted value, so a value that holds the macro is
    // not expanded again.
    resume = at + value.size();
    if (text.empty()) break;
  }
}

String LastPathComponent(const String& path) {
  const std::size_t at = path.find_last_of("\\/:");
  return at == String::npos ? path : path.substr(at + 1);
}

}  // namespace sfx
