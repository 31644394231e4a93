// Takes every sample libvorbis has ready and hands it out as one interleaved
// block in the system's channel order; both Vorbis decoders end a packet so.
#pragma once

#include <vorbis/codec.h>

#include <vector>

class audio_block;

// `buffer` is the decoder's scratch space, kept between packets.
void vorbis_drain_into(vorbis_dsp_state& dsp, const vorbis_info& info, std::vector<float>& buffer, audio_block& out);

// The block of a packet that gave no samples.
void vorbis_empty_block(audio_block& out);
