// Every WAVE format that is not PCM (Microsoft and IMA ADPCM and whatever
// else the system has codecs for) converted to integer PCM by the Audio
// Compression Manager, in source slices of whole blocks. ADPCM, whose blocks
// each decode to a known number of samples, ends on its exact sample count
// and seeks to the exact sample; other formats seek by their byte rate.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <optional>
#include <vector>

#include "playback/inputs/wav/adpcm_block_layout.h"
#include "playback/inputs/wav/wav_sample_decoder.h"

// The block layout of ADPCM data and the samples it holds (wav_size_unknown
// when the data runs to an unknown end).
struct wav_adpcm_samples {
  adpcm_block_layout layout;
  std::uint64_t sample_count = wav_size_unknown;
};

class wav_acm_decoder final : public wav_sample_decoder {
public:
  explicit wav_acm_decoder(std::optional<wav_adpcm_samples> adpcm = std::nullopt) : adpcm_(adpcm) {}
  ~wav_acm_decoder() override;
  void open(const wave_format& format, const vantrel_io::file_ptr& file, std::uint64_t data_offset,
            std::uint64_t data_size, const abort_signal& abort) override;
  bool decode(audio_block& out, const abort_signal& abort) override;
  void seek(double seconds, const abort_signal& abort) override;

private:
  bool open_stream(const wave_format& format, const WAVEFORMATEX& destination);
  void close_stream();
  // Up to `bytes` converted bytes into `out` (dropped when null).
  std::uint32_t produce(std::uint8_t* out, std::uint32_t bytes, const abort_signal& abort);

  vantrel_io::file_ptr file_;
  HACMSTREAM stream_ = nullptr;
  std::vector<std::uint8_t> source_;
  std::vector<std::uint8_t> destination_;
  std::uint32_t source_held_ = 0;
  std::uint32_t converted_available_ = 0;
  std::uint32_t converted_offset_ = 0;
  ACMSTREAMHEADER header_{};
  bool started_ = false;
  std::uint32_t sample_rate_ = 0;
  std::uint32_t channels_ = 0;
  std::uint32_t channel_mask_ = 0;
  std::uint32_t bits_ = 0;
  std::uint32_t source_block_align_ = 0;
  std::uint32_t source_byte_rate_ = 0;
  std::uint64_t data_offset_ = 0;
  std::uint64_t data_size_ = 0;
  std::uint64_t consumed_ = 0;
  std::vector<std::uint8_t> output_;
  std::optional<wav_adpcm_samples> adpcm_;
  std::uint32_t source_rate_ = 0;
  // Output samples still to give (wav_size_unknown: until the data ends),
  // and those of the sought block to drop before the sought sample.
  std::uint64_t frames_left_ = wav_size_unknown;
  std::uint32_t frames_to_drop_ = 0;
};
