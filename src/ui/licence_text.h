// The text of the licence window, assembled from the extracted licence
// file: the file is cut into line pieces and every piece is followed by CR
// LF, so that the multi-line edit field shows one piece per line.
#ifndef SFX_UI_LICENCE_TEXT_H_
#define SFX_UI_LICENCE_TEXT_H_

#include <cstddef>
#include <cstdint>

#include "base/string.h"

namespace sfx {

// The longest piece, in bytes; a longer line goes on in the next piece.
constexpr std::size_t kMaxTextPiece = 2001;

// Reads one piece from data[*position, size) and advances *position past
// it. A piece ends after a CR or LF byte (kept as its last character; one
// directly following CR or LF is consumed too), at the end of the data, or
// after kMaxTextPiece bytes. Bytes from the first NUL of the piece on are
// consumed but not returned. Needs *position < size.
String ReadTextPiece(const std::uint8_t* data, std::size_t* position,
                     std::size_t size);

// Every piece of the data, each followed by CR LF; an empty piece shows as
// one blank. Empty data give an empty text.
String AssembleLicenceText(const std::uint8_t* data, std::size_t size);

// Reads the file at `path` whole (through the platform) and assembles its
// text. A file that cannot be opened or read gives what could be read.
String ReadLicenceText(const String& path);

}  // namespace sfx

#endif  // SFX_UI_LICENCE_TEXT_H_
