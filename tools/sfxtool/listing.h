// The output of `sfxtool list`: the header and one row per file, as text
// for people or as JSON for scripts. Texts are shown in UTF-8.
#ifndef SFXTOOL_LISTING_H_
#define SFXTOOL_LISTING_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "installer_reader.h"

namespace sfxtool {

// "YYYY-MM-DD HH:MM:SS" of a DOS date and time, as stored (local time).
std::string DosTimeText(std::uint32_t dos_date_time);

void PrintListing(std::FILE* out, const InstallerInfo& info);
void PrintJsonListing(std::FILE* out, const InstallerInfo& info);

}  // namespace sfxtool

#endif  // SFXTOOL_LISTING_H_
