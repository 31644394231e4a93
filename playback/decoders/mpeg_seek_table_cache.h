// Where MPEG audio frames start, learnt while files are read. MPEG files
// carry no index, so the reader offers every frame it passes; the cache keeps
// one sparse table per file (by path and last-write time), a point at least
// every 32 frames, for the 10 files used most recently. A seek then starts
// parsing from the nearest point before its target instead of the file's
// start, also when the same unchanged file is opened again.
#pragma once

#include <cstdint>
#include <string>

namespace mpeg_seek_table_cache {

struct point {
  std::uint64_t offset = 0;  // from the stream's first audio frame
  std::uint64_t frame = 0;
};

// The table of that file version, made empty when there is none (the least
// recently used table makes room). Ids stay valid to use after eviction: they
// then find nothing.
std::uint32_t find_or_create(const std::string& path, std::uint64_t file_timestamp);
void store(std::uint32_t id, std::uint64_t offset, std::uint64_t frame);
// The nearest point at or before `frame`; false when the table has none.
bool lookup(std::uint32_t id, std::uint64_t frame, point& out);

}  // namespace mpeg_seek_table_cache
