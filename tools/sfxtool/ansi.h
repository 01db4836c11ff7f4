// Conversions between the manifest's and the terminal's UTF-8 and the
// installer's 8-bit ANSI texts, taken as Windows code page 1252.
#ifndef SFXTOOL_ANSI_H_
#define SFXTOOL_ANSI_H_

#include <string>

namespace sfxtool {

// Converts UTF-8 to code page 1252. False when `utf8` is not valid UTF-8
// or holds a character the code page lacks; `*bad` then gets that
// character (or the offending bytes) for the message.
bool Utf8ToAnsi(const std::string& utf8, std::string* ansi, std::string* bad);

// True when `text` is well-formed UTF-8 (any code point, no overlong or
// cut sequences checked beyond the lead and continuation bytes).
bool IsUtf8(const std::string& text);

// Converts code page 1252 to UTF-8; the five bytes the code page leaves
// undefined map to the C1 control characters of the same value.
std::string AnsiToUtf8(const std::string& ansi);

}  // namespace sfxtool

#endif  // SFXTOOL_ANSI_H_
