// MPEG audio through a Media Foundation decoder transform: the system's MP3
// decoder object by its class id, else any audio decoder registered for MP3
// input. Systems without one (Wine has none) get no backend here.
#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mftransform.h>

#include <cstring>
#include <vector>

#include "foundation/com_ptr.h"
#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "playback/channel_mask.h"
#include "playback/decoders/mpeg_decoder_backend.h"

namespace {

using qiv::com_ptr;

// The system MP3 decoder object (a transform on Windows 7 and later).
constexpr CLSID mp3_decoder_clsid = {0xBBEEA841, 0x0A63, 0x4F52, {0xA7, 0xAB, 0xA9, 0xB3, 0xA8, 0x4E, 0xD3, 0x8A}};
constexpr GUID audio_decoder_category = {0x9EA73FB4, 0xEF7A, 0x4559, {0x8D, 0x5D, 0x71, 0x9D, 0x8F, 0x04, 0x26, 0xC7}};
constexpr GUID mp3_subtype = {0x00000055, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID pcm_subtype = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr GUID float_subtype = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

void check(HRESULT result) {
  if (FAILED(result)) throw vantrel_io::exception_io_data();
}

com_ptr<IMFTransform> create_transform() {
  com_ptr<IMFTransform> transform;
  if (SUCCEEDED(CoCreateInstance(mp3_decoder_clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IMFTransform,
                                 transform.receive_void())))
    return transform;
  MFT_REGISTER_TYPE_INFO input{MFMediaType_Audio, mp3_subtype};
  IMFActivate** activates = nullptr;
  UINT32 count = 0;
  if (FAILED(MFTEnumEx(audio_decoder_category, MFT_ENUM_FLAG_SYNCMFT | MFT_ENUM_FLAG_LOCALMFT | MFT_ENUM_FLAG_SORTANDFILTER,
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
  mf_mpeg_backend(com_ptr<IMFTransform> transform, bool com_started)
      : transform_(std::move(transform)), com_started_(com_started) {}
  ~mf_mpeg_backend() override {
    transform_.reset();
    MFShutdown();
    if (com_started_) CoUninitialize();
  }

  void reset() override {
    if (configured_) check(transform_->ProcessMessage(MFT_MESSAGE_COMMAND_FLUSH, 0));
  }

  void decode(const void* data, std::uint32_t size, audio_block& out, const abort_signal& abort) override {
    abort.check_and_throw();
    out.set_sample_count(0);
    if (!configured_) configure();
    if (size == 0) {
      check(transform_->ProcessMessage(MFT_MESSAGE_COMMAND_DRAIN, 0));
    } else {
      com_ptr<IMFMediaBuffer> buffer;
      check(MFCreateMemoryBuffer(size, buffer.receive()));
      BYTE* bytes = nullptr;
      check(buffer->Lock(&bytes, nullptr, nullptr));
      std::memcpy(bytes, data, size);
      buffer->Unlock();
      check(buffer->SetCurrentLength(size));
      com_ptr<IMFSample> sample;
      check(MFCreateSample(sample.receive()));
      check(sample->AddBuffer(buffer.get()));
      check(transform_->ProcessInput(0, sample.get(), 0));
    }
    collect_output(out);
  }

private:
  void configure() {
    if (sample_rate_ == 0 || channels_ == 0) throw vantrel_io::exception_io_data();
    com_ptr<IMFMediaType> input;
    check(MFCreateMediaType(input.receive()));
    check(input->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio));
    check(input->SetGUID(MF_MT_SUBTYPE, mp3_subtype));
    check(input->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, sample_rate_));
    check(input->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, channels_));
    check(transform_->SetInputType(0, input.get(), 0));
    for (DWORD i = 0;; ++i) {
      com_ptr<IMFMediaType> type;
      check(transform_->GetOutputAvailableType(0, i, type.receive()));
      GUID subtype{};
      UINT32 bits = 0;
      type->GetGUID(MF_MT_SUBTYPE, &subtype);
      type->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits);
      const bool usable = (subtype == float_subtype && bits == 32) || (subtype == pcm_subtype && bits == 16);
      if (!usable || FAILED(transform_->SetOutputType(0, type.get(), 0))) continue;
      output_float_ = subtype == float_subtype;
      break;
    }
    check(transform_->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0));
    configured_ = true;
  }

  void collect_output(audio_block& out) {
    MFT_OUTPUT_STREAM_INFO info{};
    check(transform_->GetOutputStreamInfo(0, &info));
    const bool provides = (info.dwFlags & (MFT_OUTPUT_STREAM_PROVIDES_SAMPLES | MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES)) != 0;
    collected_.clear();
    for (;;) {
      MFT_OUTPUT_DATA_BUFFER output{};
      com_ptr<IMFSample> own;
      if (!provides) {
        com_ptr<IMFMediaBuffer> buffer;
        check(MFCreateMemoryBuffer(info.cbSize ? info.cbSize : 65536, buffer.receive()));
        check(MFCreateSample(own.receive()));
        check(own->AddBuffer(buffer.get()));
        output.pSample = own.get();
      }
      DWORD status = 0;
      const HRESULT result = transform_->ProcessOutput(0, 1, &output, &status);
      com_ptr<IMFSample> produced;
      if (provides) *produced.receive() = output.pSample;
      if (output.pEvents) output.pEvents->Release();
      if (result == MF_E_TRANSFORM_NEED_MORE_INPUT) break;
      check(result);
      com_ptr<IMFMediaBuffer> contiguous;
      check(output.pSample->ConvertToContiguousBuffer(contiguous.receive()));
      BYTE* bytes = nullptr;
      DWORD length = 0;
      check(contiguous->Lock(&bytes, nullptr, &length));
      collected_.insert(collected_.end(), bytes, bytes + length);
      contiguous->Unlock();
    }
    const std::uint32_t frame_bytes = channels_ * (output_float_ ? 4 : 2);
    const std::uint32_t bytes = static_cast<std::uint32_t>(collected_.size() - collected_.size() % frame_bytes);
    if (bytes == 0) return;
    if (output_float_)
      out.set_data_float(collected_.data(), bytes, 32, sample_rate_, channels_, default_channel_mask(channels_));
    else
      out.set_data_int(collected_.data(), bytes, 16, sample_rate_, channels_, default_channel_mask(channels_));
  }

  com_ptr<IMFTransform> transform_;
  bool com_started_;
  bool configured_ = false;
  bool output_float_ = false;
  std::vector<BYTE> collected_;
};

}  // namespace

std::unique_ptr<mpeg_decoder_backend> make_mf_mpeg_backend() {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  const bool com_started = SUCCEEDED(com);
  if (FAILED(MFStartup(MF_VERSION, 0))) {
    if (com_started) CoUninitialize();
    return nullptr;
  }
  com_ptr<IMFTransform> transform = create_transform();
  if (!transform) {
    MFShutdown();
    if (com_started) CoUninitialize();
    return nullptr;
  }
  return std::make_unique<mf_mpeg_backend>(std::move(transform), com_started);
}
