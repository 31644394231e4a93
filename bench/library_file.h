// A "database.dat" of 100,000 tracks for the benchmarks: one music folder of
// 400 album folders with 250 tracks each, every track with its info.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace bench {

constexpr std::uint32_t library_track_count = 100000;
constexpr std::uint32_t library_album_folders = 400;

inline void put_u32(std::string& out, std::uint32_t v) {
  out += {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
inline void put_text(std::string& out, const std::string& text) {
  put_u32(out, static_cast<std::uint32_t>(text.size()));
  out += text;
}

// The library file whose one music folder, named `folder_text`, holds every track.
inline std::string make_library_file(const std::string& folder_text) {
  std::string tree;
  put_u32(tree, 0);
  put_u32(tree, library_album_folders);
  char name[32];
  for (std::uint32_t d = 0; d < library_album_folders; ++d) {
    std::snprintf(name, sizeof name, "Album %04u", d);
    put_text(tree, name);
    const std::uint32_t files = library_track_count / library_album_folders;
    put_u32(tree, files);
    for (std::uint32_t f = 0; f < files; ++f) {
      std::snprintf(name, sizeof name, "%02u Song.flac", f);
      put_text(tree, name);
      put_u32(tree, 0x12345678);  // file time
      put_u32(tree, 0x01D00000);
      put_u32(tree, 1);  // one track
      put_u32(tree, 0);  // subsong
      put_u32(tree, 1);  // with info
      const std::string texts = "Song " + std::to_string(f) + '\0' + "Artist " + std::to_string(d % 97) + '\0' + '\0' +
                                "Rock" + '\0' + "Album " + std::to_string(d) + '\0' + std::to_string(f + 1) + '\0' +
                                '\0' + "2001" + '\0';
      put_u32(tree, 0x43340000);  // 180.0f seconds
      put_u32(tree, static_cast<std::uint32_t>(texts.size()));
      tree += texts;
    }
    put_u32(tree, 0);
  }
  const std::string tree_tag("\xD0\x0A\xCA\xA5\x5D\xEA\x04\x4E\xAA\x2C\xDD\x0A\x45\x02\x36\x6E", 16);
  const std::string end_tag("\x94\x84\xEA\x9B\x45\x60\x45\x49\x9A\xBC\x0B\x38\xAE\xC3\x91\x6A", 16);
  std::string blob = tree_tag;
  put_u32(blob, static_cast<std::uint32_t>(tree.size()));
  blob += tree + end_tag;
  std::string file("\x55\xC7\x65\x9F\xF6\x13\x14\x48\xA9\xB1\xF1\xB6\xF7\xAD\x7F\xFC", 16);
  put_u32(file, 1);
  put_text(file, folder_text);
  put_text(file, blob);
  return file;
}

}  // namespace bench
