#include "metadata/tags/lyrics3v2.h"

#include <cstring>

namespace {

constexpr char begin_mark[] = "LYRICSBEGIN";
constexpr std::size_t begin_size = sizeof begin_mark - 1;
constexpr char end_mark[] = "LYRICS200";
constexpr std::size_t digits = 6;
constexpr std::size_t trailer_size = digits + sizeof end_mark - 1;

}  // namespace

lyrics3v2_search find_lyrics3v2_ending_at(vantrel_io::file_object& file, std::uint64_t end, const abort_signal& abort) {
  lyrics3v2_search found;
  if (end < trailer_size) return found;
  std::uint8_t trailer[trailer_size];
  file.seek(end - trailer_size, abort);
  file.read_exact(trailer, trailer_size, abort);
  if (std::memcmp(trailer + digits, end_mark, trailer_size - digits) != 0) return found;
  std::uint64_t body = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    if (trailer[i] < '0' || trailer[i] > '9') return found;
    body = body * 10 + (trailer[i] - '0');
  }
  if (body < begin_size) return found;
  const std::uint64_t size = body + trailer_size;
  if (size > end) {
    found.cut_short = true;
    return found;
  }
  std::uint8_t begin[begin_size];
  file.seek(end - size, abort);
  file.read_exact(begin, begin_size, abort);
  if (std::memcmp(begin, begin_mark, begin_size) == 0) found.size = size;
  return found;
}
