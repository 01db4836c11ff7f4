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

CivilTime DosTimeFields(std::uint32_t dos) {
  const unsigned date = dos >> 16;
  const unsigned time = dos & 0xFFFF;
  CivilTime out;
  out.day = static_cast<int>(date & 0x1F);
  out.month = static_cast<int>((date >> 5) & 0x0F);
  out.year = static_cast<int>(date >> 9) + 1980;
  out.second = static_cast<int>(time & 0x1F) * 2;
  out.minute = static_cast<int>((time >> 5) & 0x3F);
  out.hour = static_cast<int>(time >> 11);
  return out;
}

bool UnpackDosTime(std::uint32_t dos, CivilTime* t) {
  const CivilTime out = DosTimeFields(dos);
  if (out.day < 1 || out.month < 1 || out.month > 12 || out.hour > 23 ||
      out.minute > 59 || out.second > 59) {
    return false;
  }
  *t = out;
  return true;
}

#ifndef _WIN32
namespace {

// The fields of the local time `t`; false when the C library cannot tell.
bool LocalCivilTime(std::time_t t, CivilTime* civil) {
  struct tm local;
  if (!localtime_r(&t, &local)) return false;
  civil->year = local.tm_year + 1900;
  civil->month = local.tm_mon + 1;
  civil->day = local.tm_mday;
  civil->hour = local.tm_hour;
  civil->minute = local.tm_min;
  civil->second = local.tm_sec;
  return true;
}

}  // namespace

bool LocalDosTimeOf(std::time_t t, std::uint32_t* dos) {
  CivilTime civil;
  return LocalCivilTime(t, &civil) && PackDosTime(civil, dos);
}

std::uint32_t ClampedDosTimeOf(std::time_t t) {
  CivilTime civil;
  if (!LocalCivilTime(t, &civil) || civil.year < 1980) {
    civil = CivilTime{};  // 1980-01-01 00:00:00
  } else if (civil.year > 2107) {
    civil = CivilTime{2107, 12, 31, 23, 59, 58};
  }
  std::uint32_t dos = 0;
  PackDosTime(civil, &dos);
  return dos;
}

bool LocalTimeOfDos(std::uint32_t dos, std::time_t* t) {
  CivilTime civil;
  if (!UnpackDosTime(dos, &civil)) return false;
  struct tm local = {};
  local.tm_year = civil.year - 1900;
  local.tm_mon = civil.month - 1;
  local.tm_mday = civil.day;
  local.tm_hour = civil.hour;
  local.tm_min = civil.minute;
  local.tm_sec = civil.second;
  local.tm_isdst = -1;
  const std::time_t result = std::mktime(&local);
  // mktime moves 31 February into March; such a date is invalid.
  if (result == static_cast<std::time_t>(-1) || local.tm_mday != civil.day ||
      local.tm_mon != civil.month - 1) {
    return false;
  }
  *t = result;
  return true;
}
#endif

}  // namespace sfx
