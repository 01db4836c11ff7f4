// Dialog template bytes for the licence window and for measuring its font.
// The licence layout is drawn in reference pixels of the 8-point dialog font
// and converted to dialog units with the factors measured at run time.
#include "ui/dialog_template.h"

#include "base/bytes.h"

namespace sfx {

namespace {

constexpr std::uint32_t kDialogStyle = 0x80C800C0;  // popup, caption, sysmenu,
                                                    // modal frame, set font
constexpr char kLicenceTitle[] = "USER LICENSING AGREEMENT";

// One control of the licence window, placed in reference pixels.
struct LicenceItem {
  std::uint32_t style;  // besides WS_CHILD|WS_VISIBLE
  std::uint16_t id;
  int x, y, cx, cy;
  std::uint16_t class_atom;
};

constexpr int kLicenceWidthPx = 630;
constexpr int kLicenceHeightPx = 450;
constexpr LicenceItem kInstructionItem = {
    0x1 /* SS_CENTER */, kLicenceInstructionId, 14, 1, 600, 66, kAtomStatic};
constexpr LicenceItem kYesItem = {0x10001 /* WS_TABSTOP|BS_DEFPUSHBUTTON */,
                                  kLicenceYesId,
                                  196,
                                  414,
                                  91,
                                  23,
                                  kAtomButton};
constexpr LicenceItem kNoItem = {
    0x10000 /* WS_TABSTOP */, kLicenceNoId, 316, 414, 91, 23, kAtomButton};
// WS_VSCROLL|WS_TABSTOP|ES_READONLY|ES_AUTOVSCROLL|ES_MULTILINE
constexpr LicenceItem kTextItem = {0x210844, kLicenceTextId, 4, 68, 620,
                                   345,      kAtomEdit};

void AddLicenceItem(DialogTemplateWriter& writer, const LicenceItem& item,
                    double fx, double fy, const String& title) {
  AddDialogItem(writer, item.style, item.id, PixelsToDialogUnits(item.x, fx),
                PixelsToDialogUnits(item.y, fy),
                PixelsToDialogUnits(item.cx, fx),
                PixelsToDialogUnits(item.cy, fy), item.class_atom, title);
}

}  // namespace

const char kLicenceInstruction[] =
    "====================================================================="
    "================\r"
    "By clicking on the \"YES\" button, you are consenting to be bound by and "
    "are becoming a party to this agreement.\r"
    "If you don't agree to all of the terms of this agreement, click the "
    "\"NO\" button.\r"
    "Press arrow keys to see the rest of agreement.\r"
    "====================================================================="
    "================\r";

WideText WidenLatin1(const String& ansi) {
  WideText wide;
  wide.reserve(ansi.size());
  for (char c : ansi) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

void DialogTemplateWriter::Write16(std::uint16_t value) {
  ByteWriter(&bytes_).Uint16(value);
}

void DialogTemplateWriter::Write16s(
    std::initializer_list<std::uint16_t> values) {
  for (std::uint16_t value : values) Write16(value);
}

void DialogTemplateWriter::Write32(std::uint32_t value) {
  ByteWriter(&bytes_).Uint32(value);
}

void DialogTemplateWriter::WriteString(const String& ansi) {
  for (char16_t unit : widen_(ansi)) Write16(unit);
  Write16(0);
}

void DialogTemplateWriter::AlignToDword() {
  while (bytes_.size() % 4 != 0) bytes_.push_back(0);
}

void WriteDialogHeader(DialogTemplateWriter& writer, std::uint32_t style,
                       std::uint16_t item_count, std::int16_t x, std::int16_t y,
                       std::int16_t cx, std::int16_t cy, const String& title,
                       std::uint16_t point_size, const String& face) {
  writer.AlignToDword();
  writer.Write32(style);
  writer.Write32(0);  // extended style
  writer.Write16s(
      {item_count, static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y),
       static_cast<std::uint16_t>(cx), static_cast<std::uint16_t>(cy),
       0,    // no menu
       0});  // the standard dialog class
  writer.WriteString(title);
  writer.Write16(point_size);
  writer.WriteString(face);
}

void AddDialogItem(DialogTemplateWriter& writer, std::uint32_t style,
                   std::uint16_t id, std::int16_t x, std::int16_t y,
                   std::int16_t cx, std::int16_t cy, std::uint16_t class_atom,
                   const String& title) {
  writer.AlignToDword();
  writer.Write32(style | kItemBaseStyle);
  writer.Write32(0);  // extended style
  writer.Write16s({static_cast<std::uint16_t>(x), static_cast<std::uint16_t>(y),
                   static_cast<std::uint16_t>(cx),
                   static_cast<std::uint16_t>(cy), id,
                   0xFFFF,  // a predefined class given by its atom
                   class_atom});
  writer.WriteString(title);
  writer.Write16(0);  // no creation data
}

std::int16_t PixelsToDialogUnits(int pixels, double factor) {
  double units = pixels / factor;
  // A degenerate factor must not turn into an out-of-range conversion.
  if (!(units > -32768.0 && units < 32767.0)) return units > 0 ? 32767 : 0;
  // Rounded to the nearest whole unit, halves to even.
  int lower = static_cast<int>(units);  // towards zero
  if (lower > units) --lower;
  double excess = units - lower;
  if (excess > 0.5 || (excess == 0.5 && (lower & 1) != 0)) ++lower;
  return static_cast<std::int16_t>(lower);
}

Vector<std::uint8_t> BuildMeasureTemplate(const String& face,
                                          std::uint16_t point_size,
                                          WidenFunction widen) {
  DialogTemplateWriter writer(widen);
  WriteDialogHeader(writer, kDialogStyle, 0, 0, 0, 200, 200, "Tmp", point_size,
                    face);
  return writer.Release();
}

bool LicenceFitsTemplate(std::size_t utf16_units) {
  // Header and items 1 to 3 take 1042 bytes before item 4's title; the
  // title's terminator and the creation-data word follow it.
  constexpr std::size_t kFixedBytes = 1042 + 2 + 2;
  return utf16_units <= (kLicenceTemplateLimit - kFixedBytes) / 2;
}

Vector<std::uint8_t> BuildLicenceTemplate(const String& licence, double fx,
                                          double fy, WidenFunction widen) {
  DialogTemplateWriter writer(widen);
  WriteDialogHeader(writer, kDialogStyle, 4, 0, 0,
                    PixelsToDialogUnits(kLicenceWidthPx, fx),
                    PixelsToDialogUnits(kLicenceHeightPx, fy), kLicenceTitle,
                    kLicencePointSize, kLicenceFace);
  AddLicenceItem(writer, kInstructionItem, fx, fy, kLicenceInstruction);
  AddLicenceItem(writer, kYesItem, fx, fy, "&Yes");
  AddLicenceItem(writer, kNoItem, fx, fy, "&No");
  AddLicenceItem(writer, kTextItem, fx, fy, licence);
  return writer.Release();
}

}  // namespace sfx
