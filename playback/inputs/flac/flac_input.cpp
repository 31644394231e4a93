#include "playback/inputs/flac/flac_input.h"

#include <cmath>
#include <cstring>

#include "io/io_exceptions.h"
#include "io/leading_id3v2_tags.h"
#include "io/read_ahead_file.h"
#include "io/retag_through_temp_file.h"
#include "metadata/input_dispatch.h"
#include "metadata/tags/tag_services.h"
#include "playback/audio_block.h"
#include "playback/inputs/flac/flac_fields_in_other_tags.h"
#include "playback/inputs/flac/flac_metadata_head.h"
#include "playback/inputs/flac/flac_metadata_reading.h"
#include "playback/inputs/flac/flac_metadata_writer.h"

flac_input::flac_input() = default;
flac_input::~flac_input() = default;

void flac_input::open(vantrel_io::file_ptr file, const char* path, open_reason reason, const abort_signal& abort) {
  path_ = path;
  opened_by_input_ = !file;
  for_decode_ = reason == open_reason::decode;
  vantrel_io::open_or_rewind(file, path, reason, abort);
  seekable_ = file->can_seek();
  if (reason == open_reason::decode) vantrel_io::read_ahead_file::wrap_if_local(file, abort);
  file_ = std::move(file);
  if (seekable_) {
    id3v2_skip_leading_tag(*file_, 0, abort);
    char signature[4];
    if (file_->read(signature, 4, abort) != 4 || std::memcmp(signature, "fLaC", 4) != 0) vantrel_io::throw_io_data();
    file_->seek(0, abort);
  }
  // A writer needs only the metadata: it reads the head once, and its tag
  // write works from the same bytes. A head libFLAC refuses goes the
  // decoder's way, which reads past damaged blocks.
  if (!(reason == open_reason::info_write && opened_by_input_ && seekable_ && open_head(abort))) open_stream(abort);
  read_other_tags_without_fields(abort);
  if (reason != open_reason::decode) decoder_.reset();
  load_cue_sheet();
}

// Files tagged by programs that know no comment blocks may carry ID3v2 or APE tags instead.
void flac_input::read_other_tags_without_fields(const abort_signal& abort) {
  fields_from_other_tags_ = false;
  if (!seekable_ || cached_info_.field_count() != 0) return;
  const std::uint64_t position = file_->get_position(abort);
  try {
    tag_services::read(*file_, cached_info_, abort);
  } catch (const vantrel_io::exception_io_data&) {
  }
  file_->seek(position, abort);
  fields_from_other_tags_ = cached_info_.field_count() != 0;
}

void flac_input::open_stream(const abort_signal& abort) {
  // The decoder starts from a rewound file; libFLAC itself steps over a
  // leading ID3v2 tag.
  auto decoder = std::make_unique<flac_stream_decoder>(seekable_);
  decoder->set_message_sink(sink_.get());
  // Album art has its own reader: reading fields for a listing need not copy
  // a picture per file. A decode still reports a damaged picture block.
  if (!for_decode_) decoder->skip_pictures();
  decoder->open(file_, cached_info_, abort);
  sheet_storage_ = decoder->cuesheet_from_block() ? cue_sheet_storage::block : cue_sheet_storage::text;
  decoder_ = std::move(decoder);
  at_start_ = true;
}

bool flac_input::open_head(const abort_signal& abort) {
  flac_metadata_head head;
  try {
    head = read_flac_metadata_head(*file_, abort);
  } catch (const vantrel_io::exception_io_data&) {
    return false;
  }
  FLAC__Metadata_Chain* const chain = read_flac_metadata_chain(head);
  if (chain == nullptr) return false;
  const std::uint64_t size = file_->get_size(abort);
  const std::uint64_t metadata_bytes = head.audio_start - head.marker - 4;
  track_info_impl info;
  bool sheet_from_block = false;
  try {
    sheet_from_block = flac_chain_to_info(chain, size > metadata_bytes ? size - metadata_bytes : 0, info);
  } catch (const vantrel_io::exception_io_data&) {
    return false;
  }
  cached_info_ = info;
  sheet_storage_ = sheet_from_block ? cue_sheet_storage::block : cue_sheet_storage::text;
  head_ = std::make_unique<flac_metadata_head>(std::move(head));
  return true;
}

void flac_input::load_cue_sheet() {
  const track_info_impl copy(cached_info_);
  block_sheet_text_.clear();
  if (sheet_storage_ == cue_sheet_storage::block) {
    const std::uint32_t sheet = copy.find_field("cuesheet");
    if (sheet != track_info::not_found) block_sheet_text_ = copy.field_value(sheet, 0);
  }
  cue_embedded::read_track_info(cue_sheet_, copy, sink_.get(), sheet_storage_);
}

std::uint32_t flac_input::get_subsong_count() const noexcept {
  return cue_sheet_.size() < 2 ? 1 : cue_sheet_.size() - 1;
}

std::uint32_t flac_input::get_subsong(std::uint32_t index) const noexcept {
  return cue_sheet_.size() < 2 ? 0 : cue_embedded::subsong_at(cue_sheet_, index);
}

void flac_input::get_info(std::uint32_t subsong, track_info& out) const {
  cue_embedded::track_info_from_cue(cue_sheet_, subsong, out);
}

vantrel_io::file_stats flac_input::get_file_stats(const abort_signal& abort) { return file_->get_stats(abort); }

void flac_input::initialize(std::uint32_t subsong, std::uint32_t flags, const abort_signal& abort) {
  if (!decoder_) vantrel_io::throw_io_data();
  double start = 0.0;
  double length = -1.0;
  if (subsong != 0) {
    const cue_embedded::track_range range = cue_embedded::get_track_range(cue_sheet_, subsong);
    start = range.start;
    length = range.length;
  }
  decoder_->set_integrity_check((flags & flag_integrity_check) != 0);
  seek_to(start, abort);
  start_ = start;
  length_ = length;
  position_ = 0.0;
}

void flac_input::seek_to(double seconds, const abort_signal& abort) {
  if (at_start_ && seconds == 0.0) return;
  if (seekable_) {
    decoder_->seek(seconds, abort);
    at_start_ = seconds == 0.0;
    return;
  }
  if (seconds > 0.0) vantrel_io::throw_exception_io_object_not_seekable();
  open_stream(abort);
}

void flac_input::seek(double seconds, const abort_signal& abort) {
  // A negative time is the start, not a huge unsigned sample number.
  if (!(seconds > 0.0)) seconds = 0.0;
  if (length_ >= 0.0 && length_ < seconds) seconds = length_;
  seek_to(start_ + seconds, abort);
  position_ = seconds;
}

bool flac_input::run(audio_block& out, const abort_signal& abort) {
  if (length_ >= 0.0 && length_ <= position_) return false;
  if (!decoder_->run(out, abort)) return false;
  at_start_ = false;
  if (length_ >= 0.0) {
    const double remaining_frames = std::floor((length_ - position_) * out.get_sample_rate() + 0.5);
    const std::uint64_t remaining = remaining_frames > 0.0 ? static_cast<std::uint64_t>(remaining_frames) : 0;
    if (remaining < out.get_sample_count()) {
      position_ = length_;
      if (remaining == 0) return false;
      const auto frames = static_cast<std::uint32_t>(remaining);
      out.set_sample_count(frames);
      out.set_data_size(frames * out.get_channels());
      return true;
    }
  }
  position_ += out.duration_seconds();
  return true;
}

// Local and memory files do no background work between reads.
void flac_input::on_idle(const abort_signal&) {}

void flac_input::set_message_sink(decoder_message_sink* sink) {
  sink_ = sink;
  if (decoder_) decoder_->set_message_sink(sink);
}

void flac_input::set_info(std::uint32_t subsong, const track_info& info) {
  if (subsong == 0) {
    cue_embedded::apply_file_info(cue_sheet_, info, sink_.get());
  } else {
    cue_embedded::apply_track_info(cue_sheet_, subsong, info);
  }
}

void flac_input::commit(const abort_signal& abort) {
  track_info_impl written;
  cue_embedded::write_track_info(cue_sheet_, written);
  write_info(written, abort);
  // The info reads as a fresh read of the file gives it: untouched comments
  // keep their places, and a cue sheet block stays a block.
  if (opened_by_input_ && seekable_ && open_head(abort)) {
    read_other_tags_without_fields(abort);
  } else {
    cached_info_ = written;
    fields_from_other_tags_ = false;
    keep_block_sheet_last();
  }
  load_cue_sheet();
}

// A sheet still kept only in the block comes after the comments, as a fresh
// read gives it; any other text was written as a comment.
void flac_input::keep_block_sheet_last() {
  if (sheet_storage_ != cue_sheet_storage::block) return;
  const std::uint32_t sheet = cached_info_.find_field("cuesheet");
  if (sheet == track_info::not_found || cached_info_.field_value_count(sheet) != 1 ||
      block_sheet_text_ != cached_info_.field_value(sheet, 0)) {
    sheet_storage_ = cue_sheet_storage::text;
    return;
  }
  qiv::bit_array selection(cached_info_.field_count());
  selection.set(sheet, true);
  cached_info_.remove_fields(selection);
  cached_info_.append_field("cuesheet", track_info::until_nul, block_sheet_text_.data(), block_sheet_text_.size());
}

void flac_input::write_info(const track_info& info, const abort_signal& abort) {
  if (!file_) vantrel_io::throw_io_data();
  // Comment blocks left without a field would show the other tags' fields
  // again: a removal of every field would pass for done and change nothing.
  if (fields_from_other_tags_ && info.field_count() == 0) throw exception_flac_fields_in_other_tags();
  if (!opened_by_input_) {
    // The caller's file object has no path to move a new file to: only a
    // change safe in place, or one to a file in memory, can be made.
    retag_in_place no_temp_file;
    flac_metadata_writer::write(*file_, no_temp_file, info, abort);
    return;
  }
  // The head read at open stands for the file only until the file changes.
  const std::unique_ptr<flac_metadata_head> head = std::move(head_);
  retag_through_temp_file rewrite(path_.c_str());
  flac_metadata_writer::write(*file_, rewrite, info, abort, head.get());
  rewrite.commit(file_, abort);
}
