// Writing new tags into an MP4 file without moving its media data: the
// movie box is rebuilt in memory with a fresh user-data box. Where a "free"
// box beside the item list takes up the change in size and the bytes that
// change lie within one page, that is one write where the movie box stands.
// Otherwise a movie box that is the last box ends up rewritten at its own
// offset, any other is turned into "free" and the new one appended, laid
// out so that the next text edit is such a write. Between the switch to the
// new movie box and the old one's return to "free" of its own size, that
// box is "mdat" over the media data after it, never "free". No chunk offset
// of the media changes; renamed chapters of a chapter text track get new
// samples in a media data box of their own just before the new movie box.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "inputs/mp4/mp4_file.h"
#include "inputs/mp4/mp4_stream.h"

namespace tarnex {

// Bits of the write mode.
enum write_mode_bit : std::uint32_t {
  mode_item_list = 1,
  mode_tags_box = 2,
};

// The mode for the file's songs and pictures: the item list alone when one
// song and at most one front cover is all there is to store.
std::uint32_t choose_write_mode(const mp4_file& file);

// Whether an edit changes any value. One that changes none keeps the movie
// box in force byte for byte (as no write at all would) and writes only to
// take out what a stopped write left.
enum class values_edit { changed, unchanged };

// A rewrite of the movie box of `file` (opened from `io`) with the songs'
// fields, the pictures, the chapters and the index map, built and checked
// before the file is touched: a file whose boxes do not end exactly at its
// size (after an appended ID3v1 tag or a "free" box open to the end of the
// file, which the write cuts), whose movie fragments need the movie box
// before them, or whose samples lie past its boxes, is refused untouched.
// Appends the layout check's findings and the cut, if any, to `reports`.
class movie_box_rewrite {
public:
  movie_box_rewrite(mp4_file& file, stream& io, std::uint32_t write_mode, std::vector<std::string>& reports,
                    values_edit values = values_edit::changed);
  ~movie_box_rewrite();
  movie_box_rewrite(const movie_box_rewrite&) = delete;
  movie_box_rewrite& operator=(const movie_box_rewrite&) = delete;

  // Whether the write keeps every reader on the old tags or the new ones
  // when a kill cuts it anywhere: its large writes go where no box that a
  // reader reads reaches, and each header a reader sees change lies within
  // one page, which the system puts down whole. Otherwise the write belongs
  // in a copy of the file.
  bool safe_in_place() const;

  // Whether the file holds what an earlier write stopped midway left (see
  // stopped_write_leftover.h, or its staged boxes behind the last one),
  // which this write takes out: a write worth making even when no value
  // changes.
  bool mends_stopped_write() const;

  // Writes into `io`: the file the rewrite was built from, or a byte for
  // byte copy of it. Media data whose box runs to the end of the file is
  // given its size. The writes are ordered so that a write cut off at any
  // point leaves a file that reads as the old one or as the new one, and a
  // write that fails before the switch puts the old layout back. What an
  // earlier stopped write left goes first, as that write would have tidied
  // it: each of those steps leaves the file reading as before. On return
  // the file object describes the new layout. `io` must not honour an
  // abort: once the first byte is written, the writes run to the end.
  void write(stream& io);

  // Whether write() has put the new movie box in force for every reader:
  // a failure after that leaves the new tags, not the old ones.
  bool switched() const { return switched_; }

private:
  struct plan;
  void shrink_leftover_over_media(stream& io);
  void return_chapter_texts(stream& io);
  void finish_stopped_write(stream& io);
  bool switched_ = false;
  mp4_file& file_;
  std::vector<std::string>& reports_;
  std::unique_ptr<plan> plan_;
};

// Builds the rewrite and writes it into the same file.
void mp4_update_file_tags(mp4_file& file, stream& io, std::uint32_t write_mode, std::vector<std::string>& reports);

}  // namespace tarnex
