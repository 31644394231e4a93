#include "metadata/tags/riff_id3_chunks.h"

#include <cstring>
#include <string>

#include "io/memory_file.h"
#include "metadata/tags/id3v2_stacked_tags.h"
#include "metadata/tags/id3v2_tag_service.h"

namespace riff_tags {

namespace {

// False when the chunk holds no tag; id3parser::parseError or
// exception_io_data when its tag does not read.
bool read_chunk_tag(const id3_chunk& chunk, id3parser::frame_filter& filter, id3parser::tag& out) {
  const abort_signal& no_abort = never_raised_abort_signal();
  vantrel_io::file_ptr file = vantrel_io::make_memory_file();
  if (!chunk.data.empty()) file->write(chunk.data.data(), static_cast<std::uint32_t>(chunk.data.size()), no_abort);
  file->seek(0, no_abort);
  std::uint64_t length = 0;
  return id3v2_read_tag_from_file(*file, filter, out, length, no_abort);
}

}  // namespace

merged_id3_chunks merge_id3_chunks(const std::vector<id3_chunk>& chunks, id3parser::frame_filter& filter) {
  merged_id3_chunks merged;
  if (!chunks.empty()) std::memcpy(merged.chunk_id, chunks.front().id, 4);
  for (const id3_chunk& chunk : chunks) {
    id3parser::tag tag;
    try {
      if (!read_chunk_tag(chunk, filter, tag)) continue;
    } catch (const id3parser::parseError&) {
      merged.damaged = true;
      continue;
    } catch (const vantrel_io::exception_io_data&) {
      merged.damaged = true;
      continue;
    }
    if (!merged.shown) {
      // Its own stacked tags stay noted in it, for the writer to refuse.
      merged.tag = std::move(tag);
      std::memcpy(merged.chunk_id, chunk.id, 4);
      merged.shown = true;
      continue;
    }
    merged.damaged = merged.damaged || tag.stacked_damaged;
    merged.frames_not_taken.insert(merged.frames_not_taken.end(), tag.stacked_not_taken.begin(),
                                   tag.stacked_not_taken.end());
    std::vector<std::uint32_t>& noted = merged.tag.stacked_not_taken;
    const std::size_t noted_before = noted.size();
    id3v2_take_stacked_tag(merged.tag, tag);
    merged.frames_not_taken.insert(merged.frames_not_taken.end(), noted.begin() + std::ptrdiff_t(noted_before),
                                   noted.end());
    noted.resize(noted_before);
  }
  return merged;
}

void refuse_losing_id3_chunks(const merged_id3_chunks& merged) {
  if (merged.damaged) throw exception_riff_id3_chunk_damaged();
  if (merged.frames_not_taken.empty()) return;
  const unsigned version = merged.tag.version == 2 ? 3 : merged.tag.version;
  throw exception_riff_id3_frame_not_kept(id3v2_frame_id_letters(merged.frames_not_taken.front()).c_str(), version);
}

}  // namespace riff_tags
