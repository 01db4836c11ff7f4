// Line pieces of the licence file and the text they make up.
#include "ui/licence_text.h"

#include <memory>

#include "base/vector.h"
#include "platform/platform.h"

namespace sfx {

namespace {

bool IsLineEnd(std::uint8_t byte) { return byte == '\r' || byte == '\n'; }

}  // namespace

String ReadTextPiece(const std::uint8_t* data, std::size_t* position,
                     std::size_t size) {
  std::size_t start = *position;
  std::size_t end = start;
  bool line_end = false;
  while (end < size && end - start < kMaxTextPiece && !line_end) {
    line_end = IsLineEnd(data[end++]);
  }
  *position = end;
  // A line end of two bytes (CR LF, LF CR, CR CR, LF LF) ends one piece.
  if (line_end && end < size && IsLineEnd(data[end])) ++*position;
  std::size_t length = end - start;
  for (std::size_t i = start; i < end; ++i) {
    if (data[i] == 0) {
      length = i - start;
      break;
    }
  }
  return String(reinterpret_cast<const char*>(data) + start, length);
}

String AssembleLicenceText(const std::uint8_t* data, std::size_t size) {
  String text;
  std::size_t position = 0;
  while (position < size) {
    String piece = ReadTextPiece(data, &position, size);
    text += piece.empty() ? String(" ") : piece;
    text += "\r\n";
  }
  return text;
}

String ReadLicenceText(const String& path) {
  std::unique_ptr<File> file = Os().OpenRead(path);
  if (!file) return String();
  // Read to the end in chunks instead of trusting the reported length.
  constexpr std::size_t kChunk = 65536;
  Vector<std::uint8_t> data;
  std::size_t filled = 0;
  for (;;) {
    data.resize(filled + kChunk);
    std::uint32_t got = 0;
    if (!file->Read(data.data() + filled, kChunk, &got) || got == 0) break;
    filled += got;
  }
  return AssembleLicenceText(data.data(), filled);
}

}  // namespace sfx
