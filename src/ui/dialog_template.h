// In-memory dialog templates for the licence window: a byte writer for the
// template layout (a fixed header followed by items, each item on a 4-byte
// boundary, texts as NUL-terminated UTF-16) and the two templates the window
// needs. Pure logic: the caller supplies the ANSI-to-UTF-16 conversion, so
// the Win32 side uses the system code page and tests use Latin-1.
#ifndef SFX_UI_DIALOG_TEMPLATE_H_
#define SFX_UI_DIALOG_TEMPLATE_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "base/string.h"
#include "base/vector.h"

namespace sfx {

// UTF-16 code units.
using WideText = Vector<char16_t>;

// Converts an ANSI text to UTF-16 code units (no terminator).
using WidenFunction = WideText (*)(const String& ansi);

// Byte-for-byte widening, correct for ASCII and Latin-1 texts.
WideText WidenLatin1(const String& ansi);

// Appends little-endian values to a growing buffer. The buffer starts
// empty, so its start is as aligned as the allocator makes it (at least 4
// bytes); offsets are counted from there.
class DialogTemplateWriter {
 public:
  explicit DialogTemplateWriter(WidenFunction widen) : widen_(widen) {}

  void Write16(std::uint16_t value);
  // The values in order, 16 bits each.
  void Write16s(std::initializer_list<std::uint16_t> values);
  void Write32(std::uint32_t value);
  // The text as UTF-16 followed by a 16-bit NUL.
  void WriteString(const String& ansi);
  // Zero bytes up to the next multiple of 4.
  void AlignToDword();

  std::size_t size() const { return bytes_.size(); }
  const Vector<std::uint8_t>& bytes() const { return bytes_; }
  Vector<std::uint8_t> Release() { return std::move(bytes_); }

 private:
  WidenFunction widen_;
  Vector<std::uint8_t> bytes_;
};

// Atoms of the predefined control classes.
constexpr std::uint16_t kAtomButton = 0x0080;
constexpr std::uint16_t kAtomEdit = 0x0081;
constexpr std::uint16_t kAtomStatic = 0x0082;

// Every item is a visible child window.
constexpr std::uint32_t kItemBaseStyle = 0x50000000;  // WS_CHILD|WS_VISIBLE

// Writes a template header: style, extended style 0, item count, position,
// size, no menu, the standard dialog class, the title, then the font.
void WriteDialogHeader(DialogTemplateWriter& writer, std::uint32_t style,
                       std::uint16_t item_count, std::int16_t x, std::int16_t y,
                       std::int16_t cx, std::int16_t cy, const String& title,
                       std::uint16_t point_size, const String& face);

// Appends one item at the next 4-byte boundary: `style` is OR-ed with
// WS_CHILD|WS_VISIBLE; the class is the predefined `class_atom`; no
// creation data.
void AddDialogItem(DialogTemplateWriter& writer, std::uint32_t style,
                   std::uint16_t id, std::int16_t x, std::int16_t y,
                   std::int16_t cx, std::int16_t cy, std::uint16_t class_atom,
                   const String& title);

// Reference pixels to dialog units: pixels / factor, rounded to the nearest
// integer with halves to even.
std::int16_t PixelsToDialogUnits(int pixels, double factor);

// Reference pixels per dialog unit of the font the layout was drawn with.
constexpr double kReferenceUnitX = 1.59;
constexpr double kReferenceUnitY = 1.55;

// The template used to measure a dialog font: no items, 200 x 200 units,
// title "Tmp", the given font.
Vector<std::uint8_t> BuildMeasureTemplate(const String& face,
                                          std::uint16_t point_size,
                                          WidenFunction widen);

// Control ids of the licence window.
constexpr std::uint16_t kLicenceInstructionId = 201;
constexpr std::uint16_t kLicenceTextId = 202;
constexpr std::uint16_t kLicenceYesId = 6;  // IDYES
constexpr std::uint16_t kLicenceNoId = 7;   // IDNO

inline constexpr char kLicenceFace[] = "MS SANS SERIF";
constexpr std::uint16_t kLicencePointSize = 8;

// The text shown above the licence: a frame of "=" lines around three
// sentences, lines separated by single CRs.
extern const char kLicenceInstruction[];

// The largest template the licence window is built from, in bytes.
constexpr std::size_t kLicenceTemplateLimit = 65535;

// True when a licence text of `utf16_units` code units fits the licence
// template as the edit field's title. A longer text cannot travel in the
// template (the system also limits a window's initial title); the window
// then gets it after creation.
bool LicenceFitsTemplate(std::size_t utf16_units);

// The licence window's template with the layout converted by the measured
// factors (fx, fy), the instruction text and `licence` as the edit field's
// text (the caller checks LicenceFitsTemplate first).
Vector<std::uint8_t> BuildLicenceTemplate(const String& licence, double fx,
                                          double fy, WidenFunction widen);

}  // namespace sfx

#endif  // SFX_UI_DIALOG_TEMPLATE_H_
