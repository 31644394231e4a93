// What the FLAC decoder reads out of a stream's metadata blocks: the stream
// info, a CUESHEET block as cue sheet text, and (through the comment-block
// reading) the Vorbis comments as fields.
#pragma once

#include <FLAC/format.h>
#include <FLAC/metadata.h>

#include <cstdint>
#include <string>

class track_info;

// The audio tracks of the block as cue sheet text; each track ends where the
// next one starts (the last at the lead-out, or at the stream's end).
// exception_io_data for a block without tracks or a track that ends before
// it starts.
std::string flac_cuesheet_to_text(const FLAC__StreamMetadata_CueSheet& sheet, std::uint64_t total_samples,
                                  std::uint32_t sample_rate);

// The stream info block as technical entries (sample rate, channels, bits
// per sample, MD5 when known) and the length. exception_io_data for a stream
// without a sample rate or channels.
void flac_stream_info_to_info(const FLAC__StreamMetadata_StreamInfo& stream_info, track_info& info);

// What the info gets once every block is read: codec and encoding, the cue
// sheet text as the "cuesheet" field unless a comment gave one, and, for a
// stream of known length, the bitrate of `audio_bytes` over it. True when
// the "cuesheet" field is the block's text.
bool flac_complete_info(track_info& info, const std::string& cuesheet_text, std::uint64_t total_samples,
                        std::uint32_t sample_rate, std::uint64_t audio_bytes);

// The info a stream decoder reads from the chain's blocks, in the same
// order; `audio_bytes` is the file's size less its metadata blocks.
// exception_io_data for a stream whose stream info has no sample rate.
// True when the "cuesheet" field is a CUESHEET block's text.
bool flac_chain_to_info(FLAC__Metadata_Chain* chain, std::uint64_t audio_bytes, track_info& info);

// The layout a frame of that many channels plays on when the file names none.
std::uint32_t flac_default_channel_mask(std::uint32_t channels) noexcept;

inline constexpr char flac_channel_mask_comment[] = "WAVEFORMATEXTENSIBLE_CHANNEL_MASK";
