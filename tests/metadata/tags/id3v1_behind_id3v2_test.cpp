// An ID3v1 block's change is hidden behind an ID3v2 tag only where the tag
// holds a value for every field the change touches, as readers that fill the
// ID3v2 tag's gaps from the block see it.
#include "metadata/tags/id3v1_behind_id3v2.h"

#include <gtest/gtest.h>

#include <cstring>

#include "id3v2_test_bytes.h"

using namespace id3v2_test;

namespace {

id3v1_block block(const char* title, const char* comment, std::uint8_t track, std::uint8_t genre, const char* year) {
  id3v1_block b{};
  std::memcpy(b.data(), "TAG", 3);
  std::memcpy(b.data() + 3, title, std::strlen(title));
  std::memcpy(b.data() + 93, year, std::strlen(year));
  std::memcpy(b.data() + 97, comment, std::strlen(comment));
  b[126] = track;
  b[127] = genre;
  return b;
}

TEST(Id3v1BehindId3v2, AChangeIsHiddenOnlyWhereTheTagHoldsTheField) {
  const id3v1_block old_block = block("old", "", 3, 255, "1999");
  const std::string long_comment(30, 'c');
  struct hiding_case {
    const char* why;
    bytes leading;
    id3v1_block changed;
    bool hidden;
  };
  const hiding_case cases[] = {
      {"a title under TIT2", tag(3, frame("TIT2", latin("x"))), block("new", "", 3, 255, "1999"), true},
      {"a title under an empty TIT2", tag(3, frame("TIT2", latin(""))), block("new", "", 3, 255, "1999"), false},
      {"a title the tag lacks", tag(3, frame("TPE1", latin("x"))), block("new", "", 3, 255, "1999"), false},
      {"a comment, which readers show beside the tag's own",
       tag(3, frame("TIT2", latin("x")) + frame("COMM", latin("eng") + bytes{0} + text("c"))),
       block("old", "new", 3, 255, "1999"), false},
      {"a 2.3 year under TYER", tag(3, frame("TYER", latin("2000"))), block("old", "", 3, 255, "2000"), true},
      {"a 2.3 year under TDRC only", tag(3, frame("TDRC", latin("2000"))), block("old", "", 3, 255, "2000"), false},
      {"a 2.4 year under TDRC", tag(4, frame("TDRC", latin("2000"), true)), block("old", "", 3, 255, "2000"), true},
      {"a track under TRCK and a genre under TCON", tag(3, frame("TRCK", latin("4")) + frame("TCON", latin("Rock"))),
       block("old", "", 4, 17, "1999"), true},
      {"a 30-byte comment over the track's bytes", tag(3, frame("TRCK", latin("4"))),
       block("old", long_comment.c_str(), 'c', 255, "1999"), false},
      {"a version 2.2 tag, whose frames readers do not match", tag(2, frame22("TT2", latin("x"))),
       block("new", "", 3, 255, "1999"), false},
      {"an unreadable tag", tag(3, text("TIT2") + be32(0x4000000) + bytes(12, 0)), block("new", "", 3, 255, "1999"),
       false},
      {"nothing changed", tag(3, {}), old_block, true},
  };
  for (const hiding_case& c : cases)
    EXPECT_EQ(c.hidden, id3v1_change_hidden_behind(c.leading.data(), c.leading.size(), old_block, c.changed)) << c.why;
}

}  // namespace
