// Code page 1252 is Latin-1 except for 0x80-0x9F, which hold typographic
// characters; this table gives their Unicode values (0 = undefined).
#include "ansi.h"

#include <cstdint>

namespace sfxtool {
namespace {

constexpr std::uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::uint32_t CodePointOf(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0 && kHighControls[byte - 0x80] != 0) {
    return kHighControls[byte - 0x80];
  }
  return byte;
}

void AppendUtf8(std::uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The length of the well-formed UTF-8 sequence at `text[i]`, with its code
// point in `*cp`; 0 for a byte that starts none: a stray continuation, a
// sequence cut short, an overlong form, a surrogate, or above U+10FFFF.
std::size_t Utf8SequenceAt(const std::string& text, std::size_t i,
                           std::uint32_t* cp) {
  static const std::uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  std::size_t extra = 0;
  if (lead < 0x80) {
    *cp = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    *cp = lead & 0x1F;
    extra = 1;
  } else if ((lead & 0xF0) == 0xE0) {
    *cp = lead & 0x0F;
    extra = 2;
  } else if ((lead & 0xF8) == 0xF0) {
    *cp = lead & 0x07;
    extra = 3;
  } else {
    return 0;
  }
  if (extra >= text.size() - i) return 0;
  for (std::size_t k = 1; k <= extra; ++k) {
    const unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    *cp = (*cp << 6) | (next & 0x3F);
  }
  if (*cp < kLeast[extra] || (*cp >= 0xD800 && *cp <= 0xDFFF) ||
      *cp > 0x10FFFF) {
    return 0;
  }
  return extra + 1;
}

}  // namespace

bool Utf8ToAnsi(const std::string& utf8, std::string* ansi, std::string* bad) {
  ansi->clear();
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::uint32_t cp = 0;
    const std::size_t length = Utf8SequenceAt(utf8, i, &cp);
    if (length == 0) {
      *bad = utf8.substr(i, 1);
      return false;
    }
    const std::string sequence = utf8.substr(i, length);
    i += length;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      *ansi += static_cast<char>(cp);
      continue;
    }
    bool found = false;
    for (int k = 0; k < 32; ++k) {
      if (kHighControls[k] == cp) {
        *ansi += static_cast<char>(0x80 + k);
        found = true;
        break;
      }
    }
    if (!found) {
      *bad = sequence;
      return false;
    }
  }
  return true;
}

bool IsUtf8(const std::string& text) {
  std::uint32_t cp = 0;
  for (std::size_t i = 0, n = 0; i < text.size(); i += n) {
    if ((n = Utf8SequenceAt(text, i, &cp)) == 0) return false;
  }
  return true;
}

std::string AnsiToUtf8(const std::string& ansi) {
  std::string out;
  for (char c : ansi)
    AppendUtf8(CodePointOf(static_cast<unsigned char>(c)), &out);
  return out;
}

}  // namespace sfxtool
