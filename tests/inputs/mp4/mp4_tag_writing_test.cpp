// The layout check and the movie-box rewrite on files in memory: where the
// new box goes, what it keeps, and that a refused or failed write leaves
// every byte as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/file_check.h"
#include "inputs/mp4/media_time.h"
#include "inputs/mp4/payload_children.h"
#include "inputs/mp4/tag_writing.h"
#include "inputs/mp4/tarnex_exceptions.h"
#include "io/in_place_overwrite.h"
#include "mp4_memory_file.h"
#include "mp4_test_boxes.h"
#include "tests/io/model_file.h"

using namespace mp4_test;

namespace {

constexpr std::size_t page = vantrel_io::atomic_write_page;

bytes movie(const bytes& extra = "") { return box("moov", mvhd(1000, 93) + simple_track() + extra); }
const bytes media = box("mdat", bytes(3000, 'a'));

// The movie boxes found inside a top-level movie box. Players that read
// every box in the movie box would mix such a box's tracks into the movie.
int movie_boxes_inside_a_movie(const bytes& data) {
  const auto size_at = [&](std::size_t at, std::size_t end) -> std::size_t {
    if (at + 8 > end) return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + at);
    const std::size_t size = std::size_t(p[0]) << 24 | std::size_t(p[1]) << 16 | std::size_t(p[2]) << 8 | p[3];
    if (size == 0) return end - at;
    return size < 8 || size > end - at ? 0 : size;
  };
  int found = 0;
  for (std::size_t at = 0, size; (size = size_at(at, data.size())) != 0; at += size) {
    if (data.compare(at + 4, 4, "moov") != 0) continue;
    for (std::size_t inner = at + 8, inner_size; (inner_size = size_at(inner, at + size)) != 0; inner += inner_size)
      if (data.compare(inner + 4, 4, "moov") == 0) ++found;
  }
  return found;
}

// A book of two chapters, "One" and "Two", named both in its chapter list
// and in a chapter text track (track 2, which the audio track names), whose
// samples lie at the start of the media data.
bytes text_sample(const bytes& name) { return be16(std::uint32_t(name.size())) + name + box("encd", be32(0x100)); }
const bytes text_samples = text_sample("One") + text_sample("Two");

bytes text_track(std::uint32_t at) {
  const bytes sizes = be32(0) + be32(2) + be32(std::uint32_t(text_sample("One").size())) +
                      be32(std::uint32_t(text_sample("Two").size()));
  const bytes hdlr = full_box("hdlr", 0, be32(0) + "text" + bytes(13, '\0'));
  const bytes entry = box("text", bytes(6, '\0') + be16(1) + bytes(51, '\0'));
  const bytes tables = stsd(entry) + stts({{2, 40}}) + full_box("stsz", 0, sizes) + stsc({{1, 2, 1}}) + stco({at});
  return box("trak", tkhd(2) + box("mdia", mdhd(1000, 93) + hdlr + box("minf", box("stbl", tables))));
}

bytes book_movie(std::uint32_t text_at) {
  const bytes audio = simple_track().substr(8);
  const std::size_t header = tkhd(1).size();
  const bytes chaptered = box("trak", audio.substr(0, header) + box("tref", box("chap", be32(2))) + audio.substr(header));
  bytes chapters = bytes(1, '\x01') + bytes(4, '\0') + be32(2);
  chapters += be64(0) + char(3) + "One" + be64(300000) + char(3) + "Two";
  return box("moov", mvhd(1000, 93) + chaptered + text_track(text_at) + box("udta", box("chpl", chapters)));
}

const bytes book_media = box("mdat", text_samples + bytes(3000, 'a'));
bytes book_with_movie_last() { return ftyp() + book_media + book_movie(std::uint32_t(ftyp().size() + 8)); }
bytes book_with_fast_start() {
  return ftyp() + book_movie(std::uint32_t(ftyp().size() + book_movie(0).size() + 8)) + book_media;
}

std::uint32_t u32_in(const bytes& b, std::size_t at) {
  return std::uint32_t(std::uint8_t(b[at])) << 24 | std::uint32_t(std::uint8_t(b[at + 1])) << 16 |
         std::uint32_t(std::uint8_t(b[at + 2])) << 8 | std::uint8_t(b[at + 3]);
}

// The child payload at the end of a path of box types.
bytes child_at(bytes payload, std::initializer_list<const char*> path) {
  for (const char* type : path) {
    bytes found;
    tarnex::for_each_child(payload, [&](std::uint32_t t, std::string_view content) {
      if (t == u32_in(type, 0) && found.empty()) found = content;
    });
    payload = found;
  }
  return payload;
}

// The chapter names as the two lists hold them: the chapter list as the
// library reads it, and the text track's samples straight from the bytes.
struct chapter_names {
  std::vector<std::string> listed, text;
};

chapter_names names_of(const bytes& data) {
  chapter_names out;
  tarnex::mp4_file model;
  open_bytes(model, data, tagging);
  for (const auto& song : model.songs) {
    const auto* title = song.metadata.find("title");
    out.listed.push_back(title ? title->values.at(0) : "");
  }
  tarnex::for_each_child(data.substr(model.moov_offset + 8, model.moov_size - 8),
                         [&](std::uint32_t type, std::string_view view) {
    const bytes trak(view);
    if (type != tarnex::fourcc("trak") || u32_in(child_at(trak, {"tkhd"}), 12) != 2) return;
    const bytes table = child_at(trak, {"mdia", "minf", "stbl"});
    const bytes sizes = child_at(table, {"stsz"});
    EXPECT_EQ(u32_in(child_at(table, {"stsc"}), 4), 1u);
    std::size_t at = u32_in(child_at(table, {"stco"}), 8);
    for (std::uint32_t i = 0; i < u32_in(sizes, 8) && at + 2 <= data.size(); ++i) {
      const std::size_t length = std::uint8_t(data[at]) << 8 | std::uint8_t(data[at + 1]);
      out.text.push_back(data.substr(at + 2, length));
      at += u32_in(sizes, 12 + 4 * i);
    }
  });
  return out;
}

void retitle_chapter(memory_file& f, std::size_t chapter, const char* title) {
  tarnex::mp4_file model;
  f.seek(0);
  tarnex::mp4_open_file(model, f, tagging, true);
  model.songs.at(chapter).metadata.set("title", {true, {title}});
  std::vector<std::string> reports;
  tarnex::mp4_update_file_tags(model, f, tarnex::choose_write_mode(model), reports);
}

std::vector<std::string> check(const bytes& data) {
  tarnex::memory_stream in(data.data(), data.size());
  return tarnex::check_file_layout(in).reports;
}

}  // namespace

TEST(Mp4TagWriting, MovieBoxLastIsRewrittenInPlaceAndFastStartAppends) {
  memory_file last(ftyp() + media + movie());
  const std::size_t moov_at = ftyp().size() + media.size();
  retag(last, "long enough title to grow the box");
  last.written = 0;
  retag(last, "t");  // shorter: the file ends after the new box
  EXPECT_NE(last.data.find(simple_track(), moov_at), std::string::npos);
  EXPECT_EQ(title_of(last.data), "t");
  EXPECT_TRUE(last.data.substr(0, moov_at) == ftyp() + media);
  EXPECT_EQ(last.data.substr(moov_at + 4, 4), "moov");
  const auto byte = [&](std::size_t i) { return std::size_t(std::uint8_t(last.data[moov_at + i])); };
  EXPECT_EQ(last.data.size(), moov_at + (byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3)));

  const bytes old = ftyp() + movie() + media;
  memory_file fast(old);
  retag(fast, "new");
  EXPECT_EQ(fast.data.substr(ftyp().size() + 4, 4), "free");
  EXPECT_TRUE(fast.data.substr(ftyp().size() + movie().size(), media.size()) == media);
  const std::size_t once = fast.data.size();
  retag(fast, "newer");  // now last, with room for a longer title: no further growth
  EXPECT_EQ(fast.data.size(), once);
  EXPECT_EQ(title_of(fast.data), "newer");
}

TEST(Mp4TagWriting, KeepsEveryTrackBoxAndUnrelatedUserDataAndReadsA64BitHeader) {
  const bytes ctts = full_box("ctts", 0, be32(1) + be32(4) + be32(0));
  const bytes with_ctts = trak(1, 44100, 4096, audio_entry("mp4a", 2, 44100, esds()),
                               stts({{4, 1024}}) + ctts + stsz(0, {10, 20, 30, 40}) + stsc({{1, 2, 1}}) + stco({1000, 2000}));
  const bytes payload = mvhd(1000, 93) + with_ctts + box("udta", box("name", "x") + box("chpl", bytes(9, '\0')));
  // A 64-bit header: size field 1, then the size in 64 bits.
  memory_file f(ftyp() + media + be32(1) + "moov" + be64(payload.size() + 16) + payload);
  retag(f, "t");
  const std::size_t at = ftyp().size() + media.size();
  EXPECT_NE(f.data.find(ctts, at), std::string::npos);
  EXPECT_NE(f.data.find(box("name", "x"), at), std::string::npos);
  EXPECT_EQ(f.data.find("chpl", at), std::string::npos);
  EXPECT_EQ(title_of(f.data), "t");
}

TEST(Mp4TagWriting, EncoderPrimingFromAnEditListIsNoChapter) {
  // simple_track() with an edit list that starts after 1024 samples of priming.
  const bytes track = simple_track().substr(8);
  const std::size_t header = tkhd(1).size();
  const bytes edits = box("edts", full_box("elst", 0, be32(1) + be32(93) + be32(1024) + be32(0x10000)));
  memory_file f(ftyp() + media + box("moov", mvhd(1000, 93) + box("trak", track.substr(0, header) + edits +
                                                                              track.substr(header))));
  retag(f, "t");
  const std::size_t at = ftyp().size() + media.size();
  EXPECT_NE(f.data.find(edits, at), std::string::npos);
  EXPECT_EQ(f.data.find("chpl", at), std::string::npos);
  tarnex::mp4_file model;
  open_bytes(model, f.data, tagging);
  EXPECT_EQ(model.songs.at(0).start, std::int64_t(tarnex::to_100ns(1024, 44100)));
}

TEST(Mp4TagWriting, PrimingFromAGaplessRecordIsNoChapterAndALoneChapterStaysAsHeld) {
  // simple_track() is 4 samples of 1024 at 44100; the record skips 512 of them.
  const bytes record = box("----", full_box("mean", 0, "com.apple.iTunes") + full_box("name", 0, "iTunSMPB") +
                                       full_box("data", 1, be32(0) + " 00000000 00000200 00000000 0000000000000C00"));
  const bytes items = full_box("meta", 0, box("hdlr", bytes(25, '\0')) + box("ilst", record));
  memory_file f(ftyp() + media + movie(box("udta", items)));
  retag(f, "t");
  const std::size_t at = ftyp().size() + media.size();
  EXPECT_EQ(f.data.find("chpl", at), std::string::npos);
  tarnex::mp4_file model;
  open_bytes(model, f.data, tagging);
  EXPECT_EQ(model.songs.at(0).start, std::int64_t(tarnex::to_100ns(512, 44100)));

  // A chapter list of one chapter, named otherwise than the title, keeps
  // its name and start.
  const bytes lone = box("chpl", bytes(1, '\x01') + bytes(4, '\0') + be32(1) + be64(0) + char(5) + "Intro");
  memory_file held(ftyp() + media + movie(box("udta", items + lone)));
  retag(held, "t");
  EXPECT_NE(held.data.find(lone, at), std::string::npos);
  EXPECT_EQ(title_of(held.data), "t");
}

TEST(Mp4TagWriting, ChaptersShareTheirCommonFieldsAndKeepTheirOwnInTheTagsBox) {
  memory_file f(ftyp() + media + movie());
  tarnex::mp4_file model;
  tarnex::mp4_open_file(model, f, tagging, true);
  model.songs.push_back(model.songs[0]);
  model.songs[1].start = 20000000;
  model.songs[0].metadata.add("album", "Shared");
  model.songs[1].metadata.add("album", "Shared");
  model.songs[0].metadata.add("title", "One");
  model.songs[1].metadata.add("title", "Two");
  std::vector<std::string> reports;
  tarnex::mp4_update_file_tags(model, f, tarnex::choose_write_mode(model), reports);
  tarnex::mp4_file back;
  open_bytes(back, f.data, tagging);
  EXPECT_EQ(back.item_list.fields.find("album")->values[0], "Shared");
  EXPECT_EQ(back.item_list.fields.find("title"), nullptr);
  ASSERT_EQ(back.songs.size(), 2u);
  EXPECT_EQ(back.songs[1].start, 20000000);
  EXPECT_EQ(back.songs[1].metadata.find("title")->values[0], "Two");
  EXPECT_EQ(back.songs[0].metadata.find("album")->values[0], "Shared");
}

TEST(Mp4TagWriting, BoxesNotEndingAtTheFileSizeAreRefusedUntouched) {
  for (const bytes& tail : {be32(0) + "junk" + bytes(50, 'z'), bytes(3, 'z'), be32(5) + "junk" + bytes(10, 'z')}) {
    const bytes old = ftyp() + media + movie() + tail;
    memory_file f(old);
    EXPECT_THROW(retag(f, "t"), tarnex::exception);
    EXPECT_TRUE(f.data == old);
  }
}

TEST(Mp4TagWriting, AFreeBoxOpenToTheEndIsTakenOver) {
  for (const bytes& boxes : {ftyp() + media + movie(), ftyp() + movie() + media}) {
    memory_file f(boxes + be32(0) + "free" + bytes(50, 'z'));
    EXPECT_TRUE(check(f.data).empty());
    retag(f, "t");
    EXPECT_EQ(title_of(f.data), "t");
    EXPECT_EQ(f.data.find(bytes(50, 'z')), std::string::npos);
    EXPECT_TRUE(check(f.data).empty());
  }
}

TEST(Mp4TagWriting, AFreeBoxOpenToTheEndThatHoldsTheMediaDataIsRefusedUntouched) {
  const bytes old = ftyp() + movie() + be32(0) + "free" + media;
  memory_file f(old);
  EXPECT_THROW(retag(f, "t"), tarnex::exception);
  EXPECT_TRUE(f.data == old);
}

TEST(Mp4TagWriting, AppendedId3v1TagIsCutOnlyByASuccessfulWrite) {
  const bytes id3 = "TAG" + bytes(125, ' ');
  const bytes old = ftyp() + movie() + media + id3;
  EXPECT_EQ(check(old), std::vector<std::string>{"File is corrupted, apparent ID3 tag found at the end."});
  memory_file f(old);
  const auto reports = retag(f, "t");
  EXPECT_EQ(reports.back(), "Removed 128 bytes of trailing garbage.");
  EXPECT_EQ(f.data.find("TAG"), std::string::npos);
  EXPECT_TRUE(f.data.substr(ftyp().size() + movie().size(), media.size()) == media);
}

// Another tagger that drops a "free" box can leave its bytes as zeros at
// the end of the file; zeros anywhere else, or bytes other than zeros
// there, are still damage.
TEST(Mp4TagWriting, ZerosToTheEndOfTheFileAreDroppedByTheNextWrite) {
  for (std::size_t zeros : {3, 8, 504, 5000}) {
    const bytes old = ftyp() + media + movie() + bytes(zeros, '\0');
    EXPECT_TRUE(check(old).empty()) << zeros;
    memory_file f(old);
    EXPECT_EQ(retag(f, "t").back(), "Removed " + std::to_string(zeros) + " bytes of trailing garbage.");
    EXPECT_EQ(title_of(f.data), "t");
    EXPECT_TRUE(check(f.data).empty());
  }
  const bytes mixed = ftyp() + movie() + media + bytes(100, '\0') + "x";
  EXPECT_EQ(check(mixed).front(), "Invalid box header found at " + std::to_string(mixed.size() - 101) + " bytes, giving up.");
  memory_file refused(mixed);
  EXPECT_THROW(retag(refused, "t"), tarnex::exception);
  EXPECT_TRUE(refused.data == mixed);
  EXPECT_EQ(check(ftyp() + bytes(8, '\0') + movie() + media).front(), "Invalid box header found at 16 bytes, giving up.");
}

TEST(Mp4TagWriting, AFailedWriteAtAnyByteLeavesTheFileAsItWas) {
  for (const bytes& old : {ftyp() + media + movie(), ftyp() + movie() + media, ftyp() + movie() + media + "TAG" + bytes(125, ' ')}) {
    for (std::uint64_t room : {0, 1, 7, 60}) {
      memory_file f(old);
      f.capacity = old.size() + room;
      EXPECT_THROW(retag(f, "a title long enough to need more room than is left"), std::runtime_error);
      EXPECT_TRUE(f.data == old) << room;
    }
  }
}

TEST(Mp4FileCheck, ReportsTheDamageItFinds) {
  EXPECT_TRUE(check(ftyp() + movie() + media).empty());
  EXPECT_EQ(check(ftyp() + movie() + media + "abc"), std::vector<std::string>{"File is corrupted, garbage found at the end."});
  const bytes cut = ftyp() + be32(5000) + "mdat" + bytes(10, 'a');
  EXPECT_EQ(check(cut), (std::vector<std::string>{"Object \"mdat\" at 16 bytes is truncated.",
                                                  "Media data is truncated, the file may not be playable completely.",
                                                  "No MOOV boxes found, the file is unplayable."}));
  EXPECT_EQ(check(ftyp() + be32(0) + "mdat" + movie()).front(), "Invalid box header found at 16 bytes, giving up.");
  EXPECT_EQ(check(""), (std::vector<std::string>{"No MOOV boxes found, the file is unplayable.",
                                                 "No MDAT box found, the file does not contain valid media data to play.",
                                                 "No FTYP atom found, the file is invalid."}));
  EXPECT_EQ(check(ftyp() + movie() + movie() + media), std::vector<std::string>{"Invalid file, multiple MOOV boxes found."});
}

TEST(Mp4TagWriting, AWriteKilledAfterAnyChangeLeavesTheOldOrTheNewTags) {
  const bytes titled = movie(box("udta", full_box("meta", 0, box("hdlr", bytes(25, '\0')) +
                                                                   box("ilst", box("\xA9nam", full_box("data", 1, be32(0) + "old"))))));
  const bytes open_ended_media = be32(0) + "mdat" + bytes(3000, 'a');
  std::vector<bytes> sources = {ftyp() + media + titled, ftyp() + titled + media, ftyp() + titled + open_ended_media,
                                ftyp() + titled + media + "TAG" + bytes(125, ' ')};
  for (std::size_t i = 0, n = sources.size(); i < n; ++i) {
    memory_file once(sources[i]);
    retag(once, "old");  // a movie box moved to the end, after the free box left behind
    sources.push_back(once.data);
  }
  for (const bytes& source : sources) {
    for (const char* title : {"new", "a new title much longer than the old one, to grow the movie box"}) {
      bool finished = false;
      for (int changes = 0; !finished; ++changes) {
        memory_file f(source);
        f.changes_left = changes;
        try {
          retag(f, title);
          finished = true;
        } catch (const std::runtime_error&) {
        }
        std::string now;
        try {
          now = title_of(f.data);
        } catch (const std::exception& e) {
          now = std::string("unreadable: ") + e.what();
        }
        EXPECT_TRUE(now == "old" || now == title) << source.size() << " killed after " << changes << ": " << now;
        EXPECT_EQ(movie_boxes_inside_a_movie(f.data), 0) << source.size() << " killed after " << changes;
        EXPECT_NE(f.data.find(bytes(3000, 'a')), std::string::npos);
        // Whatever the kill left, the next write takes the file.
        f.changes_left = -1;
        EXPECT_NO_THROW(retag(f, "next")) << source.size() << " killed after " << changes;
        EXPECT_EQ(title_of(f.data), "next") << source.size() << " killed after " << changes;
        EXPECT_NE(f.data.find(bytes(3000, 'a')), std::string::npos);
      }
    }
  }
}

TEST(Mp4TagWriting, APowerCutLeavesTheOldOrTheNewTagsWhateverUnflushedWritesTheDiskLost) {
  const bytes titled = movie(box("udta", full_box("meta", 0, box("hdlr", bytes(25, '\0')) +
                                                                   box("ilst", box("\xA9nam", full_box("data", 1, be32(0) + "old"))))));
  std::vector<bytes> sources = {ftyp() + media + titled, ftyp() + titled + media,
                                ftyp() + titled + media + "TAG" + bytes(125, ' '),
                                ftyp() + titled + be32(0) + "mdat" + bytes(3000, 'a')};
  for (std::size_t i = 0, n = sources.size(); i < n; ++i) {
    memory_file once(sources[i]);
    retag(once, "old");  // laid out for later edits
    sources.push_back(once.data);
  }
  for (const bytes& source : sources) {
    memory_file f(source);
    retag(f, "a new title much longer than the old one, to grow the movie box");
    ASSERT_FALSE(f.changes.empty());
    for (std::size_t kept = 0; kept < f.changes.size(); ++kept) {
      const bytes disk = io_test::disk_after_power_cut(source, f.changes, kept);
      std::string now;
      try {
        now = title_of(disk);
      } catch (const std::exception& e) {
        now = std::string("unreadable: ") + e.what();
      }
      EXPECT_TRUE(now == "old" || now == "a new title much longer than the old one, to grow the movie box")
          << source.size() << ": cut with change " << kept << " of " << f.changes.size() << " on the disk: " << now;
      // Whatever the disk kept, the next write takes the file.
      memory_file next(disk);
      EXPECT_NO_THROW(retag(next, "next")) << source.size() << ": cut with change " << kept;
    }
  }
}

namespace {

// A retag as the player's input makes it: the file's own cover goes back in.
void retag_field(memory_file& f, const char* field, const char* value) {
  tarnex::mp4_file model;
  f.seek(0);
  tarnex::mp4_open_file(model, f, tagging, true);
  if (model.item_list.front_cover) model.pictures.push_back(*model.item_list.front_cover);
  model.songs[0].metadata.set(field, {true, {value}});
  std::vector<std::string> reports;
  tarnex::mp4_update_file_tags(model, f, tarnex::choose_write_mode(model), reports);
}

// The types of the boxes in the item list: other taggers stop reading the
// file at any that is not an item.
std::vector<bytes> item_list_types(const bytes& data) {
  tarnex::mp4_file model;
  open_bytes(model, data, tagging);
  const bytes meta = child_at(data.substr(model.moov_offset + 8, model.moov_size - 8), {"udta", "meta"});
  std::vector<bytes> types;
  tarnex::for_each_child(child_at(meta.substr(4), {"ilst"}), [&](std::uint32_t type, std::string_view) {
    types.push_back(be32(type));
  });
  return types;
}

// Readers see the change as one write within one page: nothing moves, and
// nothing has to reach the disk before anything else.
void expect_one_write_within_one_page(const memory_file& f, std::size_t size, std::uint64_t movie_at) {
  ASSERT_EQ(f.changes.size(), 1u);
  EXPECT_EQ(f.changes[0].kind, io_test::change_call::write);
  EXPECT_TRUE(vantrel_io::lies_within_one_page(f.changes[0].position, f.changes[0].bytes.size()));
  EXPECT_EQ(f.data.size(), size);
  tarnex::mp4_file model;
  open_bytes(model, f.data, tagging);
  EXPECT_EQ(model.moov_offset, movie_at);
}

}  // namespace

TEST(Mp4TagWriting, TextEditsAfterARewriteAreOneWriteWithinOnePageWithTheCoverUntouched) {
  const bytes picture = "\x89PNG\r\n\x1A\n" + bytes(6000, 'p');
  const bytes cover = box("covr", full_box("data", 14, be32(0) + picture));
  const bytes title = box("\xA9nam", full_box("data", 1, be32(0) + "old"));
  const auto titled = [](const bytes& items) {
    return movie(box("udta", full_box("meta", 0, box("hdlr", bytes(25, '\0')) + box("ilst", items))));
  };
  // The cover behind the text, as mutagen puts it; the movie box at either end.
  for (const bytes& items : {title, title + cover}) {
    for (const bytes& source : {ftyp() + media + titled(items), ftyp() + titled(items) + media}) {
      memory_file f(source);
      retag_field(f, "title", "first edit");
      tarnex::mp4_file first;
      open_bytes(first, f.data, tagging);
      for (const auto& [field, value] : {std::pair{"title", "a later title, longer than the one before"},
                                         {"title", "short"}, {"artist", "an artist the file did not have"}}) {
        const std::size_t size = f.data.size();
        f.changes.clear();
        retag_field(f, field, value);
        SCOPED_TRACE(std::to_string(source.size()) + " " + value);
        expect_one_write_within_one_page(f, size, first.moov_offset);
        tarnex::mp4_file back;
        open_bytes(back, f.data, tagging);
        EXPECT_EQ(back.item_list.fields.find(field)->values, std::vector<std::string>{value});
        EXPECT_EQ(back.item_list.fields.find("title")->values.size(), 1u);
        const std::vector<bytes> types = item_list_types(f.data);
        EXPECT_EQ(std::count(types.begin(), types.end(), "free"), 0);
        const bool with_cover = items.size() > title.size();
        EXPECT_TRUE(with_cover ? back.item_list.front_cover && back.item_list.front_cover->bytes == picture
                               : !back.item_list.front_cover);
      }
    }
  }
  // The room another tagger left beside the item list takes the first edit.
  const bytes padded = movie(box("udta", full_box("meta", 0, box("hdlr", bytes(25, '\0')) + box("ilst", title) +
                                                                box("free", bytes(1000, '\0')))));
  memory_file f(ftyp() + media + padded);
  retag_field(f, "title", "a new title much longer than the old one");
  expect_one_write_within_one_page(f, ftyp().size() + media.size() + padded.size(), ftyp().size() + media.size());
  EXPECT_EQ(title_of(f.data), "a new title much longer than the old one");
}

// An earlier build closed the item list with its room for later edits.
TEST(Mp4TagWriting, RoomInsideTheItemListIsReadPastAndLeavesAtTheNextWrite) {
  const bytes picture = "\x89PNG\r\n\x1A\n" + bytes(6000, 'p');
  const bytes items = box("covr", full_box("data", 14, be32(0) + picture)) +
                      box("\xA9nam", full_box("data", 1, be32(0) + "old")) + box("free", bytes(300, '\0')) +
                      box("\xA9" "ART", full_box("data", 1, be32(0) + "artist"));
  const bytes moov = movie(box("udta", full_box("meta", 0, box("hdlr", bytes(25, '\0')) + box("ilst", items))));
  for (const bytes& source : {ftyp() + media + moov, ftyp() + moov + media}) {
    memory_file f(source);
    retag_field(f, "title", "new");
    tarnex::mp4_file back;
    open_bytes(back, f.data, tagging);
    EXPECT_EQ(back.item_list.fields.find("title")->values, std::vector<std::string>{"new"});
    EXPECT_EQ(back.item_list.fields.find("artist")->values, std::vector<std::string>{"artist"});
    EXPECT_TRUE(back.item_list.front_cover && back.item_list.front_cover->bytes == picture);
    EXPECT_EQ(item_list_types(f.data), (std::vector<bytes>{"\xA9nam", "\xA9" "ART", "covr"}));
  }
}

TEST(Mp4TagWriting, MediaDataRunningToTheEndOfTheFileIsGivenItsSize) {
  const bytes old = ftyp() + movie() + be32(0) + "mdat" + bytes(3000, 'a');
  memory_file f(old);
  retag(f, "new");
  const std::size_t media_at = ftyp().size() + movie().size();
  EXPECT_TRUE(f.data.substr(media_at, 8) == be32(3008) + "mdat");
  EXPECT_TRUE(f.data.substr(media_at + 8, 3000) == bytes(3000, 'a'));
  EXPECT_EQ(f.data.substr(ftyp().size() + 4, 4), "free");
  EXPECT_EQ(title_of(f.data), "new");
  EXPECT_TRUE(check(f.data).empty());
}

TEST(Mp4TagWriting, EditingOneChapterLeavesTheBookItemsAndTheOtherChapterNames) {
  const auto values_of = [](const tarnex::tag_fields& fields, const char* name) {
    const auto* entry = fields.find(name);
    return entry ? entry->values : std::vector<std::string>();
  };
  const bytes items = box("\xA9nam", full_box("data", 1, be32(0) + "Book")) +
                      box("\xA9" "ART", full_box("data", 1, be32(0) + "Author"));
  bytes chapters = bytes(1, '\x01') + bytes(4, '\0') + be32(3);
  for (const char* name : {"Chapter 1", "Chapter 2", "Chapter 3"})
    chapters += be64(std::uint64_t(name[8] - '1') * 300000) + char(9) + name;
  const bytes udta = box("udta", full_box("meta", 0, box("hdlr", bytes(25, '\0')) + box("ilst", items)) +
                                     box("chpl", chapters));
  memory_file f(ftyp() + media + movie(udta));
  tarnex::mp4_file model;
  tarnex::mp4_open_file(model, f, tagging, true);
  ASSERT_EQ(model.songs.size(), 3u);
  model.songs[0].metadata.remove("title");
  model.songs[0].metadata.add("title", "X");
  model.songs[0].metadata.remove("artist");
  std::vector<std::string> reports;
  tarnex::mp4_update_file_tags(model, f, tarnex::choose_write_mode(model), reports);

  tarnex::mp4_file back;
  open_bytes(back, f.data, tagging);
  EXPECT_EQ(values_of(back.item_list.fields, "title"), std::vector<std::string>({"Book"}));
  EXPECT_EQ(values_of(back.item_list.fields, "artist"), std::vector<std::string>({"Author"}));
  ASSERT_EQ(back.songs.size(), 3u);
  EXPECT_EQ(values_of(back.songs[0].metadata, "title"), std::vector<std::string>({"X"}));
  EXPECT_EQ(values_of(back.songs[1].metadata, "title"), std::vector<std::string>({"Chapter 2"}));
  EXPECT_EQ(values_of(back.songs[2].metadata, "artist"), std::vector<std::string>({"Author"}));

  // A change every chapter makes alike reaches the item list.
  for (auto& song : back.songs) song.metadata.set("album", {true, {"Shared"}});
  tarnex::mp4_update_file_tags(back, f, tarnex::choose_write_mode(back), reports);
  open_bytes(model, f.data, tagging);
  EXPECT_EQ(values_of(model.item_list.fields, "album"), std::vector<std::string>({"Shared"}));
  EXPECT_EQ(values_of(model.item_list.fields, "title"), std::vector<std::string>({"Book"}));
}

TEST(Mp4ChapterText, ARenameKilledAfterAnyChangeLeavesBothListsOldOrBothNew) {
  const chapter_names old_names{{"One", "Two"}, {"One", "Two"}};
  const chapter_names new_names{{"A much longer first name", "Two"}, {"A much longer first name", "Two"}};
  for (const bytes& book : {book_with_movie_last(), book_with_fast_start()}) {
    bool finished = false;
    for (int changes = 0; !finished; ++changes) {
      memory_file f(book);
      f.changes_left = changes;
      try {
        retitle_chapter(f, 0, "A much longer first name");
        finished = true;
      } catch (const std::runtime_error&) {
      }
      const chapter_names now = names_of(f.data);
      const bool old_ones = now.listed == old_names.listed && now.text == old_names.text;
      const bool new_ones = now.listed == new_names.listed && now.text == new_names.text;
      EXPECT_TRUE(finished ? new_ones : old_ones || new_ones) << book.size() << " killed after " << changes;
      EXPECT_EQ(movie_boxes_inside_a_movie(f.data), 0) << book.size() << " killed after " << changes;
      EXPECT_NE(f.data.find(text_samples + bytes(3000, 'a')), std::string::npos);
    }
  }
  // A write that renames nothing leaves the text track as it was.
  memory_file f(book_with_movie_last());
  retitle_chapter(f, 0, "One");
  EXPECT_NE(f.data.find(text_track(std::uint32_t(ftyp().size() + 8))), std::string::npos);
}

namespace {

bool rewrite_is_safe_in_place(const bytes& data) {
  memory_file f(data);
  tarnex::mp4_file model;
  tarnex::mp4_open_file(model, f, tagging, true);
  model.songs[0].metadata.add("title", "t");
  std::vector<std::string> reports;
  return tarnex::movie_box_rewrite(model, f, tarnex::mode_item_list, reports).safe_in_place();
}

// A "free" box that brings `before` bytes up to `at` bytes past a page boundary.
bytes padding_to(std::size_t before, std::size_t at) {
  std::size_t size = (at + 2 * page - before % page) % page;
  if (size < 8) size += page;
  return box("free", bytes(size - 8, '\0'));
}

}  // namespace

TEST(Mp4TagWriting, GoesInPlaceOnlyWhenEveryHeaderReadersSeeChangeLiesWithinOnePage) {
  EXPECT_TRUE(rewrite_is_safe_in_place(ftyp() + media + movie()));
  EXPECT_TRUE(rewrite_is_safe_in_place(ftyp() + movie() + media));
  // The boxes end 4 bytes before a page boundary: the "free" header that
  // opens the staging area would be cut in two.
  const bytes before_last = ftyp() + media + movie();
  EXPECT_FALSE(rewrite_is_safe_in_place(ftyp() + padding_to(before_last.size(), page - 4) + media + movie()));
  // The old movie box's header, which the switch turns into "free", lies
  // across a boundary.
  const bytes moved = ftyp() + padding_to(ftyp().size(), page - 2) + movie() + media;
  EXPECT_FALSE(rewrite_is_safe_in_place(moved));
  // Through a copy, as the input then writes it, the rewrite reads the same.
  memory_file copy(moved);
  retag(copy, "copied");
  EXPECT_EQ(title_of(copy.data), "copied");
}

TEST(Mp4TagWriting, MediaDataCutShortIsRefusedUntouchedWhateverItsBoxSays) {
  // The second chunk's samples (at 2000, 70 bytes) end past the file's end
  // at 2040: the new movie box would land where players read them.
  const bytes head = ftyp() + movie();
  ASSERT_LT(head.size() + 8, 1000u);
  const bytes samples = bytes(2040 - head.size() - 8, 'a');
  for (const bytes& cut : {head + be32(0) + "mdat" + samples, head + be32(2070 - std::uint32_t(head.size())) + "mdat" + samples}) {
    memory_file f(cut);
    EXPECT_THROW(retag(f, "t"), tarnex::exception);
    EXPECT_TRUE(f.data == cut);
  }
  // Whole, the same file takes the write.
  memory_file whole(head + be32(0) + "mdat" + bytes(2070 - head.size() - 8, 'a'));
  retag(whole, "t");
  EXPECT_EQ(title_of(whole.data), "t");
}

namespace {

// The type of the top-level box whose content holds byte `at`.
bytes top_level_box_holding(const bytes& data, std::size_t at) {
  for (std::size_t box_at = 0; box_at + 8 <= data.size();) {
    std::size_t size = u32_in(data, box_at);
    if (size == 0) size = data.size() - box_at;
    if (size < 8) break;
    if (at >= box_at + 8 && at < box_at + size) return data.substr(box_at + 4, 4);
    box_at += size;
  }
  return "none";
}

const bytes titled_movie =
    movie(box("udta", full_box("meta", 0, box("hdlr", bytes(25, '\0')) +
                                              box("ilst", box("\xA9nam", full_box("data", 1, be32(0) + "old"))))));
const char* const long_title = "a new title much longer than the old one, to grow the movie box";

// Every state a stop of `edit` on `source` can leave: killed before each of
// its changes, then the disk after each power cut. `done` is `source` after
// the unstopped edit.
template <class Edit>
std::vector<bytes> stopped_states(const bytes& source, const memory_file& done, Edit edit) {
  std::vector<bytes> stops;
  for (int changes = 0;; ++changes) {
    memory_file f(source);
    f.changes_left = changes;
    try {
      edit(f);
      break;
    } catch (const std::runtime_error&) {
    }
    stops.push_back(f.data);
  }
  for (std::size_t kept = 0; kept < done.changes.size(); ++kept)
    stops.push_back(io_test::disk_after_power_cut(source, done.changes, kept));
  return stops;
}

}  // namespace

TEST(Mp4TagWriting, NoStopLeavesTheMediaDataOutOfATopLevelMediaBoxAndTheNextEditEndsAsAnUnstoppedOne) {
  // Fast start, with room after the movie box as iTunes leaves it, and last.
  for (const bytes& source : {ftyp() + titled_movie + media, ftyp() + titled_movie + box("free", bytes(200, '\0')) + media,
                              ftyp() + media + titled_movie}) {
    memory_file done(source);
    retag(done, long_title);
    const std::size_t samples = source.find(bytes(3000, 'a'));
    const std::vector<bytes> stops = stopped_states(source, done, [](memory_file& f) { retag(f, long_title); });
    // Another edit, of the file as it was or as edited, as the stop reads.
    memory_file other_of_old(source), other_of_new(done.data);
    retag(other_of_old, "other");
    retag(other_of_new, "other");
    for (std::size_t i = 0; i < stops.size(); ++i) {
      EXPECT_EQ(top_level_box_holding(stops[i], samples), "mdat") << source.size() << ", stop " << i;
      memory_file next(stops[i]), other(stops[i]);
      retag(next, long_title);
      EXPECT_TRUE(next.data == done.data) << source.size() << ", stop " << i;
      const bool reads_new = title_of(stops[i]) == long_title;
      retag(other, "other");
      const bytes& unstopped = (reads_new ? other_of_new : other_of_old).data;
      EXPECT_TRUE(other.data == unstopped) << source.size() << ", stop " << i;
      // That edit stopped in turn, as it mends what the stop left or after:
      // the media stays in a top-level media box, and the edit made again
      // still ends as the unstopped one.
      for (const bytes& again : stopped_states(stops[i], other, [](memory_file& f) { retag(f, "other"); })) {
        EXPECT_EQ(top_level_box_holding(again, samples), "mdat") << source.size() << ", stop " << i;
        memory_file last(again);
        retag(last, "other");
        EXPECT_TRUE(last.data == unstopped) << source.size() << ", stop " << i;
      }
    }
  }
}

TEST(Mp4TagWriting, AFreeBoxEarlierBuildsLeftOverTheMediaDataShrinksAtTheNextEdit) {
  const bytes source = ftyp() + titled_movie + media;
  memory_file done(source);
  retag(done, long_title);
  // Such a build left the old movie box's header "free" up to the new box,
  // the staged "free" header inside still open to the end or given its size.
  const std::size_t old_movie = ftyp().size(), staged_free = old_movie + titled_movie.size() + media.size();
  for (const bytes& inner : {be32(0), be32(8)}) {
    bytes left = done.data;
    left.replace(old_movie, 4, be32(std::uint32_t(staged_free + 8 - old_movie)));
    left.replace(staged_free, 4, inner);
    ASSERT_EQ(top_level_box_holding(left, source.find(bytes(3000, 'a'))), "free");
    EXPECT_TRUE(check(left).empty());
    memory_file next(left);
    retag(next, long_title);
    EXPECT_TRUE(next.data == done.data);
  }
}

// A stop of a book whose movie box was last can leave the old movie box as
// "free" in front of the new chapter texts, which the movie box in force
// reads where they stand: the next edit moves them back over it, as an
// unstopped edit would have, whatever it changes.
TEST(Mp4ChapterText, NoStopOfARenameLeavesTheMediaDataOutOfATopLevelMediaBox) {
  for (const bytes& book : {book_with_movie_last(), book_with_fast_start()}) {
    memory_file done(book);
    retitle_chapter(done, 0, long_title);
    const std::size_t samples = book.find(bytes(3000, 'a'));
    const std::vector<bytes> stops =
        stopped_states(book, done, [](memory_file& f) { retitle_chapter(f, 0, long_title); });
    // Another rename, of the book as it was or as renamed, as the stop reads.
    memory_file other_of_old(book), other_of_new(done.data);
    retitle_chapter(other_of_old, 1, "Second");
    retitle_chapter(other_of_new, 1, "Second");
    for (std::size_t i = 0; i < stops.size(); ++i) {
      EXPECT_EQ(top_level_box_holding(stops[i], samples), "mdat") << book.size() << ", stop " << i;
      memory_file next(stops[i]), other(stops[i]);
      retitle_chapter(next, 0, long_title);
      EXPECT_TRUE(next.data == done.data) << book.size() << ", stop " << i;
      const bool reads_new = names_of(stops[i]).listed.at(0) == long_title;
      retitle_chapter(other, 1, "Second");
      const bytes& unstopped = (reads_new ? other_of_new : other_of_old).data;
      EXPECT_TRUE(other.data == unstopped) << book.size() << ", stop " << i;
      EXPECT_EQ(names_of(other.data).text, names_of(other.data).listed) << book.size() << ", stop " << i;
      // That edit stopped in turn, as it tidies or after, reads as before it
      // or after it, and the same edit again still ends as the unstopped one.
      const std::vector<bytes> again =
          stopped_states(stops[i], other, [](memory_file& f) { retitle_chapter(f, 1, "Second"); });
      for (std::size_t j = 0; j < again.size(); ++j) {
        EXPECT_EQ(top_level_box_holding(again[j], samples), "mdat") << book.size() << ", stop " << i << ", " << j;
        const chapter_names now = names_of(again[j]);
        EXPECT_EQ(now.text, now.listed) << book.size() << ", stop " << i << ", " << j;
        memory_file last(again[j]);
        retitle_chapter(last, 1, "Second");
        EXPECT_TRUE(last.data == unstopped) << book.size() << ", stop " << i << ", " << j;
      }
    }
  }
}

// Where another track has a chunk among the chapter texts a stop left
// behind the old movie box, or in that box, they stay where they stand:
// moving them would take that track's samples away.
TEST(Mp4ChapterText, TextsAStopLeftStayWhereAnotherTrackReadsAmongThemOrInFront) {
  const bytes book = book_with_movie_last();
  const std::size_t old_movie = ftyp().size() + book_media.size();
  int seen = 0;
  for (int changes = 0;; ++changes) {
    memory_file f(book);
    f.changes_left = changes;
    try {
      retitle_chapter(f, 0, long_title);
      break;
    } catch (const std::runtime_error&) {
    }
    if (f.data.compare(old_movie + 4, 4, "free") != 0 || f.data.size() < book.size()) continue;
    const std::size_t texts_at = old_movie + u32_in(f.data, old_movie);
    ASSERT_EQ(f.data.substr(texts_at + 4, 4), "mdat");
    const std::size_t audio_chunks = f.data.rfind(be32(1000) + be32(2000));
    ASSERT_NE(audio_chunks, std::string::npos);
    for (const std::size_t chunk : {texts_at + 8, old_movie + 16}) {
      bytes stop = f.data;
      stop.replace(audio_chunks + 4, 4, be32(std::uint32_t(chunk)));
      const bytes texts = stop.substr(texts_at, u32_in(stop, texts_at));
      const bytes samples = stop.substr(chunk, 70);
      memory_file same(stop), other(stop);
      retitle_chapter(same, 0, long_title);
      EXPECT_TRUE(same.data == stop) << "killed after " << changes << ", chunk at " << chunk;
      retitle_chapter(other, 1, "Second");
      EXPECT_EQ(other.data.substr(texts_at, texts.size()), texts) << "killed after " << changes;
      EXPECT_EQ(other.data.substr(chunk, 70), samples) << "killed after " << changes << ", chunk at " << chunk;
      ++seen;
    }
  }
  EXPECT_GT(seen, 0);
}

namespace {

// A file whose media data, in front of the movie box, begins as a stopped
// edit's leftover does, with a movie header and a "trak" box, and ends with a "free"
// header (`tail` its size field) — but the track reads its samples inside
// that "trak" box. `span` is the media box's type.
bytes media_shaped_like_a_leftover(const char* span, const bytes& tail) {
  const bytes samples(100, 's');
  const auto movie_reading = [&](std::uint32_t at) {
    return box("moov", mvhd(1000, 93) + trak(1, 44100, 4096, audio_entry("mp4a", 2, 44100, esds()),
                                             stts({{4, 1024}}) + stsz(0, {10, 20, 30, 40}) + stsc({{1, 2, 1}}) +
                                                 stco({at, at + 30})));
  };
  const std::size_t samples_at = ftyp().size() + 8 + mvhd(1000, 93).size() + 8;
  return ftyp() + box(span, mvhd(1000, 93) + box("trak", samples) + tail + "free") +
         movie_reading(std::uint32_t(samples_at));
}

// An edit that changes no value, as the player's input and zorvtool make
// it: written only where a stopped write left something to take out.
void edit_no_value(memory_file& f) {
  tarnex::mp4_file model;
  f.seek(0);
  tarnex::mp4_open_file(model, f, tagging, true);
  std::vector<std::string> reports;
  tarnex::movie_box_rewrite rewrite(model, f, tarnex::choose_write_mode(model), reports,
                                    tarnex::values_edit::unchanged);
  if (rewrite.mends_stopped_write()) rewrite.write(f);
}

}  // namespace

// What a mend would turn into "free" room must provably be the old movie
// box: another program's box that only looks like the leftover keeps every
// byte, so no tagger later drops the samples with the room.
TEST(Mp4TagWriting, BoxesShapedLikeAStoppedEditsLeftoverStayWhereATrackReadsInThem) {
  for (const char* span : {"mdat", "free"}) {
    for (const bytes& tail : {be32(8), be32(0)}) {
      const bytes source = media_shaped_like_a_leftover(span, tail);
      tarnex::mp4_file before;
      open_bytes(before, source, tagging);
      const std::size_t box_at = ftyp().size();
      const bytes kept = source.substr(box_at, before.moov_offset - box_at);
      memory_file f(source);
      retag(f, long_title);
      EXPECT_EQ(title_of(f.data), long_title) << span;
      EXPECT_EQ(f.data.substr(box_at, kept.size()), kept) << span << ", tail " << u32_in(tail, 0);
      EXPECT_EQ(top_level_box_holding(f.data, before.tracks[0]->chunk_offsets[0]), span) << span;
    }
  }
}

// A growing edit stopped after its first write leaves the old file and a
// "free" header open to the end. An edit that then changes no value gives
// back the old file byte for byte, on a book too, whose rebuilt movie box
// would gain the player's own tags box and move or grow.
TEST(Mp4ChapterText, ABookStoppedAfterItsFirstWriteComesBackWholeFromAnEditOfNoValue) {
  for (const bytes& book : {book_with_movie_last(), book_with_fast_start()}) {
    memory_file done(book);
    retitle_chapter(done, 0, long_title);
    const bytes after_first_write = book + be32(0) + "free";
    const std::vector<bytes> stops =
        stopped_states(book, done, [](memory_file& f) { retitle_chapter(f, 0, long_title); });
    ASSERT_NE(std::find(stops.begin(), stops.end(), after_first_write), stops.end()) << book.size();
    memory_file f(after_first_write);
    edit_no_value(f);
    EXPECT_TRUE(f.data == book) << book.size() << ": " << f.data.size() << " bytes";
  }
  // A song, whose rebuilt movie box is the same anyway.
  memory_file song(ftyp() + titled_movie + media + be32(0) + "free");
  edit_no_value(song);
  EXPECT_TRUE(song.data == ftyp() + titled_movie + media);
}
