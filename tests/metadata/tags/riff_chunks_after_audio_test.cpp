// Finding the chunks a tagger appended behind the audio of a "data" chunk
// that states no size: only runs of known chunks that reach the end count,
// wherever the search windows split them.
#include "metadata/tags/riff_chunks_after_audio.h"

#include <gtest/gtest.h>

#include "tests/io/io_test_support.h"
#include "tests/io/model_file.h"

namespace {

std::string le32_text(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

std::string riff_chunk(const std::string& id, const std::string& data) {
  std::string out = id + le32_text(static_cast<std::uint32_t>(data.size())) + data;
  if (data.size() & 1) out += '\0';
  return out;
}

std::uint64_t find(const std::string& audio, const std::string& after) {
  auto file = io_test::make_model_file(audio + after);
  return riff_chunks::find_chunks_after_audio(*file, 0, file->bytes.size(), io_test::no_abort());
}

TEST(RiffChunksAfterAudio, OnlyKnownChunksReachingTheEndCount) {
  const std::string audio(5000, '\x21');
  const std::string tags = riff_chunk("LIST", "INFOINAM") + riff_chunk("id3 ", "ID3tag") + riff_chunk("JUNK", "x");
  EXPECT_EQ(find(audio, tags), 5000u);
  EXPECT_EQ(find(audio, tags.substr(0, tags.size() - 1)), 5000u) << "the last pad byte may be missing";
  EXPECT_EQ(find(audio, tags + "x"), 5000u + tags.size() + 1) << "a run that stops short of the end is audio";
  EXPECT_EQ(find(audio, riff_chunk("LIST", "WAVEabcd")), 5016u) << "a list of no known type";
  EXPECT_EQ(find(audio, riff_chunk("id3 ", "no tag")), 5014u) << "an id3 chunk without a tag";
  EXPECT_EQ(find(audio, riff_chunk("abcd", "data")), 5012u) << "an unknown id";
  EXPECT_EQ(find("JUNK" + le32_text(4992) + audio.substr(8), tags), 0u) << "the first run that reaches the end wins";
}

TEST(RiffChunksAfterAudio, FoundAcrossWindowsAndAtTheEndOfLongAudio) {
  const std::string tags = riff_chunk("LIST", "INFOINAM") + riff_chunk("JUNK", "ab");
  for (std::size_t length : {std::size_t(1024 * 1024 - 2), std::size_t(1024 * 1024 - 5), std::size_t(17 * 1024 * 1024)})
    EXPECT_EQ(find(std::string(length, '\x21'), tags), length) << length;
}

}  // namespace
