// Conversions between UTF-8 and the byte texts of a Windows code page, for
// tag formats that store text in a legacy code page (ID3v1, ID3v2's
// ISO-8859-1, RIFF INFO). Code page 0 is the system's ANSI code page.
#pragma once

#include <cstddef>
#include <string>

namespace qiv {

inline constexpr unsigned code_page_ansi = 0;
inline constexpr unsigned code_page_us_ascii = 20127;
inline constexpr unsigned code_page_latin1 = 28591;

// Characters the code page lacks become the system's default character.
std::string utf8_to_code_page(const char* text, std::size_t length, unsigned code_page);
std::string code_page_to_utf8(const char* bytes, std::size_t length, unsigned code_page);

// UTF-16 code units in memory order (little-endian) to UTF-8.
std::string utf16_to_utf8(const wchar_t* units, std::size_t count);
// Appends to `out` the bytes utf16_to_utf8 gives for the units, without a
// text of their own: for the many paths of a long listing.
void append_utf16_as_utf8(std::string& out, const wchar_t* units, std::size_t count);
std::wstring utf8_to_utf16(const char* text, std::size_t length);

}  // namespace qiv
