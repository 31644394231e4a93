// Where the output ran dry: a stream whose device played past the audio it
// had been given, so that silence the stream laid itself came between two
// pieces of its audio. A busy machine can put silence into what is heard
// too (the system's mixer running late while all of the stream's audio is
// still queued); this record is how a check of what was heard tells the
// player's silence from the machine's. It is kept for the whole process.
#pragma once

#include <cstdint>
#include <vector>

struct dsound_underrun {
  std::uint32_t stream = 0;        // numbered from 1 in the order the process opened their devices
  std::int64_t frames_before = 0;  // of the stream's audio, laid before the silence
  std::uint32_t sample_rate = 0;
};

namespace dsound_underruns {

// By a stream in its feeding pass (under the feeding lock).
void record(const dsound_underrun& underrun) noexcept;
std::uint32_t count();
// The first ones in the order they happened: a starved machine could record
// them without end, and only the count keeps going.
std::vector<dsound_underrun> first_recorded();

} // namespace dsound_underruns
