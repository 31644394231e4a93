// Decoding one FLAC file through the FLAC input (file layer, read-ahead
// buffer, libFLAC, conversion to float blocks) against a bare libFLAC
// harness that reads the same file with stdio and keeps the integers.
// Make a 10-minute file, then run under the build's Wine session:
//   sox -n -r 44100 -b 16 -c 2 /tmp/noise.wav synth 600 whitenoise vol 0.5
//   flac -s -f -o /tmp/noise.flac /tmp/noise.wav
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_playback_flac.exe Z:\tmp\noise.flac
#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "bench/bench_clock.h"
#include "core/abort_signal.h"
#include "core/service_registry.h"
#include "io/path_schemes.h"
#include "foundation/string_buffer.h"
#include "playback/audio_block.h"
#include "playback/inputs/flac/flac_input.h"

namespace {

struct raw_totals {
  std::uint64_t frames = 0;
};

FLAC__StreamDecoderWriteStatus count_frames(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                            const FLAC__int32* const[], void* client) {
  static_cast<raw_totals*>(client)->frames += frame->header.blocksize;
  return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}
void ignore_error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void*) {}

double raw_libflac(const std::string& native_path, std::uint64_t& frames) {
  const double start = bench::now_seconds();
  FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
  raw_totals totals;
  FILE* file = std::fopen(native_path.c_str(), "rb");
  if (!file || FLAC__stream_decoder_init_FILE(decoder, file, &count_frames, nullptr, &ignore_error, &totals) !=
                   FLAC__STREAM_DECODER_INIT_STATUS_OK) {
    std::fprintf(stderr, "libFLAC cannot open %s\n", native_path.c_str());
    std::exit(1);
  }
  FLAC__stream_decoder_process_until_end_of_stream(decoder);
  FLAC__stream_decoder_delete(decoder);  // closes the file
  frames = totals.frames;
  return bench::now_seconds() - start;
}

double through_input(const std::string& path, std::uint64_t& frames) {
  const double start = bench::now_seconds();
  raisable_abort_signal abort;
  qiv::string_buffer canonical;
  vantrel_io::canonicalize_path(path.c_str(), canonical);
  flac_input input;
  input.open(vantrel_io::file_ptr(), canonical.get_ptr(), open_reason::decode, abort);
  input.initialize(0, 4, abort);
  audio_block block;
  frames = 0;
  while (input.run(block, abort)) frames += block.get_sample_count();
  return bench::now_seconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_playback_flac FILE.flac\n");
    return 2;
  }
  service_registry::table().build(service_factory::global_list_head);
  const std::string path = argv[1];
  double best_raw = 1e9;
  double best_input = 1e9;
  std::uint64_t raw_frames = 0;
  std::uint64_t input_frames = 0;
  for (int round = 0; round < 3; ++round) {
    best_raw = std::min(best_raw, raw_libflac(path, raw_frames));
    best_input = std::min(best_input, through_input(path, input_frames));
  }
  std::printf("raw libFLAC  %.3f s (%llu frames)\n", best_raw, static_cast<unsigned long long>(raw_frames));
  std::printf("FLAC input   %.3f s (%llu frames)\n", best_input, static_cast<unsigned long long>(input_frames));
  std::printf("ratio        %.3f (budget 1.15)\n", best_input / best_raw);
  return raw_frames == input_frames ? 0 : 1;
}
