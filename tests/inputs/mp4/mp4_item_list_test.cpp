// The item list read into fields and written back: numbers, genres, flags,
// freeform items, covers and the items kept as stored.
#include <gtest/gtest.h>

#include <utility>

#include "foundation/work_steps.h"
#include "inputs/mp4/box_reading.h"
#include "inputs/mp4/item_list.h"
#include "mp4_test_boxes.h"

using namespace mp4_test;

namespace {

bytes data(std::uint32_t type, const bytes& value) { return full_box("data", type, be32(0) + value); }
bytes freeform(const bytes& mean, const bytes& name, const bytes& value) {
  return box("----", full_box("mean", 0, mean) + full_box("name", 0, name) + data(1, value));
}
bytes file_with_items(const bytes& items) {
  const bytes meta = full_box("meta", 0, box("hdlr", bytes(25, '\0')) + box("ilst", items));
  return ftyp() + box("moov", mvhd(1000, 93) + simple_track() + box("udta", meta)) + box("mdat", bytes(16, 'x'));
}
constexpr std::uint32_t keep_all = reading_options | 0x08 | 0x40;

tarnex::ilst_metadata read_items(const bytes& items, std::uint32_t options = keep_all) {
  tarnex::mp4_file file;
  open_bytes(file, file_with_items(items), options);
  return file.item_list;
}

std::string value(const tarnex::ilst_metadata& m, const char* name, std::size_t i = 0) {
  const auto* entry = m.fields.find(name);
  return entry && i < entry->values.size() ? entry->values[i] : "<absent>";
}

// The ilst payload write_meta_box makes, read back through the reader.
tarnex::ilst_metadata round_trip(const tarnex::ilst_metadata& m) {
  tarnex::byte_buffer meta;
  tarnex::write_meta_box(m, meta);
  tarnex::mp4_file file;
  open_bytes(file, ftyp() + box("moov", mvhd(1000, 93) + simple_track() + box("udta", box("meta", meta))) +
                       box("mdat", bytes(16, 'x')), keep_all);
  return file.item_list;
}

// The keys of the items in the list of a "meta" payload, in order.
std::string item_keys(const tarnex::byte_buffer& meta) {
  std::string list;
  for (std::size_t at = meta.find("ilst") + 4; at + 8 <= meta.size();) {
    list += meta.substr(at + 4, 4) + " ";
    at += (std::uint8_t(meta[at]) << 24 | std::uint8_t(meta[at + 1]) << 16 | std::uint8_t(meta[at + 2]) << 8 |
           std::uint8_t(meta[at + 3]));
  }
  return list;
}

}  // namespace

TEST(Mp4ItemList, NumbersGenresAndFlagsReadAsTheirFields) {
  const auto m = read_items(box("tmpo", data(21, be16(120))) + box("trkn", data(0, be16(0) + be16(0) + be16(12) + be16(0))) +
                            box("disk", data(0, be16(0) + be16(2) + be16(0))) + box("gnre", data(0, be16(9))) +
                            box("cpil", data(21, "\x01")) + box("pcst", data(21, bytes(1, '\0'))) +
                            box("\xA9" "day", data(1, "2009-05-12T00:00:00Z")) + box("\xA9nam", data(1, "One")) +
                            box("\xA9" "ART", data(1, "A")) + box("\xA9" "ART", data(1, "B")));
  EXPECT_EQ(value(m, "tempo"), "00120 BPM");
  EXPECT_EQ(value(m, "track"), "0");
  EXPECT_EQ(value(m, "totaltracks"), "12");
  EXPECT_EQ(value(m, "disc"), "2");
  EXPECT_EQ(value(m, "totaldiscs"), "<absent>");
  EXPECT_EQ(value(m, "genre"), "Jazz");
  EXPECT_EQ(value(m, "itunescompilation"), "1");
  EXPECT_EQ(value(m, "year"), "2009-05-12");
  EXPECT_EQ(value(m, "artist", 1), "B");
  // A zero flag byte is an empty text: no field, kept as stored instead.
  EXPECT_EQ(value(m, "itunespodcast"), "<absent>");
  ASSERT_EQ(m.raw_items.size(), 1u);
  EXPECT_EQ(m.raw_items[0].key, tarnex::fourcc("pcst"));
  EXPECT_EQ(value(read_items(box("\xA9" "day", data(1, "2009-05-12T10:00:00Z"))), "year"), "2009-05-12T10:00:00Z");
}

TEST(Mp4ItemList, GenresOutsideTheListAddNothingAndAreNotKept) {
  for (std::uint16_t index : {0, 193, 200}) {
    const auto m = read_items(box("gnre", data(0, be16(index))));
    EXPECT_TRUE(m.fields.empty());
    EXPECT_TRUE(m.raw_items.empty());
  }
}

// gnre holds the ID3v1 genre number plus one, of the list other taggers use.
TEST(Mp4ItemList, GenreNumbersNameTheGenresOtherTaggersName) {
  for (const auto& [index, name] : {std::pair<std::uint16_t, const char*>{134, "Afro-Punk"}, {149, "Abstract"},
                                    {192, "Psybient"}})
    EXPECT_EQ(value(read_items(box("gnre", data(0, be16(index)))), "genre"), name) << index;
}

TEST(Mp4ItemList, FreeformItemsOfOtherVendorsAreKeptNotMapped) {
  const auto m = read_items(freeform("com.apple.iTunes", "DATE", "1999") + freeform("org.example", "DATE", "2001") +
                            freeform("com.apple.iTunes", "replaygain_track_gain", "-6.5 dB") +
                            freeform("com.apple.iTunes", "cdec", "x") + box("desc", data(1, "unmapped")));
  EXPECT_EQ(value(m, "year"), "1999");
  EXPECT_FALSE(m.fields.find("replaygain_track_gain")->multi_valued);
  EXPECT_EQ(value(m, "codec"), "x");
  ASSERT_EQ(m.raw_items.size(), 2u);
  EXPECT_EQ(m.raw_items[1].key, tarnex::fourcc("desc"));
  // Without keep-unparsed, nothing is kept.
  EXPECT_TRUE(read_items(box("desc", data(1, "unmapped")), reading_options).raw_items.empty());
}

TEST(Mp4ItemList, WrittenItemsReadBackWithUnmappedItemsAndEveryCoverKept) {
  const bytes two_pictures = box("covr", data(13, "\xFF\xD8jpeg") + data(14, "\x89PNG\r\n\x1A\npng"));
  auto m = read_items(freeform("org.example", "x", "kept") + two_pictures + box("desc", data(1, "unmapped")));
  ASSERT_TRUE(m.front_cover);
  EXPECT_EQ(m.front_cover->bytes, "\x89PNG\r\n\x1A\npng");
  for (auto [name, text] : {std::pair{"title", "T"}, {"album artist", "AA"}, {"track", "3"}, {"totaltracks", "9"},
                            {"tempo", "00120 BPM"}, {"genre", "JPop"}, {"itunescompilation", "1"}, {"comment", "c"},
                            {"MusicBrainz Album Id", "mb"}, {"codec", "aac"}, {"totaldiscs", "4"}})
    m.fields.add(name, text);
  m.fields.add("artist", "A");
  m.fields.add("artist", "B");
  const auto back = round_trip(m);
  EXPECT_EQ(back.fields.entries().size(), m.fields.entries().size());
  for (const auto& [name, entry] : m.fields.entries()) EXPECT_EQ(back.fields.find(name)->values, entry.values) << name;
  EXPECT_EQ(back.raw_items.size(), 2u);
  // The item with both pictures stays whole while its front cover is kept;
  // a new front cover replaces the picture that gave it, not the other.
  ASSERT_EQ(back.cover_items.size(), 1u);
  EXPECT_EQ(back.cover_items[0].payload, m.cover_items[0].payload);
  m.front_cover->bytes = "\xFF\xD8new";
  const auto replaced = round_trip(m);
  EXPECT_EQ(replaced.front_cover->bytes, "\xFF\xD8new");
  ASSERT_EQ(replaced.cover_items.size(), 1u);
  EXPECT_EQ(replaced.cover_items[0].payload, data(13, "\xFF\xD8jpeg") + data(13, "\xFF\xD8new"));
}

// Pictures in several "covr" items, as some taggers leave them: the last
// shows, and an edit changes no other.
TEST(Mp4ItemList, EveryCoverItemStaysAndOnlyThePictureShownIsReplacedOrRemoved) {
  const bytes two = box("covr", data(13, "\xFF\xD8one") + data(14, "\x89PNG\r\n\x1A\ntwo"));
  const bytes three = box("covr", data(13, "\xFF\xD8three"));
  auto m = read_items(two + box("\xA9nam", data(1, "T")) + three);
  ASSERT_TRUE(m.front_cover);
  EXPECT_EQ(m.front_cover->bytes, "\xFF\xD8three");
  m.fields.set("title", {false, {"U"}});
  const auto written = [&](const tarnex::cover_picture* cover) {
    tarnex::byte_buffer meta;
    tarnex::write_meta_box(m, m.fields, cover, meta);
    return meta;
  };
  const tarnex::byte_buffer title_edit = written(&*m.front_cover);
  EXPECT_EQ(item_keys(title_edit), "covr \xA9nam covr ");
  EXPECT_NE(title_edit.find(two + box("\xA9nam", data(1, "U")) + three), std::string::npos);
  tarnex::cover_picture other;
  other.bytes = "\xFF\xD8new";
  const tarnex::byte_buffer cover_edit = written(&other);
  EXPECT_NE(cover_edit.find(two + box("\xA9nam", data(1, "U")) + box("covr", data(13, "\xFF\xD8new"))),
            std::string::npos);
  const tarnex::byte_buffer removed = written(nullptr);
  EXPECT_EQ(item_keys(removed), "covr \xA9nam ");
  EXPECT_NE(removed.find(two), std::string::npos);
  // Removed from an item of two pictures, the other stays in it.
  tarnex::byte_buffer meta;
  tarnex::write_meta_box(read_items(two), m.fields, nullptr, meta);
  EXPECT_NE(meta.find(box("covr", data(13, "\xFF\xD8one"))), std::string::npos);
}

TEST(Mp4ItemList, NumbersThatAreNotNumbersAreWrittenAsFreeformItems) {
  tarnex::ilst_metadata m;
  m.fields.add("track", "3a");
  m.fields.add("disc", "1");
  m.fields.add("disc", "2");
  const auto back = round_trip(m);
  EXPECT_EQ(value(back, "track"), "3a");
  EXPECT_EQ(value(back, "disc", 1), "2");
}

TEST(Mp4ItemList, QuickTimeMetaBoxWithoutVersionAndFlagsIsRead) {
  const bytes children = box("hdlr", bytes(25, '\0')) + box("ilst", box("\xA9nam", data(1, "QT")));
  tarnex::mp4_file file;
  open_bytes(file, ftyp() + box("moov", mvhd(1000, 93) + simple_track() + box("udta", box("meta", children))) +
                       box("mdat", bytes(16, 'x')), keep_all);
  EXPECT_EQ(value(file.item_list, "title"), "QT");
  EXPECT_TRUE(file.warnings.empty());
}

TEST(Mp4ItemList, DamagedSizesInsideTheTagsCostTheTagsNotTheFile) {
  const auto item = [](const bytes& size) { return size + "\xA9nam" + data(1, "T"); };
  const auto data_box = [](const bytes& size) { return box("\xA9nam", size + "data" + be32(1) + be32(0) + "T"); };
  const bytes hdlr = box("hdlr", bytes(25, '\0'));
  std::vector<bytes> metas;
  for (std::uint32_t size : {7u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    metas.push_back(full_box("meta", 0, hdlr + box("ilst", item(be32(size)))));
    metas.push_back(full_box("meta", 0, hdlr + box("ilst", data_box(be32(size)))));
  }
  const bytes list = box("ilst", box("\xA9nam", data(1, "T")));
  metas.push_back(full_box("meta", 0, be32(200) + hdlr.substr(4) + list));
  metas.push_back(full_box("meta", 0, be32(3) + hdlr.substr(4) + list));
  // An item list, or a user-data child, whose size runs past its parent
  // still holds whole items: they are read, with the warning.
  const std::size_t damaged_items = metas.size();
  metas.push_back(full_box("meta", 0, hdlr + be32(std::uint32_t(list.size() + 9)) + list.substr(4)));
  metas.push_back(be32(5000) + "meta" + be32(0) + hdlr + list);
  for (std::size_t i = 0; i < metas.size(); ++i) {
    const bytes& meta = metas[i];
    tarnex::mp4_file file;
    ASSERT_NO_THROW(open_bytes(file, ftyp() + box("moov", mvhd(1000, 93) + simple_track() + box("udta", meta)) +
                                         box("mdat", bytes(16, 'x')), keep_all));
    EXPECT_EQ(file.item_list.fields.find("title") != nullptr, i >= damaged_items) << i;
    EXPECT_EQ(file.warnings, std::vector<std::string>({"Damaged MP4 tags skipped; the audio still plays."}));
    ASSERT_EQ(file.tracks.size(), 1u);
    EXPECT_EQ(file.tracks[0]->sample_count, 4u);
  }
}

TEST(Mp4ItemList, FreeformItemsLeftAsReadAreWrittenBackByteForByte) {
  const bytes params("vers\0\0\0\1acbf\0\0\0\2", 16);
  const bytes binary = box("----", full_box("mean", 0, "com.apple.iTunes") + full_box("name", 0, "Encoding Params") +
                                       data(0, params));
  const bytes twice = box("----", full_box("mean", 0, "com.apple.iTunes") + full_box("name", 0, "ISRC") +
                                      data(0, "one") + data(0, "two"));
  auto m = read_items(binary + twice + freeform("com.apple.iTunes", "ISRC", "three"));
  EXPECT_EQ(value(m, "Encoding Params"), "vers");
  tarnex::byte_buffer meta;
  tarnex::write_meta_box(m, meta);
  EXPECT_NE(meta.find(binary), std::string::npos);
  EXPECT_NE(meta.find(twice + freeform("com.apple.iTunes", "ISRC", "three")), std::string::npos);

  // An edited field is the user's text, written as such.
  m.fields.set("Encoding Params", {true, {"typed"}});
  m.fields.set("ISRC", {true, {"one", "two"}});
  meta.clear();
  tarnex::write_meta_box(m, meta);
  EXPECT_EQ(meta.find(params), std::string::npos);
  EXPECT_EQ(meta.find(twice), std::string::npos);
  const auto back = round_trip(m);
  EXPECT_EQ(value(back, "Encoding Params"), "typed");
  EXPECT_EQ(back.fields.find("ISRC")->values, std::vector<std::string>({"one", "two"}));
}

TEST(Mp4ItemList, ItemsOfSeveralDataBoxesLeftAsReadAreWrittenBackAsTheyWere) {
  const bytes genres = box("\xA9gen", data(1, "Rock") + data(1, "Jazz"));
  const bytes tracks = box("trkn", data(0, be16(0) + be16(3) + be16(9) + be16(0)) +
                                       data(0, be16(0) + be16(4) + be16(9) + be16(0)));
  const bytes flags = box("cpil", data(21, "\x01") + data(21, "\x01"));
  const bytes day = box("\xA9" "day", data(1, "2009-05-12T00:00:00Z"));
  auto m = read_items(genres + tracks + flags + day + box("\xA9nam", data(1, "T")));
  m.fields.set("title", {true, {"New"}});
  tarnex::byte_buffer meta;
  tarnex::write_meta_box(m, meta);
  EXPECT_NE(meta.find(genres + tracks + flags + day), std::string::npos);
  EXPECT_EQ(value(round_trip(m), "title"), "New");

  // A track total changed: its item is written anew with the number beside it.
  m.fields.set("totaltracks", {true, {"12"}});
  auto back = round_trip(m);
  EXPECT_EQ(value(back, "track"), "3");
  EXPECT_EQ(value(back, "totaltracks"), "12");
  EXPECT_EQ(back.fields.find("track")->values.size(), 1u);

  // Several genres the user typed go into the text item, not a freeform one.
  m.fields.set("genre", {true, {"Pop", "Soul"}});
  meta.clear();
  tarnex::write_meta_box(m, meta);
  EXPECT_NE(meta.find(box("\xA9gen", data(1, "Pop") + data(1, "Soul"))), std::string::npos);
  EXPECT_EQ(meta.find("name"), std::string::npos);
}

TEST(Mp4ItemList, EditedItemsKeepTheirPlacesAndNewFieldsFollow) {
  const bytes cover = box("covr", data(14, "\x89PNG\r\n\x1A\npng"));
  auto m = read_items(box("\xA9nam", data(1, "Old")) + box("\xA9" "ART", data(1, "A")) + cover +
                      box("trkn", data(0, be16(0) + be16(3) + be16(9) + be16(0))) + box("desc", data(1, "unmapped")) +
                      freeform("com.apple.iTunes", "MOOD", "calm") + box("\xA9" "alb", data(1, "Album")));
  m.fields.set("title", {true, {"New"}});
  m.fields.set("track", {true, {"4"}});
  m.fields.set("MOOD", {true, {"wild"}});
  m.fields.set("composer", {true, {"C"}});
  tarnex::byte_buffer meta;
  tarnex::write_meta_box(m, meta);
  EXPECT_EQ(item_keys(meta), "\xA9nam \xA9" "ART covr trkn desc ---- \xA9" "alb \xA9wrt ");
  // Read back and given the same edit again, the list comes out the same.
  auto again = round_trip(m);
  again.fields.set("title", {true, {"New"}});
  tarnex::byte_buffer meta_again;
  tarnex::write_meta_box(again, meta_again);
  EXPECT_EQ(meta_again, meta);
}

// Items the reader takes no value from (UTF-16 text, a freeform integer, a
// number pair cut short) stay through edits of other fields; an edit that
// writes their field writes the one item of their kind, where they stood.
TEST(Mp4ItemList, AnItemTheReaderCannotReadGivesWayToTheItemAnEditWritesForItsKind) {
  const bytes utf16_title = box("\xA9nam", data(2, bytes("\0O\0l\0d", 6)));
  const bytes integer_mood = box("----", full_box("mean", 0, "com.apple.iTunes") + full_box("name", 0, "MOOD") +
                                             data(21, bytes(1, '\0')));
  const bytes other_vendor_mood = freeform("com.example", "MOOD", "theirs");
  const bytes short_track = box("trkn", data(0, be16(7)));
  const bytes short_genre = box("gnre", data(0, bytes(1, '\x05')));
  const bytes unread = utf16_title + integer_mood + other_vendor_mood + short_track + short_genre;
  auto m = read_items(box("\xA9" "ART", data(1, "A")) + unread);
  EXPECT_EQ(m.raw_items.size(), 5u);
  m.fields.set("artist", {true, {"B"}});
  tarnex::byte_buffer meta;
  tarnex::write_meta_box(m, meta);
  EXPECT_NE(meta.find(unread), std::string::npos);

  m.fields.set("title", {true, {"New"}});
  m.fields.set("MOOD", {true, {"calm"}});
  m.fields.set("track", {true, {"4"}});
  m.fields.set("genre", {true, {"Rock"}});
  meta.clear();
  tarnex::write_meta_box(m, meta);
  EXPECT_EQ(item_keys(meta), "\xA9" "ART \xA9nam ---- ---- trkn gnre ");
  EXPECT_NE(meta.find(other_vendor_mood), std::string::npos);
  for (const bytes& gone : {utf16_title, integer_mood, short_track, short_genre})
    EXPECT_EQ(meta.find(gone), std::string::npos);
  const auto back = round_trip(m);
  EXPECT_EQ(value(back, "title") + value(back, "MOOD") + value(back, "track") + value(back, "genre"), "Newcalm4Rock");
  EXPECT_EQ(back.raw_items.size(), 1u);
}

// A field the edit removes takes those items of its kind with it too: a
// reader that shows them would go on showing the field.
TEST(Mp4ItemList, ARemovedFieldTakesTheItemsOfItsKindTheReaderCannotReadWithIt) {
  const bytes utf16_title = box("\xA9nam", data(2, bytes("\0O\0l\0d", 6)));
  const bytes integer_mood = box("----", full_box("mean", 0, "com.apple.iTunes") + full_box("name", 0, "mood") +
                                             data(21, bytes(1, '\0')));
  const bytes other_vendor_mood = freeform("com.example", "MOOD", "theirs");
  const bytes short_track = box("trkn", data(0, be16(7)));
  const bytes short_genre = box("gnre", data(0, bytes(1, '\x05')));
  const auto m = read_items(box("\xA9" "ART", data(1, "A")) + box("\xA9nam", data(1, "T")) + utf16_title +
                            freeform("com.apple.iTunes", "MOOD", "calm") + integer_mood + other_vendor_mood +
                            box("trkn", data(0, be16(0) + be16(3) + be16(9) + be16(0))) + short_track +
                            box("\xA9gen", data(1, "Pop")) + short_genre);
  EXPECT_EQ(m.raw_items.size(), 5u);
  tarnex::tag_fields fields = m.fields;
  for (const char* removed : {"title", "MOOD", "track", "totaltracks", "genre"}) fields.remove(removed);
  tarnex::byte_buffer meta;
  tarnex::write_meta_box(m, fields, nullptr, meta);
  EXPECT_EQ(item_keys(meta), "\xA9" "ART ---- ");
  EXPECT_NE(meta.find(other_vendor_mood), std::string::npos);
}

TEST(Mp4ItemList, AnEditOfOneOfThousandsOfItemsKeepsTheOthersAsTheyWere) {
  // Items that share a field with one that goes are found through the
  // field, not by comparing every item with every other: four times the
  // items cost four times the work, not sixteen.
  const bytes shared_a = freeform("com.apple.iTunes", "SHARED", "a");
  const bytes shared_b = freeform("com.apple.iTunes", "SHARED", "b");
  const auto edited = [&](int count, tarnex::byte_buffer& meta) {
    bytes items;
    for (int i = 0; i < count; ++i) items += freeform("com.apple.iTunes", "FIELD " + std::to_string(i), "v");
    auto m = read_items(items + shared_a + shared_b);
    m.fields.set("FIELD 17", {true, {"edited"}});
    m.fields.set("SHARED", {true, {"a", "c"}});
    const std::uint64_t before = qiv::work_steps_on_this_thread();
    tarnex::write_meta_box(m, meta);
    return std::make_pair(m, qiv::work_steps_on_this_thread() - before);
  };
  tarnex::byte_buffer small_meta;
  const std::uint64_t small_work = edited(1250, small_meta).second;
  tarnex::byte_buffer meta;
  const auto [m, work] = edited(5000, meta);
  // Each item is visited at least once: a count of nothing proves nothing.
  EXPECT_GE(small_work, 1250u);
  EXPECT_LE(work, small_work * 9 / 2) << small_work;
  EXPECT_NE(meta.find(freeform("com.apple.iTunes", "FIELD 16", "v") + freeform("com.apple.iTunes", "FIELD 17", "edited") +
                      freeform("com.apple.iTunes", "FIELD 18", "v")),
            std::string::npos);
  // Both items of the changed field go, the one whose value stays as well.
  EXPECT_EQ(meta.find(shared_a), std::string::npos);
  const auto back = round_trip(m);
  EXPECT_EQ(back.fields.find("SHARED")->values, std::vector<std::string>({"a", "c"}));
  EXPECT_EQ(value(back, "FIELD 4999"), "v");
}
