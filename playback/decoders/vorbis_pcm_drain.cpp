#include "playback/decoders/vorbis_pcm_drain.h"

#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "playback/decoders/vorbis_channel_order.h"

void vorbis_drain_into(vorbis_dsp_state& dsp, const vorbis_info& info, std::vector<float>& buffer, audio_block& out) {
  if (info.channels < 1 || info.channels > static_cast<int>(vorbis_max_channels)) vantrel_io::throw_io_data();
  const auto channels = static_cast<std::uint32_t>(info.channels);
  const std::uint8_t* order = vorbis_channel_order(channels);
  std::uint32_t total = 0;
  float** pcm = nullptr;
  int pending;
  while ((pending = vorbis_synthesis_pcmout(&dsp, &pcm)) > 0) {
    const auto frames = static_cast<std::uint32_t>(pending);
    buffer.resize(static_cast<std::size_t>(total + frames) * channels);
    float* write = buffer.data() + static_cast<std::size_t>(total) * channels;
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
      for (std::uint32_t channel = 0; channel < channels; ++channel) *write++ = pcm[order[channel]][frame];
    }
    vorbis_synthesis_read(&dsp, pending);
    total += frames;
  }
  out.set_data(buffer.data(), total, channels, static_cast<std::uint32_t>(info.rate), vorbis_channel_mask(channels));
}

void vorbis_empty_block(audio_block& out) {
  out.set_sample_count(0);
  out.set_sample_rate(0);
  out.set_channels(0, 0);
  out.set_data_size(0);
}
