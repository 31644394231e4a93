// The identity of a profile folder: what tells two running instances whether
// they share a profile. Two spellings of one folder that differ only in case
// have the same identity, because Windows paths ignore case.
#pragma once

#include <cstdint>

// The CRC-32 (reflected, polynomial 0xEDB88320, initial value and final
// complement 0xFFFFFFFF) of the profile path's UTF-8 bytes, each character
// folded to lower case first. An undecodable byte ends the text.
std::uint32_t profile_identity(const char* profile_path);

// The name of the single-instance mutex: "ZORV_" and the identity in eight
// upper-case hexadecimal digits.
inline constexpr int profile_mutex_name_size = 14;
void profile_mutex_name(std::uint32_t identity, wchar_t (&name)[profile_mutex_name_size]);
