#include "metadata/tags/id3v2_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "id3v2_test_bytes.h"
#include "metadata/tags/id3v2_writer.h"

using namespace id3v2_test;
using id3parser::frame_id;

namespace {

struct read_result {
  bool failed = false;
  id3parser::tag tag;
};

read_result read(const bytes& data) {
  read_result r;
  id3parser::memory_reader source(data.data(), data.size());
  id3parser::accept_all_frames all;
  try {
    id3parser::read_tag(source, all, r.tag);
  } catch (const id3parser::parseError&) {
    r.failed = true;
  }
  return r;
}

std::string ids(const id3parser::tag& t) {
  std::string out;
  for (const auto& f : t.frames) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char(f.id >> shift) ? char(f.id >> shift) : '0';
    out += f.is_raw() ? "(raw) " : " ";
  }
  return out;
}

struct reader_case {
  const char* why;
  bytes data;
  bool fails;
  const char* frames;  // identifiers in order, raw ones marked
};

TEST(Id3v2Reader, FramesTheReaderKeepsDropsOrRefuses) {
  const bytes title = frame("TIT2", latin("T"));
  const reader_case cases[] = {
      {"zeros after the last frame are padding", tag(3, title + bytes(20, 0)), false, "TIT2 "},
      {"a 2.3 compressed frame is kept as stored, the others read",
       tag(3, frame("TALB", be32(9) + text("zz"), false, 0, 0x80) + title), false, "TALB(raw) TIT2 "},
      {"a 2.3 encrypted frame flagged discard-on-change goes",
       tag(3, frame("PRIV", text("xx"), false, 0x80, 0x40) + title), false, "TIT2 "},
      {"a 2.4 read-only frame is read as any other", tag(4, frame("TIT2", latin("T"), true, 0x10)), false, "TIT2 "},
      {"a 2.4 frame flagged discard-on-change is read: other readers show it",
       tag(4, frame("TPE1", latin("A"), true, 0x40) + frame("TIT2", latin("T"), true)), false, "TPE1 TIT2 "},
      {"a compressed 2.4 frame with its data length is kept as stored, the others read",
       tag(4, frame("TIT2", syncsafe(2) + text("zz"), true, 0, 0x09) + frame("TALB", latin("A"), true)), false,
       "TIT2(raw) TALB "},
      {"2.2 TT2 and PIC take their four-letter forms",
       tag(2, frame22("TT2", latin("T")) + frame22("PIC", bytes{0} + text("JPG") + bytes{3, 0, 0xFF})), false,
       "TIT2 APIC "},
      {"an unlisted 2.2 frame keeps its three letters", tag(2, frame22("XYZ", latin("x")) + frame22("TT2", latin("T"))),
       false, "XYZ0 TIT2 "},
      {"a 2.2 picture shorter than 4 bytes", tag(2, frame22("PIC", bytes{0, 'J'})), true, ""},
      {"a three-letter id in a 2.3 tag keeps its own bytes", tag(3, frame(std::string("XYZ\0", 4), latin("x"))),
       false, "XYZ0 "},
      {"a 2.3 extended header is skipped", tag(3, be32(6) + bytes(6, 0) + title, 0x40), false, "TIT2 "},
      {"a 2.4 extended header below 6 bytes", tag(4, syncsafe(5) + bytes(2, 0) + title, 0x40), true, ""},
      {"a frame size beyond the tag", tag(3, text("TIT2") + be32(0x3000000) + bytes{0, 0, 0}), true, ""},
      {"a frame of 64 MiB", tag(3, text("TIT2") + be32(0x4000000) + bytes{0, 0}), true, ""},
      {"version 5", tag(5, title), true, ""},
      {"unknown 2.3 header flag", tag(3, title, 0x10), true, ""},
  };
  for (const reader_case& c : cases) {
    const read_result r = read(c.data);
    EXPECT_EQ(c.fails, r.failed) << c.why;
    if (!c.fails) {
      EXPECT_EQ(c.frames, ids(r.tag)) << c.why;
    }
  }
}

TEST(Id3v2Reader, UndoesUnsynchronisation) {
  // Whole-tag unsynchronisation in 2.3: FF 00 is one FF.
  // Frame sizes count the bytes after the zeros are taken out.
  const read_result v3 = read(tag(3, text("TIT2") + be32(4) + bytes{0, 0} + bytes{0, 'a', 0xFF, 0x00, 'b'}, 0x80));
  ASSERT_FALSE(v3.failed);
  EXPECT_EQ((bytes{0, 'a', 0xFF, 'b'}), v3.tag.frames[0].data);
  EXPECT_TRUE(read(tag(3, frame("TIT2", bytes{0, 0xFF, 0xE0}), 0x80)).failed);

  // Per-frame in 2.4 with a data length indicator, past the first 256-byte chunk.
  bytes payload(700, 'x');
  payload[300] = 0xFF;
  payload[301] = 0xF0;
  bytes stored = payload;
  stored.insert(stored.begin() + 301, 0x00);
  const read_result v4 = read(tag(4, frame("APIC", syncsafe(700) + stored, true, 0, 0x03)));
  ASSERT_FALSE(v4.failed);
  EXPECT_EQ(payload, v4.tag.frames[0].data);
}

// Counts the reads that reach the data, as a file would count system calls.
class counting_reader final : public id3parser::reader {
public:
  explicit counting_reader(const bytes& data) : inner_(data.data(), data.size()) {}
  std::size_t read(void* buffer, std::size_t n) override {
    ++reads;
    return inner_.read(buffer, n);
  }
  std::size_t skip(std::size_t n) override { return inner_.skip(n); }
  std::size_t available() const override { return inner_.available(); }
  int reads = 0;

private:
  id3parser::memory_reader inner_;
};

// A picture's bytes hold FF followed by anything, FF at the end included;
// undoing the unsynchronisation of one must cost a few reads of the tag, not
// one per byte, in either version's form, and give back every byte.
TEST(Id3v2Reader, UnsynchronisedPicturesReadWholeInFewReads) {
  bytes picture(40000);
  std::uint32_t seed = 7;
  for (std::uint8_t& b : picture) {
    seed = seed * 1103515245u + 12345u;
    b = (seed >> 16) % 4 == 0 ? 0xFF : std::uint8_t(seed >> 20);
  }
  picture.back() = 0xFF;
  id3parser::tag written;
  written.version = 4;
  written.frames.push_back({frame_id("APIC"), picture});
  written.frames.push_back({frame_id("TIT2"), latin("after")});
  bytes v4;
  id3parser::write_tag(v4, written, 0, 0);

  bytes stuffed;  // whole-tag unsynchronisation of a 2.3 tag
  for (std::size_t i = 0; i < picture.size(); ++i) {
    stuffed.push_back(picture[i]);
    if (picture[i] == 0xFF && (i + 1 == picture.size() || picture[i + 1] >= 0xE0 || picture[i + 1] == 0))
      stuffed.push_back(0);
  }
  const bytes v3 = tag(3, text("APIC") + be32(std::uint32_t(picture.size())) + bytes{0, 0} + stuffed +
                              frame("TIT2", latin("after")), 0x80);
  for (const bytes& data : {v4, v3}) {
    counting_reader source(data);
    id3parser::accept_all_frames all;
    id3parser::tag t;
    ASSERT_NO_THROW(id3parser::read_tag(source, all, t));
    ASSERT_EQ(t.frames.size(), 2u);
    EXPECT_TRUE(t.frames[0].data == picture);
    EXPECT_EQ(latin("after"), t.frames[1].data);
    EXPECT_LT(source.reads, 100);
  }
}

TEST(Id3v2Reader, PicturesOfVersion22GetAMimeType) {
  const read_result r = read(tag(2, frame22("PIC", bytes{0} + text("JPG") + bytes{3, 'd', 0, 0xAB})));
  ASSERT_FALSE(r.failed);
  const bytes expected = bytes{0} + text("image/jpeg") + bytes{0, 3, 'd', 0, 0xAB};
  EXPECT_EQ(expected, r.tag.frames[0].data);
}

TEST(Id3v2Writer, RawFramesSurviveARewriteInTheirOwnVersionOnly) {
  const bytes original = tag(3, frame("TALB", be32(9) + text("zz"), false, 0x20, 0x80) + bytes(10, 0));
  read_result r = read(original);
  ASSERT_FALSE(r.failed);
  bytes written;
  id3parser::write_tag(written, r.tag, original.size(), 4096);
  EXPECT_EQ(original, written);
  r.tag.version = 4;
  written.clear();
  id3parser::write_tag(written, r.tag, 0, 0);
  EXPECT_EQ(tag(4, bytes{}), written);
}

// Status flags say what to do with a frame when the tag or file changes;
// a frame read with them is written back with them, in either version and
// in either 2.4 form, so that an untouched frame keeps its bytes.
TEST(Id3v2Writer, StatusFlagsOfDecodedFramesSurviveARewrite) {
  const bytes unsynchronised = syncsafe(3) + bytes{0, 0xFF, 0x00, 0xE0};
  const bytes v4 = tag(4, frame("TPE1", latin("A"), true, 0x10) + frame("TALB", latin("B"), true, 0x40) +
                              frame("TCON", latin("C"), true, 0x20) + frame("TXXX", unsynchronised, true, 0x10, 0x03));
  const bytes v3 = tag(3, frame("TPE1", latin("A"), false, 0x20) + frame("TALB", latin("B"), false, 0x80) +
                              frame("TCON", latin("C"), false, 0x40));
  for (const bytes& original : {v4, v3}) {
    const read_result r = read(original);
    ASSERT_FALSE(r.failed);
    ASSERT_EQ(original[3] == 4 ? "TPE1 TALB TCON TXXX " : "TPE1 TALB TCON ", ids(r.tag));
    EXPECT_EQ(latin("A"), r.tag.frames[0].data);
    bytes written;
    id3parser::write_tag(written, r.tag, original.size(), 0);
    EXPECT_EQ(original, written) << "version 2." << int(original[3]);
  }
}

// In version 2.4 the header's flag says every frame is unsynchronised, its
// own flags aside. A tag written anew carries no header flag, so each frame
// so read is stored with its own: every reader then decodes the bytes the
// frame held, and a frame kept as stored (compressed) keeps its bytes.
TEST(Id3v2Writer, FramesOfAVersion24TagUnsynchronisedAsAWholeKeepTheirMeaningWhenWritten) {
  const bytes picture = bytes{0} + text("image/jpeg") + bytes{0, 3, 0, 0xFF, 0xD8, 0xFF, 0xE0, 0xFF};
  const bytes album_artist = bytes{1, 0xFF, 0xFE, 'A', 0};
  const bytes packed = syncsafe(9) + bytes{0x78, 0xFF, 0x00, 0xE1};
  const bytes original = tag(4,
                             frame("APIC", bytes{0} + text("image/jpeg") + bytes{0, 3, 0, 0xFF, 0xD8, 0xFF, 0x00, 0xE0,
                                                                                   0xFF, 0x00},
                                   true) +
                                 frame("TPE2", bytes{1, 0xFF, 0x00, 0xFE, 'A', 0}, true) +
                                 frame("TALB", packed, true, 0, 0x09),
                             0x80);
  const read_result r = read(original);
  ASSERT_FALSE(r.failed);
  ASSERT_EQ("APIC TPE2 TALB(raw) ", ids(r.tag));
  EXPECT_EQ(picture, r.tag.frames[0].data);
  EXPECT_EQ(album_artist, r.tag.frames[1].data);
  bytes written;
  id3parser::write_tag(written, r.tag, 0, 0);
  EXPECT_EQ(0, written[5]);
  const read_result again = read(written);
  ASSERT_FALSE(again.failed);
  EXPECT_EQ(picture, again.tag.frames[0].data);
  EXPECT_EQ(album_artist, again.tag.frames[1].data);
  // The compressed frame keeps its stored bytes and says they are unsynchronised.
  EXPECT_NE(std::search(written.begin(), written.end(), packed.begin(), packed.end()), written.end());
  EXPECT_EQ(0x0B, again.tag.frames[2].raw_format_flags);
}

TEST(Id3v2Writer, FramesAndHeaders) {
  struct writer_case {
    const char* why;
    unsigned version;
    bytes payload;
    bytes expected_frame;
  };
  const writer_case cases[] = {
      {"2.3 writes the payload as it is", 3, bytes{0xFF, 0xFB}, frame("TXXX", bytes{0xFF, 0xFB})},
      {"2.4 unsynchronises FF FB behind a length indicator", 4, bytes{0xFF, 0xFB},
       frame("TXXX", syncsafe(2) + bytes{0xFF, 0x00, 0xFB}, true, 0, 0x03)},
      {"2.4 keeps FF 00 when nothing else needs it", 4, bytes{1, 0xFF, 0x00, 2},
       frame("TXXX", bytes{1, 0xFF, 0x00, 2}, true)},
      {"2.4 a final FF gains a 00", 4, bytes{1, 0xFF}, frame("TXXX", syncsafe(2) + bytes{1, 0xFF, 0x00}, true, 0, 0x03)},
  };
  for (const writer_case& c : cases) {
    id3parser::tag t;
    t.version = c.version;
    t.frames.push_back({frame_id("TXXX"), c.payload});
    t.frames.push_back({0, bytes{1, 2}});  // an id of zero is never written
    bytes out;
    id3parser::write_tag(out, t, 0, 0);
    // Header flags stay 0 in 2.4 too: frames carry their own unsynchronisation.
    EXPECT_EQ(tag(std::uint8_t(c.version), c.expected_frame), out) << c.why;
  }
}

TEST(Id3v2Writer, PaddingFillsTheOldRoomOrFallsBackTo2048) {
  id3parser::tag t;
  t.version = 3;
  t.frames.push_back({frame_id("TIT2"), latin("T")});
  const std::uint64_t needed = 10 + 10 + 2;
  struct padding_case {
    std::uint64_t room, max_padding, expected_size;
  };
  const padding_case cases[] = {
      {needed + 100, 4096, needed + 100},  // fills the room exactly
      {needed - 1, 4096, needed + 2048},   // does not fit: rewrite with 2048
      {needed + 5000, 4096, needed + 2048},  // too much to spare
      {needed - 1, 100, needed + 100},     // a smaller largest padding wins
  };
  for (const padding_case& c : cases) {
    bytes out;
    id3parser::write_tag(out, t, c.room, c.max_padding);
    EXPECT_EQ(c.expected_size, out.size()) << c.room;
  }
}

}  // namespace
