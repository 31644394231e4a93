// Reads what the ALSA file sink captured (tests/support/alsa-capture.conf).
// Wine mixes in 32-bit float stereo whatever the header says, so data chunks
// are read as interleaved float frames. A process that opens several devices
// appends one WAV stream per device to the file (AUDIO_CAPTURE is then
// "|cat >> file"); AUDIO_CAPTURE_FILE names the file itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

} // namespace capture_wav
