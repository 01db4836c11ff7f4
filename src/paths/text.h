// Text and path rules shared by the whole installer. All texts are 8-bit
// ANSI; "short text" means the 255-character limit of the package's strings.
#ifndef SFX_PATHS_TEXT_H_
#define SFX_PATHS_TEXT_H_

#include <cstddef>

#include "base/string.h"

namespace sfx {

constexpr std::size_t kShortTextMax = 255;

// Cuts a text to the 255 characters of a short text.
String ToShortText(const String& text);

// Upper-cases byte by byte, without a locale: 0x61-0x7A and 0xE0-0xFF are
// lowered by 0x20, every other byte stays.
String UpperCaseLatin(const String& text);
// The same rule for one character (a drive letter: TargetDrive).
char UpperCaseLatin(char c);

// Appends a backslash to a non-empty text that does not end with one.
String AddTrailingBackslash(const String& text);
// The same on a short text: the result is cut back to 255 characters.
String AddTrailingBackslashShort(const String& text);

// Finds the first `delimiter` in `text`: returns what precedes it and leaves
// in `text` what follows it. Without one, returns the whole text and leaves
// `text` empty.
String SplitAtDelimiter(char delimiter, String& text);

// Replaces every occurrence of `macro` (found without regard to case) by
// `value`, resuming after each inserted value.
void ReplaceAllText(String& text, const String& macro, const String& value);

// The last path component: what follows the last backslash, slash or colon.
String LastPathComponent(const String& path);

}  // namespace sfx

#endif  // SFX_PATHS_TEXT_H_
