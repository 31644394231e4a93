// One opened WAVE file in any of its three containers: classic RIFF, RF64
// (64-bit sizes in a "ds64" chunk) and Wave64 (GUID chunk ids, 64-bit sizes).
// The chunk walk finds the format record and the sample data once; decoding
// hands the data to a sample decoder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/abort_signal.h"
#include "io/file_object.h"
#include "playback/inputs/wav/adpcm_block_layout.h"
#include "playback/inputs/wav/wav_format.h"
#include "playback/inputs/wav/wav_sample_decoder.h"

class track_info;

enum class wav_container_kind : std::uint32_t { riff = 0, wave64 = 1, rf64 = 2 };

class wav_parser {
public:
  // The file is kept; the walk throws exception_io_data on a damaged file.
  void open(vantrel_io::file_ptr file, const abort_signal& abort);
  void parse(const abort_signal& abort);
  void start_decoding(const abort_signal& abort);
  // False at the end; decoding must have started.
  bool decode(audio_block& out, const abort_signal& abort);
  void seek(double seconds, const abort_signal& abort);
  void get_info(track_info& out, const abort_signal& abort);

  bool has_decoder() const { return static_cast<bool>(decoder_); }
  wav_container_kind kind() const { return kind_; }
  const wave_format& format() const { return format_; }
  std::uint64_t data_offset() const { return data_offset_; }
  std::uint64_t data_size() const { return data_size_; }
  // The exact sample count where the format's blocks give one (ADPCM),
  // else wav_size_unknown.
  std::uint64_t sample_count() const;
  const vantrel_io::file_ptr& file() const { return file_; }
  // Hands the file over and forgets the decoder, e.g. before the file is
  // replaced on disk.
  vantrel_io::file_ptr take_file() {
    decoder_ = nullptr;
    return std::move(file_);
  }

private:
  GUID read_chunk_id(const abort_signal& abort);
  std::uint64_t read_chunk_size(const abort_signal& abort);
  void read_format(std::uint64_t size, const abort_signal& abort);
  // Where the audio of a "data" chunk that states no size ends: at the
  // chunks that follow it, when any are found.
  std::uint64_t unsized_data_end(std::uint64_t payload, std::uint64_t end, const abort_signal& abort);

  vantrel_io::file_ptr file_;
  wave_format format_;
  std::uint64_t data_size_ = wav_size_unknown;
  std::uint64_t data_offset_ = 0;
  wav_container_kind kind_ = wav_container_kind::riff;
  std::optional<adpcm_block_layout> adpcm_;
  std::optional<std::uint32_t> fact_samples_;
  wav_sample_decoder_ptr decoder_;
};
