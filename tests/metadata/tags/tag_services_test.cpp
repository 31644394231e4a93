// The tag services on whole files: ID3v2 at the start, APEv2 and ID3v1 at
// the end, read together and rewritten without losing what was there.
#include "metadata/tags/tag_services.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

#include "core/tag_service.h"
#include "io/path_schemes.h"
#include "id3v2_test_bytes.h"
#include "metadata/tags/apev2.h"
#include "metadata/tags/id3v2_stacked_tags.h"
#include "metadata/tags/id3v2_tag_service.h"
#include "metadata/tags/tag_not_found.h"
#include "metadata/tags/trailing_tags.h"
#include "metadata/track_info.h"
#include "tests/io/io_test_support.h"
#include "tests/io/model_file.h"
#include "track_fields_text.h"

using namespace id3v2_test;

namespace {

std::string as_string(const bytes& b) { return std::string(b.begin(), b.end()); }

const std::string mpeg_audio = std::string(3000, '\x55') + "\xFF\xFB audio";

// The items of the file's APEv2 tag as "key=value;" in their order.
std::string apev2_items_text(vantrel_io::file_object& file, const abort_signal& abort) {
  std::string items;
  for (const apev2::item& i : find_trailing_tags(file, true, abort).apev2_items) items += i.key + "=" + i.value + ";";
  return items;
}

std::string id3v1(const std::string& title, std::uint8_t track = 0, std::uint8_t genre = 255) {
  std::string block(128, '\0');
  block.replace(0, 3, "TAG");
  block.replace(3, title.size(), title);
  block[126] = char(track);
  block[127] = char(genre);
  return block;
}

std::string ape(const apev2::item_list& items) { return as_string(apev2::render_tag(items, true)); }

std::string lyrics3v2() {
  const std::string body = "LYRICSBEGININD0000210LYR00005la la";
  return body + "0000" + std::to_string(body.size()) + "LYRICS200";
}

std::string leading(const bytes& frames, std::size_t padding = 0, std::uint8_t version = 3) {
  return as_string(tag(version, frames + bytes(padding, 0)));
}

// Hands out an in-memory temporary file; commit puts its bytes in place of
// the file's, as the move of a real rewrite does.
class committing_memory_rewrite final : public retag_temp_source {
public:
  bool open_temp(vantrel_io::file_ptr& out, const abort_signal&) override {
    made = io_test::make_model_file();
    out = made.get();
    return true;
  }
  void commit(io_test::model_file& target) const {
    if (made) target.bytes = made->bytes;
  }
  service_ptr<io_test::model_file> made;
};

class TagServices : public ::testing::Test {
protected:
  void SetUp() override {
    // Referring to both services' code keeps their registrations linked.
    (void)&find_trailing_tags;
    (void)&id3v2_read_tag_from_file;
    io_test::build_registry();
  }

  std::string read_fields(const std::string& content, std::string* tagtype = nullptr,
                          replaygain_info* gain = nullptr) {
    auto file = io_test::make_model_file(content);
    track_info_impl info;
    tag_services::read(*file, info, abort);
    if (tagtype) *tagtype = info.tech_value_by_name("tagtype").value_or("");
    if (gain) *gain = info.get_replaygain();
    return track_fields_text(info);
  }

  // Writes `fields` (name, value) with the kinds; answers the new content.
  std::string write(const std::string& content, unsigned kinds,
                    const std::vector<std::pair<const char*, const char*>>& fields, replaygain_info gain = {}) {
    auto model = io_test::make_model_file(content);
    vantrel_io::file_ptr file(model.get());
    track_info_impl info;
    for (const auto& [name, value] : fields) info.append_field(name, track_info::until_nul, value, track_info::until_nul);
    info.set_replaygain(gain);
    committing_memory_rewrite rewrite;
    tag_services::write(file, rewrite, kinds, info, abort);
    rewrite.commit(*model);
    return model->bytes;
  }

  void check_later_text_edits_at_the_tag_end(std::size_t picture_size);

  raisable_abort_signal abort;
};

TEST_F(TagServices, ReadingCombinesTheLeadingAndTrailingTags) {
  replaygain_info ape_gain;
  ape_gain.track_gain = -3.0f;
  ape_gain.album_gain = -9.0f;
  const std::string both = leading(frame("TIT2", latin("lead")) +
                                   frame("TXXX", latin("replaygain_album_gain") + bytes{0} + text("-1.5 dB"))) +
                           mpeg_audio +
                           ape({{false, 0, "Title", "trail"}, {false, 0, "replaygain_track_gain", "-3.00 dB"},
                                {false, 0, "replaygain_album_gain", "-9.00 dB"}}) +
                           id3v1("v1");
  struct read_case {
    const char* why;
    std::string content;
    const char* fields;
    const char* tagtype;
  };
  const read_case cases[] = {
      {"ID3v2 fields win; the trailing kinds join tagtype", both, "title=lead;", "id3v2.3|apev2|id3v1"},
      {"ID3v1 alone", mpeg_audio + id3v1("v1", 7, 17), "title=v1;tracknumber=7;genre=Rock;", "id3v1"},
      {"two ID3v1 tags: the last, as every reader", mpeg_audio + id3v1("older") + id3v1("newer"), "title=newer;", "id3v1"},
      {"the ID3v2 tag's gaps filled from the APEv2 tag, then the ID3v1 block",
       leading(frame("TIT2", latin("lead"))) + mpeg_audio + ape({{false, 0, "Album", "ape album"}}) + id3v1("v1", 7, 17),
       "title=lead;Album=ape album;tracknumber=7;genre=Rock;", "id3v2.3|apev2|id3v1"},
      {"an APEv2 tag before a Lyrics3v2 block", mpeg_audio + ape({{false, 0, "Title", "trail"}}) + lyrics3v2() +
       id3v1("v1", 7, 17), "Title=trail;tracknumber=7;genre=Rock;", "apev2|id3v1"},
      {"an APEv2 tag shows the fields only the ID3v1 block behind it holds",
       mpeg_audio + ape({{false, 0, "Title", "trail"}}) + id3v1("v1", 7, 17), "Title=trail;tracknumber=7;genre=Rock;",
       "apev2|id3v1"},
      {"an ID3v1 block before the APEv2 tag, where no reader looks, stays hidden",
       mpeg_audio + id3v1("v1", 7, 17) + ape({{false, 0, "Title", "trail"}}), "Title=trail;", "apev2|id3v1"},
      {"a damaged ID3v2 tag hides nothing behind it",
       as_string(text("ID3") + bytes{3, 0, 0} + syncsafe(20) + text("TIT2") + be32(0x4000000) + bytes(12, 0)) + mpeg_audio +
           id3v1("v1"),
       "title=v1;", "id3v1"},
      {"an APEv1 tag counts every item as text", mpeg_audio + [] {
         std::string t = ape({{true, 0, "Title", "one"}});
         t[8] = char(0xE8), t[9] = char(0x03);  // version 1000, in the header...
         t[t.size() - 24] = char(0xE8), t[t.size() - 23] = char(0x03);  // ...and the footer
         return t;
       }(), "Title=one;", "apev1"},
  };
  for (const read_case& c : cases) {
    std::string tagtype;
    EXPECT_EQ(c.fields, read_fields(c.content, &tagtype)) << c.why;
    EXPECT_EQ(c.tagtype, tagtype) << c.why;
  }
  replaygain_info gain;
  read_fields(both, nullptr, &gain);
  EXPECT_FLOAT_EQ(-1.5f, gain.album_gain);  // the ID3v2 value wins
  EXPECT_FLOAT_EQ(-3.0f, gain.track_gain);  // the APEv2 value fills the gap
  EXPECT_THROW(read_fields(mpeg_audio), exception_tag_not_found);
}

TEST_F(TagServices, ATagThatFitsItsRoomIsRewrittenInPlace) {
  const std::string original = leading(frame("TIT2", latin("old title")), 4096) + mpeg_audio;
  const std::string once = write(original, tag_services::kind_id3v2, {{"title", "new"}, {"artist", "A"}});
  ASSERT_EQ(original.size(), once.size());
  EXPECT_TRUE(original.substr(original.size() - mpeg_audio.size()) == once.substr(once.size() - mpeg_audio.size()));
  EXPECT_EQ("artist=A;title=new;", read_fields(once));
  EXPECT_TRUE(once == write(once, tag_services::kind_id3v2, {{"title", "new"}, {"artist", "A"}}));
}

TEST_F(TagServices, ATagThatDoesNotFitRewritesTheFileWithDefaultPadding) {
  const bytes title = frame("TIT2", bytes{1, 0xFF, 0xFE, 'T', 0, 0, 0});
  struct rewrite_case {
    const char* why;
    std::string original;
    std::size_t padding;
  };
  const rewrite_case cases[] = {
      {"no tag before", mpeg_audio, 2048},
      {"more than 16 KiB to spare", leading(frame("TIT2", latin("x")), 20000) + mpeg_audio, 2048},
      {"a version 2.2 tag", as_string(tag(2, frame22("TT2", latin("x")))) + mpeg_audio, 2048},
      // 44 bytes of room: the one new tag fills both.
      {"two stacked tags become one",
       leading(frame("TIT2", latin("x"))) + leading(frame("TIT2", latin("y"))) + mpeg_audio, 44 - 10 - title.size()},
  };
  for (const rewrite_case& c : cases) {
    const std::string written = write(c.original, tag_services::kind_id3v2, {{"title", "T"}});
    EXPECT_TRUE(leading(title, c.padding) + mpeg_audio == written) << c.why;
  }
}

TEST_F(TagServices, VersionTwoPointTwoBecomesTwoPointThreeKeepingPicturesAndComments) {
  const bytes picture = bytes{0} + text("PNG") + bytes{3, 'd', 0, 0x89, 'P'};
  const bytes comment = bytes{0} + text("eng") + bytes{0} + text("hello");
  const std::string original = as_string(tag(2, frame22("TT2", latin("x")) + frame22("COM", comment) + frame22("PIC", picture))) + mpeg_audio;
  const std::string written = write(original, tag_services::kind_id3v2, {{"title", "y"}, {"comment", "hello"}});
  EXPECT_EQ(3, written[3]);
  EXPECT_EQ("comment=hello;title=y;", read_fields(written));
  auto file = io_test::make_model_file(written);
  id3parser::accept_all_frames all;
  id3parser::tag t;
  std::uint64_t size = 0;
  ASSERT_TRUE(id3v2_read_tag_from_file(*file, all, t, size, abort));
  ASSERT_EQ(3u, t.frames.size());
  // Written anew, the tag puts its picture first.
  EXPECT_EQ(id3parser::frame_id("COMM"), t.frames[2].id);
  EXPECT_EQ(comment, t.frames[2].data);
  const bytes converted = bytes{0} + text("image/png") + bytes{0, 3, 'd', 0, 0x89, 'P'};
  EXPECT_EQ(converted, t.frames[0].data);
}

TEST_F(TagServices, FieldsReadTheSameWhetherAPictureSitsBetweenThemOrNot) {
  class no_pictures final : public id3parser::frame_filter {
  public:
    bool accept(std::uint32_t id) override { return id != id3parser::frame_id("APIC"); }
  };
  bytes image(5000, 0xAB);
  image[0] = 0xFF, image[1] = 0xD8, image[4999] = 0x01;
  const bytes apic = latin("image/jpeg") + bytes{0, 3, 0} + image;
  const bytes pic = bytes{0} + text("JPG") + bytes{3, 0} + image;
  const bytes big_apic = latin("image/png") + bytes{0, 3, 0} + bytes(70000, 0x42) + image;  // beyond the head read
  struct picture_case {
    const char* why;
    std::string with_picture;
    std::string without;
  };
  const picture_case cases[] = {
      {"2.3", as_string(tag(3, frame("TIT2", latin("t")) + frame("APIC", apic) + frame("TPE1", latin("a")))),
       as_string(tag(3, frame("TIT2", latin("t")) + frame("TPE1", latin("a"))))},
      {"2.4", as_string(tag(4, frame("TIT2", latin("t"), true) + frame("APIC", apic, true) + frame("TPE1", latin("a"), true))),
       as_string(tag(4, frame("TIT2", latin("t"), true) + frame("TPE1", latin("a"), true)))},
      {"2.2", as_string(tag(2, frame22("TT2", latin("t")) + frame22("PIC", pic) + frame22("TP1", latin("a")))),
       as_string(tag(2, frame22("TT2", latin("t")) + frame22("TP1", latin("a"))))},
      {"2.3 larger than the head",
       as_string(tag(3, frame("TIT2", latin("t")) + frame("APIC", big_apic) + frame("TPE1", latin("a")))),
       as_string(tag(3, frame("TIT2", latin("t")) + frame("TPE1", latin("a"))))},
  };
  for (const picture_case& c : cases) {
    std::string with_type;
    std::string without_type;
    EXPECT_EQ("artist=a;title=t;", read_fields(c.with_picture + mpeg_audio, &with_type)) << c.why;
    EXPECT_EQ(read_fields(c.without + mpeg_audio, &without_type), read_fields(c.with_picture + mpeg_audio)) << c.why;
    EXPECT_EQ(without_type, with_type) << c.why;
    auto file = io_test::make_model_file(c.with_picture + mpeg_audio);
    no_pictures fields_only;
    id3parser::accept_all_frames all;
    id3parser::tag t;
    std::uint64_t size = 0;
    ASSERT_TRUE(id3v2_read_tag_from_file(*file, fields_only, t, size, abort)) << c.why;
    EXPECT_EQ(2u, t.frames.size()) << c.why;
    EXPECT_EQ(c.with_picture.size(), size) << c.why;
    // Whoever asks for pictures (album art, a rewrite) still gets them whole.
    ASSERT_TRUE(id3v2_read_tag_from_file(*file, all, t, size, abort)) << c.why;
    ASSERT_EQ(3u, t.frames.size()) << c.why;
    const bytes& data = t.frames[1].data;
    ASSERT_GE(data.size(), image.size()) << c.why;
    EXPECT_TRUE(std::equal(image.begin(), image.end(), data.end() - image.size())) << c.why;
  }
}

TEST_F(TagServices, AStackedTagGivesTheOneTagWrittenWhatOnlyItHolds) {
  // The artist set on the fields as read, as an editor sets it.
  const auto set_artist = [&](const std::string& content, unsigned kinds = tag_services::kind_id3v2) {
    auto model = io_test::make_model_file(content);
    vantrel_io::file_ptr file(model.get());
    track_info_impl info;
    tag_services::read(*file, info, abort);
    info.set_field("artist", track_info::until_nul, "b", track_info::until_nul);
    committing_memory_rewrite rewrite;
    tag_services::write(file, rewrite, kinds, info, abort);
    rewrite.commit(*model);
    return model->bytes;
  };
  const std::string first = leading(frame("TIT2", latin("x")));
  // Behind a first tag larger than the head read at once.
  const std::string beyond_head = leading(frame("PRIV", text("owner") + bytes(70000, 1)));
  const std::string second = leading(frame("TIT2", latin("y")) + frame("TALB", latin("a")));
  for (const std::string& before : {first, beyond_head}) {
    const std::string written = set_artist(before + second + mpeg_audio);
    EXPECT_EQ(std::string(before == first ? "album=a;artist=b;title=x;" : "album=a;artist=b;title=y;"),
              read_fields(written)) << before.size();
    EXPECT_EQ(std::string::npos, written.find("ID3", 10)) << before.size();
  }
  // A damaged later tag and an encrypted frame of another version cannot
  // go into the tag written: the write is refused, the first tag still read.
  const std::string damaged = as_string(tag(3, frame("TALB", latin("a")) + text("TPE1") + be32(500)));
  const std::string encrypted = as_string(tag(4, frame("TALB", bytes{0x80, 1, 2, 3}, true, 0, 0x04)));
  EXPECT_EQ("title=x;", read_fields(first + damaged + mpeg_audio));
  EXPECT_THROW(set_artist(first + damaged + mpeg_audio), id3parser::parseError);
  EXPECT_THROW(set_artist(first + encrypted + mpeg_audio), exception_id3v2_stacked_frame_not_kept);
  // Removing the ID3v2 tags is no rewrite of them.
  EXPECT_EQ(mpeg_audio, set_artist(first + damaged + mpeg_audio, 0));
}

TEST_F(TagServices, TheKindsWrittenReplaceTheKindsThere) {
  const std::string tagged = leading(frame("TIT2", latin("old"))) + mpeg_audio + ape({{false, 0, "Title", "old"}}) + id3v1("old");
  struct kinds_case {
    const char* why;
    unsigned kinds;
    const char* tagtype;  // empty: no tag left
    const char* fields;
  };
  const kinds_case cases[] = {
      {"none removes all", 0, "", ""},
      {"ID3v1 only drops the ID3v2 and APEv2 tags", tag_services::kind_id3v1, "id3v1", "title=new;"},
      {"APEv2 keys are capitalised", tag_services::kind_apev2, "apev2", "Title=new;"},
      {"all three", 7, "id3v2.3|apev2|id3v1", "title=new;"},
  };
  for (const kinds_case& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string written = write(tagged, c.kinds, {{"title", "new"}});
    if (*c.tagtype == 0) {
      EXPECT_TRUE(mpeg_audio == written) << c.why;
      continue;
    }
    std::string tagtype;
    EXPECT_EQ(c.fields, read_fields(written, &tagtype)) << c.why;
    EXPECT_EQ(c.tagtype, tagtype) << c.why;
  }
}

TEST_F(TagServices, RemovingAnApeTagWhoseHeaderIsMissingKeepsTheAudio) {
  std::string footer_only = ape({{false, 0, "Title", "t"}});
  footer_only.erase(0, 32);  // the footer still says a header precedes the items
  EXPECT_TRUE(mpeg_audio == write(mpeg_audio + footer_only, 0, {}));
}

TEST_F(TagServices, ADamagedLeadingTagIsNotWrittenOver) {
  const std::string damaged =
      as_string(text("ID3") + bytes{3, 0, 0} + syncsafe(20) + text("TIT2") + be32(0x4000000) + bytes(12, 0)) + mpeg_audio + id3v1("v1");
  auto model = io_test::make_model_file(damaged);
  vantrel_io::file_ptr file(model.get());
  track_info_impl info;
  info.append_field("title", track_info::until_nul, "new", track_info::until_nul);
  retag_in_place in_place;
  EXPECT_THROW(tag_services::write(file, in_place, 3, info, abort), id3parser::parseError);
  EXPECT_TRUE(damaged == model->bytes);
}

TEST_F(TagServices, AFailedReadDuringTheRewriteLeavesTheFileWhole) {
  const std::string original = leading(frame("TIT2", latin("x"))) + mpeg_audio + id3v1("v1");
  for (std::uint64_t fail_at = 0; fail_at < original.size(); fail_at += 500) {
    auto model = io_test::make_model_file(original);
    model->before_read = [fail_at](std::uint64_t done) {
      if (done >= fail_at) vantrel_io::throw_io();
    };
    vantrel_io::file_ptr file(model.get());
    track_info_impl info;
    info.append_field("title", track_info::until_nul, std::string(100, 't').c_str(), track_info::until_nul);
    retag_in_place in_place;
    try {
      tag_services::write(file, in_place, tag_services::kind_id3v2 | tag_services::kind_id3v1, info, abort);
      model->before_read = nullptr;
      EXPECT_EQ(std::string(100, 't').substr(0, 30), read_fields(model->bytes).substr(6, 30));
    } catch (const vantrel_io::exception_io&) {
      EXPECT_TRUE(original == model->bytes) << fail_at;
    }
  }
}

TEST_F(TagServices, TrailingRewriteKeepsItemsThatAreNotTextFields) {
  const std::string original =
      mpeg_audio + ape({{false, 1, "Cover Art (Front)", std::string("a.jpg\0\xFF\xD8", 8)}, {true, 0, "Tool", "enc"},
                   {false, 0, "Title", "old"}});
  // The read-only item is shown as a field: an edit that keeps it keeps it as it was.
  const std::string written =
      write(original, tag_services::kind_apev2,
            {{"title", "new"}, {"album artist", "AA"}, {"totaltracks", "12"}, {"genre", "a"}, {"Tool", "enc"}});
  auto file = io_test::make_model_file(written);
  const trailing_tags found = find_trailing_tags(*file, true, abort);
  std::string items;
  for (const apev2::item& i : found.apev2_items) items += i.key + "=" + std::to_string(i.value.size()) + ";";
  // The edited item stays in its place; new ones follow.
  EXPECT_EQ("Cover Art (Front)=8;Tool=3;Title=3;Album artist=2;Genre=1;Track=3;", items);
  EXPECT_EQ("Album artist=AA;Genre=a;Title=new;Tool=enc;totaltracks=12;", read_fields(written));
  EXPECT_NE(written.find(std::string("\x03\0\0\0\x01\0\0\0Tool", 12)), std::string::npos);
}

// `tag` with `extra` put before its footer, its header and footer counting
// `added` more items.
std::string before_footer(std::string tag, const std::string& extra, std::uint32_t added) {
  tag.insert(tag.size() - 32, extra);
  for (const std::size_t block : {std::size_t(0), tag.size() - 32}) {
    std::uint32_t size = 0, count = 0;
    std::memcpy(&size, &tag[block + 12], 4);
    std::memcpy(&count, &tag[block + 16], 4);
    size += std::uint32_t(extra.size());
    count += added;
    std::memcpy(&tag[block + 12], &size, 4);
    std::memcpy(&tag[block + 16], &count, 4);
  }
  return tag;
}

TEST_F(TagServices, AnApeEditPutsTheFooterRightBehindTheItems) {
  // Other taggers append their items right before the footer; zeros there
  // would stand between ours and theirs. Earlier builds left such zeros,
  // and other taggers' items behind them.
  const std::string album = as_string(apev2::render_tag({{false, 0, "Album", "WVTAG Album"}}, false)).substr(32);
  const std::string ours = ape({{false, 0, "Title", "old"}, {false, 0, "Artist", "a"}});
  const std::string appended = before_footer(ours, std::string(4, '\0') + album, 1);
  const struct {
    const char* why;
    std::string tail;
    bool album;
  } cases[] = {
      {"a tag the edit shrinks",
       ape({{false, 0, "Title", "old"}, {false, 0, "Artist", "a"}, {false, 0, "Comment", std::string(300, 'c')}}),
       false},
      {"zeros behind the items", before_footer(ours, std::string(1024, '\0'), 0), false},
      {"an item appended behind the zeros", appended, true},
      {"an item appended behind the zeros, an ID3v1 tag behind", appended + id3v1("old"), true},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<const char*, const char*>> fields = {{"title", "new"}, {"artist", "a"}};
    apev2::item_list expected = {{false, 0, "Title", "new"}, {false, 0, "Artist", "a"}};
    if (c.album) {
      fields.push_back({"album", "WVTAG Album"});
      expected.push_back({false, 0, "Album", "WVTAG Album"});
    }
    if (c.album) {
      EXPECT_NE(std::string::npos, read_fields(mpeg_audio + c.tail).find("Album=WVTAG Album;")) << c.why;
    }
    const bool v1 = c.tail.size() >= 128 && c.tail.compare(c.tail.size() - 128, 3, "TAG") == 0;
    const std::string written =
        write(mpeg_audio + c.tail, tag_services::kind_apev2 | (v1 ? tag_services::kind_id3v1 : 0), fields);
    // Each edit shrinks the tag: the file is written anew, the tag laid out
    // for later edits.
    const std::string laid_out = as_string(apev2::render_tag_for_later_edits(expected));
    EXPECT_TRUE(written.compare(0, mpeg_audio.size() + laid_out.size(), mpeg_audio + laid_out) == 0) << c.why;
    EXPECT_EQ(mpeg_audio.size() + laid_out.size() + (v1 ? 128 : 0), written.size()) << c.why;
  }
}

TEST_F(TagServices, AnEditReachesEveryTagAndKeepsWhatTheReadingDidNotShow) {
  // The ID3v2 tag is read; the trailing tags beside it hold more, or other,
  // values: each gets the edited field alone.
  const std::string head = leading(frame("TIT2", latin("old")) + frame("TRCK", latin("3/12")), 200);
  const std::string gain_items = ape({{false, 0, "MP3GAIN_MINMAX", "112,200"},
                                      {false, 0, "REPLAYGAIN_TRACK_GAIN", "-6.095000 dB"},
                                      {false, 0, "Album", "ape album"},
                                      {false, 0, "Track", "3/10"}});
  std::string v1 = id3v1("old", 3, 17);
  v1.replace(63, 8, "v1 album");
  using fields = std::vector<std::pair<const char*, const char*>>;
  struct edit_case {
    const char* why;
    std::string trailing;
    unsigned kinds;
    fields written;  // over the fields read
    const char* ape_items;
    std::string id3v1_block;
  };
  std::string v1_titled = v1;
  v1_titled.replace(3, 3, "new");
  std::string v1_tracked = v1;
  v1_tracked[126] = 4;
  const edit_case cases[] = {
      {"APEv2 items of a gain tool, read or not", gain_items, tag_services::kind_id3v2 | tag_services::kind_apev2,
       {{"title", "new"}},
       "MP3GAIN_MINMAX=112,200;REPLAYGAIN_TRACK_GAIN=-6.095000 dB;Album=ape album;Track=3/10;Title=new;", ""},
      {"a track number keeps the APEv2 tag's own total", gain_items,
       tag_services::kind_id3v2 | tag_services::kind_apev2, {{"tracknumber", "4"}},
       "MP3GAIN_MINMAX=112,200;REPLAYGAIN_TRACK_GAIN=-6.095000 dB;Album=ape album;Track=4/10;", ""},
      {"an album only the ID3v1 block holds", v1, tag_services::kind_id3v2 | tag_services::kind_id3v1,
       {{"title", "new"}}, "", v1_titled},
      {"the ID3v1 track number", v1, tag_services::kind_id3v2 | tag_services::kind_id3v1, {{"tracknumber", "4"}}, "",
       v1_tracked},
  };
  for (const edit_case& c : cases) {
    auto model = io_test::make_model_file(head + mpeg_audio + c.trailing);
    vantrel_io::file_ptr file(model.get());
    track_info_impl info;
    tag_services::read(*file, info, abort);
    const replaygain_info gain = info.get_replaygain();
    for (const auto& [name, value] : c.written)
      info.replace_field_value(info.find_field(name), 0, value, track_info::until_nul);
    committing_memory_rewrite rewrite;
    tag_services::write(file, rewrite, c.kinds, info, abort);
    rewrite.commit(*model);
    const std::string& written = model->bytes;
    auto after = io_test::make_model_file(written);
    const std::string items = apev2_items_text(*after, abort);
    EXPECT_EQ(c.ape_items, items) << c.why;
    if (!c.id3v1_block.empty()) {
      EXPECT_EQ(c.id3v1_block, written.substr(written.size() - 128)) << c.why;
    }
    // The reading shows the edit, and nothing else changed.
    track_info_impl reread;
    tag_services::read(*after, reread, abort);
    EXPECT_EQ(track_fields_text(info), track_fields_text(reread)) << c.why;
    EXPECT_FLOAT_EQ(gain.track_gain, reread.get_replaygain().track_gain) << c.why;
  }
}

TEST_F(TagServices, ARemovalOrEditReachesEveryTagThatHoldsTheField) {
  // The ID3v2 tag lacks the album the trailing tags hold: the reading shows
  // theirs, and a removal or an edit reaches both of them.
  std::string v1 = id3v1("lead", 3, 17);
  v1.replace(63, 8, "v1 album");
  const std::string file = leading(frame("TIT2", latin("lead")), 200) + mpeg_audio +
                           ape({{false, 0, "Album", "ape album"}, {false, 0, "Genre", "Jazz"}}) + v1;
  for (const char* album : {"", "new"}) {
    auto model = io_test::make_model_file(file);
    vantrel_io::file_ptr file_ptr(model.get());
    track_info_impl info;
    tag_services::read(*file_ptr, info, abort);
    if (*album) {
      info.replace_field_value(info.find_field("album"), 0, album, track_info::until_nul);
    } else {
      qiv::bit_array album_field(info.field_count());
      album_field.set(info.find_field("album"), true);
      info.remove_fields(album_field);
    }
    committing_memory_rewrite rewrite;
    tag_services::write(file_ptr, rewrite, 7, info, abort);
    rewrite.commit(*model);
    const std::string& written = model->bytes;
    auto after = io_test::make_model_file(written);
    const std::string items = apev2_items_text(*after, abort);
    std::string block = v1;
    block.replace(63, 30, std::string(album) + std::string(30 - std::strlen(album), '\0'));
    EXPECT_EQ(*album ? "Album=new;Genre=Jazz;" : "Genre=Jazz;", items) << album;
    EXPECT_TRUE(block == written.substr(written.size() - 128)) << album;
    track_info_impl reread;
    tag_services::read(*after, reread, abort);
    const std::uint32_t shown = reread.find_field("album");
    EXPECT_EQ(album, shown == track_info::not_found ? "" : std::string(reread.field_value(shown, 0))) << album;
    EXPECT_EQ(info.field_count(), reread.field_count()) << album;
  }
}

TEST_F(TagServices, BlocksNoReaderShowsStayWhereTheyStand) {
  const unsigned both = tag_services::kind_apev2 | tag_services::kind_id3v1;
  const std::string lyrics = lyrics3v2();
  const struct {
    const char* why;
    std::string tail;
    unsigned kinds;
    std::string left;  // after a title edit
  } cases[] = {
      {"an APEv2 tag before a Lyrics3v2 block is edited where it stands",
       ape({{false, 0, "Title", "old"}}) + lyrics + id3v1("old"), both,
       ape({{false, 0, "Title", "new"}}) + lyrics + id3v1("new")},
      {"the lyrics go with the ID3v1 block they stand before", ape({{false, 0, "Title", "old"}}) + lyrics + id3v1("old"),
       tag_services::kind_apev2, as_string(apev2::render_tag_for_later_edits({{false, 0, "Title", "new"}}))},
      {"an older ID3v1 block stays", id3v1("older") + id3v1("old"), tag_services::kind_id3v1,
       id3v1("older") + id3v1("new")},
      {"a new APEv2 tag goes before the block readers look at", id3v1("older") + id3v1("old"), both,
       id3v1("older") + ape({{false, 0, "Title", "new"}}) + id3v1("new")},
      {"an ID3v1 block before the APEv2 tag stays hidden", id3v1("hidden") + ape({{false, 0, "Title", "old"}}), both,
       id3v1("hidden") + ape({{false, 0, "Title", "new"}}) + id3v1("new")},
  };
  for (const auto& c : cases) {
    const std::string written = write(mpeg_audio + c.tail, c.kinds, {{"title", "new"}});
    EXPECT_EQ(mpeg_audio + c.left, written) << c.why;
  }
}

TEST_F(TagServices, AnApeTagWithAMalformedItemIsNotReplaced) {
  const std::string cover = std::string("a.jpg\0\xFF\xD8", 8);
  const std::string tag = ape({{false, 0, "Title", "old"}, {false, 0, "Artist", "a"}, {false, 1, "Cover Art (Front)", cover}});
  // The Artist item starts after the header and the Title item.
  const std::size_t artist = 32 + 8 + 6 + 3;
  struct damage_case {
    const char* why;
    std::size_t offset;
    std::uint32_t value;
  };
  const damage_case cases[] = {
      {"a value size past the tag's end", artist, 5000},
      {"a value size beyond any item's", artist, 20u << 20},
  };
  for (const damage_case& c : cases) {
    std::string damaged = mpeg_audio + tag + id3v1("v1");
    std::memcpy(&damaged[mpeg_audio.size() + c.offset], &c.value, 4);
    // Reading still shows the items before the damage.
    EXPECT_EQ("Title=old;", read_fields(damaged)) << c.why;
    auto model = io_test::make_model_file(damaged);
    vantrel_io::file_ptr file(model.get());
    track_info_impl info;
    info.append_field("title", track_info::until_nul, "new", track_info::until_nul);
    retag_in_place in_place;
    EXPECT_THROW(tag_services::write(file, in_place, tag_services::kind_apev2 | tag_services::kind_id3v1, info, abort),
                 vantrel_io::exception_io_data)
        << c.why;
    EXPECT_TRUE(damaged == model->bytes) << c.why;
  }
}

TEST_F(TagServices, AnEditThatLeavesNoFieldRemovesATagOnlyWhenNothingIsLeftInIt) {
  // The road of a format that removes its tags once no field is left.
  const std::string cover = std::string("a.jpg\0\xFF\xD8", 8);
  const unsigned kinds = tag_services::kind_apev2 | tag_services::kind_id3v1 | tag_services::emptied_tags_removed;
  std::string v1_album = id3v1("old");
  v1_album.replace(63, 6, "hidden");
  const struct {
    const char* why;
    std::string tail;
    std::vector<std::pair<const char*, const char*>> fields;  // what the edit leaves
    std::string left;  // the trailing tags after the edit
  } cases[] = {
      {"fields alone", ape({{false, 0, "Title", "old"}}) + id3v1("old"), {}, ""},
      {"a picture", ape({{false, 0, "Title", "old"}, {false, 1, "Cover Art (Front)", cover}}), {},
       as_string(apev2::render_tag_for_later_edits({{false, 1, "Cover Art (Front)", cover}}))},
      {"an ID3v1 album the edit keeps", ape({{false, 0, "Title", "old"}}) + v1_album, {{"album", "hidden"}},
       as_string(apev2::render_tag_for_later_edits({})) + v1_album.substr(0, 3) + std::string(30, '\0') +
           v1_album.substr(33)},
      {"an ID3v1 album removed with the title", ape({{false, 0, "Title", "old"}}) + v1_album, {}, ""},
  };
  for (const auto& c : cases) {
    const std::string written = write(mpeg_audio + c.tail, kinds, c.fields);
    EXPECT_TRUE(written == mpeg_audio + c.left) << c.why;
  }
  // An item the reading cannot take refuses the removal, as any edit.
  std::string unreadable =
      mpeg_audio + ape({{false, 0, "Title", "old"}, {false, 0, "Artist", "a"}, {false, 1, "Cover", cover}});
  const std::uint32_t past_the_end = 5000;
  std::memcpy(&unreadable[mpeg_audio.size() + 32 + 8 + 6 + 3], &past_the_end, 4);
  auto model = io_test::make_model_file(unreadable);
  vantrel_io::file_ptr file(model.get());
  committing_memory_rewrite rewrite;
  EXPECT_THROW(tag_services::write(file, rewrite, kinds, track_info_impl(), abort), vantrel_io::exception_io_data);
  EXPECT_TRUE(unreadable == model->bytes && !rewrite.made);
}

TEST_F(TagServices, AWriteThatGrowsTheFileOnAFullDiskChangesNothing) {
  const std::string original = mpeg_audio + id3v1("v1");
  auto model = io_test::make_model_file(original);
  model->capacity = original.size() + 16;
  vantrel_io::file_ptr file(model.get());
  track_info_impl info;
  info.append_field("title", track_info::until_nul, std::string(100, 't').c_str(), track_info::until_nul);
  retag_in_place in_place;
  EXPECT_THROW(tag_services::write(file, in_place, tag_services::kind_apev2 | tag_services::kind_id3v1, info, abort),
               vantrel_io::exception_io_device_full);
  EXPECT_TRUE(original == model->bytes);
}

TEST_F(TagServices, Id3v1HoldsOnlyWhatFitsIt) {
  service_ptr<tag_service> trailing = service_lookup_unique_t<tag_service>();
  struct fit_case {
    const char* name;
    std::string value;
    bool fits;
  };
  const fit_case cases[] = {
      {"tracknumber", "7", true},   {"tracknumber", "007", false}, {"tracknumber", "128", false},
      {"genre", "rock", true},      {"genre", "Nope", false},      {"title", "caf\xC3\xA9", false},
      {"title", std::string(30, 'x'), true}, {"comment", std::string(29, 'x'), false},
      {"composer", "x", false},
  };
  for (const fit_case& c : cases) {
    track_info_impl info;
    info.append_field(c.name, track_info::until_nul, c.value.c_str(), c.value.size());
    EXPECT_EQ(c.fits, trailing->can_hold_info(info)) << c.name << "=" << c.value;
  }
  const std::string written = write(mpeg_audio, tag_services::kind_id3v1, {{"tracknumber", "128"}, {"genre", "rock"}});
  EXPECT_EQ(0, written[written.size() - 2]);
  EXPECT_EQ(17, written[written.size() - 1]);
}

TEST_F(TagServices, RewritingThroughATemporaryFileReplacesTheFileWhole) {
  io_test::scratch_folder folder;
  const std::string original = leading(frame("TIT2", latin("x"))) + mpeg_audio;
  io_test::write_file(folder.path("a.mp3"), original);
  const std::string path = folder.file_url("a.mp3");
  vantrel_io::file_ptr file;
  vantrel_io::open(file, path.c_str(), vantrel_io::open_mode::write_existing, abort);
  track_info_impl info;
  info.append_field("title", track_info::until_nul, "a longer title than before", track_info::until_nul);
  {
    // Abandoned before the commit: the file stays as it was, nothing is left beside it.
    retag_through_temp_file rewrite(path.c_str());
    tag_services::write(file, rewrite, tag_services::kind_id3v2, info, abort);
  }
  file.reset();
  EXPECT_TRUE(original == io_test::read_file(folder.path("a.mp3")));
  vantrel_io::open(file, path.c_str(), vantrel_io::open_mode::write_existing, abort);
  {
    retag_through_temp_file rewrite(path.c_str());
    tag_services::write(file, rewrite, tag_services::kind_id3v2, info, abort);
    rewrite.commit(file, abort);
  }
  file.reset();
  const std::string written = io_test::read_file(folder.path("a.mp3"));
  EXPECT_EQ("title=a longer title than before;", read_fields(written));
  EXPECT_TRUE(mpeg_audio == written.substr(written.size() - mpeg_audio.size()));
  EXPECT_EQ(written.size() - mpeg_audio.size(), 10 + 10 + 1 + 2 + 2 * 26 + 2 + 2048u);
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

TEST_F(TagServices, AKillCanOnlyFallBetweenWholeStates) {
  // In place only what changes in one write, or at both ends an ID3v1 block
  // whose change the leading tag standing between the writes hides; any
  // other change at both ends, or a trailing run that shrinks, goes whole
  // into the one temporary file.
  const std::string padded = leading(frame("TIT2", latin("old")), 200);
  const std::string long_ape = ape({{false, 0, "Title", "old"}, {false, 0, "Comment", std::string(300, 'c')}});
  const unsigned id3 = tag_services::kind_id3v2 | tag_services::kind_id3v1;
  using fields = std::vector<std::pair<const char*, const char*>>;
  enum road { through_temp, one_write, trailing_first, leading_first };
  struct road_case {
    const char* why;
    std::string original;
    unsigned kinds;
    fields written;
    road expected;
  };
  const road_case cases[] = {
      {"trailing tags that grow", mpeg_audio + id3v1("old"), tag_services::kind_apev2 | tag_services::kind_id3v1,
       {{"title", "new"}}, one_write},
      {"a leading tag that fits its room", padded + mpeg_audio, tag_services::kind_id3v2, {{"title", "new"}}, one_write},
      {"an ID3v1 title behind the old tag's title", padded + mpeg_audio + id3v1("old"), id3, {{"title", "new"}},
       trailing_first},
      {"an ID3v1 genre only the new tag holds", padded + mpeg_audio + id3v1("old"), id3,
       {{"genre", "Rock"}, {"title", "old"}}, leading_first},
      {"an ID3v1 comment, shown beside either tag", padded + mpeg_audio + id3v1("old"), id3,
       {{"comment", "c"}, {"title", "new"}}, through_temp},
      {"an APEv2 tag at the end", padded + mpeg_audio + ape({{false, 0, "Title", "old"}}), tag_services::kind_id3v2 | 4,
       {{"title", "new"}}, through_temp},
      {"trailing tags that shrink", mpeg_audio + long_ape, tag_services::kind_apev2, {{"title", "new"}}, through_temp},
  };
  for (const road_case& c : cases) {
    auto model = io_test::make_model_file(c.original);
    std::vector<std::uint64_t> offsets;
    std::vector<std::string> states;
    model->before_write = [&](std::uint32_t) {
      offsets.push_back(model->position);
      states.push_back(model->bytes);
    };
    vantrel_io::file_ptr file(model.get());
    track_info_impl info;
    for (const auto& [name, value] : c.written) info.append_field(name, track_info::until_nul, value, track_info::until_nul);
    io_test::model_temp_source temp;
    tag_services::write(file, temp, c.kinds, info, abort);
    ASSERT_EQ(c.expected == through_temp, static_cast<bool>(temp.made)) << c.why;
    const std::string& result = c.expected == through_temp ? temp.made->bytes : model->bytes;
    const std::string new_fields = lower(read_fields(result));
    EXPECT_EQ(lower(track_fields_text(info)), new_fields) << c.why;
    EXPECT_NE(std::string::npos, result.find(mpeg_audio)) << c.why;
    if (c.expected == through_temp) {
      EXPECT_TRUE(offsets.empty() && c.original == model->bytes) << c.why;
      continue;
    }
    ASSERT_EQ(c.expected == one_write ? 1u : 2u, offsets.size()) << c.why;
    if (c.expected == one_write) continue;
    EXPECT_EQ(c.expected == leading_first, offsets[0] < mpeg_audio.size()) << c.why;
    // Between the writes the file reads as it was or as it is meant to be.
    const std::string between = lower(read_fields(states[1]));
    EXPECT_TRUE(between == lower(read_fields(c.original)) || between == new_fields) << c.why;
  }
}

TEST_F(TagServices, AnApeTagWrittenWithTheFileTakesLaterTextEditsAtItsEnd) {
  // A picture within the window the search for trailing tags reads first,
  // and one past it.
  for (const std::size_t picture_size : {20000, 100000}) {
    SCOPED_TRACE(picture_size);
    check_later_text_edits_at_the_tag_end(picture_size);
  }
}

void TagServices::check_later_text_edits_at_the_tag_end(std::size_t picture_size) {
  // As mutagen lays a tag out: header, the picture behind the text.
  const std::string cover = "a.png" + std::string(1, '\0') + std::string(picture_size, 'p');
  std::string file = mpeg_audio + ape({{false, 0, "Title", "old"}, {false, 1, "Cover Art (Front)", cover},
                                   {false, 0, "Artist", "a"}});
  enum road { through_temp, one_write };
  const struct {
    const char* title;
    road expected;
  } edits[] = {
      {"first edit", through_temp},  // the picture moves
      {"a much longer second title", one_write},
      {"the same size second title", one_write},
      {"shorter", through_temp},
  };
  for (const auto& e : edits) {
    auto model = io_test::make_model_file(file);
    int writes = 0;
    model->before_write = [&](std::uint32_t) { ++writes; };
    vantrel_io::file_ptr held(model.get());
    track_info_impl info;
    info.append_field("title", track_info::until_nul, e.title, track_info::until_nul);
    info.append_field("artist", track_info::until_nul, "a", track_info::until_nul);
    io_test::model_temp_source temp;
    tag_services::write(held, temp, tag_services::kind_apev2, info, abort);
    ASSERT_EQ(e.expected == through_temp, static_cast<bool>(temp.made)) << e.title;
    if (e.expected == one_write) {
      EXPECT_EQ(1, writes) << e.title;
    }
    file = temp.made ? temp.made->bytes : model->bytes;
    EXPECT_EQ(std::string("artist=a;title=") + e.title + ";", lower(read_fields(file))) << e.title;
    // The picture first, the text items last, the footer and no header.
    const std::string tag = file.substr(mpeg_audio.size());
    EXPECT_EQ(as_string(apev2::render_tag_for_later_edits(
                  {{false, 1, "Cover Art (Front)", cover}, {false, 0, "Title", e.title}, {false, 0, "Artist", "a"}})),
              tag)
        << e.title;
  }
}

TEST_F(TagServices, AnMp3sApeTagKeepsItsHeaderAndTakesWhatEditsItCanInOneWrite) {
  // MP3 readers skip an APEv2 tag only from its header, so every tag gets
  // one, a footer-only tag of an earlier build too. A change of size moves
  // the footer and rewrites the header's size: one write only where both
  // share a page, else the file is written anew, the picture first.
  const unsigned kinds = tag_services::kind_apev2 | tag_services::kind_id3v1 | tag_services::apev2_header_always;
  const apev2::item cover = {false, 1, "Cover Art (Front)", "a.png" + std::string(1, '\0') + std::string(100000, 'p')};
  const auto titled = [](const char* title) { return apev2::item{false, 0, "Title", title}; };
  const apev2::item artist = {false, 0, "Artist", "a"};
  enum road { through_temp, one_write };
  const struct {
    const char* why;
    std::string original;
    std::vector<std::pair<const char*, road>> edits;
    bool with_cover;
  } cases[] = {
      {"a footer-only tag",
       mpeg_audio + as_string(apev2::render_tag_for_later_edits({titled("old"), artist})) + id3v1("old"),
       {{"first edit", one_write}, {"same size!", one_write}, {"a longer title", one_write}, {"short", through_temp}},
       false},
      {"mutagen's tag, the picture behind the text", mpeg_audio + ape({titled("old"), artist, cover}) + id3v1("old"),
       {{"first edit", through_temp}, {"same size!", one_write}, {"a longer title", through_temp},
        {"short", through_temp}},
       true},
  };
  for (const auto& c : cases) {
    std::string file = c.original;
    for (const auto& [title, expected] : c.edits) {
      SCOPED_TRACE(std::string(c.why) + ", " + title);
      auto model = io_test::make_model_file(file);
      int writes = 0;
      model->before_write = [&](std::uint32_t) { ++writes; };
      vantrel_io::file_ptr held(model.get());
      track_info_impl info;
      info.append_field("title", track_info::until_nul, title, track_info::until_nul);
      info.append_field("artist", track_info::until_nul, "a", track_info::until_nul);
      io_test::model_temp_source temp;
      tag_services::write(held, temp, kinds, info, abort);
      ASSERT_EQ(expected == through_temp, static_cast<bool>(temp.made));
      if (expected == one_write) {
        EXPECT_EQ(1, writes);
      }
      file = temp.made ? temp.made->bytes : model->bytes;
      const apev2::item_list items =
          c.with_cover ? apev2::item_list{cover, titled(title), artist} : apev2::item_list{titled(title), artist};
      EXPECT_TRUE(mpeg_audio + ape(items) + id3v1(title) == file);
    }
  }
}

TEST_F(TagServices, BothEndsInPlaceAreUndoneWhenTheSecondWriteFails) {
  const std::string original = leading(frame("TIT2", latin("old")), 200) + mpeg_audio + id3v1("old");
  for (const char* genre : {"", "Rock"}) {  // the trailing block first, then the leading tag first
    auto model = io_test::make_model_file(original);
    int writes = 0;
    model->before_write = [&](std::uint32_t) {
      if (++writes == 2) vantrel_io::throw_io();
    };
    vantrel_io::file_ptr file(model.get());
    track_info_impl info;
    info.append_field("title", track_info::until_nul, *genre ? "old" : "new", track_info::until_nul);
    if (*genre) info.append_field("genre", track_info::until_nul, genre, track_info::until_nul);
    retag_in_place in_place;
    EXPECT_THROW(tag_services::write(file, in_place, tag_services::kind_id3v2 | tag_services::kind_id3v1, info, abort),
                 vantrel_io::exception_io);
    EXPECT_TRUE(original == model->bytes) << genre;
  }
}

TEST_F(TagServices, AGrowingTrailingWriteThatFailsHalfwayIsUndone) {
  const std::string original = mpeg_audio + ape({{false, 0, "Title", "old"}}) + id3v1("old");
  auto model = io_test::make_model_file(original);
  model->fail_write_after = 40;
  vantrel_io::file_ptr file(model.get());
  track_info_impl info;
  info.append_field("title", track_info::until_nul, std::string(200, 't').c_str(), track_info::until_nul);
  retag_in_place in_place;
  EXPECT_THROW(tag_services::write(file, in_place, tag_services::kind_apev2 | tag_services::kind_id3v1, info, abort),
               vantrel_io::exception_io_device_full);
  EXPECT_TRUE(original == model->bytes);
}

TEST_F(TagServices, AnApeSizeReachingOverTheAudioIsDamageNeverWrittenOver) {
  std::string footer = "APETAGEX";
  const std::uint32_t fields[4] = {2000, 2500, 0, 0x80000000u};
  footer.append(reinterpret_cast<const char*>(fields), 16);
  footer.append(8, '\0');
  std::string large_footer = footer;
  const std::uint32_t large_size = 90000;
  std::memcpy(large_footer.data() + 12, &large_size, 4);
  struct damage_case {
    const char* why;
    std::string damaged;
    std::uint64_t audio_start;
  };
  const std::string honest_tag = ape({{false, 0, "Title", "old"}});
  const damage_case cases[] = {
      {"a count of 0 with a size beyond its items", mpeg_audio + footer, 0},
      {"the same behind an ID3v1 tag", mpeg_audio + footer + id3v1("v1"), 0},
      {"a tag starting before the first frame ends", mpeg_audio + honest_tag, mpeg_audio.size() + 1},
      {"a size beyond its items past the window read first", mpeg_audio + std::string(100000, 'a') + large_footer, 0},
  };
  for (const damage_case& c : cases) {
    auto model = io_test::make_model_file(c.damaged);
    vantrel_io::file_ptr file(model.get());
    track_info_impl info;
    info.append_field("title", track_info::until_nul, "new", track_info::until_nul);
    io_test::model_temp_source temp;
    EXPECT_THROW(tag_services::write(file, temp, tag_services::kind_apev2 | tag_services::kind_id3v1, info, abort,
                                     c.audio_start),
                 vantrel_io::exception_io_data)
        << c.why;
    EXPECT_TRUE(c.damaged == model->bytes) << c.why;
    EXPECT_FALSE(temp.made) << c.why;
  }
  // Playback takes the audio to the damaged footer's end, not before it.
  auto file = io_test::make_model_file(mpeg_audio + footer);
  EXPECT_EQ(mpeg_audio.size() + footer.size(), find_trailing_tags(*file, false, abort).start);
}

}  // namespace

namespace {

// What a writer that keeps the leading tags from its read gets: the fields
// read, and the file after writing `title` with the kinds.
struct kept_read_and_write {
  std::string fields, tagtype, written;
  bool kept = false;
  std::vector<io_test::read_call> reads_while_writing;
};

kept_read_and_write read_then_write(const std::string& content, unsigned kinds, bool keep) {
  raisable_abort_signal abort;
  auto model = io_test::make_model_file(content);
  vantrel_io::file_ptr file(model.get());
  kept_read_and_write out;
  track_info_impl info;
  std::optional<id3v2_leading_tags> leading;
  try {
    tag_services::read(*file, info, abort, keep ? &leading : nullptr);
  } catch (const exception_tag_not_found&) {
  }
  out.fields = track_fields_text(info);
  out.tagtype = info.tech_value_by_name("tagtype").value_or("");
  out.kept = leading.has_value();
  info.set_field("title", track_info::until_nul, "written", track_info::until_nul);
  model->reads.clear();
  retag_in_place in_place;
  try {
    tag_services::write(file, in_place, kinds, info, abort, 0, leading ? &*leading : nullptr);
  } catch (const std::exception& error) {
    out.written = std::string("refused: ") + error.what();
  }
  out.reads_while_writing = model->reads;
  if (out.written.empty()) out.written = model->bytes;
  return out;
}

}  // namespace

TEST_F(TagServices, AWriterThatKeepsItsReadOfTheLeadingTagsReadsAndWritesAsOneThatReadsTwice) {
  const bytes picture = bytes{0} + text("image/jpeg") + bytes{0, 3, 0} + bytes{0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0, 0xFF};
  const bytes fields = frame("TIT2", latin("old")) + frame("TPE1", latin("artist"));
  const bytes fields4 = frame("TIT2", latin("old"), true) + frame("TPE1", latin("artist"), true);
  const std::string trailing = ape({{false, 0, "replaygain_track_gain", "-3.00 dB"}}) + id3v1("v1");
  struct keep_case {
    const char* why;
    std::string content;
    unsigned kinds;
  };
  const keep_case cases[] = {
      {"version 2.3 with a picture, rewritten in its room", leading(fields + frame("APIC", picture), 512) + mpeg_audio, 2},
      {"version 2.4 whose picture is written unsynchronised",
       leading(fields4 + frame("APIC", picture, true), 512, 4) + mpeg_audio, 2},
      {"an unsynchronised version 2.3 tag", as_string(tag(3, frame("TIT2", latin("old")) + bytes(64, 0), 0x80)) + mpeg_audio, 2},
      {"two tags one after the other", leading(fields, 64) + leading(frame("TALB", latin("second"))) + mpeg_audio, 2},
      {"APEv2 and ID3v1 behind the tag", leading(fields, 256) + mpeg_audio + trailing, 7},
      {"a tag too small for the new fields", leading(fields) + mpeg_audio + id3v1("v1"), 3},
      {"no leading tag yet", mpeg_audio + id3v1("v1"), 3},
      {"a picture larger than one read of the file's head",
       leading(fields + frame("APIC", picture + bytes(70000, 0x42)), 512) + mpeg_audio, 2},
      {"a picture that cannot be read keeps the fields and refuses the write",
       leading(fields4 + frame("APIC", picture, true, 0, 0x02), 0, 4) + mpeg_audio, 2},
  };
  for (const keep_case& c : cases) {
    const kept_read_and_write twice = read_then_write(c.content, c.kinds, false);
    const kept_read_and_write once = read_then_write(c.content, c.kinds, true);
    EXPECT_EQ(twice.fields, once.fields) << c.why;
    EXPECT_EQ(twice.tagtype, once.tagtype) << c.why;
    EXPECT_TRUE(twice.written == once.written) << c.why;
    EXPECT_EQ(&c != &cases[8], once.kept) << c.why;
    // Rewritten in place, the file's head is not read again.
    if (!once.kept || once.written.size() != c.content.size()) continue;
    for (const io_test::read_call& read : once.reads_while_writing)
      EXPECT_GT(read.position, 0u) << c.why << ": the leading tags were read again";
  }
  EXPECT_EQ(0u, read_then_write(cases[8].content, 2, true).written.find("refused"));
}
