// Licence conversion: a text written on Linux (UTF-8, LF) shown by a
// Windows edit control that expects the ANSI code page and CR LF.
#include "licence.h"

#include "ansi.h"

namespace sfxtool {
namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace

bool ConvertLicenceText(const std::string& text, std::string* converted,
                        std::string* problem) {
  const bool marked = text.compare(0, 3, kByteOrderMark) == 0;
  const std::string body = marked ? text.substr(3) : text;
  if (!IsUtf8(body)) {
    if (marked) {
      *problem = "starts with a UTF-8 byte-order mark but is not UTF-8";
      return false;
    }
    *converted = WithCrLf(body);
    return true;
  }
  std::string ansi;
  std::size_t start = 0;
  for (std::size_t line = 1; start <= body.size(); ++line) {
    std::size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string part;
    std::string bad;
    if (!Utf8ToAnsi(body.substr(start, end - start), &part, &bad)) {
      *problem = "line " + std::to_string(line) + ": \"" + bad +
                 "\" cannot be written in code page 1252";
      return false;
    }
    ansi += part;
    if (end < body.size()) ansi += '\n';
    start = end + 1;
  }
  *converted = WithCrLf(ansi);
  return true;
}

}  // namespace sfxtool
