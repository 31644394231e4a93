// Decoding an Apple Lossless file through the MP4 input (file layer,
// read-ahead buffer, sample tables, the ALAC packet codec, float blocks)
// against libavcodec driven directly over the same packets read from memory;
// and the time to the first decoded block of an AAC file, which includes
// starting Media Foundation and setting up its decoder.
// Make the files, then run under the build's Wine session:
//   sox -n -r 44100 -b 16 -c 2 /tmp/noise.wav synth 300 whitenoise vol 0.5
//   ffmpeg -i /tmp/noise.wav -c:a alac /tmp/noise.m4a
//   ffmpeg -i /tmp/noise.wav -t 10 -c:a aac /tmp/short.m4a
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_inputs_mp4_decode.exe Z:\tmp\noise.m4a Z:\tmp\short.m4a
extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "core/abort_signal.h"
#include "core/service_registry.h"
#include "foundation/string_buffer.h"
#include "inputs/mp4/memory_stream.h"
#include "inputs/mp4/mp4_input.h"
#include "inputs/mp4/mp4_open.h"
#include "inputs/mp4/sample_iterator.h"
#include "io/path_schemes.h"
#include "playback/audio_block.h"

namespace {

std::vector<std::uint8_t> read_whole(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(1);
  }
  std::uint8_t chunk[1 << 16];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(f);
  return bytes;
}

// The peer: the file read whole, its packets handed to libavcodec with no
// conversion of the planar integers it gives.
double raw_libavcodec(const std::string& path, std::uint64_t& frames) {
  const double start = bench::now_seconds();
  const std::vector<std::uint8_t> bytes = read_whole(path);
  tarnex::memory_stream in(bytes.data(), bytes.size());
  tarnex::mp4_file file;
  tarnex::mp4_open_file(file, in, 0x13, true);
  tarnex::track_ptr track;
  for (const auto& t : file.tracks)
    if (t->kind == tarnex::kind_alac) track = t;
  if (!track) std::exit(1);
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ALAC);
  AVCodecContext* context = avcodec_alloc_context3(codec);
  const std::size_t cookie_size = track->decoder_setup.size() + 8;
  auto* cookie = static_cast<std::uint8_t*>(av_mallocz(cookie_size + AV_INPUT_BUFFER_PADDING_SIZE));
  cookie[0] = cookie_size >> 24, cookie[1] = cookie_size >> 16, cookie[2] = cookie_size >> 8, cookie[3] = cookie_size;
  std::memcpy(cookie + 4, "alac", 4);
  std::memcpy(cookie + 8, track->decoder_setup.data(), track->decoder_setup.size());
  context->extradata = cookie;
  context->extradata_size = static_cast<int>(cookie_size);
  if (avcodec_open2(context, codec, nullptr) < 0) std::exit(1);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::vector<std::uint8_t> padded;
  tarnex::sample_iterator it(track);
  it.position(0);
  frames = 0;
  do {
    const tarnex::sample_location where = it.locate();
    padded.assign(bytes.begin() + where.file_offset, bytes.begin() + where.file_offset + where.size);
    padded.resize(where.size + AV_INPUT_BUFFER_PADDING_SIZE);
    packet->data = padded.data();
    packet->size = static_cast<int>(where.size);
    if (avcodec_send_packet(context, packet) >= 0 && avcodec_receive_frame(context, frame) >= 0) {
      frames += frame->nb_samples;
      av_frame_unref(frame);
    }
  } while (it.advance());
  packet->data = nullptr;
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&context);
  return bench::now_seconds() - start;
}

double through_input(const std::string& path, std::uint64_t& frames, bool first_block_only) {
  const double start = bench::now_seconds();
  raisable_abort_signal abort;
  qiv::string_buffer canonical;
  vantrel_io::canonicalize_path(path.c_str(), canonical);
  tarnex::mp4_input input;
  input.open(vantrel_io::file_ptr(), canonical.get_ptr(), open_reason::decode, abort);
  input.initialize(0, 4, abort);
  audio_block block;
  frames = 0;
  while (input.run(block, abort)) {
    frames += block.get_sample_count();
    if (first_block_only) break;
  }
  return bench::now_seconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_inputs_mp4_decode ALAC.m4a AAC.m4a\n");
    return 2;
  }
  service_registry::table().build(service_factory::global_list_head);
  double best_raw = 1e9, best_input = 1e9, first_aac = 1e9;
  std::uint64_t raw_frames = 0, input_frames = 0, aac_frames = 0;
  for (int round = 0; round < 3; ++round) {
    best_raw = std::min(best_raw, raw_libavcodec(argv[1], raw_frames));
    best_input = std::min(best_input, through_input(argv[1], input_frames, false));
    first_aac = std::min(first_aac, through_input(argv[2], aac_frames, true));
  }
  std::printf("libavcodec directly  %.3f s (%llu frames)\n", best_raw, static_cast<unsigned long long>(raw_frames));
  std::printf("MP4 input, ALAC      %.3f s (%llu frames)\n", best_input,
              static_cast<unsigned long long>(input_frames));
  std::printf("ratio                %.3f (budget 1.2)\n", best_input / best_raw);
  std::printf("AAC first block      %.3f s (%llu frames)\n", first_aac, static_cast<unsigned long long>(aac_frames));
  return raw_frames == input_frames ? 0 : 1;
}
