// The file-system folders behind a Windows known folder: every folder of a
// library (the music library) or the one folder of a plain known folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace known_folder {
inline constexpr GUID music_library = {0x2112AB0A, 0xC86A, 0x4FFE, {0xA3, 0x68, 0x0D, 0xE9, 0x6E, 0x47, 0x01, 0x2E}};
inline constexpr GUID music = {0x4BD8D571, 0x6D19, 0x48D3, {0xBE, 0x97, 0x42, 0x22, 0x20, 0x08, 0x0E, 0x43}};
}  // namespace known_folder

// Native paths in UTF-8; empty when Windows gives none (no such library, as
// under Wine, or no such folder).
std::vector<std::string> known_folder_paths(const GUID& folder);
