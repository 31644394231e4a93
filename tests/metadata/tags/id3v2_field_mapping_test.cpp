#include "metadata/tags/id3v2_field_mapping.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/work_steps.h"
#include "id3v2_test_bytes.h"
#include "metadata/tags/id3v2_reader.h"
#include "metadata/tags/id3v2_text_encoding.h"

using namespace id3v2_test;
using id3parser::frame_id;

namespace {

id3parser::frame make(const char (&id)[5], const bytes& payload) {
  id3parser::frame f;
  f.id = frame_id(id);
  f.data = payload;
  return f;
}

// "name=v1,v2;name2=v" in map order, for compact expectations.
std::string describe(const tag_field_map& fields) {
  std::string out;
  for (const auto& [name, values] : fields.all()) {
    out += name + "=";
    for (std::size_t i = 0; i < values.size(); ++i) out += (i ? "," : "") + values[i];
    out += ";";
  }
  return out;
}

std::string fields_of(unsigned version, std::vector<id3parser::frame> frames) {
  id3parser::tag t;
  t.version = version;
  t.frames = std::move(frames);
  tag_field_map fields;
  id3v2_fields_from_frames(t, fields);
  return describe(fields);
}

TEST(Id3v2FieldMapping, FramesToFields) {
  const bytes nul{0};
  struct mapping_case {
    const char* why;
    unsigned version;
    std::vector<id3parser::frame> frames;
    const char* fields;
  };
  const mapping_case cases[] = {
      {"2.3 people lists split at ' / '", 3, {make("TPE1", latin("A / B / C"))}, "artist=A,B,C;"},
      {"2.4 keeps one string whole", 4, {make("TPE1", latin("A / B"))}, "artist=A / B;"},
      {"2.4 strings are values", 4, {make("TPE1", latin("A") + nul + text("B"))}, "artist=A,B;"},
      {"number and total", 3, {make("TRCK", latin("3/12"))}, "totaltracks=12;tracknumber=3;"},
      {"total alone", 3, {make("TPOS", latin("/2"))}, "totaldiscs=2;"},
      {"genre references", 3,
       {make("TCON", latin("(17)")), make("TCON", latin("17")), make("TCON", latin("200")),
        make("TCON", latin("(200)")), make("TCON", latin("(RX)")), make("TCON", latin("((Foo)"))},
       "genre=Rock,Rock,200,200,Remix,(Foo);"},
      {"2.3 genres split at ';'", 3, {make("TCON", latin("Rock ; Pop"))}, "genre=Rock,Pop;"},
      {"iTunes comments are not fields", 3,
       {make("COMM", latin("eng") + text("iTunNORM") + nul + text("x")),
        make("COMM", latin("eng") + text("foo") + nul + text("y")), make("COMM", latin("eng") + nul + text("z"))},
       "comment=z;comment foo=y;"},
      {"ReplayGain text needs a digit", 3,
       {make("TXXX", latin("REPLAYGAIN_TRACK_GAIN") + nul + text("-6.2 dB")),
        make("TXXX", latin("replaygain_album_gain") + nul + text("none"))},
       "REPLAYGAIN_TRACK_GAIN=-6.2 dB;"},
      {"a trailing index is dropped from TXXX names", 3, {make("TXXX", latin("mood[2]") + nul + text("calm"))},
       "mood=calm;"},
      {"POPM stars", 3, {make("POPM", text("a") + bytes{0, 128, 0, 0, 0, 1})}, "rating=3;"},
      {"POPM 0 is no rating", 3, {make("POPM", text("a") + bytes{0, 0})}, ""},
      {"POPM without its zero is dropped alone", 3, {make("POPM", text("abc")), make("TIT2", latin("T"))},
       "title=T;"},
      {"compilation means Various Artists", 3, {make("TCMP", latin("1"))},
       "album artist=Various Artists;itunescompilation=1;"},
      {"a compilation flag of 0 does not", 3, {make("TCMP", latin("0"))}, "itunescompilation=0;"},
      {"year and day-month in either order", 3, {make("TDAT", latin("0502")), make("TYER", latin("1999"))},
       "date=1999-02-05;"},
      {"day 00 gives year and month", 3, {make("TYER", latin("1999")), make("TDAT", latin("0002"))},
       "date=1999-02;"},
      {"a whole date in TYER is not a year", 3, {make("TYER", latin("2001-05-03"))}, ""},
      {"UTF-16 with a mark", 3, {make("TIT2", bytes{1, 0xFF, 0xFE, 'A', 0, 0xE9, 0})}, "title=A\xC3\xA9;"},
      {"UTF-16 big-endian mark", 3, {make("TIT2", bytes{1, 0xFE, 0xFF, 0, 'A', 0, 0})}, "title=A;"},
      {"UTF-8 in 2.4", 4, {make("TIT2", bytes{3} + text("\xC3\xA9"))}, "title=\xC3\xA9;"},
      {"empty strings separate like one", 4, {make("TPE1", latin("A") + nul + nul + text("B"))}, "artist=A,B;"},
      {"a 2.4 user-defined frame holds a list", 4,
       {make("TXXX", bytes{1, 0xFF, 0xFE, 'x', 0, 0, 0, 0xFF, 0xFE, 'a', 0, 0, 0, 0xFF, 0xFE, 'b', 0})}, "x=a,b;"},
  };
  for (const mapping_case& c : cases) EXPECT_EQ(c.fields, fields_of(c.version, c.frames)) << c.why;
}

TEST(Id3v2FieldMapping, StrictModeRefusesWhatTheVersionForbids) {
  const bytes nul{0};
  struct strict_case {
    const char* why;
    unsigned version;
    id3parser::frame f;
  };
  const strict_case cases[] = {
      {"TYER in 2.4", 4, make("TYER", latin("1999"))},
      {"TDRC in 2.3", 3, make("TDRC", latin("1999"))},
      {"two strings in a 2.3 text frame", 3, make("TPE1", latin("A") + nul + text("B"))},
      {"UTF-16 without a mark", 3, make("TIT2", bytes{1, 'A', 0})},
      {"a whole date in TYER", 3, make("TYER", latin("2001-05-03"))},
  };
  for (const strict_case& c : cases) {
    tag_field_map fields;
    EXPECT_THROW(id3v2_map_frame(c.f, c.version, true, fields), id3parser::parseError) << c.why;
    EXPECT_NO_THROW(id3v2_map_frame(c.f, c.version, false, fields)) << c.why;
  }
  // Any bytes are ISO-8859-1 text as other taggers write it: such a frame
  // breaks no rule, so an edit of another field keeps it as it stands.
  tag_field_map fields;
  EXPECT_NO_THROW(id3v2_map_frame(make("TIT2", bytes{0, 0xE9}), 3, true, fields));
}

// "ID/encoding:string|string" for text frames (with "/language" for
// comments), raw printable bytes for the rest.
std::string payload_text(const id3parser::frame& f) {
  std::string id;
  for (int shift = 24; shift >= 0; shift -= 8) id += char(f.id >> shift);
  const bool comment = id == "COMM" || id == "USLT";
  if (id[0] == 'T' || comment || id == "WXXX") {
    std::string out = id + "/" + std::to_string(f.data[0]);
    if (comment) out += "/" + std::string(f.data.begin() + 1, f.data.begin() + 4);
    out += ":";
    if (id == "WXXX") return out + id3v2_text_value(f, 0, false) + "|" + id3v2_wxxx_url(f);
    for (std::uint32_t i = 0; i < id3v2_text_value_count(f); ++i)
      out += (i ? "|" : "") + id3v2_text_value(f, i, false);
    return out;
  }
  std::string out = id + ":";
  for (std::uint8_t b : f.data) out += b >= 32 && b < 127 ? char(b) : b == 0 ? '|' : '?';
  return out;
}

std::string frames_for(unsigned version, std::vector<std::pair<std::string, std::vector<std::string>>> fields,
                       std::vector<id3parser::frame> old_frames = {}) {
  id3parser::tag t;
  t.version = version;
  t.frames = std::move(old_frames);
  tag_field_map map;
  for (auto& [name, values] : fields) map.at(name) = values;
  id3v2_write_options options;
  options.date_as_is = false;
  id3v2_frames_from_fields(options, t, map);
  std::string out;
  for (const auto& f : t.frames) out += payload_text(f) + " ";
  return out;
}

TEST(Id3v2FieldMapping, FieldsToFrames) {
  struct write_case {
    const char* why;
    unsigned version;
    std::vector<std::pair<std::string, std::vector<std::string>>> fields;
    const char* frames;
  };
  const write_case cases[] = {
      {"number and total", 3, {{"tracknumber", {"3"}}, {"totaltracks", {"12"}}}, "TRCK/0:3/12 "},
      {"a number with its own total wins", 3, {{"tracknumber", {"3/12"}}, {"totaltracks", {"14"}}}, "TRCK/0:3/12 "},
      {"a total alone becomes TXXX", 3, {{"totaltracks", {"12"}}}, "TXXX/1:totaltracks|12 "},
      {"two albums in 2.3 are two TXXX", 3, {{"album", {"a", "b"}}}, "TXXX/1:album|a TXXX/1:album|b "},
      {"two albums in 2.4 are one TXXX", 4, {{"album", {"a", "b"}}}, "TXXX/3:album|a|b "},
      {"2.3 genres join with ';', parentheses doubled", 3, {{"genre", {"Rock", "(Live)"}}}, "TCON/1:Rock;((Live) "},
      {"2.3 people join with ' / '", 3, {{"artist", {"A", "B"}}}, "TPE1/1:A / B "},
      {"2.3 date splits into year and day-month", 3, {{"date", {"2001-05-03"}}}, "TYER/0:2001 TDAT/0:0305 "},
      {"2.4 timestamp", 4, {{"date", {"2001-05-03T10:00"}}}, "TDRC/0:2001-05-03T10:00 "},
      {"a date in no known form", 4, {{"date", {"May 2001"}}}, "TXXX/3:date|May 2001 "},
      {"four stars", 3, {{"rating", {"4"}}}, "POPM:Windows Media Player 9 Series|?|||| "},
      {"seven stars are no rating", 3, {{"rating", {"7"}}}, "TXXX/1:rating|7 "},
      {"iTunNORM comments stay ISO-8859-1", 3, {{"comment itunnorm", {" 0000021A 000001F0"}}},
       "COMM/0/eng:iTunNORM| 0000021A 000001F0 "},
      {"ReplayGain as TXXX in ISO-8859-1", 4, {{"replaygain_track_gain", {"-1.00 dB"}}},
       "TXXX/0:replaygain_track_gain|-1.00 dB "},
      {"a number with other characters keeps them", 4, {{"tracknumber", {"\xC2\xB9"}}}, "TRCK/3:\xC2\xB9 "},
      {"URLs", 3, {{"www shop", {"http://x"}}, {"file webpage url", {"http://y"}}},
       "WOAF:http://y WXXX/1:shop|http://x "},
  };
  for (const write_case& c : cases) EXPECT_EQ(c.frames, frames_for(c.version, c.fields)) << c.why;
}

TEST(Id3v2FieldMapping, UnchangedOldFramesAreKeptByteForByte) {
  const bytes nul{0};
  const id3parser::frame picture = make("APIC", latin("image/png") + bytes{0, 3, 0, 0x89});
  const id3parser::frame priv = make("PRIV", text("owner") + nul + text("data"));
  const id3parser::frame title = make("TIT2", latin("Old"));
  const id3parser::frame gain = make("TXXX", latin("replaygain_track_gain") + nul + text("-1.00 dB"));
  const std::string written = frames_for(3, {{"title", {"New"}}, {"replaygain_track_gain", {"-1.00 dB"}}},
                                         {picture, priv, title, gain});
  // Each frame where the one it replaces stood.
  EXPECT_EQ(payload_text(picture) + " " + payload_text(priv) + " TIT2/1:New " + payload_text(gain) + " ", written);
  // A title that did not change keeps its old frame, encoding and all.
  EXPECT_EQ(payload_text(title) + " ", frames_for(3, {{"title", {"Old"}}}, {title}));
}

TEST(Id3v2FieldMapping, VersionTwoPointTwoCommentsAndPicturesSurviveTheUpgrade) {
  const bytes nul{0};
  id3parser::frame comment = make("COMM", bytes{3} + text("deu") + nul + text("hi"));
  const id3parser::frame picture = make("APIC", latin("image/png") + bytes{0, 3, 0, 0x89});
  // The old comment is UTF-8, which 2.3 lacks: it becomes UTF-16 (each string
  // with its own mark) and keeps its language.
  const std::string written = frames_for(2, {{"comment", {"hi"}}}, {comment, picture});
  EXPECT_EQ("COMM/1/deu:|hi " + payload_text(picture) + " ", written);
}

TEST(Id3v2FieldMapping, AVersion24MoodIsReadAndWrittenBackAsItsOwnFrame) {
  const bytes nul{0};
  const id3parser::frame mood = make("TMOO", bytes{3} + text("calm") + nul + text("dark"));
  EXPECT_EQ("mood=calm,dark;", fields_of(4, {mood}));
  EXPECT_EQ("TMOO/3:calm|dark ", frames_for(4, {{"mood", {"calm", "dark"}}}, {mood}));
  EXPECT_EQ("TMOO/3:quiet ", frames_for(4, {{"mood", {"quiet"}}}, {mood}));
  // Removing the mood removes the frame that gave it.
  EXPECT_EQ("TIT2/0:T ", frames_for(4, {{"title", {"T"}}}, {mood, make("TIT2", latin("T"))}));
  // Version 2.3 has no mood frame: the mood goes into a user-defined one,
  // named as other taggers name it, or as the tag already names it.
  EXPECT_EQ("TXXX/1:MOOD|calm ", frames_for(3, {{"mood", {"calm"}}}));
  EXPECT_EQ("TXXX/1:Mood|dark ", frames_for(3, {{"mood", {"dark"}}}, {make("TXXX", latin("Mood") + nul + text("calm"))}));
}

TEST(Id3v2TextEncoding, PicturesAndStrings) {
  const bytes nul{0};
  EXPECT_EQ(0, id3v2_parse_picture(make("APIC", latin("image/png") + bytes{0, 25, 0, 0x89})).type);
  EXPECT_THROW(id3v2_parse_picture(make("APIC", latin("image/png") + bytes{0, 3, 0})), id3parser::parseError);
  const id3parser::frame f = make("TPE1", latin("A") + nul + nul + text("B"));
  EXPECT_EQ(3u, id3v2_text_value_count(f));
  EXPECT_EQ("B", id3v2_text_value(f, 1, false));
  id3parser::frame ascii;
  ascii.id = frame_id("TIT2");
  id3v2_set_text(ascii, "\xC3\x84", 0);  // not ISO-8859-1's C4
  EXPECT_NE(0xC4, ascii.data[1]);
  EXPECT_THROW(id3v2_set_text(ascii, "x", 2), id3parser::writeError);
}

TEST(Id3v2FieldMapping, TheAlbumArtistACompilationShowsIsNotWritten) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> shown = {
      {"album artist", {"Various Artists"}}, {"itunescompilation", {"1"}}, {"title", {"New"}}};
  const std::string written = frames_for(3, shown, {make("TCMP", latin("1")), make("TIT2", latin("Old"))});
  EXPECT_EQ(written.find("TPE2"), std::string::npos) << written;
  // A tag that holds the value, or a value the user gave, is written.
  EXPECT_NE(frames_for(3, shown, {make("TCMP", latin("1")), make("TPE2", latin("Various Artists"))}).find("TPE2"),
            std::string::npos);
  EXPECT_NE(frames_for(3, {{"album artist", {"Band"}}, {"itunescompilation", {"1"}}}).find(":Band"),
            std::string::npos);
}

}  // namespace

TEST(Id3v2FieldMapping, AFieldInTwoKindsOfFrameKeepsEachAndAnEditSendsItsValuesBack) {
  const bytes nul{0};
  const id3parser::frame isrc = make("TSRC", latin("US1"));
  const id3parser::frame user_isrc = make("TXXX", latin("ISRC") + nul + text("GB2"));
  // An edit of another field leaves both frames as they are.
  EXPECT_EQ("TSRC/0:US1 TXXX/0:ISRC|GB2 TIT2/1:New ",
            frames_for(3, {{"isrc", {"US1", "GB2"}}, {"title", {"New"}}}, {isrc, user_isrc}));
  // A value the edit replaced takes the frame of the one it replaces; the
  // frame whose value stays keeps its bytes.
  EXPECT_EQ("TSRC/0:US1 TXXX/1:ISRC|GB3 ", frames_for(3, {{"isrc", {"US1", "GB3"}}}, {isrc, user_isrc}));
  EXPECT_EQ("TSRC/1:US4 TXXX/0:ISRC|GB2 ", frames_for(3, {{"isrc", {"US4", "GB2"}}}, {isrc, user_isrc}));
  // Two spellings of one user-defined name, as two taggers wrote them.
  const id3parser::frame upper = make("TXXX", latin("MOOD") + nul + text("calm"));
  const id3parser::frame lower = make("TXXX", latin("mood") + nul + text("dark"));
  EXPECT_EQ("TXXX/0:MOOD|calm TXXX/1:mood|blue ", frames_for(3, {{"mood", {"calm", "blue"}}}, {upper, lower}));
  EXPECT_EQ("TXXX/0:MOOD|calm TXXX/0:mood|dark TIT2/1:U ",
            frames_for(3, {{"mood", {"calm", "dark"}}, {"title", {"U"}}}, {upper, lower, make("TIT2", latin("T"))}));
}

namespace {

// A version 2.4 tag of about `size` bytes: a title, then user-defined frames
// that all share one description, as the reader gives them to a writer.
id3parser::tag tag_of_one_description(unsigned version, std::size_t size, bool compressed) {
  const bytes nul{0};
  bytes body = frame("TIT2", latin("Old"), version == 4);
  for (std::size_t n = 0; body.size() < size; ++n) {
    const bytes payload = latin("SHARED") + nul + text("value " + std::to_string(n));
    // Compressed frames are kept as stored, unread: any bytes stand for
    // the packed payload behind its data length.
    const bytes stored = compressed
                             ? frame("TXXX", syncsafe(std::uint32_t(payload.size())) + bytes{0x78, 0x9C} + payload,
                                     true, 0, 0x09)
                             : frame("TXXX", payload, version == 4);
    body.insert(body.end(), stored.begin(), stored.end());
  }
  const bytes whole = tag(std::uint8_t(version), body);
  id3parser::memory_reader reader(whole.data(), whole.size());
  id3parser::accept_all_frames all;
  id3parser::tag t;
  id3parser::read_tag(reader, all, t);
  return t;
}

// The work of an edit of `old_tag` that sets `field` to `values` and
// leaves the other fields as read; the edit must keep every frame but those
// of `field` byte for byte and in place.
std::size_t edit_work(const id3parser::tag& old_tag, const std::string& field, const std::vector<std::string>& values) {
  tag_field_map fields;
  id3v2_fields_from_frames(old_tag, fields);
  fields.at(field) = values;
  id3parser::tag edited = old_tag;
  const std::uint64_t before = qiv::work_steps_on_this_thread();
  id3v2_frames_from_fields(id3v2_write_options(), edited, fields);
  const std::size_t work = std::size_t(qiv::work_steps_on_this_thread() - before);
  tag_field_map read_back;
  id3v2_fields_from_frames(edited, read_back);
  EXPECT_TRUE(read_back.all() == fields.all()) << field;
  if (field == "title") {
    EXPECT_EQ(old_tag.frames.size(), edited.frames.size());
    for (std::size_t i = 1; i < old_tag.frames.size() && i < edited.frames.size(); ++i)
      EXPECT_TRUE(old_tag.frames[i].data == edited.frames[i].data && old_tag.frames[i].id == edited.frames[i].id)
          << "frame " << i << " changed";
  }
  return work;
}

}  // namespace

TEST(Id3v2FieldMapping, AnEditOfManyFramesOfOneDescriptionCostsWorkLinearInTheTagSize) {
  // Each frame of the field once compared the field's every value, and each
  // frame looked for its old place from the first frame on: four times the
  // tag cost sixteen times the work.
  // Every frame is looked at at least once: a count of nothing would pass
  // the ratio and prove nothing.
  constexpr std::size_t small = 256 * 1024, large = 4 * small;
  for (const bool compressed : {false, true}) {
    const id3parser::tag smaller_tag = tag_of_one_description(4, small, compressed);
    const std::size_t shorter = edit_work(smaller_tag, "title", {"New"});
    const std::size_t longer = edit_work(tag_of_one_description(4, large, compressed), "title", {"New"});
    EXPECT_GE(shorter, smaller_tag.frames.size()) << (compressed ? "compressed" : "plain");
    EXPECT_LE(longer, shorter * 9 / 2) << (compressed ? "compressed" : "plain") << " " << shorter << " " << longer;
  }
  // The shared field itself gains a value: in version 2.3 each value takes a
  // frame, which claims the place of an old one.
  const auto add_one = [](std::size_t size) {
    const id3parser::tag old_tag = tag_of_one_description(3, size, false);
    tag_field_map fields;
    id3v2_fields_from_frames(old_tag, fields);
    std::vector<std::string> values = *fields.find("SHARED");
    values.push_back("one more");
    return edit_work(old_tag, "SHARED", values);
  };
  const std::size_t shorter = add_one(small);
  EXPECT_GE(shorter, tag_of_one_description(3, small, false).frames.size());
  EXPECT_LE(add_one(large), shorter * 9 / 2) << shorter;
}

namespace {

// `old_frames` rebuilt for `fields` after a reading of them: the fields
// read with those of `edit` set over them.
std::vector<id3parser::frame> edited(unsigned version, std::vector<id3parser::frame> old_frames,
                                     std::vector<std::pair<std::string, std::vector<std::string>>> edit) {
  id3parser::tag t;
  t.version = version;
  t.frames = std::move(old_frames);
  tag_field_map fields;
  id3v2_fields_from_frames(t, fields);
  for (auto& [name, values] : edit) fields.at(name) = values;
  id3v2_frames_from_fields(id3v2_write_options(), t, fields);
  return t.frames;
}

tag_field_map::values values_of(const tag_field_map& fields, const char* name) {
  const tag_field_map::values* values = fields.find(name);
  return values != nullptr ? *values : tag_field_map::values();
}

bool holds(const std::vector<id3parser::frame>& frames, const id3parser::frame& f) {
  return std::count_if(frames.begin(), frames.end(), [&](const id3parser::frame& g) {
           return g.id == f.id && g.data == f.data;
         }) == 1;
}

std::size_t frames_of(const std::vector<id3parser::frame>& frames, const char (&id)[5]) {
  return std::size_t(std::count_if(frames.begin(), frames.end(), [&](const id3parser::frame& f) {
    return f.id == frame_id(id);
  }));
}

}  // namespace

TEST(Id3v2FieldMapping, AFrameOfAnyNumberOfValuesReadsWholeAndStaysThroughAnEdit) {
  const bytes nul{0};
  std::vector<std::string> many;
  bytes artists{3}, moods = bytes{3} + text("MOOD");
  for (int i = 0; i < 1100; ++i) {
    many.push_back("v" + std::to_string(i));
    artists = artists + (i ? nul : bytes()) + text(many.back());
    moods = moods + nul + text(many.back());
  }
  const id3parser::frame artist = make("TPE1", artists), mood = make("TXXX", moods);
  id3parser::tag t;
  t.version = 4;
  t.frames = {make("TIT2", latin("Old")), artist, mood};
  tag_field_map fields;
  id3v2_fields_from_frames(t, fields);
  EXPECT_EQ(many, values_of(fields, "artist"));
  EXPECT_EQ(many, values_of(fields, "MOOD"));
  const std::vector<id3parser::frame> after = edited(4, t.frames, {{"title", {"New"}}});
  EXPECT_TRUE(holds(after, artist) && holds(after, mood));
  // The writer's own frame of that many values reads back whole.
  t.frames = edited(4, {}, {{"artist", many}, {"composer", many}});
  fields = tag_field_map();
  id3v2_fields_from_frames(t, fields);
  EXPECT_EQ(many, values_of(fields, "artist"));
  EXPECT_EQ(many, values_of(fields, "composer"));
}

TEST(Id3v2FieldMapping, EmptyStringsInAFrameAreReadPastAndKeptByteForByte) {
  const bytes nul{0}, three_nuls{0, 0, 0};
  // Each string the count gives can be read: the empty ones a run of
  // terminators holds come after the others.
  const id3parser::frame gap = make("TPE1", latin("A") + nul + nul + text("B"));
  id3v2_text_strings strings(gap);
  EXPECT_EQ("A", strings.next(true));
  EXPECT_EQ("B", strings.next(true));
  EXPECT_EQ("", strings.next(true));
  EXPECT_THROW(strings.next(true), id3parser::parseError);
  for (const unsigned version : {3u, 4u}) {
    const std::vector<id3parser::frame> padded = {
        make("TXXX", bytes{3} + text("MOOD") + nul + text("calm") + three_nuls),
        make("TXXX", bytes{3} + text("FOO") + nul + text("bar") + three_nuls),
        make("TPE1", bytes{3} + text("Artist") + three_nuls),
        make("TPE2", latin("A / B") + nul + nul),
        make("TCOM", latin("C") + nul + nul + text("D")),
    };
    std::vector<id3parser::frame> old_frames = padded;
    old_frames.push_back(make("TIT2", latin("Old")));
    const std::string as_read = fields_of(version, old_frames);
    EXPECT_EQ(version == 3 ? "album artist=A,B;artist=Artist;composer=C,D;FOO=bar;MOOD=calm;title=Old;"
                           : "album artist=A / B;artist=Artist;composer=C,D;FOO=bar;MOOD=calm;title=Old;",
              as_read);
    const std::vector<id3parser::frame> after = edited(version, old_frames, {{"title", {"New"}}});
    // Neither trailing terminators nor a 2.3 frame of two strings (a list
    // as 2.4 stores it, which taggers write and read in 2.3 too) make a
    // frame of an unchanged field be written anew.
    for (std::size_t i = 0; i < padded.size(); ++i)
      EXPECT_TRUE(holds(after, padded[i])) << version << " frame " << i;
    EXPECT_EQ(0u, frames_of(after, "TMOO"));
    EXPECT_EQ(as_read, fields_of(version, edited(version, after, {{"title", {"Old"}}})));
  }
}

TEST(Id3v2FieldMapping, FramesTheReadingCannotDecodeStayUntilAnEditWritesTheirField) {
  const bytes nul{0};
  const id3parser::frame bad_title = make("TIT2", bytes{7} + text("T"));
  const id3parser::frame bad_url = make("WOAR", bytes());
  const id3parser::frame empty_mood = make("TXXX", latin("MOOD") + nul);
  const id3parser::frame bad_comment = make("COMM", bytes{9} + text("eng") + nul + text("x"));
  const id3parser::frame bad_rating = make("POPM", text("abc"));
  const id3parser::frame junk_year = make("TYER", latin("abcd"));
  const std::vector<id3parser::frame> old_frames = {bad_title,   bad_url,    empty_mood, bad_comment,
                                                    bad_rating, junk_year, make("TPE1", latin("A"))};
  for (const unsigned version : {3u, 4u}) {
    const std::vector<id3parser::frame> kept = edited(version, old_frames, {{"artist", {"B"}}});
    for (std::size_t i = 0; i < old_frames.size(); ++i)
      EXPECT_EQ(old_frames[i].id != frame_id("TPE1"), holds(kept, old_frames[i])) << version << " frame " << i;
    // Writing the field such a frame stood for replaces it.
    const std::vector<id3parser::frame> replaced =
        edited(version, old_frames, {{"title", {"T"}}, {"mood", {"calm"}}, {"artist webpage url", {"http://a"}}});
    EXPECT_FALSE(holds(replaced, bad_title) || holds(replaced, empty_mood) || holds(replaced, bad_url)) << version;
    EXPECT_EQ(1u, frames_of(replaced, "TIT2"));
    EXPECT_EQ(1u, frames_of(replaced, "WOAR"));
    EXPECT_TRUE(holds(replaced, bad_comment) && holds(replaced, bad_rating)) << version;
    // Version 2.3 has no mood frame: the user-defined one keeps the tag's spelling.
    const std::string mood = version == 3 ? "MOOD" : "mood";
    EXPECT_EQ("artist=A;artist webpage url=http://a;" + mood + "=calm;title=T;", fields_of(version, replaced))
        << version;
  }
}

TEST(Id3v2FieldMapping, AVersion23ListOfStringsStaysByteForByteThroughAnEditOfAnotherField) {
  const bytes nul{0};
  // As mutagen writes lists into version 2.3 when told no separator.
  const id3parser::frame artists = make("TPE1", bytes{1, 0xFF, 0xFE, 'A', 0, 0, 0, 0xFF, 0xFE, 'B', 0});
  const id3parser::frame moods = make("TXXX", latin("MOOD") + nul + text("calm") + nul + text("dark"));
  const std::vector<id3parser::frame> old_frames = {artists, moods, make("TIT2", latin("Old"))};
  EXPECT_EQ("artist=A,B;MOOD=calm,dark;title=Old;", fields_of(3, old_frames));
  const std::vector<id3parser::frame> after = edited(3, old_frames, {{"title", {"New"}}});
  EXPECT_TRUE(holds(after, artists) && holds(after, moods));
  EXPECT_EQ(3u, after.size());
  // A 2.3 list of strings that breaks another rule (a year frame, which 2.4
  // lacks) is still written anew.
  const id3parser::frame years = make("TYER", latin("1999") + nul + text("2000"));
  EXPECT_FALSE(holds(edited(3, {years, make("TIT2", latin("Old"))}, {{"title", {"New"}}}), years));
}

// A frame the reading cannot decode stands, for other readers, for the field
// of its kind: TagLib takes an undecodable comment for the plain one and
// shows the first plain one. An edit that writes such a field leaves no
// older frame of it; an edit of another field keeps them all.
TEST(Id3v2FieldMapping, AnEditOfAFieldReplacesEveryFrameOfItThoseItCannotDecodeIncluded) {
  const bytes nul{0};
  const id3parser::frame odd_comment = make("COMM", bytes{5} + text("eng") + nul + text("old"));
  const id3parser::frame endless_comment = make("COMM", bytes{3} + text("eng") + text("no end"));
  const id3parser::frame comment = make("COMM", bytes{3} + text("eng") + nul + text("plain"));
  const id3parser::frame normalisation = make("COMM", latin("eng") + text("iTunNORM") + nul + text(" 0000021A"));
  const id3parser::frame odd_lyrics = make("USLT", bytes{5} + text("eng") + nul + text("la la"));
  const id3parser::frame lyrics = make("USLT", bytes{3} + text("eng") + nul + text("words"));
  const std::vector<id3parser::frame> old_frames = {odd_comment, endless_comment, comment,
                                                    normalisation, odd_lyrics, lyrics};
  for (const unsigned version : {3u, 4u}) {
    const std::vector<id3parser::frame> title_edit = edited(version, old_frames, {{"title", {"T"}}});
    for (const id3parser::frame& f : old_frames) EXPECT_TRUE(holds(title_edit, f)) << version;

    const std::vector<id3parser::frame> after =
        edited(version, old_frames, {{"comment", {"new"}}, {"unsynced lyrics", {"new words"}}});
    EXPECT_EQ(2u, frames_of(after, "COMM")) << version;
    EXPECT_TRUE(holds(after, normalisation)) << version;
    EXPECT_EQ(1u, frames_of(after, "USLT")) << version;
    // The new comment stands first, where the first old one stood.
    EXPECT_EQ(frame_id("COMM"), after.front().id);
    EXPECT_EQ("new", id3v2_text_value(after.front(), 1, false));
    EXPECT_EQ("comment=new;unsynced lyrics=new words;", fields_of(version, after)) << version;
  }
  // A comment the reading cannot decode whose description is known gives
  // way to a comment of that description too.
  const id3parser::frame endless_note = make("COMM", bytes{3} + text("eng") + text("note"));
  const std::vector<id3parser::frame> noted = edited(4, {comment, endless_note}, {{"comment note", {"n"}}});
  EXPECT_TRUE(holds(noted, comment) && !holds(noted, endless_note));
  EXPECT_EQ(2u, frames_of(noted, "COMM"));
}

namespace {

id3parser::frame rating_frame(const std::string& email, const bytes& rating_and_count) {
  return make("POPM", text(email) + bytes{0} + rating_and_count);
}

}  // namespace

// The rating goes into each rating frame the tag holds, whoever wrote it,
// keeping its e-mail and play count, so that every reader shows the new
// rating; the player's own frame is made only where there is none.
TEST(Id3v2FieldMapping, ARatingEditKeepsTheEmailsAndPlayCountsOfOtherPrograms) {
  const id3parser::frame theirs = rating_frame("someone@example.org", {128, 0, 0, 0, 42});
  const id3parser::frame other = rating_frame("other@example.org", {64});
  const id3parser::frame unrated_with_plays = rating_frame("plays@example.org", {0, 7});
  const std::vector<id3parser::frame> old_frames = {theirs, other, unrated_with_plays};
  for (const unsigned version : {3u, 4u}) {
    EXPECT_EQ("rating=2;", fields_of(version, old_frames));
    const std::vector<id3parser::frame> retitled = edited(version, old_frames, {{"title", {"T"}}});
    for (const id3parser::frame& f : old_frames) EXPECT_TRUE(holds(retitled, f)) << version;

    const std::vector<id3parser::frame> rated = edited(version, old_frames, {{"rating", {"5"}}});
    EXPECT_TRUE(holds(rated, rating_frame("someone@example.org", {255, 0, 0, 0, 42}))) << version;
    EXPECT_TRUE(holds(rated, rating_frame("other@example.org", {255}))) << version;
    EXPECT_TRUE(holds(rated, rating_frame("plays@example.org", {255, 7}))) << version;
    EXPECT_EQ(3u, frames_of(rated, "POPM")) << version;
    EXPECT_EQ("rating=5;", fields_of(version, rated));

    // Removed: the counts stay, unrated; a frame with no count goes.
    const std::vector<id3parser::frame> removed = edited(version, old_frames, {{"rating", {}}});
    EXPECT_TRUE(holds(removed, rating_frame("someone@example.org", {0, 0, 0, 0, 42}))) << version;
    EXPECT_TRUE(holds(removed, unrated_with_plays)) << version;
    EXPECT_EQ(2u, frames_of(removed, "POPM")) << version;
    EXPECT_EQ("", fields_of(version, removed));
  }
  // A rating frame the reading cannot decode gives way to the player's own.
  const id3parser::frame undecodable = make("POPM", text("abc"));
  const std::vector<id3parser::frame> replaced = edited(4, {undecodable}, {{"rating", {"4"}}});
  EXPECT_EQ(1u, frames_of(replaced, "POPM"));
  EXPECT_EQ("rating=4;", fields_of(4, replaced));
}

// Every genre a genre frame names is a value, as other readers list them:
// references in front ("(17)(8)", with the extended list, "(RX)", "(CR)"),
// the text after them unless it repeats their name, "((" for a text that
// starts with "(", and version 2.4's values, each a number or a reference.
TEST(Id3v2FieldMapping, AGenreFrameGivesEveryGenreItNames) {
  const bytes nul{0};
  struct genre_case {
    unsigned version;
    bytes payload;
    const char* fields;
  };
  const genre_case cases[] = {
      {3, latin("(17)(8)"), "genre=Rock,Jazz;"},
      {4, latin("(17)(8)"), "genre=Rock,Jazz;"},
      {2, latin("(17)(8)"), "genre=Rock,Jazz;"},
      {3, latin("(RX)(CR)"), "genre=Remix,Cover;"},
      {3, latin("(17)(8)Eigen"), "genre=Rock,Jazz,Eigen;"},
      {3, latin("(17)Rock"), "genre=Rock;"},
      {3, latin("((foo)"), "genre=(foo);"},
      {3, latin("(8)((Live)"), "genre=Jazz,(Live);"},
      {3, latin("(foo)"), "genre=(foo);"},
      {3, latin("(130)(200)Eigen"), "genre=Terror,200,Eigen;"},
      // The list of 192 names other taggers read, 133 under its replacement
      // name; another tagger's spelling behind its number is the one genre.
      {3, latin("(150)(191)(133)"), "genre=Baroque,Psybient,Afro-Punk;"},
      {4, latin("150") + nul + text("191") + nul + text("192"), "genre=Baroque,Psybient,192;"},
      {3, latin("(40)Alt. Rock;(67)Psychedelic;(147)Synthpop"), "genre=Alternative Rock,Psychadelic,SynthPop;"},
      {3, latin("(40)Psychedelic"), "genre=Alternative Rock,Psychedelic;"},
      {3, latin("(17;(8)Pop"), "genre=(17,Jazz,Pop;"},
      {4, latin("17") + nul + text("Jazz"), "genre=Rock,Jazz;"},
      {4, latin("(17)") + nul + text("(8)Jazz") + nul + text("RX") + nul + text("CR"),
       "genre=Rock,Jazz,Remix,Cover;"},
  };
  for (const genre_case& c : cases)
    EXPECT_EQ(c.fields, fields_of(c.version, {make("TCON", c.payload)})) << c.version << " " << std::string(c.payload.begin(), c.payload.end());

  // The frame stays through an edit of another field; an edit of the genre
  // writes the genres shown.
  const id3parser::frame genres = make("TCON", latin("(17)(8)Eigen"));
  EXPECT_TRUE(holds(edited(3, {genres, make("TIT2", latin("Old"))}, {{"title", {"New"}}}), genres));
  const std::vector<id3parser::frame> added = edited(3, {genres}, {{"genre", {"Rock", "Jazz", "Eigen", "Pop"}}});
  EXPECT_EQ("TCON/1:Rock;Jazz;Eigen;Pop ", payload_text(added.at(0)) + " ");
  EXPECT_EQ("genre=Rock,Jazz,Eigen,Pop;", fields_of(3, added));
}

// A frame of ISO-8859-1 text beyond ASCII is as well formed as any other:
// an edit of another field keeps it byte for byte, in both versions.
TEST(Id3v2FieldMapping, IsoLatinTextFramesStayThroughAnEditOfAnotherField) {
  for (const unsigned version : {3u, 4u}) {
    const id3parser::frame genres = make("TCON", latin("(17)Rock Caf\xE9"));
    const id3parser::frame yen = make("TCON", latin("(17)\xA5(18)"));
    const id3parser::frame artist = make("TPE1", latin("Caf\xE9"));
    const id3parser::frame album = make("TALB", latin("\xC0 la carte"));
    const std::vector<id3parser::frame> after =
        edited(version, {genres, artist, album, make("TIT2", latin("Old"))}, {{"title", {"New"}}});
    EXPECT_TRUE(holds(after, genres) && holds(after, artist) && holds(after, album)) << version;
    EXPECT_TRUE(holds(edited(version, {yen, make("TIT2", latin("Old"))}, {{"title", {"New"}}}), yen)) << version;
  }
}

namespace {

// A frame kept as stored, as the reader keeps a compressed one.
id3parser::frame stored_as_is(const char (&id)[5], unsigned version) {
  id3parser::frame f = make(id, bytes{0, 0, 0, 9, 0x78, 0x9C, 1, 2, 3});
  f.raw_version = version;
  f.raw_format_flags = version == 4 ? 0x09 : 0x80;
  return f;
}

}  // namespace

// Removing a field removes every frame that stood for it, as writing it
// replaces them: those the reading cannot decode or decompress too, which
// other readers would go on showing.
TEST(Id3v2FieldMapping, ARemovedFieldTakesEveryFrameOfItWithItThoseItCannotDecodeIncluded) {
  const bytes nul{0};
  const id3parser::frame normalisation = make("COMM", latin("eng") + text("iTunNORM") + nul + text(" 0000021A"));
  const id3parser::frame title = make("TIT2", latin("T"));
  for (const unsigned version : {3u, 4u}) {
    const std::vector<id3parser::frame> old_frames = {
        make("COMM", bytes{5} + text("eng") + nul + text("garbled")),
        stored_as_is("COMM", version),
        make("COMM", bytes{3} + text("eng") + nul + text("plain")),
        normalisation,
        make("USLT", bytes{5} + text("eng") + nul + text("la la")),
        make("USLT", bytes{3} + text("eng") + nul + text("words")),
        make("POPM", text("abc")),
        rating_frame("someone@example.org", {128}),
        stored_as_is("TPE1", version),
        make("TPE1", latin("A")),
        make("TXXX", latin("MOOD") + nul),
        make("TXXX", latin("MOOD") + nul + text("calm")),
        title,
    };
    // An edit of another field keeps them all.
    const std::vector<id3parser::frame> retitled = edited(version, old_frames, {{"title", {"T"}}, {"album", {"X"}}});
    for (const id3parser::frame& f : old_frames) EXPECT_TRUE(holds(retitled, f)) << version;

    const std::vector<id3parser::frame> after = edited(
        version, old_frames, {{"comment", {}}, {"unsynced lyrics", {}}, {"rating", {}}, {"artist", {}}, {"mood", {}}});
    ASSERT_EQ(2u, after.size()) << version;
    EXPECT_TRUE(holds(after, normalisation) && holds(after, title)) << version;
  }
  // A described comment takes the undecodable one of its description; the
  // plain one stays.
  const id3parser::frame plain = make("COMM", bytes{3} + text("eng") + nul + text("plain"));
  const std::vector<id3parser::frame> noted = {
      plain, make("COMM", bytes{3} + text("eng") + text("note") + nul + text("n")),
      make("COMM", bytes{3} + text("eng") + text("note"))};
  EXPECT_EQ("comment=plain;comment note=n;", fields_of(4, noted));
  const std::vector<id3parser::frame> left = edited(4, noted, {{"comment note", {}}});
  EXPECT_EQ(1u, left.size());
  EXPECT_TRUE(holds(left, plain));
}

// Status flags say what to do with a frame as the tag or file changes, not
// what it holds: flagged frames give their fields, an edit of another field
// keeps them flags and all, an edit of their field writes it unflagged, and
// a removal takes them (a changed rating drops its frame's read-only flag).
TEST(Id3v2FieldMapping, FramesWithStatusFlagsAreShownEditedAndRemovedAsAnyOther) {
  const auto flagged = [](id3parser::frame f, std::uint8_t status) {
    f.status_flags = status;
    return f;
  };
  const auto status_of = [](const std::vector<id3parser::frame>& frames, const char(&id)[5]) {
    const auto found = std::find_if(frames.begin(), frames.end(), [&](const id3parser::frame& f) {
      return f.id == frame_id(id);
    });
    return found == frames.end() ? -1 : int(found->status_flags);
  };
  for (const unsigned version : {3u, 4u}) {
    const std::uint8_t read_only = id3parser::frame::read_only_flag(version);
    const std::uint8_t tag_alter = version == 3 ? 0x80 : 0x40;
    const std::vector<id3parser::frame> old_frames = {
        make("TIT2", latin("T")), flagged(make("TPE1", latin("A")), read_only),
        flagged(make("TALB", latin("B")), tag_alter), flagged(rating_frame("someone@example.org", {64}), read_only)};
    EXPECT_EQ("album=B;artist=A;rating=2;title=T;", fields_of(version, old_frames)) << version;

    const std::vector<id3parser::frame> retitled = edited(version, old_frames, {{"title", {"U"}}});
    EXPECT_EQ(read_only, status_of(retitled, "TPE1")) << version;
    EXPECT_EQ(tag_alter, status_of(retitled, "TALB")) << version;
    EXPECT_EQ(read_only, status_of(retitled, "POPM")) << version;

    const std::vector<id3parser::frame> changed =
        edited(version, old_frames, {{"artist", {"C"}}, {"album", {}}, {"rating", {"5"}}});
    EXPECT_EQ("artist=C;rating=5;title=T;", fields_of(version, changed)) << version;
    EXPECT_EQ(0, status_of(changed, "TPE1")) << version;
    EXPECT_EQ(-1, status_of(changed, "TALB")) << version;
    EXPECT_EQ(0, status_of(changed, "POPM")) << version;
  }
}
