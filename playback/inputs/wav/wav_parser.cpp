#include "playback/inputs/wav/wav_parser.h"

#include <cstring>

#include "foundation/byte_order.h"
#include "io/io_exceptions.h"
#include "metadata/tags/id3v2_tag.h"
#include "metadata/tags/riff_chunks_after_audio.h"
#include "metadata/tags/riff_tags.h"
#include "foundation/code_page_text.h"
#include "metadata/track_info.h"
#include "playback/inputs/wav/wav_acm_decoder.h"
#include "playback/inputs/wav/wav_pcm_decoder.h"

namespace {

// Wave64's chunk GUIDs; fourcc ids of RIFF and RF64 files are translated to
// them so that one walk serves all three containers.
constexpr GUID guid_riff = {0x66666972, 0x912E, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
constexpr GUID guid_wave = {0x65766177, 0xACF3, 0x11D3, {0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A}};
constexpr GUID guid_fmt = {0x20746D66, 0xACF3, 0x11D3, {0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A}};
constexpr GUID guid_data = {0x61746164, 0xACF3, 0x11D3, {0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A}};
// Wave64 defines no ds64 chunk: this id is the player's own.
constexpr GUID guid_ds64 = {0xA4C36709, 0x02FB, 0x4525, {0x8E, 0x68, 0xA9, 0xBB, 0xC8, 0xC4, 0x08, 0x16}};
constexpr GUID guid_junk = {0x6B6E756A, 0xACF3, 0x11D3, {0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A}};
constexpr GUID guid_fact = {0x74636166, 0xACF3, 0x11D3, {0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A}};

struct fourcc_guid {
  char fourcc[5];
  const GUID* guid;
};
constexpr fourcc_guid wav_chunk_guid_table[] = {
    {"RIFF", &guid_riff}, {"WAVE", &guid_wave}, {"fmt ", &guid_fmt},
    {"data", &guid_data}, {"ds64", &guid_ds64}, {"JUNK", &guid_junk}, {"fact", &guid_fact},
};

constexpr std::uint64_t wave64_header_size = 24;
constexpr std::uint64_t largest_format_chunk = 1048576;

std::uint64_t read_u64(vantrel_io::file_object& file, const abort_signal& abort) {
  std::uint8_t bytes[8];
  file.read_exact(bytes, 8, abort);
  return qiv::load_le(bytes, 4) | std::uint64_t(qiv::load_le(bytes + 4, 4)) << 32;
}

}  // namespace

void wav_parser::open(vantrel_io::file_ptr file, const abort_signal& abort) {
  file_ = std::move(file);
  parse(abort);
}

GUID wav_parser::read_chunk_id(const abort_signal& abort) {
  GUID id{};
  if (kind_ == wav_container_kind::wave64) {
    file_->read_exact(&id, sizeof id, abort);
    return id;
  }
  char fourcc[4];
  file_->read_exact(fourcc, 4, abort);
  for (const auto& row : wav_chunk_guid_table)
    if (std::memcmp(row.fourcc, fourcc, 4) == 0) return *row.guid;
  return id;
}

std::uint64_t wav_parser::read_chunk_size(const abort_signal& abort) {
  if (kind_ != wav_container_kind::wave64) {
    std::uint8_t bytes[4];
    file_->read_exact(bytes, 4, abort);
    return qiv::load_le(bytes, 4);
  }
  const std::uint64_t size = read_u64(*file_, abort);
  if (size < wave64_header_size) vantrel_io::throw_io_data();
  return size - wave64_header_size;
}

void wav_parser::read_format(std::uint64_t size, const abort_signal& abort) {
  if (size == 16) {
    format_.bytes.assign(wave_format_base_size, 0);
    file_->read_exact(format_.bytes.data(), 16, abort);
  } else if (size >= wave_format_base_size && size <= largest_format_chunk) {
    format_.bytes.assign(static_cast<std::size_t>(size), 0);
    file_->read_exact(format_.bytes.data(), static_cast<std::uint32_t>(size), abort);
  } else {
    vantrel_io::throw_io_data();
  }
  const std::size_t extra_room = format_.bytes.size() - wave_format_base_size;
  if (format_.extra_size() > extra_room) format_.set_extra_size(static_cast<std::uint16_t>(extra_room));
  const std::uint32_t rate = format_.samples_per_second();
  if (format_.channels() < 1 || format_.channels() > 256 || rate < 1000 || rate > 2822400 ||
      format_.average_bytes_per_second() == 0 || format_.block_align() == 0)
    vantrel_io::throw_io_data();
  const std::uint16_t tag = format_.format_tag();
  adpcm_ = adpcm_block_layout_of(format_);
  if (adpcm_) {
    // Writers often store a wrong rate; the blocks give the true one.
    const double true_rate = double(adpcm_->block_bytes) * rate / adpcm_->samples_per_block;
    format_.set_average_bytes_per_second(static_cast<std::uint32_t>(true_rate + 0.5));
  } else if (tag == wave_tag_ms_adpcm || tag == wave_tag_ima_adpcm) {
    // Without a usable block layout the nominal rate is the best guess. A
    // header whose fields make no sense keeps its own.
    const std::uint32_t bits = format_.bits_per_sample();
    const std::uint64_t nominal = std::uint64_t(bits) * format_.channels() * rate / 8;
    if (bits >= 2 && bits <= 8 && nominal != 0 && nominal <= 0xFFFFFFFF)
      format_.set_average_bytes_per_second(static_cast<std::uint32_t>(nominal));
  }
}

std::uint64_t wav_parser::unsized_data_end(std::uint64_t payload, std::uint64_t end, const abort_signal& abort) {
  if (kind_ != wav_container_kind::riff || !file_->can_seek()) return end;
  const std::uint64_t audio_end = riff_chunks::find_chunks_after_audio(*file_, payload, end, abort);
  file_->seek(payload, abort);
  return audio_end;
}

std::uint64_t wav_parser::sample_count() const {
  if (!adpcm_ || data_size_ == wav_size_unknown) return wav_size_unknown;
  return adpcm_sample_count(*adpcm_, data_size_, fact_samples_);
}

void wav_parser::parse(const abort_signal& abort) {
  file_->rewind(abort);
  const std::uint64_t file_size = file_->get_size(abort);

  char magic[16];
  file_->read_exact(magic, 4, abort);
  if (std::memcmp(magic, "RIFF", 4) == 0) {
    kind_ = wav_container_kind::riff;
  } else if (std::memcmp(magic, "RF64", 4) == 0) {
    kind_ = wav_container_kind::rf64;
  } else if (std::memcmp(magic, "riff", 4) == 0) {
    file_->read_exact(magic + 4, 12, abort);
    if (std::memcmp(magic, &guid_riff, 16) != 0) vantrel_io::throw_io_data();
    kind_ = wav_container_kind::wave64;
  } else {
    vantrel_io::throw_io_data();
  }
  const std::uint64_t header_size = read_chunk_size(abort);
  std::uint64_t end;
  if (kind_ == wav_container_kind::wave64) end = header_size + wave64_header_size;
  else if (header_size == 0 || header_size == 0xFFFFFFFF) end = file_size;
  else end = header_size + 8;
  if (read_chunk_id(abort) != guid_wave) vantrel_io::throw_io_data();

  const std::uint64_t alignment = kind_ == wav_container_kind::wave64 ? 8 : 2;
  std::uint64_t ds64_data_size = wav_size_unknown;
  bool format_seen = false;
  bool data_seen = false;
  fact_samples_.reset();
  if (file_size != wav_size_unknown && file_size < end) end = file_size;

  for (;;) {
    const std::uint64_t position = file_->get_position(abort);
    if (position >= end) break;
    const GUID id = read_chunk_id(abort);
    std::uint64_t size = read_chunk_size(abort);
    const std::uint64_t payload = file_->get_position(abort);
    if (id == guid_data && size == 0)
      size = end == wav_size_unknown ? wav_size_unknown : unsized_data_end(payload, end, abort) - payload;
    if (payload + size < payload || payload + size > end)
      size = end == wav_size_unknown ? wav_size_unknown : end - payload;

    if (kind_ == wav_container_kind::rf64 && ds64_data_size == wav_size_unknown) {
      if (id != guid_ds64 || size < 16 || size == wav_size_unknown) vantrel_io::throw_io_data();
      end = read_u64(*file_, abort) + 8;
      ds64_data_size = read_u64(*file_, abort);
      if (end < payload + size || ds64_data_size == wav_size_unknown) vantrel_io::throw_io_data();
      if (file_size != wav_size_unknown && file_size < end) end = file_size;
    } else if (id == guid_fmt) {
      read_format(size, abort);
      format_seen = true;
    } else if (id == guid_data) {
      data_offset_ = payload;
      data_size_ = size;
      // The 64-bit size is believed as far as the file reaches, like the
      // 32-bit sizes of the other chunks.
      if (kind_ == wav_container_kind::rf64 && (end == wav_size_unknown || ds64_data_size <= end - payload))
        data_size_ = ds64_data_size;
      data_seen = true;
    } else if (id == guid_fact && size >= 4 && size != wav_size_unknown) {
      std::uint8_t count[4];
      file_->read_exact(count, 4, abort);
      fact_samples_ = qiv::load_le(count, 4);
    }

    if (size == wav_size_unknown) break;
    std::uint64_t next = payload + size;
    next += (alignment - next % alignment) % alignment;
    if (next < payload || (file_size != wav_size_unknown && next > file_size)) break;
    if (file_->can_seek()) {
      file_->seek(next, abort);
    } else {
      if (data_seen) break;
      file_->skip_exact(next - file_->get_position(abort), abort);
    }
  }
  if (!format_seen || !data_seen) vantrel_io::throw_io_data();
}

void wav_parser::start_decoding(const abort_signal& abort) {
  if (file_->can_seek()) file_->seek(data_offset_, abort);
  else if (file_->get_position(abort) != data_offset_) parse(abort);

  const std::uint16_t tag = format_.format_tag();
  if (tag == wave_tag_extensible && format_.extra_size() < 22) vantrel_io::throw_io_data();
  wav_sample_decoder_ptr decoder;
  if (format_.is_pcm() || format_.is_float()) decoder = new wav_pcm_decoder();
  else if (adpcm_) decoder = new wav_acm_decoder(wav_adpcm_samples{*adpcm_, sample_count()});
  else decoder = new wav_acm_decoder();
  decoder_ = nullptr;
  decoder->open(format_, file_, data_offset_, data_size_, abort);
  decoder_ = decoder;
}

bool wav_parser::decode(audio_block& out, const abort_signal& abort) { return decoder_->decode(out, abort); }

void wav_parser::seek(double seconds, const abort_signal& abort) {
  if (file_->can_seek()) {
    decoder_->seek(seconds, abort);
    return;
  }
  try {
    decoder_->seek(seconds, abort);
  } catch (const vantrel_io::exception_io_object_not_seekable&) {
    start_decoding(abort);
    decoder_->seek(seconds, abort);
  }
}

namespace {

void set_lossless_pcm(track_info& out, bool is_float, std::uint32_t bits) {
  out.set_tech("codec", 5, is_float ? "PCM (floating-point)" : "PCM", track_info::until_nul);
  out.set_tech("encoding", 8, "lossless", 8);
  out.set_tech_int("bitspersample", bits);
}

// What the system's codecs say about a compressed format; nothing when they
// do not know it.
void set_acm_info(track_info& out, const wave_format& format) {
  auto* record = reinterpret_cast<WAVEFORMATEX*>(const_cast<std::uint8_t*>(format.bytes.data()));
  ACMFORMATTAGDETAILSW details{};
  details.cbStruct = sizeof details;
  details.dwFormatTag = format.format_tag();
  if (acmFormatTagDetailsW(nullptr, &details, ACM_FORMATTAGDETAILSF_FORMATTAG) == 0) {
    const std::string name = qiv::utf16_to_utf8(details.szFormatTag, wcsnlen(details.szFormatTag, ACMFORMATTAGDETAILS_FORMATTAG_CHARS));
    out.set_tech("codec", 5, name.data(), name.size());
    out.set_tech("encoding", 8, "lossy", 5);
  }
  if (format.bits_per_sample() != 0) out.set_tech_int("bitspersample", format.bits_per_sample());
  if (!format.is_safe_for_system_codecs()) return;
  WAVEFORMATEX suggested{};
  suggested.wFormatTag = WAVE_FORMAT_PCM;
  if (acmFormatSuggest(nullptr, record, &suggested, sizeof suggested, ACM_FORMATSUGGESTF_WFORMATTAG) == 0 &&
      suggested.wBitsPerSample != 0)
    out.set_tech_int("decoded_bitspersample", suggested.wBitsPerSample);
}

}  // namespace

void wav_parser::get_info(track_info& out, const abort_signal& abort) {
  const std::uint32_t byte_rate = format_.average_bytes_per_second();
  const std::uint64_t samples = sample_count();
  if (samples != wav_size_unknown) out.set_length(static_cast<double>(samples) / format_.samples_per_second());
  else if (data_size_ != wav_size_unknown) out.set_length(static_cast<double>(data_size_) / byte_rate);
  out.set_tech_int("bitrate", byte_rate / 125);
  out.set_tech_int("samplerate", format_.samples_per_second());
  out.set_tech_int("channels", format_.channels());
  switch (format_.format_tag()) {
  case wave_tag_pcm:
    set_lossless_pcm(out, false, format_.bits_per_sample());
    break;
  case wave_tag_float:
    set_lossless_pcm(out, true, format_.bits_per_sample());
    break;
  case wave_tag_extensible:
    if (format_.bytes.size() < wave_format_extensible_size) vantrel_io::throw_io_data();
    if (format_.subformat() == wave_subformat_pcm) set_lossless_pcm(out, false, format_.valid_bits_per_sample());
    else if (format_.subformat() == wave_subformat_float) set_lossless_pcm(out, true, format_.valid_bits_per_sample());
    break;
  default:
    set_acm_info(out, format_);
    break;
  }
  if (kind_ != wav_container_kind::riff || !file_->can_seek()) return;
  const std::uint64_t saved = file_->get_position(abort);
  // Damaged tag chunks cost the tags, not the audio: the file still plays.
  try {
    riff_tags::read(*file_, out, abort);
  } catch (const vantrel_io::exception_io_data&) {
  } catch (const id3parser::parseError&) {
  }
  if (abort.is_set()) return;
  try {
    file_->seek(saved, abort);
  } catch (const std::exception&) {
  }
}
