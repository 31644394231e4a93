// Proves that each prebuilt codec library links into a Windows program, is
// built with what the player needs (Ogg in libFLAC, UTF-8 file names in
// WavPack, no decoder but ALAC in libavcodec) and does real work there.
#include <FLAC/stream_decoder.h>
#include <FLAC/stream_encoder.h>
#include <mpc/mpcdec.h>
#include <opus.h>
#include <vorbis/codec.h>
#include <wavpack/wavpack.h>
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <process.h>

namespace {

using testing::StartsWith;

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

// A file in the temporary folder, removed at the end.
struct temp_path {
  explicit temp_path(const char* extension)
      : path(std::filesystem::temp_directory_path() / ("zorv_deps_" + std::to_string(_getpid()) + extension)) {}
  ~temp_path() { std::filesystem::remove(path); }
  std::filesystem::path path;
};

TEST(Dependencies, VorbisLinksAndOpusConcealsALostFrame) {
  EXPECT_THAT(vorbis_version_string(), StartsWith("Xiph.Org libVorbis"));
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

  // A damaged frame is reported and dropped: the samples then differ.
  std::vector<int32_t> decoded;
  auto write = [](const FLAC__StreamDecoder*, const FLAC__Frame* frame, const FLAC__int32* const channels[],
                  void* client) {
    for (uint32_t i = 0; i < frame->header.blocksize; ++i)
      for (int channel : {0, 1}) static_cast<std::vector<int32_t>*>(client)->push_back(channels[channel][i]);
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
  };
  auto ignore = [](const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {};
  FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
  ASSERT_EQ(FLAC__stream_decoder_init_ogg_file(decoder, file.path.string().c_str(), write, nullptr, ignore, &decoded),
            FLAC__STREAM_DECODER_INIT_STATUS_OK);
  EXPECT_TRUE(FLAC__stream_decoder_process_until_end_of_stream(decoder));
  FLAC__stream_decoder_delete(decoder);
  EXPECT_EQ(decoded, samples);
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
  const std::u8string utf8_path = file.path.u8string();
  WavpackContext* decoder =
      WavpackOpenFileInput(reinterpret_cast<const char*>(utf8_path.c_str()), error, OPEN_FILE_UTF8, 0);
  ASSERT_NE(decoder, nullptr) << error;
  EXPECT_EQ(WavpackGetNumSamples64(decoder), frames);
  std::vector<int32_t> decoded(samples.size());
  EXPECT_EQ(WavpackUnpackSamples(decoder, decoded.data(), frames), static_cast<uint32_t>(frames));
  WavpackCloseFile(decoder);
  EXPECT_EQ(decoded, samples);
}

TEST(Dependencies, MpcDemuxerRejectsAStreamHeaderCutShort) {
  const temp_path file(".mpc");
  std::ofstream(file.path, std::ios::binary) << std::string("MPCKSH\x20\x00", 8);  // a header claiming 32 bytes
  mpc_reader reader;
  ASSERT_EQ(mpc_reader_init_stdio(&reader, file.path.string().c_str()), MPC_STATUS_OK);
  EXPECT_EQ(mpc_demux_init(&reader), nullptr);
  mpc_reader_exit_stdio(&reader);
}

TEST(Dependencies, AvcodecHoldsOnlyTheAlacDecoder) {
  EXPECT_NE(avcodec_find_decoder(AV_CODEC_ID_ALAC), nullptr);
  EXPECT_EQ(avcodec_find_decoder(AV_CODEC_ID_MP3), nullptr);
}

}  // namespace
