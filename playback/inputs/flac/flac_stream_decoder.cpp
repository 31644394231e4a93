#include "playback/inputs/flac/flac_stream_decoder.h"

#include <cmath>
#include <cstring>
#include <exception>
#include <new>

#include "core/service_factory.h"
#include "io/io_exceptions.h"
#include "metadata/track_info.h"
#include "playback/channel_mask.h"
#include "playback/inputs/flac/flac_metadata_reading.h"
#include "playback/planar_int_conversion.h"

namespace {

constexpr char corrupted_stream_text[] = "Corrupted FLAC stream";
constexpr char bad_high_bits_text[] = "Nonsensical most significant bits - the file is corrupted";
constexpr char bad_metadata_text[] = "Damaged metadata block skipped; the audio still plays";

class discarding_sink : public decoder_message_sink {
public:
  void on_message(const char*, bool) override {}
};
service_single_instance<discarding_sink> discard_messages;

// Keeps the caller's abort signal for the libFLAC calls it makes.
class abort_scope {
public:
  abort_scope(const abort_signal*& slot, const abort_signal& abort) : slot_(slot), saved_(slot) { slot = &abort; }
  ~abort_scope() { slot_ = saved_; }
  abort_scope(const abort_scope&) = delete;
  abort_scope& operator=(const abort_scope&) = delete;

private:
  const abort_signal*& slot_;
  const abort_signal* saved_;
};

}  // namespace

// libFLAC's C callbacks: no exception may cross them, each turns one into
// the status that stops the library.
struct flac_stream_decoder::callbacks {
  static flac_stream_decoder& self(void* client) { return *static_cast<flac_stream_decoder*>(client); }

  static FLAC__StreamDecoderReadStatus read(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                            void* client) noexcept {
    flac_stream_decoder& d = self(client);
    try {
      *bytes = d.file_->read(buffer, static_cast<std::uint32_t>(*bytes), *d.abort_);
    } catch (...) {
      *bytes = 0;
      return FLAC__STREAM_DECODER_READ_STATUS_ABORT;
    }
    return *bytes > 0 ? FLAC__STREAM_DECODER_READ_STATUS_CONTINUE : FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
  }

  static FLAC__StreamDecoderSeekStatus seek(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* client) noexcept {
    flac_stream_decoder& d = self(client);
    try {
      d.file_->seek(offset, *d.abort_);
    } catch (...) {
      return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    }
    return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
  }

  static FLAC__StreamDecoderTellStatus tell(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* client) noexcept {
    flac_stream_decoder& d = self(client);
    try {
      *offset = d.file_->get_position(*d.abort_);
    } catch (...) {
      return FLAC__STREAM_DECODER_TELL_STATUS_ERROR;
    }
    return FLAC__STREAM_DECODER_TELL_STATUS_OK;
  }

  static FLAC__StreamDecoderLengthStatus length(const FLAC__StreamDecoder*, FLAC__uint64* length,
                                                void* client) noexcept {
    flac_stream_decoder& d = self(client);
    try {
      const std::uint64_t size = d.file_->get_size(*d.abort_);
      if (size == vantrel_io::filesize_unknown) return FLAC__STREAM_DECODER_LENGTH_STATUS_UNSUPPORTED;
      *length = size;
    } catch (...) {
      return FLAC__STREAM_DECODER_LENGTH_STATUS_ERROR;
    }
    return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
  }

  static FLAC__bool eof(const FLAC__StreamDecoder*, void* client) noexcept {
    flac_stream_decoder& d = self(client);
    try {
      return d.file_->is_at_end(*d.abort_);
    } catch (...) {
      return true;
    }
  }

  static FLAC__StreamDecoderWriteStatus write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                              const FLAC__int32* const buffers[], void* client) noexcept {
    try {
      self(client).on_frame(*frame, buffers);
    } catch (...) {
      return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
    }
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  }

  static void metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* client) noexcept {
    flac_stream_decoder& d = self(client);
    try {
      d.on_metadata(*block);
    } catch (const std::exception& e) {
      d.print_once(e.what());
    } catch (...) {
      d.print_once(corrupted_stream_text);
    }
  }

  static void error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* client) noexcept {
    flac_stream_decoder& d = self(client);
    if (d.abort_ != nullptr && d.abort_->is_set()) return;
    if (status == FLAC__STREAM_DECODER_ERROR_STATUS_BAD_METADATA) {
      d.on_damaged_metadata();
      return;
    }
    // Past a damaged block libFLAC looks for the first frame through what
    // is left of the metadata: that search is expected, not damage.
    if (d.passing_damaged_metadata_ && status == FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC) return;
    d.print_once(corrupted_stream_text);
  }
};

flac_stream_decoder::flac_stream_decoder(bool seekable)
    : decoder_(FLAC__stream_decoder_new()), seekable_(seekable), sink_(&discard_messages) {
  if (!decoder_) throw std::bad_alloc();
  FLAC__stream_decoder_set_metadata_respond_all(decoder_.get());
}

void flac_stream_decoder::skip_pictures() {
  // Stepping over a block needs the position of the first frame to know the
  // metadata's size, which needs a seekable file.
  if (seekable_) FLAC__stream_decoder_set_metadata_ignore(decoder_.get(), FLAC__METADATA_TYPE_PICTURE);
}

flac_stream_decoder::~flac_stream_decoder() = default;

void flac_stream_decoder::set_message_sink(decoder_message_sink* sink) {
  sink_ = sink != nullptr ? sink : static_cast<decoder_message_sink*>(&discard_messages);
  if (sink != nullptr) deliver_pending_warning();
}

void flac_stream_decoder::deliver_pending_warning() {
  if (pending_warning_.empty() || sink_.get() == &discard_messages) return;
  sink_->on_message(pending_warning_.c_str(), false);
  pending_warning_.clear();
}

void flac_stream_decoder::print_once(const char* text) {
  if (error_printed_) return;
  error_printed_ = true;
  try {
    sink_->on_message(text, true);
  } catch (...) {
  }
}

void flac_stream_decoder::fail() const {
  if (abort_ != nullptr && abort_->is_set()) throw vantrel_io::exception_aborted();
  vantrel_io::throw_io_data();
}

void flac_stream_decoder::clear_queue() noexcept {
  while (queue_.get_count() > 0) queue_.remove_at(queue_.get_count() - 1);
}

void flac_stream_decoder::initialise(vantrel_io::file_ptr file, const abort_signal& abort) {
  error_printed_ = false;
  passing_damaged_metadata_ = false;
  file_ = std::move(file);
  file_->rewind(abort);
  // A second open over the same libFLAC object starts from a clean state.
  FLAC__stream_decoder_finish(decoder_.get());
  clear_queue();
  stream_info_seen_ = false;
  stream_info_ = {};
  metadata_bytes_ = 0;
  metadata_start_ = 0;
  cuesheet_text_.clear();
  comments_.clear();
  channel_mask_ = 0;
  const FLAC__StreamDecoderInitStatus status = FLAC__stream_decoder_init_stream(
      decoder_.get(), &callbacks::read, seekable_ ? &callbacks::seek : nullptr,
      seekable_ ? &callbacks::tell : nullptr, seekable_ ? &callbacks::length : nullptr,
      seekable_ ? &callbacks::eof : nullptr, &callbacks::write, &callbacks::metadata, &callbacks::error, this);
  if (status != FLAC__STREAM_DECODER_INIT_STATUS_OK || error_printed_) fail();
  const bool read = FLAC__stream_decoder_process_until_end_of_metadata(decoder_.get());
  // A damaged block ends the metadata where it stands; libFLAC then goes on
  // to the frames, which is all that playback needs.
  const bool frames_next =
      passing_damaged_metadata_ &&
      FLAC__stream_decoder_get_state(decoder_.get()) == FLAC__STREAM_DECODER_SEARCH_FOR_FRAME_SYNC;
  if ((!read && !frames_next) || error_printed_) fail();
  // Skipped blocks never reach on_metadata: where the metadata ends tells
  // their size too.
  FLAC__uint64 end = 0;
  if (read && metadata_start_ != 0 && FLAC__stream_decoder_get_decode_position(decoder_.get(), &end) &&
      end >= metadata_start_) {
    metadata_bytes_ = end - metadata_start_;
  }
}

void flac_stream_decoder::on_damaged_metadata() noexcept {
  passing_damaged_metadata_ = true;
  try {
    // The open usually runs before the owner sets its sink.
    pending_warning_ = bad_metadata_text;
    deliver_pending_warning();
  } catch (...) {
  }
}

void flac_stream_decoder::open(vantrel_io::file_ptr file, track_info& info, const abort_signal& abort) {
  abort_scope scope(abort_, abort);
  target_info_ = &info;
  struct clear_target {
    track_info*& target;
    ~clear_target() { target = nullptr; }
  } clear{target_info_};
  initialise(std::move(file), abort);
  comments_.finish(info);
  const std::uint32_t rate = get_sample_rate();
  std::uint64_t audio_bytes = vantrel_io::filesize_unknown;
  if (stream_info_.total_samples != 0) {
    const std::uint64_t size = file_->get_size(abort);
    if (size != vantrel_io::filesize_unknown) audio_bytes = size > metadata_bytes_ ? size - metadata_bytes_ : 0;
  }
  cuesheet_from_block_ = flac_complete_info(info, cuesheet_text_, stream_info_.total_samples, rate, audio_bytes);
  ended_ = false;
}

void flac_stream_decoder::on_metadata(const FLAC__StreamMetadata& block) {
  metadata_bytes_ += std::uint64_t{block.length} + 4;
  switch (block.type) {
    case FLAC__METADATA_TYPE_STREAMINFO: {
      const FLAC__StreamMetadata_StreamInfo& source = block.data.stream_info;
      stream_info_.sample_rate = source.sample_rate;
      stream_info_.channels = source.channels;
      stream_info_.bits_per_sample = source.bits_per_sample;
      stream_info_.total_samples = source.total_samples;
      std::memcpy(stream_info_.md5, source.md5sum, sizeof stream_info_.md5);
      stream_info_seen_ = true;
      // The stream info is the first block; where it starts, the metadata starts.
      if (FLAC__uint64 end = 0; seekable_ && FLAC__stream_decoder_get_decode_position(decoder_.get(), &end) &&
                                end >= block.length + 4) {
        metadata_start_ = end - block.length - 4;
      }
      if (target_info_ != nullptr) flac_stream_info_to_info(source, *target_info_);
      break;
    }
    case FLAC__METADATA_TYPE_VORBIS_COMMENT:
      comments_.add_block(block.data.vorbis_comment, target_info_);
      channel_mask_ = comments_.channel_mask();
      break;
    case FLAC__METADATA_TYPE_CUESHEET:
      // A sheet that does not fit the stream must not make the file
      // unplayable: the file plays as one track.
      try {
        cuesheet_text_ = flac_cuesheet_to_text(block.data.cue_sheet, stream_info_.total_samples, stream_info_.sample_rate);
      } catch (const vantrel_io::exception_io_data&) {
        cuesheet_text_.clear();
        // The open usually runs before the owner sets its sink.
        pending_warning_ = "Embedded cue sheet ignored: its tracks do not fit the stream";
        deliver_pending_warning();
      }
      break;
    default:
      break;
  }
}

void flac_stream_decoder::on_frame(const FLAC__Frame& frame, const FLAC__int32* const* buffers) {
  passing_damaged_metadata_ = false;
  const FLAC__FrameHeader& header = frame.header;
  const std::uint32_t channels = header.channels;
  if (channels == 0 || header.bits_per_sample == 0) vantrel_io::throw_io_data();
  std::uint32_t mask = channel_mask_;
  if (mask == 0 || channel_count_of_mask(mask) != channels) {
    if (channels > 8) vantrel_io::throw_io_data();
    mask = flac_default_channel_mask(channels);
  }
  audio_block& block = run_target_ != nullptr && !run_target_filled_ ? *run_target_ : queue_.insert_new(~0u);
  if (&block == run_target_) run_target_filled_ = true;
  block.set_data_size(header.blocksize * channels);
  block.set_sample_rate(header.sample_rate);
  block.set_channels(channels, mask);
  block.set_sample_count(header.blocksize);
  const std::int32_t* const* planes = reinterpret_cast<const std::int32_t* const*>(buffers);
  if (integrity_check_) {
    if (!convert_planar_int32_to_float_checked(planes, channels, header.blocksize, header.bits_per_sample,
                                               block.get_data())) {
      integrity_check_ = false;
      sink_->on_message(bad_high_bits_text, true);
    }
  } else {
    convert_planar_int32_to_float(planes, channels, header.blocksize, header.bits_per_sample, block.get_data());
  }
}

bool flac_stream_decoder::run(audio_block& out, const abort_signal& abort) {
  if (ended_) return false;
  if (queue_.get_count() > 0) {
    out.copy_from(queue_.get(0));
    queue_.remove_at(0);
    return true;
  }
  abort_scope scope(abort_, abort);
  run_target_ = &out;
  run_target_filled_ = false;
  struct clear_target {
    audio_block*& target;
    ~clear_target() { target = nullptr; }
  } clear{run_target_};
  while (!run_target_filled_ && queue_.get_count() == 0) {
    abort.check_and_throw();
    if (FLAC__stream_decoder_get_state(decoder_.get()) == FLAC__STREAM_DECODER_END_OF_STREAM) {
      ended_ = true;
      return false;
    }
    if (!FLAC__stream_decoder_process_single(decoder_.get())) fail();
  }
  if (!run_target_filled_) {
    out.copy_from(queue_.get(0));
    queue_.remove_at(0);
  }
  return true;
}

void flac_stream_decoder::seek(double seconds, const abort_signal& abort) {
  const double sample = std::floor(seconds * get_sample_rate() + 0.5);
  seek_to_sample(sample > 0.0 ? static_cast<std::uint64_t>(sample) : 0, abort);
}

void flac_stream_decoder::seek_to_sample(std::uint64_t sample, const abort_signal& abort) {
  clear_queue();
  if (stream_info_.total_samples != 0 && stream_info_.total_samples <= sample) {
    ended_ = true;
    return;
  }
  abort_scope scope(abort_, abort);
  error_printed_ = false;
  if (!FLAC__stream_decoder_seek_absolute(decoder_.get(), sample)) {
    // A failed seek leaves libFLAC unusable until it resynchronises.
    clear_queue();
    FLAC__stream_decoder_flush(decoder_.get());
    fail();
  }
  ended_ = false;
}

void flac_stream_decoder::flush(const abort_signal& abort) {
  abort_scope scope(abort_, abort);
  ended_ = false;
  clear_queue();
  error_printed_ = false;
  if (!FLAC__stream_decoder_flush(decoder_.get())) fail();
}

std::uint32_t flac_stream_decoder::get_sample_rate() const {
  if (!stream_info_seen_ || stream_info_.sample_rate == 0) vantrel_io::throw_io_data();
  return stream_info_.sample_rate;
}
