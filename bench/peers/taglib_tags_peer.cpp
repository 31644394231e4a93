// The peer of bench_metadata_tags: Debian's TagLib reading the ID3v2 and
// APEv2 tags of the same files natively, files per second on a warm cache.
// Built and run by taglib_tags_peer.sh; never part of the product.
#include <taglib/apetag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include <chrono>
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  const int count = 2000;
  std::size_t checksum = 0;
  double elapsed = 0;
  for (int pass = 0; pass < 2; ++pass) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
      const std::string path = folder + "/track" + std::to_string(i) + ".mp3";
      TagLib::MPEG::File file(path.c_str(), false);
      if (TagLib::ID3v2::Tag* tag = file.ID3v2Tag()) checksum += tag->properties().size();
      if (TagLib::APE::Tag* tag = file.APETag()) checksum += tag->properties().size();
    }
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  std::printf("TagLib (native): %d files in %.3f s: %.0f files/s (checksum %zu)\n", count, elapsed, count / elapsed,
              checksum);
  return 0;
}
