// Integer and floating-point PCM read straight from the data chunk, 1024
// frames a block. A seekable file is repositioned lazily at the next decode.
#pragma once

#include <vector>

#include "playback/inputs/wav/wav_sample_decoder.h"

class wav_pcm_decoder final : public wav_sample_decoder {
public:
  void open(const wave_format& format, const vantrel_io::file_ptr& file, std::uint64_t data_offset,
            std::uint64_t data_size, const abort_signal& abort) override;
  bool decode(audio_block& out, const abort_signal& abort) override;
  void seek(double seconds, const abort_signal& abort) override;

private:
  vantrel_io::file_ptr file_;
  std::uint64_t data_offset_ = 0;
  std::uint64_t data_size_ = 0;
  std::uint64_t read_position_ = 0;  // where decoding continues, inside the data
  std::uint64_t file_position_ = 0;  // where the file stands, inside the data
  std::uint32_t sample_rate_ = 0;
  std::uint32_t channels_ = 0;
  std::uint32_t channel_mask_ = 0;
  std::uint32_t bits_ = 0;
  std::uint32_t frame_bytes_ = 0;
  bool float_ = false;
  std::vector<std::uint8_t> buffer_;
};
