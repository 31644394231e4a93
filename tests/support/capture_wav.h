// Reads what the ALSA file sink captured (tests/support/alsa-capture.conf).
// Wine mixes in 32-bit float stereo whatever the header says, so data chunks
// are read as interleaved float frames. A process that opens several devices
// appends one WAV stream per device to the file (AUDIO_CAPTURE is then
// "|cat >> file"); AUDIO_CAPTURE_FILE names the file itself.
//
// Wine's device thread hands the sink whole periods of 10 ms; when a busy
// machine makes it late it hands over silent periods, and the sound goes on
// after them exactly where it stopped. The player's own output knows when it
// ran dry (playback/output/dsound_underruns.h): only while it never did was
// all its audio queued whenever the capture fell silent, so that such a
// silence can be taken out as the machine's.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "playback/output/dsound_underruns.h"

namespace capture_wav {

// The Windows path of the capture file (Wine's drive Z: is the Linux root).
inline std::string path() {
  const char* unix_path = std::getenv("AUDIO_CAPTURE_FILE");
  std::string windows_path = "Z:";
  for (const char* c = unix_path ? unix_path : ""; *c; ++c) windows_path += *c == '/' ? '\\' : *c;
  return windows_path;
}

// Before the first device opens: the sink appends.
inline void remove() { DeleteFileA(path().c_str()); }

inline bool is_stream_start(const std::vector<char>& bytes, std::size_t at) {
  return at + 12 <= bytes.size() && std::memcmp(&bytes[at], "RIFF", 4) == 0 &&
         std::memcmp(&bytes[at + 8], "WAVE", 4) == 0;
}

// The samples of each stream's data chunk, one list per stream in file
// order. The sizes in the headers are not final (a pipe cannot seek back),
// so a stream's data runs to the next stream's header.
inline std::vector<std::vector<float>> read_streams() {
  std::ifstream file(path(), std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::vector<float>> streams;
  std::size_t at = 0;
  while (is_stream_start(bytes, at)) {
    at += 12;
    while (at + 8 <= bytes.size() && std::memcmp(&bytes[at], "data", 4) != 0) {
      std::uint32_t size;
      std::memcpy(&size, &bytes[at + 4], 4);
      at += 8 + size + (size & 1);
    }
    at += 8;
    std::size_t end = at;
    while (end + 4 <= bytes.size() && !is_stream_start(bytes, end)) end += 4;
    std::vector<float>& samples = streams.emplace_back((end - at) / 4);
    if (!samples.empty()) std::memcpy(samples.data(), &bytes[at], samples.size() * 4);
    at = end;
  }
  return streams;
}

// The samples of every stream, joined in file order.
inline std::vector<float> read_samples() {
  std::vector<float> samples;
  for (const std::vector<float>& stream : read_streams()) samples.insert(samples.end(), stream.begin(), stream.end());
  return samples;
}

inline std::size_t first_sound(const std::vector<float>& samples, std::size_t channels = 2) {
  for (std::size_t i = 0; i < samples.size(); ++i)
    if (samples[i] != 0.0f) return i / channels;
  return samples.size() / channels;
}

inline std::size_t last_sound(const std::vector<float>& samples, std::size_t channels = 2) {
  for (std::size_t i = samples.size(); i-- > 0;)
    if (samples[i] != 0.0f) return i / channels;
  return 0;
}

inline constexpr std::size_t device_period_frames = 480;
inline constexpr std::uint32_t device_rate = 48000;

inline bool is_silent_frame(const std::vector<float>& samples, std::size_t frame, std::size_t channels) {
  for (std::size_t c = 0; c < channels; ++c)
    if (samples[frame * channels + c] != 0.0f) return false;
  return true;
}

// One device stream with every silence of whole device periods between two
// sounds taken out, but for the silences the player laid itself: those that
// follow `ran_dry_after` frames of sound (audio that is never silent itself
// counts its frames as the output does). Silence of another length stays,
// and so does the silence before the first sound and after the last.
inline std::vector<float> without_machine_gaps(const std::vector<float>& stream,
                                               const std::vector<std::int64_t>& ran_dry_after = {},
                                               std::size_t channels = 2) {
  const std::size_t frames = stream.size() / channels;
  std::vector<float> kept;
  kept.reserve(stream.size());
  std::int64_t sound_frames = 0;
  for (std::size_t frame = 0; frame < frames;) {
    std::size_t end = frame;
    while (end < frames && is_silent_frame(stream, end, channels)) ++end;
    const std::size_t silent = end - frame;
    const bool between_sounds = silent > 0 && frame > 0 && end < frames;
    const bool players = std::find(ran_dry_after.begin(), ran_dry_after.end(), sound_frames) != ran_dry_after.end();
    if (!(between_sounds && silent % device_period_frames == 0 && !players))
      kept.insert(kept.end(), stream.begin() + frame * channels, stream.begin() + end * channels);
    if (end < frames) {
      kept.insert(kept.end(), stream.begin() + end * channels, stream.begin() + (end + 1) * channels);
      ++sound_frames;
    }
    frame = end + 1;
  }
  return kept;
}

// Where the player's output ran dry; empty when it never did.
inline std::string player_ran_dry() {
  std::string where;
  for (const dsound_underrun& underrun : dsound_underruns::first_recorded())
    where += "stream " + std::to_string(underrun.stream) + " after " + std::to_string(underrun.frames_before) +
             " frames; ";
  return where;
}

// What was heard: the samples of every stream joined in file order, with the
// machine's silence taken out. The file holds one stream per device opened,
// in the order the output numbers them. Where the player's positions are not
// known in the capture's frames (a stream that ran dry at another rate, or
// more underruns than the output keeps), all silence stays.
inline std::vector<float> read_heard() {
  const std::vector<dsound_underrun> underruns = dsound_underruns::first_recorded();
  const bool all_kept = underruns.size() == dsound_underruns::count();
  std::vector<float> heard;
  std::uint32_t number = 0;
  for (const std::vector<float>& stream : read_streams()) {
    ++number;
    std::vector<std::int64_t> ran_dry_after;
    bool positions_known = all_kept;
    for (const dsound_underrun& underrun : underruns) {
      if (underrun.stream != number) continue;
      ran_dry_after.push_back(underrun.frames_before);
      positions_known = positions_known && underrun.sample_rate == device_rate;
    }
    const std::vector<float> kept = positions_known ? without_machine_gaps(stream, ran_dry_after) : stream;
    heard.insert(heard.end(), kept.begin(), kept.end());
  }
  return heard;
}

} // namespace capture_wav
