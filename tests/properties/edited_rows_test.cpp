// The tag editor's rows: how they are built from the tracks' infos, how the
// list's commands change them, and which tracks Apply rewrites with what.
#include "properties/edited_rows.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "core/localized_text.h"
#include "metadata/track_handle_registry.h"

namespace {

// Infos by track index; a track without one could not be read.
struct fake_infos : track_info_source {
  std::map<std::uint32_t, track_info_impl> infos;
  const track_info* find_info(std::uint32_t track, const track_handle_ptr&) override {
    const auto found = infos.find(track);
    return found == infos.end() ? nullptr : &found->second;
  }
  track_info_impl& add(std::uint32_t track, std::initializer_list<std::pair<const char*, const char*>> fields) {
    track_info_impl& info = infos[track];
    for (const auto& [name, value] : fields) {
      const std::uint32_t field = info.find_field(name);
      if (field == track_info::not_found)
        info.append_field(name, track_info::until_nul, value, track_info::until_nul);
      else
        info.add_field_value(field, value);
    }
    return info;
  }
};

track_handle_list handles(std::initializer_list<const char*> paths) {
  track_handle_list list;
  for (const char* path : paths) list.push_back(track_handle_registry::get_handle(track_location(path, 0)));
  return list;
}

std::vector<std::string> names(const edited_rows& rows) {
  std::vector<std::string> out;
  for (const auto& row : rows.rows()) out.push_back(row->name);
  return out;
}

const field_display_context context("COMMENT", "ARTIST;GENRE");

class EditedRows : public ::testing::Test {
protected:
  void SetUp() override {
    localized_text::set("properties_multiple_values", "multiple values");
    infos.add(0, {{"ARTIST", "A"}, {"Mood", "calm"}, {"title", "One"}, {"ARTIST", "B"}});
    infos.add(1, {{"artist", "A"}, {"zebra", "z"}, {"title", "Two"}});
    infos.add(2, {{"title", "Three"}});
    rows.build(context, infos, tracks);
  }
  std::size_t row_index(const char* name) {
    for (std::size_t i = 0; i < rows.rows().size(); ++i)
      if (field_names_equal(rows.rows()[i]->name, name)) return i;
    return ~std::size_t(0);
  }
  const edited_field& row(const char* name) { return *rows.rows().at(row_index(name)); }
  bool rewrites(std::uint32_t track) {
    track_info_impl copy(infos.infos.at(track));
    return rows.make_update_filter()->update(tracks[track], {}, copy);
  }

  fake_infos infos;
  track_handle_list tracks = handles({"C:\\music\\a\\1.flac", "C:\\music\\a\\2.flac", "C:\\music\\b\\3.flac"});
  edited_rows rows;
};

TEST_F(EditedRows, StandardFieldsComeFirstInTheirOrderThenTheOthersByNameWithValuesPerTrack) {
  const std::vector<std::string> expected = {"artist",    "title",      "album",       "date",     "genre",
                                             "composer",  "performer",  "album artist", "tracknumber",
                                             "totaltracks", "discnumber", "totaldiscs", "publisher", "comment",
                                             "Mood",      "zebra"};
  EXPECT_EQ(names(rows), expected);
  EXPECT_EQ(row("artist").values(0), (value_list{"A", "B"}));
  EXPECT_EQ(row("artist").joined_value(0), "A; B");
  EXPECT_FALSE(row("artist").all_identical());
  EXPECT_EQ(row("artist").display_text(), "\xC2\xABmultiple values\xC2\xBB A; B");
  EXPECT_EQ(row("album").track_count, 3u);
  EXPECT_FALSE(row("album").any_value());
}

TEST_F(EditedRows, MultiValueTextSplitsAtSemicolonsAndOtherFieldsKeepOneValue) {
  rows.set_row_text(row_index("artist"), "  a ; b;;c");
  EXPECT_EQ(row("artist").values(2), (value_list{"a ", "b", "", "c"}));
  rows.set_row_text(row_index("title"), "  a ; b;;c");
  EXPECT_EQ(row("title").values(1), (value_list{"  a ; b;;c"}));
  rows.set_row_text(row_index("title"), "");
  EXPECT_FALSE(row("title").any_value());
}

TEST_F(EditedRows, LineBreaksSeparateMultipleValuesAndNeverEndAValue) {
  // Enter in a multi-line box leaves a line break after the text.
  rows.set_row_text(row_index("artist"), "Anna; Bert\r\n");
  EXPECT_EQ(row("artist").values(0), (value_list{"Anna", "Bert"}));
  rows.set_row_text(row_index("artist"), "\r\nAnna\r\n\r\nBert;Carl\nDora\rEmil");
  EXPECT_EQ(row("artist").values(1), (value_list{"Anna", "Bert", "Carl", "Dora", "Emil"}));
  rows.set_row_text(row_index("title"), "One\r\n");
  EXPECT_EQ(row("title").values(2), (value_list{"One"}));
  rows.set_row_text(row_index("comment"), "\nfirst line\r\nsecond line\r\n");
  EXPECT_EQ(row("comment").values(0), (value_list{"first line\r\nsecond line"}));
  rows.set_row_text(row_index("title"), "\r\n");
  EXPECT_FALSE(row("title").any_value());
}

TEST_F(EditedRows, UnchangedTracksAreNotRewrittenEvenWhenOnlyTheCaseOfANameDiffers) {
  for (std::uint32_t track = 0; track < 3; ++track) EXPECT_FALSE(rewrites(track)) << track;
  // The filter holds the rows of the moment of Apply.
  const auto filter = rows.make_update_filter();
  rows.set_row_text(row_index("title"), "Same");
  EXPECT_TRUE(rewrites(2));
  track_info_impl info(infos.infos.at(2));
  EXPECT_FALSE(filter->update(tracks[2], {}, info));
}

TEST_F(EditedRows, ARewriteHoldsExactlyTheRowsValuesAndDropsRemovedFields) {
  std::vector<bool> mask(rows.rows().size());
  mask[row_index("artist")] = mask[row_index("Mood")] = true;
  rows.remove_rows(mask);
  EXPECT_EQ(row_index("Mood"), ~std::size_t(0));
  EXPECT_FALSE(row("artist").any_value());

  track_info_impl info(infos.infos.at(0));
  ASSERT_TRUE(rows.make_update_filter()->update(tracks[0], {}, info));
  ASSERT_EQ(info.field_count(), 1u);
  EXPECT_STREQ(info.field_name(0), "title");
  EXPECT_STREQ(info.field_value(0, 0), "One");
  EXPECT_FALSE(rewrites(2));
}

TEST_F(EditedRows, AFieldTheInfoHoldsTwiceInTwoSpellingsIsKeptUntilItIsEditedThenWrittenOnce) {
  infos.infos.at(2).append_field("Title", 5, "Extra", 5);
  rows.build(context, infos, tracks);
  EXPECT_EQ(row("title").values(2), (value_list{"Three", "Extra"}));
  rows.set_row_text(row_index("album"), "New");
  track_info_impl info(infos.infos.at(2));
  ASSERT_TRUE(rows.make_update_filter()->update(tracks[2], {}, info));
  EXPECT_EQ(info.field_count(), 3u);
  rows.set_row_text(row_index("title"), "Only");
  info = infos.infos.at(2);
  ASSERT_TRUE(rows.make_update_filter()->update(tracks[2], {}, info));
  ASSERT_EQ(info.field_count(), 2u);
  EXPECT_STREQ(info.field_name(0), "title");
  EXPECT_EQ(info.field_value_count(0), 1u);
  EXPECT_STREQ(info.field_value(0, 0), "Only");
}

// What the file holds when Apply writes it: the loaded info with the album
// another program (or another dialog) has changed since.
track_info_impl changed_meanwhile(const track_info& loaded) {
  track_info_impl now(loaded);
  now.set_field("ALBUM", 5, "Theirs", 6);
  now.append_field("added", 5, "by them", 7);
  return now;
}

std::string text_of(const track_info& info, const char* name) {
  qiv::string_buffer text;
  if (!info.get_field_text(name, text)) return "(none)";
  return text.get_ptr();
}

TEST_F(EditedRows, EveryEditWritesOnlyTheFieldsItChangedOverWhatTheFileHoldsNow) {
  const auto genre = [](edited_rows& r, std::size_t at) { r.set_row_text(at, "Rock"); };
  const std::vector<std::pair<const char*, std::function<void(edited_rows&, std::size_t)>>> edits = {
      {"in place", genre},
      {"field editor", [](edited_rows& r, std::size_t at) {
         auto field = std::make_shared<edited_field>(r.rows()[at]->name, r.track_count());
         field->set_values_all({"Rock"});
         r.replace_row(at, field);
       }},
      {"added by name", [](edited_rows& r, std::size_t) {
         auto field = std::make_shared<edited_field>("GENRE", r.track_count());
         field->set_values_all({"Rock"});
         r.set_row_by_name(field);
       }},
      {"auto-fill", [](edited_rows& r, std::size_t at) {
         edited_field_list copies = r.copy_all();
         copies[at]->set_values_all({"Rock"});
         r.replace_all(copies);
       }},
      {"pasted into the row", [](edited_rows& r, std::size_t at) {
         edited_field copied("x", 1);
         copied.set_values(0, {"Rock"});
         r.paste_into_row(at, copied);
       }},
      {"pasted fields", [](edited_rows& r, std::size_t) {
         auto copied = std::make_shared<edited_field>("Genre", 1);
         copied->set_values(0, {"Rock"});
         r.paste_fields({copied});
       }},
      {"capitalised", [](edited_rows& r, std::size_t at) {
         r.set_row_text(at, "rock");
         std::vector<bool> selection(r.rows().size());
         selection[at] = true;
         r.transform_rows(selection, [](std::string& value) { value[0] = 'R'; });
       }},
      {"split", [](edited_rows& r, std::size_t at) {
         r.set_row_text(at, "Rock/Pop");
         std::vector<bool> selection(r.rows().size());
         selection[at] = true;
         r.split_rows(selection, {"/"});
       }},
      {"removed", [](edited_rows& r, std::size_t at) {
         std::vector<bool> mask(r.rows().size());
         mask[at] = true;
         r.remove_rows(mask);
       }},
  };
  for (std::uint32_t track = 0; track < 3; ++track) infos.infos.at(track).append_field("GENRE", 5, "Jazz", 4);
  for (const auto& [how, edit] : edits) {
    SCOPED_TRACE(how);
    rows.build(context, infos, tracks);
    edit(rows, row_index("genre"));
    const std::string wanted = std::string(how) == "removed" ? "(none)" : std::string(how) == "split" ? "Rock, Pop" : "Rock";
    for (std::uint32_t track = 0; track < 3; ++track) {
      track_info_impl now = changed_meanwhile(infos.infos.at(track));
      const bool written = rows.make_update_filter()->update(tracks[track], {}, now);
      EXPECT_TRUE(written) << track;
      EXPECT_EQ(text_of(now, "genre"), wanted) << track;
      EXPECT_EQ(text_of(now, "album"), "Theirs") << track;
      EXPECT_EQ(text_of(now, "added"), "by them") << track;
      EXPECT_EQ(text_of(now, "title"), text_of(infos.infos.at(track), "title")) << track;
    }
  }
}

TEST_F(EditedRows, AutomaticTrackNumbersAndARenamedFieldChangeOnlyTheirOwnFields) {
  rows.auto_track_number();
  // The field editor renames "zebra" to "Stripes".
  auto renamed = std::make_shared<edited_field>("Stripes", 3);
  renamed->set_values(1, {"z"});
  rows.replace_row(row_index("zebra"), renamed);
  track_info_impl now = changed_meanwhile(infos.infos.at(1));
  ASSERT_TRUE(rows.make_update_filter()->update(tracks[1], {}, now));
  EXPECT_EQ(text_of(now, "tracknumber"), "2");
  EXPECT_EQ(text_of(now, "totaltracks"), "2");
  EXPECT_EQ(text_of(now, "zebra"), "(none)");
  EXPECT_EQ(text_of(now, "Stripes"), "z");
  EXPECT_EQ(text_of(now, "album"), "Theirs");
  EXPECT_EQ(text_of(now, "added"), "by them");
  // A track whose file already holds what the dialog changed is not written.
  track_info_impl same = now;
  EXPECT_FALSE(rows.make_update_filter()->update(tracks[1], {}, same));
}

TEST_F(EditedRows, ATrackWhoseInfoWasNotReadIsNeverRewritten) {
  infos.infos.erase(1);
  rows.build(context, infos, tracks);
  rows.set_row_text(row_index("album"), "New");
  track_info_impl on_disk;
  on_disk.append_field("title", 5, "Two", 3);
  EXPECT_FALSE(rows.make_update_filter()->update(tracks[1], {}, on_disk));
  EXPECT_STREQ(on_disk.field_value(0, 0), "Two");
  EXPECT_TRUE(rewrites(0));
  // A track the dialog does not hold is not touched either.
  EXPECT_FALSE(rows.make_update_filter()->update(handles({"C:\\other.flac"})[0], {}, on_disk));
}

TEST_F(EditedRows, CropKeepsSelectedRowsAndEmptiedStandardRows) {
  std::vector<bool> crop(rows.rows().size(), true);
  crop[row_index("zebra")] = false;
  rows.remove_rows(crop);
  EXPECT_EQ(rows.rows().size(), field_display_context::standard_count + 1);
  EXPECT_EQ(rows.rows().back()->name, "zebra");
  EXPECT_FALSE(row("title").any_value());
}

TEST_F(EditedRows, PastedAndNamedFieldsTakeTheRowOfTheirNameAndOneTrackServesAll) {
  edited_field copied("MOOD", 1);
  copied.set_values(0, {"x"});
  rows.paste_into_row(row_index("zebra"), copied);
  EXPECT_EQ(row("zebra").name, "zebra");
  for (std::uint32_t track = 0; track < 3; ++track) EXPECT_EQ(row("zebra").values(track), value_list{"x"});

  auto wide = std::make_shared<edited_field>("NEW", 5);
  wide->set_values(4, {"beyond"});
  auto mood = std::make_shared<edited_field>("MOOD", 3);
  mood->set_values(1, {"sad"});
  const auto appended = rows.paste_fields({mood, wide});
  ASSERT_EQ(appended.size(), 1u);
  EXPECT_EQ(row("Mood").values(1), value_list{"sad"});
  EXPECT_FALSE(row("NEW").any_value());
  // Set by name, a field replaces the row of that name in any case.
  const std::size_t count = rows.rows().size();
  EXPECT_EQ(rows.set_row_by_name(std::make_shared<edited_field>("ZEBRA", 3)), row_index("zebra"));
  EXPECT_EQ(rows.rows().size(), count);
}

TEST(AutoTrackNumbers, CountWithinRunsOfNeighboursFromOneFolder) {
  fake_infos infos;
  const track_handle_list tracks = handles({"C:\\x\\1", "c:\\X\\2", "C:\\x\\3", "C:\\x\\4", "C:\\x\\5", "C:\\y\\1",
                                            "C:\\y\\2", "C:\\y\\3", "C:\\x\\6"});
  edited_rows rows;
  rows.build(context, infos, tracks);
  rows.auto_track_number();
  const auto& numbers = *rows.rows()[8];
  const auto& totals = *rows.rows()[9];
  ASSERT_EQ(numbers.name, "tracknumber");
  std::string text;
  for (std::uint32_t track = 0; track < tracks.size(); ++track)
    text += numbers.joined_value(track) + "/" + totals.joined_value(track) + " ";
  EXPECT_EQ(text, "1/5 2/5 3/5 4/5 5/5 1/3 2/3 3/3 1/1 ");
}

TEST(SplitValues, SeparatorsMatchWholeWordsIgnoringCaseAndPiecesAreTrimmed) {
  const auto separators = split_separators("&\r\nand\r\n,\r\n;", false);
  EXPECT_EQ(separators, (std::vector<std::string>{"&", "and", ",", ";"}));
  EXPECT_EQ(split_value("Simon AND Garfunkel & Andy", separators),
            (value_list{"Simon", "Garfunkel", "Andy"}));
  EXPECT_EQ(split_value("Brandy and Andrea", separators), (value_list{"Brandy", "Andrea"}));
  EXPECT_EQ(split_value("a\nb", split_separators("", true)), (value_list{"a", "b"}));
  EXPECT_TRUE(split_separators("", false).empty());
  // A blank line in the setting must not stop the split from moving on.
  EXPECT_EQ(split_value("x & y", split_separators("\r\n&", false)), (value_list{"x", "y"}));
}

}  // namespace

// A selection of many tracks whose fields hold thousands of values must not
// hold them once per track and once more per copy: tracks with equal values
// share one list, and copies of rows (as loaded, for Apply, for an editor)
// share it too until a command changes it.
TEST(EditedRowsMemory, TracksWithEqualValuesShareOneListThroughCopiesAndCommands) {
  fake_infos infos;
  for (std::uint32_t track = 0; track < 3; ++track) {
    track_info_impl& info = infos.infos[track];
    const std::uint32_t field = info.append_field("ARTIST", track_info::until_nul, "First", track_info::until_nul);
    for (int n = 0; n < 1000; ++n) info.add_field_value(field, ("Performer " + std::to_string(n)).c_str());
  }
  infos.add(3, {{"ARTIST", "Other"}});
  const track_handle_list tracks =
      handles({"C:\\m\\1.flac", "C:\\m\\2.flac", "C:\\m\\3.flac", "C:\\m\\4.flac"});
  edited_rows rows;
  rows.build(context, infos, tracks);
  const edited_field& built = *rows.rows()[0];
  ASSERT_EQ(built.values(2).size(), 1001u);
  EXPECT_EQ(&built.values(0), &built.values(1));
  EXPECT_EQ(&built.values(0), &built.values(2));
  EXPECT_EQ(built.values(3), value_list{"Other"});
  const edited_field copy = built;
  EXPECT_EQ(&copy.values(1), &built.values(1));

  // A command changes the values of every track, and the copy keeps its own.
  rows.transform_rows({true}, [](std::string& value) { value += "!"; });
  const edited_field& changed = *rows.rows()[0];
  EXPECT_EQ(changed.values(2)[1000], "Performer 999!");
  EXPECT_EQ(&changed.values(0), &changed.values(2));
  EXPECT_EQ(changed.values(3), value_list{"Other!"});
  EXPECT_EQ(copy.values(2)[1000], "Performer 999");

  rows.set_row_text(0, "Anna; Bert");
  EXPECT_EQ(&rows.rows()[0]->values(0), &rows.rows()[0]->values(3));
  EXPECT_EQ(rows.rows()[0]->values(3), (value_list{"Anna", "Bert"}));
}
