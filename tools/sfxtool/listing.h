// The output of `sfxtool list`: the header and one row per file, as text
// for people or as JSON for scripts. Texts are shown in UTF-8.
#ifndef SFXTOOL_LISTING_H_
#define SFXTOOL_LISTING_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "installer_reader.h"

namespace sfxtool {

// A package text (code page 1252) as UTF-8 for a terminal: control
// characters, DEL and the bytes the code page leaves undefined are shown
// as \xNN, so that no name can move the cursor or change the terminal.
std::string ShownText(const std::string& ansi);

// "YYYY-MM-DD HH:MM:SS" of a DOS date and time, as stored (local time).
std::string DosTimeText(std::uint32_t dos_date_time);

void PrintListing(std::FILE* out, const InstallerInfo& info);
void PrintJsonListing(std::FILE* out, const InstallerInfo& info);

}  // namespace sfxtool

#endif  // SFXTOOL_LISTING_H_
