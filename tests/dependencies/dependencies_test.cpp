// Proves that each prebuilt codec library links into a Windows program and
// does real work there: a lossless round trip, or a parse of a small
// hand-made stream.
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>
#include <mpc/mpcdec.h>
#include <opus.h>
#include <vorbis/codec.h>
#include <wavpack/wavpack.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <process.h>

namespace {

using testing::StartsWith;
using Bytes = std::vector<unsigned char>;

// Interleaved 16-bit stereo: two related tones, so that stereo decorrelation
// has something to do.
std::vector<int32_t> stereo_tone(int frames) {
  std::vector<int32_t> samples;
  for (int i = 0; i < frames; ++i) {
    const double a = std::sin(i * 0.05), b = std::sin(i * 0.31);
    samples.push_back(static_cast<int32_t>(12000 * a + 3000 * b));
    samples.push_back(static_cast<int32_t>(9000 * a - 2000 * b));
  }
  return samples;
}

void append(Bytes& out, uint32_t value, int bytes, bool big_endian) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * (big_endian ? bytes - 1 - i : i))));
}

// A file in the temporary folder, in UTF-8, removed at the end.
struct temp_path {
  explicit temp_path(const char* extension)
      : path(std::filesystem::temp_directory_path() / ("zorv_deps_" + std::to_string(_getpid()) + extension)) {}
  ~temp_path() { std::filesystem::remove(path); }
  std::string utf8() const {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  }
  std::filesystem::path path;
};

TEST(Dependencies, VorbisParsesAnIdentificationHeaderAndOpusConcealsALostFrame) {
  EXPECT_THAT(vorbis_version_string(), StartsWith("Xiph.Org libVorbis"));
  Bytes header = {0x01, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, 2};  // version 0, two channels
  append(header, 44100, 4, false);
  for (const uint32_t bitrate : {0u, 128000u, 0u}) append(header, bitrate, 4, false);  // maximum, nominal, minimum
  header.insert(header.end(), {0xB8, 0x01});  // block sizes 2^8 and 2^11, framing bit
  vorbis_info info;
  vorbis_comment comment;
  vorbis_info_init(&info);
  vorbis_comment_init(&comment);
  ogg_packet packet{};
  packet.packet = header.data();
  packet.bytes = static_cast<long>(header.size());
  packet.b_o_s = 1;
  EXPECT_EQ(vorbis_synthesis_headerin(&info, &comment, &packet), 0);
  EXPECT_EQ(info.rate, 44100);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);

  EXPECT_THAT(opus_get_version_string(), StartsWith("libopus "));
  int error = -1;
  OpusDecoder* decoder = opus_decoder_create(48000, 2, &error);
  ASSERT_EQ(error, OPUS_OK);
  std::vector<float> pcm(960 * 2, 1.0f);
  EXPECT_EQ(opus_decode_float(decoder, nullptr, 0, pcm.data(), 960, 0), 960);  // one lost 20 ms frame
  EXPECT_EQ(pcm, std::vector<float>(960 * 2, 0.0f));
  opus_decoder_destroy(decoder);
}

// Also the proof for libogg: paging, page checksums and resynchronisation.
TEST(Dependencies, FlacRoundTripsThroughAnOggFile) {
  EXPECT_THAT(FLAC__VERSION_STRING, StartsWith("1."));
  const int frames = 4096;
  const std::vector<int32_t> samples = stereo_tone(frames);
  const temp_path file(".oga");
  FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
  FLAC__stream_encoder_set_channels(encoder, 2);
  FLAC__stream_encoder_set_bits_per_sample(encoder, 16);
  FLAC__stream_encoder_set_sample_rate(encoder, 44100);
  // Fails with "unsupported container" when libFLAC was built without Ogg.
  ASSERT_EQ(FLAC__stream_encoder_init_ogg_file(encoder, file.path.string().c_str(), nullptr, nullptr),
            FLAC__STREAM_ENCODER_INIT_STATUS_OK);
  ASSERT_TRUE(FLAC__stream_encoder_process_interleaved(encoder, samples.data(), frames));
  ASSERT_TRUE(FLAC__stream_encoder_finish(encoder));
  FLAC__stream_encoder_delete(encoder);

  struct decoded_samples {
    std::vector<int32_t> samples;
    bool error = false;
  } decoded;
  auto write = [](const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const channels[],
                  void* client) {
    for (uint32_t i = 0; i < frame->header.blocksize; ++i)
      for (int channel : {0, 1}) static_cast<decoded_samples*>(client)->samples.push_back(channels[channel][i]);
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  };
  auto error = [](const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* client) {
    static_cast<decoded_samples*>(client)->error = true;
  };
  FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
  ASSERT_EQ(FLAC__stream_decoder_init_ogg_file(decoder, file.path.string().c_str(), write, nullptr, error, &decoded),
            FLAC__STREAM_DECODER_INIT_STATUS_OK);
  EXPECT_TRUE(FLAC__stream_decoder_process_until_end_of_stream(decoder));
  FLAC__stream_decoder_delete(decoder);
  EXPECT_FALSE(decoded.error);
  EXPECT_EQ(decoded.samples, samples);
}

TEST(Dependencies, WavPackRoundTripsThroughAFile) {
  EXPECT_THAT(WavpackGetLibraryVersionString(), StartsWith("5."));
  const int frames = 10000;
  std::vector<int32_t> samples = stereo_tone(frames);
  const temp_path file(".wv");
  std::ofstream out(file.path, std::ios::binary);
  auto write_block = [](void* id, void* data, int32_t bytes) {
    static_cast<std::ofstream*>(id)->write(static_cast<const char*>(data), bytes);
    return 1;
  };
  WavpackContext* encoder = WavpackOpenFileOutput(write_block, &out, nullptr);
  WavpackConfig config{};
  config.bytes_per_sample = 2;
  config.bits_per_sample = 16;
  config.num_channels = 2;
  config.channel_mask = 3;
  config.sample_rate = 44100;
  ASSERT_TRUE(WavpackSetConfiguration64(encoder, &config, frames, nullptr));
  ASSERT_TRUE(WavpackPackInit(encoder));
  ASSERT_TRUE(WavpackPackSamples(encoder, samples.data(), frames));
  ASSERT_TRUE(WavpackFlushSamples(encoder));
  WavpackCloseFile(encoder);
  out.close();

  // Decoding goes through the library's own file reader, as the player's will.
  char error[80] = {};
  WavpackContext* decoder = WavpackOpenFileInput(file.utf8().c_str(), error, OPEN_FILE_UTF8, 0);
  ASSERT_NE(decoder, nullptr) << error;
  EXPECT_EQ(WavpackGetNumSamples64(decoder), frames);
  std::vector<int32_t> decoded(samples.size());
  EXPECT_EQ(WavpackUnpackSamples(decoder, decoded.data(), frames), static_cast<uint32_t>(frames));
  WavpackCloseFile(decoder);
  EXPECT_EQ(decoded, samples);
}

TEST(Dependencies, MpcDemuxerRejectsAStreamHeaderCutShort) {
  struct memory {
    Bytes bytes{'M', 'P', 'C', 'K', 'S', 'H', 0x20, 0x00};  // stream version 8, a header claiming 32 bytes
    mpc_int32_t pos = 0;
  } stream;
  mpc_reader reader{};
  reader.data = &stream;
  reader.read = [](mpc_reader* r, void* ptr, mpc_int32_t size) {
    auto* m = static_cast<memory*>(r->data);
    size = std::min<mpc_int32_t>(size, static_cast<mpc_int32_t>(m->bytes.size()) - m->pos);
    std::memcpy(ptr, m->bytes.data() + m->pos, size);
    m->pos += size;
    return size;
  };
  reader.seek = [](mpc_reader* r, mpc_int32_t offset) -> mpc_bool_t {
    auto* m = static_cast<memory*>(r->data);
    if (offset < 0 || offset > static_cast<mpc_int32_t>(m->bytes.size())) return MPC_FALSE;
    m->pos = offset;
    return MPC_TRUE;
  };
  reader.tell = [](mpc_reader* r) { return static_cast<memory*>(r->data)->pos; };
  reader.get_size = [](mpc_reader* r) { return static_cast<mpc_int32_t>(static_cast<memory*>(r->data)->bytes.size()); };
  reader.canseek = [](mpc_reader*) -> mpc_bool_t { return MPC_TRUE; };
  EXPECT_EQ(mpc_demux_init(&reader), nullptr);
}

TEST(Dependencies, AvcodecOpensOnlyAnAlacDecoderFromItsCookie) {
  av_log_set_level(AV_LOG_QUIET);
  EXPECT_EQ(avcodec_find_decoder(AV_CODEC_ID_MP3), nullptr);
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ALAC);
  ASSERT_NE(codec, nullptr);
  // A 36-byte "magic cookie": 16-bit stereo at 44.1 kHz, 4096 frames a packet.
  Bytes cookie;
  append(cookie, 36, 4, true);
  cookie.insert(cookie.end(), {'a', 'l', 'a', 'c', 0, 0, 0, 0});  // version 0
  append(cookie, 4096, 4, true);
  cookie.insert(cookie.end(), {0, 16, 40, 10, 14, 2, 0, 255});  // bit depth, rice parameters, channels, longest run
  for (const uint32_t value : {0u, 0u, 44100u}) append(cookie, value, 4, true);  // largest frame, bit rate, rate
  AVCodecContext* context = avcodec_alloc_context3(codec);
  context->extradata = static_cast<uint8_t*>(av_mallocz(cookie.size() + AV_INPUT_BUFFER_PADDING_SIZE));
  std::memcpy(context->extradata, cookie.data(), cookie.size());
  context->extradata_size = static_cast<int>(cookie.size());
  ASSERT_EQ(avcodec_open2(context, codec, nullptr), 0);
  EXPECT_EQ(context->sample_fmt, AV_SAMPLE_FMT_S16P);
  EXPECT_EQ(context->ch_layout.nb_channels, 2);
  avcodec_free_context(&context);
}

}  // namespace
