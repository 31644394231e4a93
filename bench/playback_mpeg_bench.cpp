// MPEG audio input costs. Make the files with bench/peers/mpeg_bench_files.sh
// DIR, then run under the build's Wine session:
//   tools/wine-exec BUILD_DIR BUILD_DIR/bench/bench_playback_mpeg.exe Z:\DIR\cbr320.mp3 Z:\DIR\vbr-no-header.mp3
// 1. Decoding a 10-minute 320 kbps file through the input, against the same
//    system decoder (ACM) fed frame by frame directly; budget 1.15x.
// 2. Opening a 1-hour VBR file without a VBR header and seeking to its
//    middle (1800 s), twice: the second open finds the seek points of the
//    first in the seek-table cache; budget 50 ms.
#include "bench/bench_clock.h"

#include <windows.h>
#include <mmreg.h>
#include <msacm.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/abort_signal.h"
#include "core/service_registry.h"
#include "foundation/string_buffer.h"
#include "io/file_object.h"
#include "io/path_schemes.h"
#include "metadata/input_dispatch.h"
#include "metadata/track_info.h"
#include "playback/audio_block.h"
#include "playback/decoders/mpeg_frame_header.h"

namespace {

using bench::now_seconds;

double decode_through_input(const char* path, std::uint64_t& frames) {
  raisable_abort_signal abort;
  const double start = now_seconds();
  decoder_instance_ptr decoder;
  input_dispatch::open_for_decoding(decoder, vantrel_io::file_ptr(), path, abort);
  decoder->initialize(0, 4, abort);
  audio_block block;
  frames = 0;
  while (decoder->run(block, abort)) frames += block.get_sample_count();
  return now_seconds() - start;
}

// The peer: the whole file in memory, frames cut by their headers and
// converted by one ACM stream, the output turned into float blocks.
double decode_through_acm(const char* path, std::uint64_t& frames) {
  raisable_abort_signal abort;
  const double start = now_seconds();
  qiv::string_buffer canonical;
  vantrel_io::canonicalize_path(path, canonical);
  vantrel_io::file_ptr file;
  vantrel_io::open(file, canonical.get_ptr(), vantrel_io::open_mode::read, abort);
  std::vector<std::uint8_t> data(static_cast<std::size_t>(file->get_size(abort)));
  file->read_exact(data.data(), static_cast<std::uint32_t>(data.size()), abort);
  std::size_t at = 0;
  mpeg_frame_header header;
  while (at + 4 <= data.size() && !mpeg_parse_header(data.data() + at, header)) ++at;
  MPEGLAYER3WAVEFORMAT source{};
  source.wfx = {WAVE_FORMAT_MPEGLAYER3, static_cast<WORD>(header.channels), header.sample_rate, 40000, 1, 0,
                MPEGLAYER3_WFX_EXTRA_BYTES};
  source.wID = MPEGLAYER3_ID_MPEG;
  source.nBlockSize = 256;
  source.nFramesPerBlock = 1;
  WAVEFORMATEX target = {WAVE_FORMAT_PCM, static_cast<WORD>(header.channels), header.sample_rate,
                         header.sample_rate * header.channels * 2, static_cast<WORD>(header.channels * 2), 16, 0};
  HACMSTREAM stream = nullptr;
  if (acmStreamOpen(&stream, nullptr, &source.wfx, &target, nullptr, 0, 0, 0) != 0) return -1;
  std::vector<BYTE> input(65536), output(1 << 20);
  ACMSTREAMHEADER h{};
  h.cbStruct = sizeof(h);
  h.pbSrc = input.data();
  h.cbSrcLength = static_cast<DWORD>(input.size());
  h.pbDst = output.data();
  h.cbDstLength = static_cast<DWORD>(output.size());
  acmStreamPrepareHeader(stream, &h, 0);
  audio_block block;
  frames = 0;
  DWORD pending = 0;
  bool started = false;
  for (;;) {
    const bool more = at + 4 <= data.size() && mpeg_parse_header(data.data() + at, header) &&
                      at + header.frame_length <= data.size();
    if (more) {
      std::memcpy(input.data() + pending, data.data() + at, header.frame_length);
      pending += header.frame_length;
      at += header.frame_length;
    }
    h.cbSrcLength = pending;
    acmStreamConvert(stream, &h, (started ? ACM_STREAMCONVERTF_BLOCKALIGN : ACM_STREAMCONVERTF_START) |
                                     (more ? 0 : ACM_STREAMCONVERTF_END));
    started = true;
    pending -= h.cbSrcLengthUsed;
    std::memmove(input.data(), input.data() + h.cbSrcLengthUsed, pending);
    if (h.cbDstLengthUsed) {
      block.set_data_int(output.data(), h.cbDstLengthUsed, 16, header.sample_rate, header.channels, 3);
      frames += block.get_sample_count();
    }
    if (!more) break;
  }
  h.cbSrcLength = static_cast<DWORD>(input.size());
  acmStreamUnprepareHeader(stream, &h, 0);
  acmStreamClose(stream, 0);
  return now_seconds() - start;
}

double open_and_seek_to_middle(const char* path) {
  raisable_abort_signal abort;
  const double start = now_seconds();
  decoder_instance_ptr decoder;
  input_dispatch::open_for_decoding(decoder, vantrel_io::file_ptr(), path, abort);
  track_info_impl info;
  decoder->get_info(0, info, abort);
  decoder->initialize(0, 4, abort);
  // The length of a VBR file without a header is only an estimate.
  decoder->seek(1800.0, abort);
  audio_block block;
  decoder->run(block, abort);
  return now_seconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bench_playback_mpeg CBR320.mp3 VBR-NO-HEADER.mp3\n");
    return 2;
  }
  service_registry::table().build(service_factory::global_list_head);
  std::uint64_t ours = 0, peer = 0;
  double best_input = 1e9, best_peer = 1e9;
  for (int round = 0; round < 3; ++round) {
    best_input = std::min(best_input, decode_through_input(argv[1], ours));
    best_peer = std::min(best_peer, decode_through_acm(argv[1], peer));
  }
  std::printf("decode %s: input %.3f s (%llu frames), ACM directly %.3f s (%llu frames), ratio %.3f (budget 1.15)\n",
              argv[1], best_input, static_cast<unsigned long long>(ours), best_peer,
              static_cast<unsigned long long>(peer), best_input / best_peer);
  const double first = open_and_seek_to_middle(argv[2]);
  const double second = open_and_seek_to_middle(argv[2]);
  std::printf("open and seek to the middle of %s: first %.1f ms, second %.1f ms (budget 50 ms)\n", argv[2],
              first * 1000, second * 1000);
  return 0;
}
