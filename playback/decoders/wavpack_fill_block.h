// Turning what the WavPack library unpacks into audio blocks, and the
// technical fields of a stream; shared by the file input and the packet
// decoder.
#pragma once

#include <wavpack/wavpack.h>

#include <cstdint>
#include <vector>

#include "core/abort_signal.h"

class audio_block;
class track_info;

// The context's rate; 44,100 without a context. A rate outside 1000 to
// 2,822,400 is a damaged stream: exception_io_data.
std::uint32_t wavpack_sample_rate(WavpackContext* context);

// Unpacks up to `samples` frames into `out`; false when none came.
bool wavpack_fill_block(WavpackContext* context, int mode, const abort_signal& abort, audio_block& out,
                        std::uint32_t samples, std::vector<std::int32_t>& buffer);

// "codec", and with a context "samplerate", "channels", "bitspersample",
// "codec_profile" and "encoding".
void wavpack_technical_info(WavpackContext* context, int mode, track_info& out);
