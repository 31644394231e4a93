// The peer of bench_library's scan: Debian's TagLib walking the same folder
// tree natively and reading every file's tags and length, files per second
// on a warm cache. Built and run by library_scan_peer.sh; never part of the
// product.
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::size_t files = 0, checksum = 0;
  double elapsed = 0;
  for (int pass = 0; pass < 2; ++pass) {
    files = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
      if (!entry.is_regular_file()) continue;
      TagLib::FileRef file(entry.path().c_str(), true, TagLib::AudioProperties::Fast);
      if (!file.isNull() && file.tag()) checksum += file.tag()->title().size();
      if (!file.isNull() && file.audioProperties()) checksum += file.audioProperties()->lengthInSeconds();
      ++files;
    }
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  std::printf("TagLib (native): %zu files in %.3f s: %.0f files/s (checksum %zu)\n", files, elapsed, files / elapsed,
              checksum);
  return 0;
}
