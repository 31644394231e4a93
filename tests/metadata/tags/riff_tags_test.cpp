// Tags inside the chunk tree of RIFF/WAVE files: reading INFO items and the
// ID3 chunks ("id3 " or "ID3 "), and rewriting them through "JUNK" filler without moving the
// audio, losing what stands behind the RIFF, or losing the old tags when the new ones cannot be made.
#include "metadata/tags/riff_tags.h"

#include <gtest/gtest.h>

#include "foundation/bit_array.h"
#include "id3v2_test_bytes.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/riff_chunks.h"
#include "metadata/track_info.h"
#include "tests/io/io_test_support.h"
#include "tests/io/model_file.h"
#include "track_fields_text.h"

namespace {

std::string le32(std::uint32_t v) {
  return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

std::string chunk(const std::string& id, const std::string& data) {
  std::string out = id + le32(static_cast<std::uint32_t>(data.size())) + data;
  if (data.size() & 1) out += '\0';
  return out;
}

std::string riff(const std::string& body, const std::string& form = "WAVE") {
  return "RIFF" + le32(static_cast<std::uint32_t>(4 + body.size())) + form + body;
}

const std::string fmt = chunk("fmt ", std::string("\x01\x00\x01\x00\x44\xAC\x00\x00\x88\x58\x01\x00\x02\x00\x10\x00", 16));
const std::string data_chunk = chunk("data", std::string(1000, '\x33'));

std::string info_list(const std::string& items) { return chunk("LIST", "INFO" + items); }

std::string id3_chunk(const std::string& title, const std::string& id = "id3 ") {
  using namespace id3v2_test;
  const bytes tag_bytes = tag(3, frame("TIT2", latin(title)));
  return chunk(id, std::string(tag_bytes.begin(), tag_bytes.end()));
}

std::string id3_chunk_of(const std::string& id, std::uint8_t version, const id3v2_test::bytes& frames) {
  const id3v2_test::bytes tag_bytes = id3v2_test::tag(version, frames);
  return chunk(id, std::string(tag_bytes.begin(), tag_bytes.end()));
}

// Calls `visit(chunk)` with each top-level chunk, its header and pad byte included.
template <class Visit>
void for_each_chunk(const std::string& file, Visit visit) {
  for (std::size_t at = 12; at + 8 <= file.size();) {
    const std::uint32_t size = std::uint8_t(file[at + 4]) | std::uint8_t(file[at + 5]) << 8 |
                               std::uint8_t(file[at + 6]) << 16 | std::uint32_t(std::uint8_t(file[at + 7])) << 24;
    visit(file.substr(at, 8 + size + (size & 1)));
    at += 8 + size + (size & 1);
  }
}

// The ids of the top-level chunks, "JUNK" left out.
std::string chunk_ids(const std::string& file) {
  std::string ids;
  for_each_chunk(file, [&](const std::string& chunk) {
    if (chunk.compare(0, 4, "JUNK") != 0) ids += chunk.substr(0, 4) + "|";
  });
  return ids;
}

// The file's ID3 chunk beside the audio alone, as readers that show it
// alone find the tag.
std::string with_id3_chunk_alone(const std::string& file) {
  std::string id3;
  for_each_chunk(file, [&](const std::string& chunk) {
    if (chunk.compare(0, 4, "id3 ") == 0) id3 = chunk;
  });
  return riff(fmt + data_chunk + id3);
}

class RiffTags : public ::testing::Test {
protected:
  void SetUp() override {
    (void)&id3v2_read_tag_from_file;  // keeps the ID3v2 service's registration linked
    io_test::build_registry();
  }
  std::string read(const std::string& content) {
    auto file = io_test::make_model_file(content);
    track_info_impl info;
    riff_tags::read(*file, info, io_test::no_abort());
    return track_fields_text(info) + (info.find_tech("tagtype") != track_info::not_found ? " +tagtype" : "");
  }
  std::string write(const std::string& content, track_info_impl& info) {
    auto file = io_test::make_model_file(content);
    riff_tags::write(*file, info, io_test::no_abort());
    return file->bytes;
  }
};

TEST_F(RiffTags, ReadsInfoItemsAndPrefersTheId3Chunk) {
  struct row {
    std::string body, expected, why;
  };
  const row rows[] = {
      {fmt + info_list(chunk("INAM", std::string("Song\0", 5)) + chunk("IART", "Band")) + data_chunk,
       "title=Song;artist=Band;", "items run to their zero byte or their end"},
      {fmt + info_list(chunk("ISFT", "tool") + chunk("INAM", "ab")) + data_chunk, "title=ab;",
       "unmapped ids are skipped; an item ending at the list end is read"},
      {fmt + info_list(chunk("INAM", "one") + chunk("INAM", "two")) + data_chunk, "title=two;", "the later item wins"},
      {fmt + info_list(chunk("INAM", "info")) + id3_chunk("id3") + data_chunk, "title=id3;",
       "the id3 chunk wins and leaves no tagtype"},
      {fmt + info_list(chunk("INAM", "info")) + chunk("id3 ", "no tag here") + data_chunk, "title=info;",
       "an id3 chunk without a tag leaves the INFO list"},
      {fmt + id3_chunk("id3") + info_list(chunk("INAM", "info")) + data_chunk, "title=id3;",
       "the id3 chunk wins wherever it stands"},
      {fmt + info_list(chunk("INAM", "G\xC3\xBCnter")) + data_chunk, "title=G\xC3\xBCnter;", "valid UTF-8 text is UTF-8"},
      {fmt + info_list(chunk("INAM", "G\xFCnter")) + data_chunk, "title=G\xC3\xBCnter;",
       "other text is in the ANSI code page"},
      {fmt + "data" + le32(0) + std::string(1000, '\x33') + info_list(chunk("INAM", "after")), "title=after;",
       "chunks behind the audio of a data chunk of size 0"},
      {fmt + data_chunk + id3_chunk("upper", "ID3 "), "title=upper;", "an ID3 chunk named in upper case"},
      {fmt + data_chunk + id3_chunk("first", "ID3 ") + id3_chunk("second"), "title=first;", "the first ID3 chunk counts"},
      {fmt + info_list(chunk("INAM", "one") + chunk("IART", "A")) + data_chunk + info_list(chunk("INAM", "two")),
       "artist=A;title=two;", "a second INFO list adds its items, the later winning"},
      {fmt + info_list(chunk("IPRT", "7")) + data_chunk, "tracknumber=7;", "the track number under its other id"},
  };
  for (const row& r : rows) EXPECT_EQ(read(riff(r.body)), r.expected) << r.why;
}

TEST_F(RiffTags, AnEditLeavesOneChunkOfEachKindAndOneItemOfTheField) {
  struct row {
    std::string body, chunks_after, why, fields_after = "album=Album;title=new;";
  };
  const row rows[] = {
      {fmt + data_chunk + id3_chunk("old", "ID3 "), "fmt |data|ID3 |", "the ID3 chunk keeps its name"},
      {fmt + data_chunk + id3_chunk("old", "ID3 ") + id3_chunk("later"), "fmt |data|ID3 |", "a second ID3 chunk goes"},
      {fmt + info_list(chunk("INAM", "old")) + data_chunk + id3_chunk("old", "ID3 "), "fmt |data|LIST|ID3 |",
       "beside an INFO list"},
      {fmt + info_list(chunk("INAM", "old") + chunk("IPRD", "Album")) + data_chunk + info_list(chunk("INAM", "old 2")),
       "fmt |LIST|data|", "a second INFO list joins the first, and stays the file's only tag",
       "title=new;album=Album;"},
  };
  for (const row& r : rows) {
    track_info_impl info;
    info.set_field("title", 5, "new", 3);
    info.set_field("album", 5, "Album", 5);
    const std::string after = write(riff(r.body), info);
    EXPECT_EQ(chunk_ids(after), r.chunks_after) << r.why;
    EXPECT_EQ(read(after), r.fields_after) << r.why;
  }
  // The other id of a field is replaced under its own id, which its readers read.
  const std::string before = riff(fmt + info_list(chunk("IPRT", "1") + chunk("ITRK", "1")) + data_chunk);
  track_info_impl info;
  info.set_field("tracknumber", track_info::until_nul, "2", track_info::until_nul);
  const std::string after = write(before, info);
  EXPECT_NE(after.find(info_list(chunk("IPRT", std::string("2\0", 2)))), std::string::npos);
  EXPECT_EQ(read(after), "tracknumber=2;");
}

TEST_F(RiffTags, DamagedFilesAreDataErrors) {
  const std::string overlong_item = "INFO" + std::string("INAM") + le32(50) + "short";
  const std::string rows[] = {
      "RIFX" + riff(fmt + data_chunk).substr(4),                          // not RIFF (RF64 looks like this)
      riff(fmt + data_chunk, "AVI "),                                     // not WAVE
      riff(fmt + data_chunk).substr(0, 30),                               // RIFF size beyond the file
      riff(fmt + chunk("LIST", overlong_item) + data_chunk),              // item longer than its list
      riff(fmt + "data" + le32(5000) + std::string(1000, '\x33')),  // chunk past the RIFF end
  };
  for (const std::string& content : rows) EXPECT_THROW(read(content), vantrel_io::exception_io_data);
}

TEST_F(RiffTags, WritesJoinedAsciiItemsAfterUnmappedOnes) {
  track_info_impl info;
  info.add_field_value(info.set_field("artist", 6, "a", 1), "b", 1);
  info.set_field("title", 5, "x", 1);
  const std::string before = riff(fmt + info_list(chunk("ISFT", "tool") + chunk("INAM", "old")) + data_chunk);
  const std::string after = write(before, info);
  // The edited item stays where it stood, a new one follows.
  const std::string items = chunk("ISFT", "tool") + chunk("INAM", std::string("x\0", 2)) +
                            chunk("IART", std::string("a, b\0", 5));
  EXPECT_NE(after.find(info_list(items)), std::string::npos);
  EXPECT_NE(after.find(data_chunk), std::string::npos);
  EXPECT_EQ(read(after), "artist=a,b;title=x;");
}

TEST_F(RiffTags, AnEditKeepsWhatTheReadingDidNotTakeFromTheInfoList) {
  // The album only the INFO list holds stays there, byte for byte, and the
  // edited title reaches both chunks.
  const std::string before =
      riff(fmt + info_list(chunk("IPRD", "info album") + chunk("INAM", "info title")) + id3_chunk("id3 title") + data_chunk);
  auto file = io_test::make_model_file(before);
  track_info_impl info;
  riff_tags::read(*file, info, io_test::no_abort());
  info.set_field("title", 5, "new", 3);
  riff_tags::write(*file, info, io_test::no_abort());
  const std::string& after = file->bytes;
  EXPECT_NE(after.find(info_list(chunk("IPRD", "info album") + chunk("INAM", std::string("new\0", 4)))),
            std::string::npos);
  // The album reaches the ID3 chunk, for the readers that show it alone.
  EXPECT_EQ(read(after), "album=info album;title=new;");
  EXPECT_EQ(read(with_id3_chunk_alone(after)), "album=info album;title=new;");
}

TEST_F(RiffTags, InfoFieldsBesideAnId3ChunkAreShownAndRemovedFromBoth) {
  using namespace id3v2_test;
  const std::string id3_album = id3_chunk_of("id3 ", 3, frame("TALB", latin("Album")));
  const std::string both = riff(fmt + info_list(chunk("INAM", "Info title") + chunk("IART", "Info artist")) +
                                data_chunk + id3_album);
  EXPECT_EQ(read(both), "album=Album;title=Info title;artist=Info artist;");
  const struct {
    std::string before, after_removal;
  } removals[] = {
      {both, "album=Album;artist=Info artist;"},
      {riff(fmt + info_list(chunk("INAM", "info")) + data_chunk + id3_chunk("id3")), ""},
  };
  for (const auto& r : removals) {
    auto file = io_test::make_model_file(r.before);
    track_info_impl info;
    riff_tags::read(*file, info, io_test::no_abort());
    const std::uint32_t title = info.find_field("title");
    ASSERT_NE(title, track_info::not_found) << read(r.before);
    qiv::bit_array selection(info.field_count());
    selection.set(title, true);
    info.remove_fields(selection);
    riff_tags::write(*file, info, io_test::no_abort());
    EXPECT_EQ(read(file->bytes), r.after_removal);
  }
  // An item added later by a tagger of INFO lists alone is shown too.
  EXPECT_EQ(read(riff(fmt + data_chunk + id3_chunk("id3") + info_list(chunk("IGNR", "Jazz")))), "title=id3;genre=Jazz;");
}

TEST_F(RiffTags, AnEditAddsAnInfoListOnlyWhereNoId3ChunkStoodAlone) {
  const struct {
    std::string body, chunks_after, why;
  } rows[] = {
      {fmt + data_chunk + id3_chunk("old"), "fmt |data|id3 |", "ID3 alone"},
      {fmt + info_list("") + data_chunk + id3_chunk("old"), "fmt |data|id3 |", "beside an empty INFO list"},
      {fmt + data_chunk, "fmt |data|LIST|id3 |", "untagged"},
      {fmt + data_chunk + id3_chunk("old") + info_list(chunk("ISFT", "tool")), "fmt |data|LIST|id3 |",
       "a list of other items is written as before"},
      {fmt + info_list(chunk("ISFT", "tool")) + data_chunk, "fmt |data|LIST|id3 |",
       "a list of other items alone is no tag: ffmpeg's files get an ID3 chunk"},
  };
  for (const auto& r : rows) {
    track_info_impl info;
    info.set_field("title", 5, "new", 3);
    const std::string after = write(riff(r.body), info);
    EXPECT_EQ(chunk_ids(after), r.chunks_after) << r.why;
    EXPECT_EQ(read(after), "title=new;") << r.why;
  }
}

TEST_F(RiffTags, AnInfoListAloneGetsAnId3ChunkOfEveryFieldForWhatItCannotHold) {
  const std::string info_alone = riff(fmt + info_list(chunk("INAM", "t") + chunk("IMUS", "Old")) + data_chunk);
  EXPECT_EQ(read(info_alone), "title=t;composer=Old;");
  track_info_impl info;
  info.set_field("title", 5, "t", 1);
  info.set_field("composer", 8, "New", 3);
  std::string after = write(info_alone, info);
  EXPECT_EQ(chunk_ids(after), "fmt |LIST|data|");
  EXPECT_NE(after.find(chunk("IMUS", std::string("New\0", 4))), std::string::npos);
  // An album artist has no item; a title beyond ASCII no item that keeps it.
  // Readers that show the ID3 chunk alone must still find the composer.
  info.set_field("album artist", 12, "Band", 4);
  info.set_field("title", 5, "Caf\xC3\xA9", 5);
  after = write(after, info);
  EXPECT_EQ(chunk_ids(after), "fmt |data|LIST|id3 |");
  const std::string every_field = "album artist=Band;composer=New;title=Caf\xC3\xA9;";
  EXPECT_EQ(read(after), every_field);
  EXPECT_EQ(read(with_id3_chunk_alone(after)), every_field);
  // From then on the chunk is the tag, and every edit reaches it.
  info.set_field("title", 5, "Plain", 5);
  after = write(after, info);
  EXPECT_EQ(read(with_id3_chunk_alone(after)), "album artist=Band;composer=New;title=Plain;");
  EXPECT_NE(after.find(chunk("INAM", std::string("Plain\0", 6))), std::string::npos);
}

TEST_F(RiffTags, InfoItemsOfOddSizeAreFoundWithOrWithoutTheirPadByte) {
  const auto unpadded = [](const std::string& id, const std::string& data) { return id + le32(data.size()) + data; };
  const std::string items = unpadded("INAM", std::string("Titl\0", 5)) + unpadded("ISFT", "odd") +
                            unpadded("IMUS", std::string("Comp\0", 5)) + chunk("IART", std::string("Art\0", 4));
  const std::string before = riff(fmt + info_list(items) + data_chunk);
  EXPECT_EQ(read(before), "title=Titl;composer=Comp;artist=Art;");
  EXPECT_EQ(read(riff(fmt + info_list(items + chunk("ICMT", std::string("c\0", 2))) + data_chunk)),
            "title=Titl;composer=Comp;artist=Art;comment=c;")
      << "a padded item after them";
  EXPECT_EQ(read(riff(fmt + chunk("LIST", "INFO" + items + '\0') + data_chunk)), "title=Titl;composer=Comp;artist=Art;")
      << "the list's size counting its pad byte";
  // An edit of either kind of item leaves every item behind its pad byte.
  const struct {
    const char* field;
    std::string written;
  } edits[] = {
      {"title", chunk("INAM", std::string("New\0", 4)) + chunk("ISFT", "odd") +
                    chunk("IMUS", std::string("Comp\0", 5)) + chunk("IART", std::string("Art\0", 4))},
      {"artist", chunk("INAM", std::string("Titl\0", 5)) + chunk("ISFT", "odd") +
                     chunk("IMUS", std::string("Comp\0", 5)) + chunk("IART", std::string("New\0", 4))},
  };
  for (const auto& edit : edits) {
    auto file = io_test::make_model_file(before);
    track_info_impl info;
    riff_tags::read(*file, info, io_test::no_abort());
    info.set_field(edit.field, track_info::until_nul, "New", 3);
    riff_tags::write(*file, info, io_test::no_abort());
    EXPECT_NE(file->bytes.find(info_list(edit.written)), std::string::npos) << edit.field;
    EXPECT_EQ(chunk_ids(file->bytes).find("id3 "), std::string::npos) << edit.field << ": the list stays the tag";
  }
}

TEST_F(RiffTags, SecondWriteFillsTheFillerAndKeepsTheSize) {
  track_info_impl info;
  info.set_field("title", 5, "Title", 5);
  info.set_field("album", 5, "Album", 5);
  const std::string once = write(riff(fmt + data_chunk), info);
  const std::string twice = write(once, info);
  EXPECT_EQ(twice.size(), once.size());
  EXPECT_EQ(read(twice), "album=Album;title=Title;");
  // The RIFF size field follows the file.
  EXPECT_EQ(twice.substr(4, 4), le32(static_cast<std::uint32_t>(twice.size() - 8)));
}

TEST_F(RiffTags, PlacingNeedsAnExactFitOrEightSpareBytes) {
  const std::vector<std::uint8_t> payload(20, 'p');  // a 28-byte chunk
  struct row {
    std::size_t junk_data;
    bool in_place;
  } rows[] = {{20, true}, {28, true}, {22, false}, {26, false}, {40, true}};
  for (const row& r : rows) {
    auto file = io_test::make_model_file(riff(fmt + chunk("JUNK", std::string(r.junk_data, 'j')) + data_chunk));
    const std::size_t size = file->bytes.size();
    riff_chunks::place_chunk(*file, "test", payload, io_test::no_abort());
    EXPECT_EQ(file->bytes.size() == size, r.in_place) << r.junk_data;
    EXPECT_EQ(file->bytes.substr(4, 4), le32(static_cast<std::uint32_t>(file->bytes.size() - 8)));
    EXPECT_NE(file->bytes.find(data_chunk), std::string::npos);
  }
}

TEST_F(RiffTags, RemovingTrailingTagsShortensTheFile) {
  const std::string audio_first =
      riff(fmt + data_chunk + info_list(chunk("INAM", "t")) + id3_chunk("t") + id3_chunk("u", "ID3 "));
  auto file = io_test::make_model_file(audio_first);
  riff_tags::rewrite_chunks(*file, nullptr, io_test::no_abort(), true, true);
  EXPECT_EQ(file->bytes, riff(fmt + data_chunk));

  // Tags ahead of the audio become one filler chunk; the audio stays put.
  const std::string tags_first = riff(fmt + info_list(chunk("INAM", "t")) + id3_chunk("t") + data_chunk);
  file = io_test::make_model_file(tags_first);
  riff_tags::rewrite_chunks(*file, nullptr, io_test::no_abort(), true, true);
  EXPECT_EQ(file->bytes.size(), tags_first.size());
  EXPECT_EQ(file->bytes.substr(36, 4), "JUNK");
  EXPECT_EQ(read(file->bytes), "");
}

TEST_F(RiffTags, RemovalFromADamagedTreeChangesNothing) {
  const std::string before = riff(fmt + info_list(chunk("INAM", "t")) + "data" + le32(5000) + "short");
  auto file = io_test::make_model_file(before);
  EXPECT_THROW(riff_tags::rewrite_chunks(*file, nullptr, io_test::no_abort(), true, true), vantrel_io::exception_io_data);
  EXPECT_EQ(file->bytes, before);
}

TEST_F(RiffTags, RiffSizeShortOfTheAudioChangesNothing) {
  struct row {
    std::uint32_t declared;
    const char* why;
  } rows[] = {
      {0, "size never written by an unfinished recording"},
      {3, "too short for the form type"},
      {4, "the form type alone"},
      {4 + std::uint32_t(fmt.size()), "ends after the format, before the data"},
  };
  track_info_impl info;
  info.set_field("title", 5, "new", 3);
  for (const row& r : rows) {
    std::string before = riff(fmt + data_chunk);
    before.replace(4, 4, le32(r.declared));
    auto file = io_test::make_model_file(before);
    EXPECT_THROW(riff_tags::write(*file, info, io_test::no_abort()), vantrel_io::exception_io_data) << r.why;
    EXPECT_EQ(file->bytes, before) << r.why;
  }
}

TEST_F(RiffTags, DamagedOldId3ChunkLeavesTheFileUntouched) {
  // A tag header that claims more frames than the chunk holds.
  const std::string damaged = chunk("id3 ", std::string("ID3\x03\x00\x00\x00\x00\x01\x00TIT2", 14));
  const std::string before = riff(fmt + info_list(chunk("INAM", "keep")) + damaged + data_chunk);
  track_info_impl info;
  info.set_field("title", 5, "new", 3);
  auto file = io_test::make_model_file(before);
  EXPECT_ANY_THROW(riff_tags::write(*file, info, io_test::no_abort()));
  EXPECT_EQ(file->bytes, before);
}


// What other programs leave behind the RIFF's end.
std::string id3v1_tail() { return "TAG" + std::string("Tail title") + std::string(115, '\0'); }
std::string ape_tail() { return "APETAGEX" + le32(2000) + le32(32) + std::string(16, '\x01') + "item bytes"; }

TEST_F(RiffTags, EditsKeepWhatStandsBehindTheRiffAtTheEnd) {
  const struct {
    std::string tail, why;
  } tails[] = {
      {id3v1_tail(), "an ID3v1 tag"},
      {ape_tail(), "an APEv2 tag"},
      {ape_tail() + id3v1_tail(), "both"},
      {chunk("LIST", "INFOINAM" + le32(4) + "past"), "a chunk past the RIFF size"},
      {std::string("\x00\x01\x02", 3), "odd stray bytes"},
  };
  const std::string tagged = riff(fmt + data_chunk + info_list(chunk("INAM", std::string("Old title\0", 10))));
  for (const auto& t : tails) {
    for (const char* title : {"A much longer title than the old one", "N"}) {
      track_info_impl info;
      info.set_field("title", 5, title, track_info::until_nul);
      const std::string after = write(tagged + t.tail, info);
      ASSERT_GT(after.size(), t.tail.size()) << t.why;
      const std::string riff_part = after.substr(0, after.size() - t.tail.size());
      EXPECT_EQ(after.substr(riff_part.size()), t.tail) << t.why << ", " << title;
      EXPECT_EQ(riff_part.substr(4, 4), le32(std::uint32_t(riff_part.size() - 8))) << t.why << ", " << title;
      EXPECT_EQ(read(after), "title=" + std::string(title) + ";") << t.why;
    }
    auto file = io_test::make_model_file(tagged + t.tail);
    riff_tags::rewrite_chunks(*file, nullptr, io_test::no_abort(), true, true);
    EXPECT_EQ(file->bytes, riff(fmt + data_chunk) + t.tail) << t.why << ", removal";
  }
  // A last chunk without its pad byte: the appended tag starts right behind it.
  const std::string odd = "RIFF" + le32(4 + std::uint32_t(fmt.size()) + 8 + 999) + "WAVE" + fmt + "data" + le32(999) +
                          std::string(999, '\x33');
  track_info_impl info;
  info.set_field("title", 5, "new", 3);
  const std::string after = write(odd + id3v1_tail(), info);
  EXPECT_EQ(after.substr(after.size() - 128), id3v1_tail());
  EXPECT_EQ(read(after), "title=new;");
}

// A RIFF size that counts the last chunk's pad byte, which its writer never
// wrote: the appended tag's first byte stands where the pad belongs.
TEST_F(RiffTags, EditsKeepATagStandingWhereAPadByteWasLeftOut) {
  const std::string old_info = info_list(chunk("INAM", std::string("Old title\0", 10)));
  const std::string body = fmt + old_info + "data" + le32(999) + std::string(999, '\x33');
  const std::string unpadded = "RIFF" + le32(std::uint32_t(4 + body.size() + 1)) + "WAVE" + body;
  for (const std::string& tail : {id3v1_tail(), ape_tail() + id3v1_tail()}) {
    const std::string before = unpadded + tail;
    // The ID3 chunk an edit adds for a field no INFO item holds goes behind
    // the audio, which gets its pad.
    for (const char* title : {"A much longer title than the old one", "N"}) {
      track_info_impl info;
      info.set_field("title", 5, title, track_info::until_nul);
      info.set_field("album artist", 12, "B", 1);
      const std::string after = write(before, info);
      ASSERT_GT(after.size(), before.size()) << title;
      const std::string riff_part = after.substr(0, after.size() - tail.size());
      EXPECT_EQ(after.substr(riff_part.size()), tail) << title;
      EXPECT_EQ(riff_part.substr(4, 4), le32(std::uint32_t(riff_part.size() - 8))) << title;
      EXPECT_EQ(after.substr(unpadded.size(), 1), std::string(1, '\0')) << "the pad byte where it belongs";
      EXPECT_EQ(read(after), "album artist=B;title=" + std::string(title) + ";");
    }
    // A removal leaves the RIFF's end, and the tail, where they were.
    auto file = io_test::make_model_file(before);
    riff_tags::rewrite_chunks(*file, nullptr, io_test::no_abort(), true, true);
    EXPECT_EQ(file->bytes.size(), before.size());
    EXPECT_EQ(file->bytes.substr(unpadded.size()), tail);
    EXPECT_EQ(read(file->bytes), "");
  }
}

TEST_F(RiffTags, EveryId3ChunkIsShownAndAnEditKeepsItsFieldsInOne) {
  using namespace id3v2_test;
  const std::string two = id3_chunk_of("ID3 ", 3, frame("TIT2", latin("first")) + frame("TPE1", latin("Anna"))) +
                          id3_chunk_of("id3 ", 3, frame("TIT2", latin("second")) + frame("TALB", latin("Album")));
  const std::string later = id3_chunk_of("id3 ", 4, frame("TIT2", latin("T"), true) + frame("TPE1", latin("A"), true));
  const std::string damaged = chunk("ID3 ", std::string("ID3\x03\x00\x00\x00\x00\x01\x00TIT2", 14));
  const struct {
    std::string body, shown, after_edit, id3_left, why;
  } rows[] = {
      {fmt + data_chunk + two, "album=Album;artist=Anna;title=first;", "album=Album;artist=Anna;genre=Jazz;title=first;",
       "ID3 ", "the first chunk's value wins"},
      {fmt + chunk("ID3 ", "") + data_chunk + later, "artist=A;title=T;", "artist=A;genre=Jazz;title=T;", "id3 ",
       "an empty chunk hides nothing; the chunk with the tag names the one left"},
      {fmt + info_list(chunk("IPRD", "info")) + chunk("id3 ", "no tag") + data_chunk + later, "artist=A;title=T;album=info;",
       "album=info;artist=A;genre=Jazz;title=T;", "id3 ",
       "nor do stray bytes; the INFO album is shown beside them, and joins the chunk"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(read(riff(r.body)), r.shown) << r.why;
    auto file = io_test::make_model_file(riff(r.body));
    track_info_impl info;
    riff_tags::read(*file, info, io_test::no_abort());
    info.set_field("genre", 5, "Jazz", 4);
    riff_tags::write(*file, info, io_test::no_abort());
    const std::string ids = chunk_ids(file->bytes);
    const auto count = [&](const char* id) {
      std::size_t n = 0;
      for (std::size_t at = ids.find(id); at != std::string::npos; at = ids.find(id, at + 1)) ++n;
      return n;
    };
    EXPECT_TRUE(count(r.id3_left.c_str()) == 1 && count("ID3 ") + count("id3 ") == 1) << r.why << ": " << ids;
    EXPECT_EQ(read(file->bytes), r.after_edit) << r.why;
  }
  EXPECT_EQ(read(riff(fmt + damaged + data_chunk + later)), "artist=A;title=T;") << "a damaged chunk hides nothing";
  // A frame of the later chunk that carries no field stays, byte for byte.
  const bytes priv = frame("PRIV", text(std::string("owner\0data", 10)));
  track_info_impl info;
  info.set_field("title", 5, "new", 3);
  const std::string after =
      write(riff(fmt + data_chunk + id3_chunk("first", "ID3 ") + id3_chunk_of("id3 ", 3, frame("TALB", latin("A")) + priv)),
            info);
  EXPECT_NE(after.find(std::string(priv.begin(), priv.end())), std::string::npos);
}

TEST_F(RiffTags, AnEditThatWouldLosePartOfAnId3ChunkChangesNothing) {
  using namespace id3v2_test;
  const std::string first = id3_chunk_of("id3 ", 3, frame("TIT2", latin("first")));
  const std::string damaged = chunk("ID3 ", std::string("ID3\x03\x00\x00\x00\x00\x01\x00TIT2", 14));
  // A version 2.4 frame without a 2.3 form, in a chunk behind a 2.3 tag.
  const std::string seek = id3_chunk_of("ID3 ", 4, frame("SEEK", bytes{0, 0, 1, 0}, true));
  track_info_impl info;
  info.set_field("title", 5, "new", 3);
  for (const std::string& before : {riff(fmt + data_chunk + first + damaged), riff(fmt + data_chunk + first + seek)}) {
    auto file = io_test::make_model_file(before);
    EXPECT_THROW(riff_tags::write(*file, info, io_test::no_abort()), vantrel_io::exception_io_data);
    EXPECT_EQ(file->bytes, before);
  }
}

}  // namespace
