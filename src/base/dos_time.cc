#include "base/dos_time.h"

namespace sfx {

bool PackDosTime(const CivilTime& t, std::uint32_t* dos) {
  if (t.year < 1980 || t.year > 2107 || t.month < 1 || t.month > 12 ||
      t.day < 1 || t.day > 31 || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
      t.minute > 59 || t.second < 0 || t.second > 61) {
    return false;
  }
  const std::uint32_t date =
      static_cast<std::uint32_t>((t.year - 1980) << 9 | t.month << 5 | t.day);
  const std::uint32_t time =
      static_cast<std::uint32_t>(t.hour << 11 | t.minute << 5 | t.second / 2);
  *dos = date << 16 | time;
  return true;
}

bool UnpackDosTime(std::uint32_t dos, CivilTime* t) {
  const unsigned date = dos >> 16;
  const unsigned time = dos & 0xFFFF;
  CivilTime out;
  out.day = static_cast<int>(date & 0x1F);
  out.month = static_cast<int>((date >> 5) & 0x0F);
  out.year = static_cast<int>(date >> 9) + 1980;
  out.second = static_cast<int>(time & 0x1F) * 2;
  out.minute = static_cast<int>((time >> 5) & 0x3F);
  out.hour = static_cast<int>(time >> 11);
  if (out.day < 1 || out.month < 1 || out.month > 12 || out.hour > 23 ||
      out.minute > 59 || out.second > 59) {
    return false;
  }
  *t = out;
  return true;
}

}  // namespace sfx
