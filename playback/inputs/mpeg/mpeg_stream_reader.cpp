#include "playback/inputs/mpeg/mpeg_stream_reader.h"

#include <algorithm>
#include <cstring>

#include "io/io_exceptions.h"
#include "io/leading_id3v2_tags.h"
#include "io/read_ahead_file.h"
#include "metadata/input_dispatch.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/trailing_tags.h"
#include "playback/decoders/mpeg_seek_table_cache.h"

namespace {

constexpr std::uint32_t window = mpeg_stream_reader::max_frame;
constexpr std::uint64_t search_limit_seekable = 1048576;
constexpr std::uint64_t search_limit_stream = 32768;
constexpr std::uint32_t read_ahead_limit = 262144;

bool same_format(const mpeg_frame_header& a, const mpeg_frame_header& b) {
  return a.sample_rate == b.sample_rate && a.channels == b.channels;
}

[[noreturn]] void throw_data() { throw vantrel_io::exception_io_data(); }

}  // namespace

std::int32_t mpeg_decoder_delay(std::uint32_t layer) { return layer == 2 ? 481 : layer == 3 ? 529 : 0; }

mpeg_stream_reader::mpeg_stream_reader() : frame_buffer(max_frame), receiver(&stream_receiver::discard()) {}

void mpeg_stream_reader::attach(vantrel_io::file_ptr given, const char* path_text, open_reason reason,
                                const abort_signal& abort) {
  decoder.reset();
  seek_table = -1;
  path = path_text;
  own_file = !given;
  file = std::move(given);
  vantrel_io::open_or_rewind(file, path_text, reason, abort);
  if (reason == open_reason::decode && !file->is_remote() && file->can_seek())
    vantrel_io::read_ahead_file::wrap(file, read_ahead_limit, abort);
  file_timestamp = file->get_timestamp(abort);
  can_seek = file->can_seek();
  audio_end_ = 0;
  parsed = false;
  leading_tag_checked = false;
}

void mpeg_stream_reader::set_receiver(stream_receiver* given) {
  custom_receiver = given != nullptr;
  receiver = given ? given : &stream_receiver::discard();
}

void mpeg_stream_reader::report(const char* text, std::uint32_t severity) { receiver->report(text, severity); }

void mpeg_stream_reader::warn(const std::string& text) {
  if ((open_flags & integrity_check_flag) && !custom_receiver) {
    struct data_error : vantrel_io::exception_io_data {
      explicit data_error(const std::string& text) : exception_io_data(vantrel_io::io_message("", text.c_str())) {}
    };
    throw data_error(text);
  }
  report(text.c_str(), stream_receiver::warning);
}

std::uint32_t mpeg_stream_reader::read_bytes(void* buffer, std::uint32_t count, const abort_signal& abort) {
  std::uint32_t done = 0;
  if (pushback_at_ < pushback_.size()) {
    done = static_cast<std::uint32_t>(std::min<std::size_t>(count, pushback_.size() - pushback_at_));
    std::memcpy(buffer, pushback_.data() + pushback_at_, done);
    pushback_at_ += done;
  }
  if (done < count) done += file->read(static_cast<std::uint8_t*>(buffer) + done, count - done, abort);
  return done;
}

void mpeg_stream_reader::skip_bytes(std::uint64_t count, const abort_signal& abort) {
  const std::size_t buffered = std::min<std::uint64_t>(count, pushback_.size() - pushback_at_);
  pushback_at_ += buffered;
  file->skip_exact(count - buffered, abort);
}

std::uint64_t mpeg_stream_reader::position(const abort_signal& abort) {
  return file->get_position(abort) - (pushback_.size() - pushback_at_);
}

void mpeg_stream_reader::seek_file(std::uint64_t offset, const abort_signal& abort) {
  pushback_.clear();
  pushback_at_ = 0;
  file->seek(offset, abort);
}

bool mpeg_stream_reader::is_valid_frame(const std::uint8_t* bytes, mpeg_frame_header& header) const {
  return mpeg_parse_header(bytes, header) && header.frame_length > 4 && header.frame_length <= max_frame;
}

std::int64_t mpeg_stream_reader::sync_search(const abort_signal& abort, std::uint8_t* header_out) {
  const bool seekable = file->can_seek();
  const std::uint64_t start = position(abort);
  const std::uint64_t size = file->get_size(abort);
  std::vector<std::uint8_t> bytes(window);
  std::uint64_t base = start;  // file offset of bytes[0]
  std::uint32_t kept = 0;      // bytes carried over from the previous window
  // Where the audio ends (before trailing tags), found only when a frame
  // that nothing follows asks for it.
  std::uint64_t audio_end = vantrel_io::filesize_unknown;
  bool audio_end_known = false;
  auto ends_the_audio = [&](std::uint64_t next) {
    if (next == size) return true;
    if (!audio_end_known && seekable && size != vantrel_io::filesize_unknown) {
      const std::uint64_t resume = file->get_position(abort);
      audio_end = find_trailing_tags(*file, false, abort).start;
      audio_end_known = true;
      file->seek(resume, abort);
    }
    return next == audio_end;
  };
  for (;;) {
    const std::uint32_t got = read_bytes(bytes.data() + kept, window - kept, abort);
    const std::uint32_t n = kept + got;
    if (n < 4) return -1;
    const std::uint64_t window_end = base + n;
    for (std::uint32_t i = 0; i + 4 <= n; ++i) {
      mpeg_frame_header first;
      if (!is_valid_frame(bytes.data() + i, first)) continue;
      const std::uint64_t q = base + i;
      const std::uint64_t next = q + first.frame_length;
      // Bytes that would make a frame reaching past the end are no frame.
      if (size != vantrel_io::filesize_unknown && next > size) continue;
      std::uint8_t second_bytes[4] = {};
      bool has_second = true;
      if (next + 4 <= window_end) {
        std::memcpy(second_bytes, bytes.data() + (next - base), 4);
      } else if (seekable) {
        seek_file(next, abort);
        has_second = file->read(second_bytes, 4, abort) == 4;
      } else {
        break;
      }
      mpeg_frame_header second;
      const bool chained = has_second && mpeg_parse_header(second_bytes, second) && same_format(first, second);
      // The frame is confirmed by the next one, or, when it is the last,
      // by ending exactly where the audio ends: a stream of very few
      // frames has no second one to ask.
      const bool confirmed = chained || ends_the_audio(next);
      if (seekable && next + 4 > window_end) seek_file(window_end, abort);
      if (!confirmed) continue;
      if (header_out) std::memcpy(header_out, bytes.data() + i, 4);
      if (!seekable) {
        // The stream cannot go back: what follows the frame start is replayed.
        pushback_.assign(bytes.begin() + i, bytes.begin() + n);
        pushback_at_ = 0;
      }
      return static_cast<std::int64_t>(q);
    }
    if (n < window) return -1;
    if (window_end - start > (seekable ? search_limit_seekable : search_limit_stream)) return -1;
    // Windows overlap by 3 bytes so that no header straddles unseen.
    std::memmove(bytes.data(), bytes.data() + n - 3, 3);
    kept = 3;
    base = window_end - 3;
  }
}

std::int64_t mpeg_stream_reader::end_search(std::int64_t first_offset, const std::uint8_t* first_header,
                                            const abort_signal& abort) {
  mpeg_frame_header first;
  if (!mpeg_parse_header(first_header, first)) return -1;
  std::uint64_t size = file->get_size(abort);
  if (size == vantrel_io::filesize_unknown) return -1;
  // Tags at the end can be megabytes of cover art, where bytes that look
  // like frames would stretch the stream over the tag.
  size = find_trailing_tags(*file, false, abort).start;
  if (size <= static_cast<std::uint64_t>(first_offset)) return -1;
  std::vector<std::uint8_t> bytes(window);
  std::uint64_t end = size;
  for (;;) {
    const std::uint64_t begin = std::max<std::uint64_t>(first_offset, end > window ? end - window : 0);
    const std::uint32_t n = static_cast<std::uint32_t>(end - begin);
    seek_file(begin, abort);
    file->read_exact(bytes.data(), n, abort);
    for (std::uint32_t i = n >= 4 ? n - 4 + 1 : 0; i-- > 0;) {
      mpeg_frame_header h;
      if (!mpeg_parse_header(bytes.data() + i, h) || h.frame_length == 0 || !same_format(first, h)) continue;
      if (begin + i + h.frame_length <= size) return static_cast<std::int64_t>(begin + i + h.frame_length);
    }
    if (begin <= static_cast<std::uint64_t>(first_offset)) return -1;
    end = begin + 3;
  }
}

std::uint32_t mpeg_stream_reader::skip_leading_tags_of_stream(std::uint64_t& total, const abort_signal& abort) {
  std::uint32_t count = 0;
  total = 0;
  for (;;) {
    std::uint8_t h[10];
    const std::uint32_t got = read_bytes(h, sizeof h, abort);
    const bool is_tag = got == sizeof h && std::memcmp(h, "ID3", 3) == 0 && (h[5] & 0x0F) == 0 &&
                        ((h[6] | h[7] | h[8] | h[9]) & 0x80) == 0;
    if (!is_tag) {
      // Not a tag: these bytes are the stream's and are read again.
      pushback_.insert(pushback_.begin() + pushback_at_, h, h + got);
      return count;
    }
    const std::uint64_t size = (std::uint64_t(h[6]) << 21 | h[7] << 14 | h[8] << 7 | h[9]) + ((h[5] & 0x10) ? 10 : 0);
    skip_bytes(size, abort);
    total += size + 10;
    ++count;
  }
}

void mpeg_stream_reader::parse(const abort_signal& abort) {
  info = mpeg_stream_info();
  std::uint64_t tags_size = 0;
  const std::uint32_t tags =
      can_seek ? id3v2_count_leading_tags(*file, tags_size, abort) : skip_leading_tags_of_stream(tags_size, abort);
  id3v2_size = tags_size;
  if (tags > 1) report("Multiple ID3v2 tags encountered", stream_receiver::structure_error);

  std::uint8_t header_bytes[4];
  const std::int64_t found = sync_search(abort, header_bytes);
  if (found < 0) throw_data();
  mpeg_frame_header header;
  if (!mpeg_parse_header(header_bytes, header)) throw_data();
  first_frame = found;
  layer = header.layer;
  const std::int32_t delay = mpeg_decoder_delay(layer);
  bool accurate = false;

  if (can_seek) {
    seek_file(first_frame, abort);
    std::fill(frame_buffer.begin(), frame_buffer.end(), 0);
    file->read_exact(frame_buffer.data(), 4, abort);
    if (!mpeg_parse_header(frame_buffer.data(), header) || header.frame_length == 0) throw_data();
    const std::uint32_t l = header.frame_length;
    if (l > max_frame) throw_data();
    file->read_exact(frame_buffer.data() + 4, l - 4, abort);
    start_skip = delay;

    auto bytes_to_end = [&]() {
      const std::int64_t end = end_search(first_frame, header_bytes, abort);
      if (end <= first_frame) throw_data();
      return end - first_frame;
    };
    xing_header xing;
    vbri_header vbri;
    bool has_vbr_header = true;
    if (mpeg_parse_xing(frame_buffer.data(), l, xing) && xing.frames > 0) {
      frame_count = xing.frames;
      stream_bytes = xing.bytes > 0 ? xing.bytes : bytes_to_end();
      // Gapless values beyond the frames present are impossible, as other
      // players find: a delay that does not fit is ignored, and a padding
      // longer than what the delay leaves lets the frames play to their end.
      const std::int64_t decoded = frame_count * header.samples_per_frame;
      if (xing.enc_delay >= 0 && xing.enc_padding >= 0 && xing.enc_delay + delay <= decoded) {
        start_skip = xing.enc_delay + delay;
        std::int64_t trailing = std::max(0, xing.enc_padding - delay);
        if (trailing > decoded - start_skip) trailing = 0;
        accurate = true;
        total_samples = decoded - (start_skip + trailing);
      }
      if (xing.enc_delay >= 0) info.enc_delay = xing.enc_delay;
      if (xing.enc_padding >= 0) info.enc_padding = xing.enc_padding;
      info.tool = xing.tool;
      info.codec_profile = xing.codec_profile;
    } else if (mpeg_parse_vbri(frame_buffer.data(), l, vbri)) {
      stream_bytes = bytes_to_end();
      frame_count = vbri.frames;
      info.codec_profile = "VBR";
    } else {
      has_vbr_header = false;
      info.codec_profile = "CBR";
      stream_bytes = bytes_to_end();
      frame_count = stream_bytes / l;
    }
    if (frame_count <= 0 || stream_bytes <= 0) throw_data();
    if (has_vbr_header) {
      first_frame += l;
      stream_bytes -= l;
      seek_file(first_frame, abort);
      std::uint8_t next[4];
      mpeg_frame_header next_header;
      if (file->read(next, 4, abort) < 4 || !mpeg_parse_header(next, next_header)) throw_data();
    }
    if (!accurate && id3v2_size > 0) {
      std::uint64_t itunes_delay = 0;
      std::uint64_t itunes_count = 0;
      seek_file(0, abort);
      bool found_comment = false;
      // A damaged tag holds no trim the stream could trust; the decoder
      // reports the damage (check_leading_tag).
      try {
        found_comment = id3v2_find_itunsmpb_comment(*file, abort, itunes_delay, itunes_count);
      } catch (const id3parser::parseError&) {
      }
      // Values that do not fit the frames present would wrap the start skip
      // or give a length of days: such a comment is ignored.
      const std::uint64_t decoded = static_cast<std::uint64_t>(frame_count) * header.samples_per_frame;
      if (found_comment && itunes_delay <= decoded && itunes_count <= decoded - itunes_delay) {
        start_skip = static_cast<std::int32_t>(itunes_delay) + delay;
        total_samples = static_cast<std::int64_t>(itunes_count);
        accurate = true;
      }
    }
  } else {
    frame_count = stream_bytes = -1;
  }

  sample_rate = header.sample_rate;
  samples_per_frame = header.samples_per_frame;
  const double frame_seconds = static_cast<double>(samples_per_frame) / sample_rate;
  if (can_seek) {
    if (!accurate) total_samples = frame_count * samples_per_frame;
    // An exact trim may leave nothing to play (a stream of a few frames that
    // are all delay and padding): such a file still opens, with length 0.
    if (total_samples < 0 || (total_samples == 0 && !accurate)) throw_data();
    length = static_cast<double>(total_samples) / sample_rate;
    info.bitrate = static_cast<std::int32_t>(static_cast<double>(stream_bytes) * 8 / (frame_count * frame_seconds) * 0.001 + 0.5);
  } else {
    length = -1.0;
    info.bitrate = static_cast<std::int32_t>(header.frame_length * 8 / (frame_seconds * 1000) + 0.5);
  }
  info.accurate_length = accurate;
  info.length = length;
  info.layer = static_cast<std::int32_t>(header.layer);
  info.channels = static_cast<std::int32_t>(header.channels);
  info.sample_rate = static_cast<std::int32_t>(header.sample_rate);
  info.channel_mode = static_cast<std::int32_t>(header.channel_mode);
  frames_read = 0;
  samples_out = 0;
  parsed = true;
}

void mpeg_stream_reader::check_leading_tag(const abort_signal& abort) {
  if (leading_tag_checked || id3v2_size == 0 || !can_seek) return;
  leading_tag_checked = true;
  const std::uint64_t resume = position(abort);
  std::uint64_t delay = 0, count = 0;
  try {
    seek_file(0, abort);
    id3v2_find_itunsmpb_comment(*file, abort, delay, count);
  } catch (const id3parser::parseError&) {
    report("Damaged ID3v2 tag skipped; the audio still plays", stream_receiver::warning);
  }
  seek_file(resume, abort);
}

std::uint64_t mpeg_stream_reader::audio_end(const abort_signal& abort) {
  if (audio_end_ == 0) {
    const std::uint64_t resume = position(abort);
    audio_end_ = find_trailing_tags(*file, false, abort).start;
    seek_file(resume, abort);
  }
  return audio_end_;
}

std::uint32_t mpeg_stream_reader::seek_table_handle() {
  if (seek_table < 0) seek_table = mpeg_seek_table_cache::find_or_create(path, file_timestamp);
  return static_cast<std::uint32_t>(seek_table);
}

std::uint32_t mpeg_stream_reader::read_next_frame(bool decode, const abort_signal& abort) {
  if (info.accurate_length) {
    if (frames_read >= static_cast<std::uint64_t>(frame_count)) return 0;
  } else if (stream_bytes > 0 && position(abort) >= static_cast<std::uint64_t>(first_frame + stream_bytes)) {
    return 0;
  }
  std::uint8_t* bytes = frame_buffer.data();
  std::uint64_t offset = position(abort);
  if (read_bytes(bytes, 4, abort) < 4) return 0;

  std::int64_t first_tag = -1;
  while (std::memcmp(bytes, "TAG", 3) == 0) {
    if (first_tag < 0) first_tag = static_cast<std::int64_t>(offset);
    if (stream_bytes > 0 && static_cast<std::int64_t>(offset) + 128 >= first_frame + stream_bytes) return 0;
    skip_bytes(124, abort);
    offset += 128;
    if (read_bytes(bytes, 4, abort) < 4) return 0;
  }

  mpeg_frame_header header;
  if (is_valid_frame(bytes, header)) {
    if (first_tag >= 0) warn("ID3 tag garbage inside MPEG stream at " + std::to_string(first_tag) + " bytes");
  } else {
    if (std::memcmp(bytes, "APET", 4) == 0 && can_seek) return 0;
    warn("MPEG stream error at " + std::to_string(offset) + " bytes");
    if (can_seek) seek_file(offset + 1, abort);
    else pushback_.insert(pushback_.begin() + pushback_at_, bytes + 1, bytes + 4);
    const std::int64_t found = sync_search(abort);
    if (found < 0) {
      report("MPEG stream resync failed", stream_receiver::information);
      return 0;
    }
    if (can_seek) seek_file(found, abort);
    offset = static_cast<std::uint64_t>(found);
    if (read_bytes(bytes, 4, abort) < 4 || !is_valid_frame(bytes, header)) {
      report("MPEG stream parser internal error", stream_receiver::structure_error);
      return 0;
    }
    if (decoder) decoder->reset();
    report(("MPEG stream resync successful at " + std::to_string(found)).c_str(), stream_receiver::information);
  }

  if (can_seek)
    mpeg_seek_table_cache::store(seek_table_handle(), offset - static_cast<std::uint64_t>(first_frame), frames_read);

  const std::uint32_t l = header.frame_length;
  // A frame that would run into the trailing tags is a file cut inside its
  // last frame, tagged afterwards: the tag's bytes are no audio.
  if (can_seek && offset + l > audio_end(abort)) {
    warn("MPEG stream ends inside a frame at " + std::to_string(offset) + " bytes");
    return 0;
  }
  const bool checking = (open_flags & integrity_check_flag) != 0;
  if (!decode && !checking) {
    skip_bytes(l - 4, abort);
  } else {
    if (read_bytes(bytes + 4, l - 4, abort) < l - 4) {
      // A file cut inside its last frame: what came before it still plays.
      warn("MPEG stream ends inside a frame at " + std::to_string(offset) + " bytes");
      return 0;
    }
    if (checking) {
      mpeg_frame_header again;
      if (!mpeg_parse_header(bytes, again) || again.frame_length > l) throw_data();
      if (!mpeg_check_crc(bytes, l, again) && !crc_warned) {
        crc_warned = true;
        warn("MPEG frame checksum mismatch.");
      }
    }
  }
  ++frames_read;
  return l;
}
