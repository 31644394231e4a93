// The Media Foundation feed/drain loop against a scripted transform: a packet
// the transform refuses while it still holds output is fed again after that
// output is taken, never dropped; a transform that takes no output type fails
// at set-up.
#include <gtest/gtest.h>
#include <mfapi.h>
#include <mferror.h>

#include <cstring>
#include <vector>

#include "io/io_exceptions.h"
#include "playback/audio_block.h"
#include "playback/decoders/mf_audio_decoder.h"

namespace {

constexpr GUID float_subtype = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr std::uint32_t frames_per_packet = 4;

// Holds one packet at a time; gives it back as float frames whose value is
// the packet's first byte, once output is allowed.
class scripted_transform final : public IMFTransform {
public:
  bool accepts_output = true;
  bool releases_output = true;
  bool refuses_input_always = false;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (id != IID_IUnknown && id != IID_IMFTransform) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }
  HRESULT STDMETHODCALLTYPE GetStreamLimits(DWORD*, DWORD*, DWORD*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD* inputs, DWORD* outputs) override {
    *inputs = *outputs = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetStreamIDs(DWORD, DWORD*, DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetInputStreamInfo(DWORD, MFT_INPUT_STREAM_INFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetOutputStreamInfo(DWORD, MFT_OUTPUT_STREAM_INFO* info) override {
    *info = {};
    info->cbSize = frames_per_packet * 2 * 4;
    info->cbAlignment = 16;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetAttributes(IMFAttributes**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetInputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetOutputStreamAttributes(DWORD, IMFAttributes**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeleteInputStream(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddInputStreams(DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetInputAvailableType(DWORD, DWORD, IMFMediaType**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetOutputAvailableType(DWORD, DWORD, IMFMediaType**) override {
    return MF_E_NO_MORE_TYPES;
  }
  HRESULT STDMETHODCALLTYPE SetInputType(DWORD, IMFMediaType*, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetOutputType(DWORD, IMFMediaType* type, DWORD) override {
    GUID subtype{};
    type->GetGUID(MF_MT_SUBTYPE, &subtype);
    return accepts_output && subtype == float_subtype ? S_OK : MF_E_INVALIDMEDIATYPE;
  }
  HRESULT STDMETHODCALLTYPE GetInputCurrentType(DWORD, IMFMediaType**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetOutputCurrentType(DWORD, IMFMediaType** out) override {
    MFCreateMediaType(out);
    (*out)->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
    (*out)->SetGUID(MF_MT_SUBTYPE, float_subtype);
    (*out)->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 32);
    (*out)->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 2);
    (*out)->SetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, 44100);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetInputStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetOutputStatus(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetOutputBounds(LONGLONG, LONGLONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ProcessEvent(DWORD, IMFMediaEvent*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ProcessMessage(MFT_MESSAGE_TYPE, ULONG_PTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ProcessInput(DWORD, IMFSample* sample, DWORD) override {
    if (held_ >= 0 || refuses_input_always) return MF_E_NOTACCEPTING;
    IMFMediaBuffer* buffer = nullptr;
    sample->ConvertToContiguousBuffer(&buffer);
    BYTE* bytes = nullptr;
    buffer->Lock(&bytes, nullptr, nullptr);
    held_ = bytes[0];
    buffer->Unlock();
    buffer->Release();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ProcessOutput(DWORD, DWORD, MFT_OUTPUT_DATA_BUFFER* output, DWORD* status) override {
    *status = 0;
    if (held_ < 0 || !releases_output) return MF_E_TRANSFORM_NEED_MORE_INPUT;
    IMFMediaBuffer* buffer = nullptr;
    output->pSample->GetBufferByIndex(0, &buffer);
    BYTE* bytes = nullptr;
    DWORD capacity = 0;
    buffer->Lock(&bytes, &capacity, nullptr);
    aligned = reinterpret_cast<std::uintptr_t>(bytes) % 16 == 0;
    std::vector<float> frames(frames_per_packet * 2, static_cast<float>(held_));
    std::memcpy(bytes, frames.data(), frames.size() * 4);
    buffer->Unlock();
    buffer->SetCurrentLength(static_cast<DWORD>(frames.size() * 4));
    buffer->Release();
    held_ = -1;
    return S_OK;
  }
  bool aligned = false;

private:
  ULONG references_ = 1;
  int held_ = -1;
};

struct decoder_over_script {
  scripted_transform transform;
  mf_audio_decoder decoder;

  decoder_over_script() {
    EXPECT_TRUE(decoder.start());
    transform.AddRef();
    qiv::com_ptr<IMFTransform> reference;
    *reference.receive() = &transform;
    decoder.adopt(std::move(reference));
  }
  void configure() {
    mf_input_format format;
    format.subtype = float_subtype;
    format.sample_rate = 44100;
    format.channels = 2;
    decoder.configure(format);
  }
};

}  // namespace

TEST(MfAudioDecoder, APacketRefusedWhileOutputIsPendingIsFedAfterIt) {
  decoder_over_script script;
  script.configure();
  const abort_signal& never = never_raised_abort_signal();
  audio_block block;
  const std::uint8_t first[] = {1}, second[] = {2};
  script.transform.releases_output = false;
  script.decoder.process(first, sizeof first, block, never);
  EXPECT_TRUE(block.is_empty());
  script.transform.releases_output = true;
  script.decoder.process(second, sizeof second, block, never);
  ASSERT_EQ(block.get_sample_count(), 2 * frames_per_packet);
  EXPECT_EQ(block.get_data()[0], 1.0f);
  EXPECT_EQ(block.get_data()[2 * frames_per_packet], 2.0f);
  EXPECT_EQ(block.get_channel_config(), 0x3u);
  EXPECT_TRUE(script.transform.aligned);

  // A transform that refuses a packet even with nothing pending is damage.
  script.transform.refuses_input_always = true;
  EXPECT_THROW(script.decoder.process(first, sizeof first, block, never), vantrel_io::exception_io_data);
}

TEST(MfAudioDecoder, ATransformTakingNoOutputTypeFailsAtSetUp) {
  decoder_over_script script;
  script.transform.accepts_output = false;
  EXPECT_THROW(script.configure(), vantrel_io::exception_io_data);
}
