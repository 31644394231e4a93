// MPEG audio through a Media Foundation decoder transform: the system's MP3
// decoder object by its class id, else any audio decoder registered for MP3
// input. Systems without one (Wine has none) get no backend here.
#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mftransform.h>

#include <memory>

#include "foundation/com_ptr.h"
#include "playback/decoders/mf_audio_decoder.h"
#include "playback/decoders/mf_audio_guids.h"
#include "playback/decoders/mpeg_decoder_backend.h"

namespace {

using qiv::com_ptr;

// The system MP3 decoder object (a transform on Windows 7 and later).
constexpr CLSID mp3_decoder_clsid = {0xBBEEA841, 0x0A63, 0x4F52, {0xA7, 0xAB, 0xA9, 0xB3, 0xA8, 0x4E, 0xD3, 0x8A}};
constexpr GUID mp3_subtype = {0x00000055, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

com_ptr<IMFTransform> create_transform() {
  com_ptr<IMFTransform> transform;
  if (SUCCEEDED(CoCreateInstance(mp3_decoder_clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IMFTransform,
                                 transform.receive_void())))
    return transform;
  MFT_REGISTER_TYPE_INFO input{MFMediaType_Audio, mp3_subtype};
  IMFActivate** activates = nullptr;
  UINT32 count = 0;
  if (FAILED(MFTEnumEx(mf_audio_decoder_category, MFT_ENUM_FLAG_SYNCMFT | MFT_ENUM_FLAG_LOCALMFT | MFT_ENUM_FLAG_SORTANDFILTER,
                       &input, nullptr, &activates, &count)))
    return transform;
  for (UINT32 i = 0; i < count; ++i) {
    if (!transform) activates[i]->ActivateObject(IID_IMFTransform, transform.receive_void());
    activates[i]->Release();
  }
  CoTaskMemFree(activates);
  return transform;
}

class mf_mpeg_backend final : public mpeg_decoder_backend {
public:
  explicit mf_mpeg_backend(std::unique_ptr<mf_audio_decoder> decoder) : decoder_(std::move(decoder)) {}

  void reset() override {
    if (configured_) decoder_->flush();
  }

  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) override {
    abort.check_and_throw();
    if (!configured_) {
      mf_input_format format;
      format.subtype = mp3_subtype;
      format.sample_rate = sample_rate_;
      format.channels = channels_;
      decoder_->configure(format);
      configured_ = true;
    }
    decoder_->process(data, size, out, abort);
  }

private:
  std::unique_ptr<mf_audio_decoder> decoder_;
  bool configured_ = false;
};

}  // namespace

std::unique_ptr<mpeg_decoder_backend> make_mf_mpeg_backend() {
  auto decoder = std::make_unique<mf_audio_decoder>();
  if (!decoder->start()) return nullptr;
  com_ptr<IMFTransform> transform = create_transform();
  if (!transform) return nullptr;
  decoder->adopt(std::move(transform));
  return std::make_unique<mf_mpeg_backend>(std::move(decoder));
}
