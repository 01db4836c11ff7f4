// The licence text as the installer shows it: code page 1252 with CR LF
// line ends, whatever editor on the build machine wrote it
// (docs/manifest.md, "The licence").
#ifndef SFXTOOL_LICENCE_H_
#define SFXTOOL_LICENCE_H_

#include <cstddef>
#include <string>

namespace sfxtool {

// Converts a licence file's bytes. UTF-8, with or without a byte-order
// mark, becomes code page 1252; bytes that are not UTF-8 are taken as code
// page 1252 already. Every LF without a CR before it becomes CR LF. False
// when a character has no place in code page 1252 (or a text with a UTF-8
// byte-order mark is not UTF-8): `*problem` then names the line (counted
// from 1) and the character.
bool ConvertLicenceText(const std::string& text, std::string* converted,
                        std::string* problem);

}  // namespace sfxtool

#endif  // SFXTOOL_LICENCE_H_
