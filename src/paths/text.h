// Text and path rules shared by the whole installer. All texts are 8-bit
// ANSI; "short text" means the 255-character limit of the package's strings.
#ifndef SFX_PATHS_TEXT_H_
#define SFX_PATHS_TEXT_H_

#include <cstddef>
#include <string>

namespace sfx {

constexpr std::size_t kShortTextMax = 255;

// Cuts a text to the 255 characters of a short text.
std::string ToShortText(const std::string& text);

// Upper-cases byte by byte, without a locale: 0x61-0x7A and 0xE0-0xFF are
// lowered by 0x20, every other byte stays.
std::string UpperCaseLatin(const std::string& text);

// Appends a backslash to a non-empty text that does not end with one.
std::string AddTrailingBackslash(const std::string& text);
// The same on a short text: the result is cut back to 255 characters.
std::string AddTrailingBackslashShort(const std::string& text);

// Finds the first `delimiter` in `text`: returns what precedes it and leaves
// in `text` what follows it. Without one, returns the whole text and leaves
// `text` empty.
std::string SplitAtDelimiter(char delimiter, std::string& text);

// Replaces every occurrence of `macro` (found without regard to case) by
// `value`, resuming after each inserted value.
void ReplaceAllText(std::string& text, const std::string& macro,
                    const std::string& value);

// The last path component: what follows the last backslash, slash or colon.
std::string LastPathComponent(const std::string& path);

}  // namespace sfx

#endif  // SFX_PATHS_TEXT_H_
