// The file-system folders behind a Windows known folder: every folder of a
// library (the music library) or the one folder of a plain known folder.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace known_folder {
inline constexpr GUID music_library = {0x2112AB0A, 0xC86A, 0x4FFE, {0xA3, 0x68, 0x0D, 0xE9, 0x6E, 0x47, 0x01, 0x2E}};
inline constexpr GUID music = {0x4BD8D571, 0x6D19, 0x48D3, {0xBE, 0x97, 0x42, 0x22, 0x20, 0x08, 0x0E, 0x43}};
inline constexpr GUID pictures = {0x33E28130, 0x4E1E, 0x4676, {0x83, 0x5A, 0x98, 0x39, 0x5C, 0x3B, 0xC3, 0xBB}};
inline constexpr GUID videos = {0x18989B1D, 0x99B5, 0x455B, {0x84, 0x1C, 0xAB, 0x7C, 0x74, 0xE4, 0xDD, 0xFC}};
inline constexpr GUID documents = {0xFDD39AD0, 0x238F, 0x46AF, {0xAD, 0xB4, 0x6C, 0x85, 0x48, 0x03, 0x69, 0xC7}};
}  // namespace known_folder

// Native paths in UTF-8: the folders of the shell library of that known
// folder; when there is no such library (Windows XP, Wine), the classic
// folder of Music, Pictures, Videos or Documents. Empty when Windows gives
// none, so the caller decides what a missing folder means.
std::vector<std::string> known_folder_paths(const GUID& folder);
