// The DOS date and time of the package's file entries (and of FAT): a 32-bit
// value, the date in the high half (year - 1980 : 7, month : 4, day : 5),
// the time in the low half (hour : 5, minute : 6, second / 2 : 5), local
// time.
#ifndef SFX_BASE_DOS_TIME_H_
#define SFX_BASE_DOS_TIME_H_

#include <cstdint>
#include <ctime>

namespace sfx {

struct CivilTime {
  int year = 1980;  // 1980..2107
  int month = 1;    // 1..12
  int day = 1;      // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;  // stored in 2-second steps; 60 and 61 (leap) as 30
};

// False when a field is outside what the format holds.
bool PackDosTime(const CivilTime& time, std::uint32_t* dos);

// The fields of `dos` as they stand, unchecked (a listing shows even a
// damaged value).
CivilTime DosTimeFields(std::uint32_t dos);

// False when a field is out of range (day 0, month 13, hour 24, ...); the
// day is not checked against the month's length.
bool UnpackDosTime(std::uint32_t dos, CivilTime* time);

#ifndef _WIN32
// The host's local time (the C library's localtime_r and mktime). Host
// only: the installer converts through the system.

// The DOS value of the local time `t`; false when it lies outside the
// format's range.
bool LocalDosTimeOf(std::time_t t, std::uint32_t* dos);

// The DOS value of the local time `t`, moved into the format's range
// (1980-01-01 00:00:00 to 2107-12-31 23:59:58) when it lies outside.
std::uint32_t ClampedDosTimeOf(std::time_t t);

// The time of a DOS value read as local time; false when it is no valid
// date and time (31 February included).
bool LocalTimeOfDos(std::uint32_t dos, std::time_t* t);
#endif

}  // namespace sfx

#endif  // SFX_BASE_DOS_TIME_H_
