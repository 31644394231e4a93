// MPEG audio through the Audio Compression Manager: every layer is sent
// under the Layer III format tag, the system codec decoding what it can.
#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <cstring>
#include <vector>

#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "playback/channel_mask.h"
#include "playback/decoders/mpeg_decoder_backend.h"

namespace {

constexpr DWORD input_buffer_size = 65536;

class acm_mpeg_backend final : public mpeg_decoder_backend {
public:
  ~acm_mpeg_backend() override { close(); }

  void reset() override {
    pending_ = 0;
    started_ = false;
    end_ = false;
  }

  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) override {
    abort.check_and_throw();
    out.set_sample_count(0);
    if (!stream_) open();
    if (size == 0) end_ = true;
    else if (size <= input_.size() - pending_) {
      std::memcpy(input_.data() + pending_, data, size);
      pending_ += size;
    }
    header_.cbSrcLength = pending_;
    header_.cbDstLengthUsed = 0;
    DWORD flags = started_ ? ACM_STREAMCONVERTF_BLOCKALIGN : ACM_STREAMCONVERTF_START;
    if (end_) flags |= ACM_STREAMCONVERTF_END;
    if (acmStreamConvert(stream_, &header_, flags) != 0) return;
    const DWORD used = std::min<DWORD>(header_.cbSrcLengthUsed, pending_);
    pending_ -= used;
    std::memmove(input_.data(), input_.data() + used, pending_);
    started_ = true;
    const DWORD bytes = header_.cbDstLengthUsed;
    if (bytes < 2 * channels_) return;
    out.set_data_int(output_.data(), bytes - bytes % (2 * channels_), 16, sample_rate_, channels_,
                     default_channel_mask(channels_));
  }

private:
  void open() {
    if (sample_rate_ == 0 || channels_ == 0) throw vantrel_io::exception_io_data();
    MPEGLAYER3WAVEFORMAT source{};
    source.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    source.wfx.nChannels = static_cast<WORD>(channels_);
    source.wfx.nSamplesPerSec = sample_rate_;
    source.wfx.nAvgBytesPerSec = 40000;
    source.wfx.nBlockAlign = 1;
    source.wfx.wBitsPerSample = 0;
    source.wfx.cbSize = MPEGLAYER3_WFX_EXTRA_BYTES;
    source.wID = MPEGLAYER3_ID_MPEG;
    source.fdwFlags = 0;
    source.nBlockSize = 256;
    source.nFramesPerBlock = 1;
    source.nCodecDelay = 0;
    WAVEFORMATEX destination{};
    destination.wFormatTag = WAVE_FORMAT_PCM;
    destination.nChannels = static_cast<WORD>(channels_);
    destination.nSamplesPerSec = sample_rate_;
    destination.nAvgBytesPerSec = channels_ * sample_rate_ * 2;
    destination.nBlockAlign = static_cast<WORD>(channels_ * 2);
    destination.wBitsPerSample = 16;
    if (acmStreamOpen(&stream_, nullptr, &source.wfx, &destination, nullptr, 0, 0, 0) != 0) {
      stream_ = nullptr;
      throw vantrel_io::exception_io_data();
    }
    input_.assign(input_buffer_size - input_buffer_size % source.wfx.nBlockAlign, 0);
    output_.assign(MulDiv(static_cast<int>(input_.size()), 2 * destination.nAvgBytesPerSec, source.wfx.nAvgBytesPerSec) + 65536, 0);
    header_ = {};
    header_.cbStruct = sizeof(header_);
    header_.pbSrc = input_.data();
    header_.cbSrcLength = static_cast<DWORD>(input_.size());
    header_.pbDst = output_.data();
    header_.cbDstLength = static_cast<DWORD>(output_.size());
    if (acmStreamPrepareHeader(stream_, &header_, 0) != 0) {
      acmStreamClose(stream_, 0);
      stream_ = nullptr;
      throw vantrel_io::exception_io_data();
    }
    prepared_ = true;
    reset();
  }

  void close() noexcept {
    if (!stream_) return;
    if (prepared_) {
      header_.cbSrcLength = static_cast<DWORD>(input_.size());
      header_.cbDstLength = static_cast<DWORD>(output_.size());
      acmStreamUnprepareHeader(stream_, &header_, 0);
    }
    acmStreamClose(stream_, 0);
    stream_ = nullptr;
  }

  HACMSTREAM stream_ = nullptr;
  ACMSTREAMHEADER header_{};
  bool prepared_ = false;
  std::vector<BYTE> input_;
  std::vector<BYTE> output_;
  DWORD pending_ = 0;
  bool started_ = false;
  bool end_ = false;
};

}  // namespace


std::unique_ptr<mpeg_decoder_backend> make_acm_mpeg_backend() { return std::make_unique<acm_mpeg_backend>(); }
