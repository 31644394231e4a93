// What the FLAC decoder reads out of a stream's metadata blocks: the Vorbis
// comments as fields, the speaker mask some encoders store as a comment, and
// a CUESHEET block as cue sheet text.
#pragma once

#include <FLAC/format.h>

#include <cstdint>
#include <string>

class track_info;

// Replaces every field of the info by the comments; ReplayGain comments fill
// its ReplayGain record, the channel-mask comment becomes a technical entry,
// a non-empty vendor string the entry "tool". Entries that are not UTF-8 or
// have no "=" are skipped.
void flac_comments_to_info(const FLAC__StreamMetadata_VorbisComment& comments, track_info& info);

// The mask named by a "WAVEFORMATEXTENSIBLE_CHANNEL_MASK" comment of the form
// 0x<hex>; 0 when there is none or it does not parse (the channel count's
// usual layout then applies).
std::uint32_t flac_channel_mask_from_comments(const FLAC__StreamMetadata_VorbisComment& comments);

// The audio tracks of the block as cue sheet text; each track ends where the
// next one starts (the last at the lead-out, or at the stream's end).
// exception_io_data for a block without tracks or a track that ends before
// it starts.
std::string flac_cuesheet_to_text(const FLAC__StreamMetadata_CueSheet& sheet, std::uint64_t total_samples,
                                  std::uint32_t sample_rate);

// The layout a frame of that many channels plays on when the file names none.
std::uint32_t flac_default_channel_mask(std::uint32_t channels) noexcept;

inline constexpr char flac_channel_mask_comment[] = "WAVEFORMATEXTENSIBLE_CHANNEL_MASK";
