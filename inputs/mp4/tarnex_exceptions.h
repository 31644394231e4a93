// The failures of the MP4 container library. Every structural error in a file
// is one of these, so that the input can report it as a data error with the
// text the parser chose.
#pragma once

#include <stdexcept>
#include <string>

namespace tarnex {

class exception : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The file ends, or a box ends, before the data it announces.
class exception_truncation : public exception {
public:
  exception_truncation() : exception("invalid or incomplete data") {}
};

// An index or a time outside the tables of a track.
class exception_out_of_range : public exception {
public:
  exception_out_of_range() : exception("array access out of range") {}
};

// A time scale of 0 would divide every time of the track by zero.
class exception_invalid_timescale : public exception {
public:
  exception_invalid_timescale() : exception("invalid time scale value") {}
};

// Why a tag write is refused: the id of its text in the language tables and
// the English text.
struct refusal_reason {
  const char* id;
  const char* english;
};

// A tag write refused before any byte changed, because the file's layout
// cannot take a new movie box without losing data; `reason` says why.
class exception_write_refused : public exception {
public:
  explicit exception_write_refused(refusal_reason why)
      : exception(std::string(why.english) + "; not rewriting it"), reason_(why) {}
  const refusal_reason& reason() const { return reason_; }

private:
  refusal_reason reason_;
};

namespace refusals {
inline constexpr refusal_reason fragments = {
    "mp4_refused_fragments", "the file holds movie fragments, which must stay behind its movie box"};
inline constexpr refusal_reason open_box_not_media = {
    "mp4_refused_open_box", "a box that runs to the end of the file is not media data after the movie box"};
inline constexpr refusal_reason boxes_end_early = {"mp4_refused_boxes_end",
                                                   "the file's boxes do not end where the file does"};
inline constexpr refusal_reason media_past_boxes = {"mp4_refused_media_past_boxes",
                                                    "media data lies past the file's boxes"};
inline constexpr refusal_reason movie_too_big = {"mp4_refused_movie_too_big", "the movie box is too big"};
inline constexpr refusal_reason damaged_tags = {"mp4_refused_damaged_tags", "the file's tags are damaged"};
inline constexpr refusal_reason unmergeable_item_lists = {
    "mp4_refused_item_lists", "the file's item lists hold different items of one kind, which one list cannot keep"};
inline constexpr refusal_reason two_chunk_tables = {
    "mp4_refused_two_chunk_tables",
    "a track holds two chunk offset tables beside what a stopped edit left, so which media data it reads depends on "
    "the player"};
inline constexpr refusal_reason media_cut_short = {"mp4_refused_media_cut", "the file is cut short inside its media data"};
}  // namespace refusals

}  // namespace tarnex
